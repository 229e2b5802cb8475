#include "RealtimeKitClient.h"

#include <QDBusMessage>
#include <QDBusVariant>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

const QString Service = u"org.freedesktop.RealtimeKit1"_s;
const QString Path = u"/org/freedesktop/RealtimeKit1"_s;
const QString Interface = u"org.freedesktop.RealtimeKit1"_s;

// Only the type RealtimeKit declares: a service that answers with another is not the one we know.
template <typename T> std::optional<T> exactly(const QVariant &value)
{
    if (value.metaType() != QMetaType::fromType<T>())
        return std::nullopt;
    return value.value<T>();
}

} // namespace

TRealtimeKitClient::TRealtimeKitClient(const QDBusConnection &connection, int timeoutMs)
    : m_connection(connection), m_timeoutMs(timeoutMs)
{
}

std::optional<int> TRealtimeKitClient::MaxRealtimePriority()
{
    return exactly<int>(Property(u"MaxRealtimePriority"_s));
}

std::optional<int> TRealtimeKitClient::MinNiceLevel()
{
    return exactly<int>(Property(u"MinNiceLevel"_s));
}

std::optional<std::int64_t> TRealtimeKitClient::RTTimeUSecMax()
{
    // D-Bus's x arrives as qlonglong, which is not the same type as std::int64_t (long) on every platform.
    const auto value = exactly<qlonglong>(Property(u"RTTimeUSecMax"_s));
    return value ? std::optional<std::int64_t>(*value) : std::nullopt;
}

bool TRealtimeKitClient::MakeThreadRealtime(std::uint64_t thread, std::uint32_t priority)
{
    // The argument types decide the signature on the wire (t, u), which RealtimeKit checks.
    return Call(u"MakeThreadRealtime"_s,
                {QVariant::fromValue(qulonglong(thread)), QVariant::fromValue(uint(priority))});
}

bool TRealtimeKitClient::MakeThreadHighPriority(std::uint64_t thread, std::int32_t nice)
{
    return Call(u"MakeThreadHighPriority"_s, {QVariant::fromValue(qulonglong(thread)), QVariant::fromValue(int(nice))});
}

QVariant TRealtimeKitClient::Property(const QString &name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(Service, Path, u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get.setArguments({Interface, name});
    const QDBusMessage reply = m_connection.call(get, QDBus::Block, m_timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1)
        return {};
    const QVariant wrapped = reply.arguments().constFirst();
    if (wrapped.metaType() != QMetaType::fromType<QDBusVariant>())
        return {};
    return wrapped.value<QDBusVariant>().variant();
}

bool TRealtimeKitClient::Call(const QString &method, const QVariantList &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, method);
    call.setArguments(arguments);
    // Block, not BlockWithGui: the caller's events must not run while it waits, it may be in the middle of one.
    return m_connection.call(call, QDBus::Block, m_timeoutMs).type() == QDBusMessage::ReplyMessage;
}

} // namespace vigix
