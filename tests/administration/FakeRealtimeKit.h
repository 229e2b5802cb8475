#pragma once

#include <QList>
#include <QString>
#include <QThread>
#include <QVariant>

#include <memory>

namespace vigix::testing {

// RealtimeKit on the session bus, answering as a test sets it and recording what it is asked. It has a bus
// connection of its own and answers from a thread of its own: the client blocks its thread until the answer
// arrives, and Qt delivers a call to the thread of the object called, so a fake living in the client's thread
// would answer only after the client had given up; on the client's own connection the call would not even go
// through the bus.
class FakeRealtimeKit
{
public:
    enum class TAnswer {
        Grant,  // an empty reply, as RealtimeKit gives when it has done it
        Refuse, // org.freedesktop.DBus.Error.AccessDenied, as RealtimeKit gives past its limits
        Ignore, // no answer at all, as a hung service
    };
    struct TCall
    {
        QString Method;
        QString Signature; // the argument types on the wire
        QVariantList Arguments;
    };

    FakeRealtimeKit();
    ~FakeRealtimeKit();
    FakeRealtimeKit(const FakeRealtimeKit &) = delete;
    FakeRealtimeKit &operator=(const FakeRealtimeKit &) = delete;

    // Puts the object at /org/freedesktop/RealtimeKit1 and takes the service name; Unregister gives both up.
    bool Register();
    void Unregister();

    // What Properties.Get answers for the property, in a variant as given; a property never set is an error.
    void SetProperty(const QString &name, const QVariant &value);
    // How the two methods answer; Grant until set.
    void SetAnswer(TAnswer answer);
    // Every call of MakeThreadRealtime and MakeThreadHighPriority so far, in order.
    QList<TCall> Calls() const;

private:
    class TObject;

    QString m_connectionName;
    QThread m_thread;
    std::unique_ptr<TObject> m_object;
    bool m_registered = false;
};

} // namespace vigix::testing
