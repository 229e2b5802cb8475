#pragma once

#include "ThreadPriority.h"

#include <QDBusConnection>
#include <QVariant>

namespace vigix {

// RealtimeKit over D-Bus: the system bus in the program; the tests hand in a private session bus with a fake
// service on it. Every call waits at most timeoutMs for its answer, so a missing or hung service costs the
// caller no more than that.
class TRealtimeKitClient : public IRealtimeKit
{
public:
    static constexpr int DefaultTimeoutMs = 1000;

    explicit TRealtimeKitClient(const QDBusConnection &connection = QDBusConnection::systemBus(),
                                int timeoutMs = DefaultTimeoutMs);

    std::optional<int> MaxRealtimePriority() override;
    std::optional<int> MinNiceLevel() override;
    std::optional<std::int64_t> RTTimeUSecMax() override;
    bool MakeThreadRealtime(std::uint64_t thread, std::uint32_t priority) override;
    bool MakeThreadHighPriority(std::uint64_t thread, std::int32_t nice) override;

private:
    // The property's value as the service sent it; invalid when there was no proper answer.
    QVariant Property(const QString &name);
    bool Call(const QString &method, const QVariantList &arguments);

    QDBusConnection m_connection;
    int m_timeoutMs;
};

} // namespace vigix
