#include "FakeRealtimeKit.h"
#include "RealtimeKitClient.h"

#include <QDBusConnection>
#include <QTest>

using namespace vigix;
using namespace vigix::testing;
using namespace Qt::StringLiterals;

namespace {

// For the cases where the service answers: long enough for any loaded machine, so that an answer is never
// mistaken for none; a wait that takes it is a failure, not a timing figure.
constexpr int PatienceMs = 60000;
// For the cases that must wait out the client's timeout; short, so that they cost little.
constexpr int ShortTimeoutMs = 200;

} // namespace

class TestRealtimeKit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void properties_readBackAsTheServiceSetsThem();
    void properties_ofAnotherType_orMissing_areEmpty();
    void makeThreadRealtime_sendsThreadAndPriority_asUint64AndUint32();
    void makeThreadHighPriority_sendsThreadAndNiceLevel_asUint64AndInt32();
    void serviceRefuses_callsAnswerFalse();
    void serviceHangs_callsAnswerFalse_afterTheTimeout();
    void noService_everythingAnswersFalseOrEmpty();
    void noBus_everythingAnswersFalseOrEmpty();
};

void TestRealtimeKit::initTestCase()
{
    if (!QDBusConnection::sessionBus().isConnected())
        QFAIL("no session bus: run the test under dbus-run-session, as ctest does");
}

void TestRealtimeKit::properties_readBackAsTheServiceSetsThem()
{
    FakeRealtimeKit fake;
    fake.SetProperty(u"MaxRealtimePriority"_s, 20);
    fake.SetProperty(u"MinNiceLevel"_s, -15);
    // Past the range of 32 bits, so that a narrowing anywhere on the way would show.
    fake.SetProperty(u"RTTimeUSecMax"_s, qlonglong(5'000'000'000));
    QVERIFY(fake.Register());

    TRealtimeKitClient client(QDBusConnection::sessionBus(), PatienceMs);
    QCOMPARE(client.MaxRealtimePriority(), std::optional<int>(20));
    QCOMPARE(client.MinNiceLevel(), std::optional<int>(-15));
    QCOMPARE(client.RTTimeUSecMax(), std::optional<std::int64_t>(5'000'000'000));
    QVERIFY(fake.Calls().isEmpty());
}

void TestRealtimeKit::properties_ofAnotherType_orMissing_areEmpty()
{
    FakeRealtimeKit fake;
    fake.SetProperty(u"MaxRealtimePriority"_s, u"20"_s);
    fake.SetProperty(u"RTTimeUSecMax"_s, 200000); // i instead of x
    QVERIFY(fake.Register());

    TRealtimeKitClient client(QDBusConnection::sessionBus(), PatienceMs);
    QCOMPARE(client.MaxRealtimePriority(), std::nullopt);
    QCOMPARE(client.MinNiceLevel(), std::nullopt);
    QCOMPARE(client.RTTimeUSecMax(), std::nullopt);
}

void TestRealtimeKit::makeThreadRealtime_sendsThreadAndPriority_asUint64AndUint32()
{
    FakeRealtimeKit fake;
    QVERIFY(fake.Register());

    TRealtimeKitClient client(QDBusConnection::sessionBus(), PatienceMs);
    QVERIFY(client.MakeThreadRealtime(1234, 7));

    const QList<FakeRealtimeKit::TCall> calls = fake.Calls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].Method, u"MakeThreadRealtime"_s);
    QCOMPARE(calls[0].Signature, u"tu"_s);
    QCOMPARE(calls[0].Arguments.size(), 2);
    QCOMPARE(calls[0].Arguments[0].value<qulonglong>(), 1234u);
    QCOMPARE(calls[0].Arguments[1].value<uint>(), 7u);
}

void TestRealtimeKit::makeThreadHighPriority_sendsThreadAndNiceLevel_asUint64AndInt32()
{
    FakeRealtimeKit fake;
    QVERIFY(fake.Register());

    TRealtimeKitClient client(QDBusConnection::sessionBus(), PatienceMs);
    QVERIFY(client.MakeThreadHighPriority(1234, -11));

    const QList<FakeRealtimeKit::TCall> calls = fake.Calls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].Method, u"MakeThreadHighPriority"_s);
    QCOMPARE(calls[0].Signature, u"ti"_s);
    QCOMPARE(calls[0].Arguments.size(), 2);
    QCOMPARE(calls[0].Arguments[0].value<qulonglong>(), 1234u);
    QCOMPARE(calls[0].Arguments[1].value<int>(), -11);
}

void TestRealtimeKit::serviceRefuses_callsAnswerFalse()
{
    FakeRealtimeKit fake;
    fake.SetAnswer(FakeRealtimeKit::TAnswer::Refuse);
    QVERIFY(fake.Register());

    TRealtimeKitClient client(QDBusConnection::sessionBus(), PatienceMs);
    QVERIFY(!client.MakeThreadRealtime(1234, 7));
    QVERIFY(!client.MakeThreadHighPriority(1234, -11));
    // Asked and refused, not lost on the way.
    QCOMPARE(fake.Calls().size(), 2);
}

void TestRealtimeKit::serviceHangs_callsAnswerFalse_afterTheTimeout()
{
    FakeRealtimeKit fake;
    fake.SetAnswer(FakeRealtimeKit::TAnswer::Ignore);
    QVERIFY(fake.Register());

    TRealtimeKitClient client(QDBusConnection::sessionBus(), ShortTimeoutMs);
    QVERIFY(!client.MakeThreadRealtime(1234, 7));
    QVERIFY(!client.MakeThreadHighPriority(1234, -11));
    // The client may have given up before the fake recorded the calls; what counts is that they reached it.
    QTRY_COMPARE_WITH_TIMEOUT(fake.Calls().size(), 2, PatienceMs);
}

void TestRealtimeKit::noService_everythingAnswersFalseOrEmpty()
{
    FakeRealtimeKit fake;
    fake.SetProperty(u"MaxRealtimePriority"_s, 20);
    fake.SetProperty(u"MinNiceLevel"_s, -15);
    fake.SetProperty(u"RTTimeUSecMax"_s, qlonglong(200000));
    QVERIFY(fake.Register());
    fake.Unregister();

    TRealtimeKitClient client(QDBusConnection::sessionBus(), ShortTimeoutMs);
    QCOMPARE(client.MaxRealtimePriority(), std::nullopt);
    QCOMPARE(client.MinNiceLevel(), std::nullopt);
    QCOMPARE(client.RTTimeUSecMax(), std::nullopt);
    QVERIFY(!client.MakeThreadRealtime(1234, 7));
    QVERIFY(!client.MakeThreadHighPriority(1234, -11));
    QVERIFY(fake.Calls().isEmpty());
}

void TestRealtimeKit::noBus_everythingAnswersFalseOrEmpty()
{
    // A connection that was never made, as the system bus is in a container without one.
    const QDBusConnection none(u"never-connected"_s);
    QVERIFY(!none.isConnected());

    TRealtimeKitClient client(none, ShortTimeoutMs);
    QCOMPARE(client.MaxRealtimePriority(), std::nullopt);
    QCOMPARE(client.MinNiceLevel(), std::nullopt);
    QCOMPARE(client.RTTimeUSecMax(), std::nullopt);
    QVERIFY(!client.MakeThreadRealtime(1234, 7));
    QVERIFY(!client.MakeThreadHighPriority(1234, -11));
}

QTEST_GUILESS_MAIN(TestRealtimeKit)
#include "tst_realtimekit.moc"
