#include "Age.h"
#include "Errors.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace vigix;

class AgeTest : public QObject
{
    Q_OBJECT
private slots:
    void ageAtTest_data()
    {
        QTest::addColumn<QString>("year");
        QTest::addColumn<QString>("month");
        QTest::addColumn<QString>("testDateTime");
        QTest::addColumn<int>("years"); // -99: no age
        QTest::addColumn<int>("months");
        QTest::newRow("month borrowed") << u"1993"_s << u"12"_s << u"2002/10/11 15:30:03"_s << 8 << 10;
        QTest::newRow("born in the test month") << u"1993"_s << u"10"_s << u"2002/10/01 09:00:00"_s << 9 << 0;
        QTest::newRow("two-digit test year") << u"1993"_s << u"12"_s << u"02/10/11 15:30:03"_s << 8 << 10;
        QTest::newRow("born after the test") << u"2010"_s << u"1"_s << u"2002/10/11 15:30:03"_s << -8 << 9;
        QTest::newRow("no birth year") << QString() << u"4"_s << u"2002/10/11 15:30:03"_s << -99 << 0;
        QTest::newRow("year not a number") << u"平成5"_s << u"4"_s << u"2002/10/11 15:30:03"_s << -99 << 0;
        QTest::newRow("month not a number") << u"1993"_s << u"4月"_s << u"2002/10/11 15:30:03"_s << -99 << 0;
        // Stored numbers no calendar has give no age, rather than a wrapped one.
        QTest::newRow("lowest int year") << u"-2147483648"_s << u"4"_s << u"2002/10/11 15:30:03"_s << -99 << 0;
        QTest::newRow("highest int year") << u"2147483647"_s << u"4"_s << u"2002/10/11 15:30:03"_s << -99 << 0;
        QTest::newRow("lowest int month") << u"1993"_s << u"-2147483648"_s << u"2002/10/11 15:30:03"_s << -99 << 0;
        QTest::newRow("month 13") << u"1993"_s << u"13"_s << u"2002/10/11 15:30:03"_s << -99 << 0;
        QTest::newRow("edges of the range") << u"0"_s << u"1"_s << u"9999/12/31 00:00:00"_s << 9999 << 11;
        // The birth check comes first: a bad test date-time is not read without a birth year.
        QTest::newRow("no birth year, bad date") << QString() << u"4"_s << u"11.10.2002"_s << -99 << 0;
    }
    void ageAtTest()
    {
        QFETCH(QString, year);
        QFETCH(QString, month);
        QFETCH(QString, testDateTime);
        QFETCH(int, years);
        QFETCH(int, months);
        const std::optional<TAge> age = AgeAtTest(year, month, testDateTime);
        if (years == -99) {
            QVERIFY(!age);
            return;
        }
        QVERIFY(age);
        QCOMPARE(age->Years, years);
        QCOMPARE(age->Months, months);
    }

    void unreadableTestDateTime_raisesConversionErrorNamingIt()
    {
        for (const QString &bad : {u"11.10.2002"_s, u"2002/10"_s, u"x/10/11"_s, u"2002/ten/11"_s, QString(),
                                   u"2147483647/10/11"_s, u"-2147483648/10/11"_s, u"2002/-2147483648/11"_s}) {
            try {
                AgeAtTest(u"1993"_s, u"4"_s, bad);
                QFAIL(qPrintable(u"no error for \"%1\""_s.arg(bad)));
            } catch (const EConvertError &error) {
                QVERIFY(error.message().contains(u'"' + bad + u'"'));
            }
        }
    }
};

QTEST_GUILESS_MAIN(AgeTest)
#include "tst_age.moc"
