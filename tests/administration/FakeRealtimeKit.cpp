#include "FakeRealtimeKit.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>

using namespace Qt::StringLiterals;

namespace vigix::testing {

namespace {

const QString Service = u"org.freedesktop.RealtimeKit1"_s;
const QString Path = u"/org/freedesktop/RealtimeKit1"_s;
const QString Interface = u"org.freedesktop.RealtimeKit1"_s;
const QString PropertiesInterface = u"org.freedesktop.DBus.Properties"_s;

} // namespace

// A virtual object, so that the fake answers exactly as told, including with types RealtimeKit never sends.
// handleMessage runs in the fake's thread; the test reads and sets the state from its own, hence the mutex.
class FakeRealtimeKit::TObject : public QDBusVirtualObject
{
public:
    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        QMutexLocker locker(&m_mutex);
        if (message.interface() == PropertiesInterface && message.member() == u"Get"_s &&
            message.signature() == u"ss"_s) {
            const QVariantList arguments = message.arguments();
            const auto value = m_properties.constFind(arguments.at(1).toString());
            if (arguments.at(0).toString() != Interface || value == m_properties.constEnd())
                connection.send(
                    message.createErrorReply(u"org.freedesktop.DBus.Error.InvalidArgs"_s, u"no such property"_s));
            else
                connection.send(message.createReply(QVariant::fromValue(QDBusVariant(*value))));
            return true;
        }
        if (message.interface() == Interface &&
            (message.member() == u"MakeThreadRealtime"_s || message.member() == u"MakeThreadHighPriority"_s)) {
            m_calls.append({message.member(), message.signature(), message.arguments()});
            if (m_answer == TAnswer::Grant)
                connection.send(message.createReply());
            else if (m_answer == TAnswer::Refuse)
                connection.send(message.createErrorReply(u"org.freedesktop.DBus.Error.AccessDenied"_s,
                                                         u"operation not permitted"_s));
            return true;
        }
        return false;
    }

    mutable QMutex m_mutex;
    QHash<QString, QVariant> m_properties;
    TAnswer m_answer = TAnswer::Grant;
    QList<TCall> m_calls;
};

FakeRealtimeKit::FakeRealtimeKit() : m_object(std::make_unique<TObject>())
{
    // A name of its own for every fake, so that one test's connection never stands in for the next one's.
    static std::atomic<int> fakes{0};
    m_connectionName = u"fake-realtimekit-"_s + QString::number(++fakes);
    QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName);
    m_object->moveToThread(&m_thread);
    m_thread.start();
}

FakeRealtimeKit::~FakeRealtimeKit()
{
    Unregister();
    m_thread.quit();
    m_thread.wait();
    QDBusConnection::disconnectFromBus(m_connectionName);
}

bool FakeRealtimeKit::Register()
{
    QDBusConnection connection(m_connectionName);
    m_registered = connection.isConnected() &&
                   connection.registerVirtualObject(Path, m_object.get(), QDBusConnection::SingleNode) &&
                   connection.registerService(Service);
    return m_registered;
}

void FakeRealtimeKit::Unregister()
{
    if (!m_registered)
        return;
    // unregisterService waits for the bus's answer, so the name is free when this returns and the next fake can
    // take it.
    QDBusConnection connection(m_connectionName);
    connection.unregisterService(Service);
    connection.unregisterObject(Path);
    m_registered = false;
}

void FakeRealtimeKit::SetProperty(const QString &name, const QVariant &value)
{
    QMutexLocker locker(&m_object->m_mutex);
    m_object->m_properties.insert(name, value);
}

void FakeRealtimeKit::SetAnswer(TAnswer answer)
{
    QMutexLocker locker(&m_object->m_mutex);
    m_object->m_answer = answer;
}

QList<FakeRealtimeKit::TCall> FakeRealtimeKit::Calls() const
{
    QMutexLocker locker(&m_object->m_mutex);
    return m_object->m_calls;
}

} // namespace vigix::testing
