#include "DataFolder.h"
#include "Errors.h"
#include "Input.h"
#include "MessageBox.h"
#include "ShiftJis.h"
#include "TestFile.h"
#include "TestStore.h"
#include "VigixApplication.h"

#include <QComboBox>
#include <QDate>
#include <QFile>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace vigix;

namespace {

TTestFile storedTest(const QString &number, int rounds)
{
    TTestFile test;
    test.Info.Kensabangou = number;
    test.Info.Kensanichiji = u"2002/10/11 15:30:03"_s;
    test.Info.Shimei1 = u"山田"_s;
    test.Info.Shimei2 = u"太郎"_s;
    test.Info.Seinengappi1 = u"1993"_s;
    test.Info.Seinengappi2 = u"12"_s;
    test.Info.Seinengappi3 = u"5"_s;
    test.Info.Seibetsu = u"男"_s;
    test.Info.Shindanmei = u"ＡＤＨＤ（混合型）"_s;
    test.Info.Touyaku = u"リタリン"_s;
    test.Info.Ritarin = u"１～２時間"_s;
    test.Info.Kenzya = u"佐藤"_s;
    test.Info.Memo = u"初回"_s;
    test.Info.PIQ = u"98"_s;
    test.Info.ADHD[18] = u"○"_s;
    test.Info.PDD[12] = u"×"_s;
    test.RoundCount = rounds;
    for (int i = 1; i <= rounds; ++i) {
        test.Rounds[i].Target = i % 3 ? u"N"_s : u"T"_s;
        test.Rounds[i].Noise = u"A"_s;
        test.Rounds[i].NoiseNo = i % 8 + 1;
        test.Rounds[i].Ticks = 10 + i % 5;
        test.Rounds[i].RT[1] = 300 + i;
        test.Rounds[i].Button[1] = 1;
    }
    return test;
}

// Japanese is typed through the input method, which commits whole strings.
void typeText(QWidget *box, const QString &text)
{
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QCoreApplication::sendEvent(box, &commit);
}

void fillRequired(TfrmInput &input)
{
    typeText(input.edtShimei1, u"山田"_s);
    typeText(input.edtShimei2, u"花子"_s);
    input.cmbSeinengappi1->setEditText(u"2016"_s);
    input.cmbSeinengappi2->setCurrentIndex(4);
    input.cmbSeinengappi3->setCurrentIndex(1);
    input.cmbSeibetsu->setCurrentIndex(2);
}

QStringList items(QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts.append(box->itemText(i));
    return texts;
}

} // namespace

class InputTest : public QObject
{
    Q_OBJECT
    QTemporaryDir m_folder;
    QString folder() const { return m_folder.path() + u'/'; }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        TMessageBox::SetAutoAnswer(true);
    }
    void init()
    {
        TMessageBox::ClearShownTexts();
        for (const QString &name : QDir(folder()).entryList(QDir::Files))
            QFile::remove(folder() + name);
    }

    void window_sizeCaptionAndChoiceLists()
    {
        TTestFile testFile;
        TTestStore store;
        store.Open(folder());
        TfrmInput input(testFile, store);
        QCOMPARE(input.size(), QSize(416, 446));
        QCOMPARE(input.windowTitle(), u"被験者情報入力"_s);
        QCOMPARE(items(input.cmbSeibetsu), (QStringList{QString(), u"男"_s, u"女"_s}));
        const int thisYear = QDate::currentDate().year();
        QCOMPARE(items(input.cmbSeinengappi1).size(), 1 + thisYear - 1980 + 1);
        QCOMPARE(items(input.cmbSeinengappi1).at(1), u"1980"_s);
        QCOMPARE(items(input.cmbSeinengappi1).last(), QString::number(thisYear));
        QCOMPARE(items(input.cmbSeinengappi3).size(), 1 + 31);
        QCOMPARE(items(input.cmbRitarin), (QStringList{QString(), u"なし"_s, u"１時間以内"_s, u"１～２時間"_s,
                                                       u"２～３時間"_s, u"３～４時間"_s, u"４時間以上"_s}));
        QCOMPARE(items(input.cmbShindanmei).size(), 1 + 12);
        QCOMPARE(items(input.cmbTouyaku).last(), u"ｌ－ｄｏｐａ"_s);
        QCOMPARE(input.findChild<QLineEdit *>(u"edtPDD3d"_s), input.edtPDD[12]);
        QVERIFY(!input.edtKensabangou->isEnabled() && !input.edtKensanichiji->isEnabled());
    }

    void prepareNewTest_nextFreeNumberNowAndEmptyFields_cancelOffersItAgain()
    {
        storedTest(u"1001"_s, 0).WriteFile(folder(), u"1001"_s);
        QFile(folder() + u"1002.del"_s).open(QIODevice::WriteOnly);
        TTestFile testFile;
        TTestStore store;
        store.Open(folder());
        TfrmInput input(testFile, store);
        input.PrepareEditTest(u"1001"_s); // leaves every field filled
        input.PrepareNewTest();
        QCOMPARE(input.edtKensabangou->text(), u"1003"_s);
        QVERIFY(QRegularExpression(u"^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d$"_s)
                    .match(input.edtKensanichiji->text())
                    .hasMatch());
        const TTestInfo entered = input.EnteredInfo();
        for (int i = 3; i <= TTestInfo::FieldCount; ++i)
            QVERIFY2(entered.Field(i).isEmpty(), qPrintable(TTestInfo::FieldName(i)));
        QCOMPARE(input.lblAge1->text(), QString());

        QSignalSpy started(&input, &TfrmInput::TestStartRequested);
        fillRequired(input);
        input.show();
        QTest::mouseClick(input.btnCancel, Qt::LeftButton);
        QVERIFY(!input.isVisible());
        QCOMPARE(started.count(), 0);
        QCOMPARE(testFile.Info, TTestInfo());
        input.PrepareNewTest();
        QCOMPARE(input.edtKensabangou->text(), u"1003"_s);
    }

    void age_followsBirthYearAndMonth_notTheDay()
    {
        TTestFile testFile;
        TTestStore store;
        store.Open(folder());
        TfrmInput input(testFile, store);
        input.PrepareNewTest();
        input.edtKensanichiji->setText(u"2002/10/11 15:30:03"_s);
        input.cmbSeinengappi1->setEditText(u"1993"_s);
        QCOMPARE(input.lblAge1->text(), QString()); // no month yet
        input.cmbSeinengappi2->setCurrentIndex(12);
        QCOMPARE(input.lblAge1->text(), u"8"_s);
        QCOMPARE(input.lblAge2->text(), u"10"_s);
        input.cmbSeinengappi3->setCurrentIndex(31);
        QCOMPARE(input.lblAge2->text(), u"10"_s);
        typeText(input.cmbSeinengappi1->lineEdit(), u"x"_s);
        QCOMPARE(input.lblAge1->text(), QString());
        QCOMPARE(input.lblAge2->text(), QString());
    }

    void start_requiredItemMissing_warnsKeepsEverythingStoresNothing()
    {
        TTestFile testFile;
        TTestStore store;
        store.Open(folder());
        TfrmInput input(testFile, store);
        input.PrepareNewTest();
        fillRequired(input);
        input.cmbSeinengappi3->setCurrentIndex(0);
        input.edtMemo->setText(u"メモ"_s);
        const TTestInfo typed = input.EnteredInfo();
        QSignalSpy started(&input, &TfrmInput::TestStartRequested);
        input.show();
        QTest::mouseClick(input.btnStart, Qt::LeftButton);
        QCOMPARE(TMessageBox::ShownTexts(),
                 QStringList{u"[氏名] [生年月日] [性別] は必ず入力しなくてはいけません。"_s});
        QVERIFY(input.isVisible());
        QCOMPARE(input.EnteredInfo(), typed);
        QCOMPARE(started.count(), 0);
        QCOMPARE(testFile.Info, TTestInfo());
        QVERIFY(QDir(folder()).entryList(QDir::Files).isEmpty());
    }

    void start_folderThatCannotTakeTheTest_refusedBeforeTheTest_thenStartsOnceItCan()
    {
        QTemporaryDir root;
        const QString share = root.filePath(u"share"_s);
        QVERIFY(QDir().mkdir(share));
        TTestFile testFile;
        TTestStore store;
        store.Open(share);
        TfrmInput input(testFile, store);
        input.PrepareNewTest();
        fillRequired(input);
        QSignalSpy started(&input, &TfrmInput::TestStartRequested);
        input.show();
        // The share went offline after the list was read: the child's fifteen minutes are not started.
        QVERIFY(QDir(share).removeRecursively());
        QTest::mouseClick(input.btnStart, Qt::LeftButton);
        QCOMPARE(TMessageBox::ShownTexts().size(), 1);
        QVERIFY(TMessageBox::ShownTexts().first().contains(u"データフォルダの変更"_s));
        QVERIFY(input.isVisible());
        QCOMPARE(started.count(), 0);
        QCOMPARE(testFile.Info, TTestInfo());
        // Back online: the same entries start the test.
        QVERIFY(QDir().mkdir(share));
        QTest::mouseClick(input.btnStart, Qt::LeftButton);
        QCOMPARE(started.count(), 1);
        QCOMPARE(testFile.Info.Shimei1, input.EnteredInfo().Shimei1);
    }

    void start_characterTheFileCannotHold_refusedNamingFieldAndCharacter_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("comma in the memo") << u"edtMemo"_s << u"朝,夕"_s << u"「メモ」に使えない文字 「,」(U+002C)"_s;
        QTest::newRow("quote in the examiner")
            << u"edtKenzya"_s << u"\"佐藤\""_s << u"「検者」に使えない文字 「\"」(U+0022)"_s;
        QTest::newRow("line break in a name") << u"edtShimei2"_s << u"花\n子"_s << u"「氏名」に使えない文字 改行"_s;
        QTest::newRow("emoji in the memo")
            << u"edtMemo"_s << u"よくできた😀"_s << u"「メモ」に使えない文字 「😀」(U+1F600)"_s;
        QTest::newRow("kanji outside code page 932")
            << u"edtShimei1"_s << u"𠮷田"_s << u"「氏名」に使えない文字 「𠮷」(U+20BB7)"_s;
        QTest::newRow("checklist answer") << u"edtADHD7"_s << u"✓"_s << u"「ADHD 7.」に使えない文字 「✓」(U+2713)"_s;
    }
    void start_characterTheFileCannotHold_refusedNamingFieldAndCharacter()
    {
        QFETCH(QString, control);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        TTestFile testFile;
        TTestStore store;
        store.Open(folder());
        TfrmInput input(testFile, store);
        input.PrepareNewTest();
        fillRequired(input);
        auto *box = input.findChild<QLineEdit *>(control);
        QVERIFY(box);
        box->setText(text);
        const TTestInfo typed = input.EnteredInfo();
        QSignalSpy started(&input, &TfrmInput::TestStartRequested);
        input.show();
        QTest::mouseClick(input.btnStart, Qt::LeftButton);
        QCOMPARE(TMessageBox::ShownTexts().size(), 1);
        QVERIFY2(TMessageBox::ShownTexts().first().startsWith(expected), qPrintable(TMessageBox::ShownTexts().first()));
        QVERIFY(input.isVisible());
        QCOMPARE(input.EnteredInfo(), typed);
        QCOMPARE(started.count(), 0);
        QCOMPARE(testFile.Info, TTestInfo());
    }

    void start_kanaAndChoiceTexts_reachTheTestAndReadBackFromTheFile()
    {
        TTestFile testFile;
        TTestStore store;
        store.Open(folder());
        TfrmInput input(testFile, store);
        input.PrepareNewTest();
        typeText(input.edtShimei1, u"ﾔﾏﾀﾞ"_s);
        typeText(input.edtShimei2, u"ハナコ"_s);
        input.cmbSeinengappi1->setEditText(u"2016"_s);
        input.cmbSeinengappi2->setEditText(u"4"_s);
        input.cmbSeinengappi3->setEditText(u"30"_s);
        input.cmbSeibetsu->setEditText(u"女"_s);
        input.cmbShindanmei->setCurrentIndex(6);                 // ＡＤＨＤ（不注意優勢型）
        typeText(input.cmbRitarin->lineEdit(), u"１〜２時間"_s); // typed with the JIS wave dash
        typeText(input.edtADHD[1], u"○"_s);
        QSignalSpy started(&input, &TfrmInput::TestStartRequested);
        input.show();
        QTest::mouseClick(input.btnStart, Qt::LeftButton);
        QCOMPARE(started.count(), 1);
        QVERIFY(!input.isVisible());
        QVERIFY(TMessageBox::ShownTexts().isEmpty());
        QCOMPARE(testFile.Info.Shimei1, u"ﾔﾏﾀﾞ"_s);
        QCOMPARE(testFile.Info.Shindanmei, u"ＡＤＨＤ（不注意優勢型）"_s);
        QCOMPARE(testFile.Info.Kensabangou, u"1001"_s);
        QCOMPARE(testFile.RoundCount, 0);                         // the rounds are the test section's
        QVERIFY(QDir(folder()).entryList(QDir::Files).isEmpty()); // nothing stored until the test ends

        testFile.WriteFile(folder(), u"1001"_s);
        TTestFile stored;
        stored.ReadFile(folder(), u"1001"_s);
        TTestInfo expected = testFile.Info;
        expected.Ritarin = u"１～２時間"_s; // stored as Windows stores it, and chosen from the list again
        QCOMPARE(stored.Info, expected);
    }

    void edit_rewritesTheRecordWithTheSameRounds()
    {
        const TTestFile original = storedTest(u"1004"_s, 37);
        original.WriteFile(folder(), u"1004"_s);
        TTestFile testFile;
        TTestStore store;
        store.Open(folder());
        TfrmInput input(testFile, store);
        input.PrepareEditTest(u"1004"_s);
        QCOMPARE(input.EnteredInfo(), original.Info);
        QCOMPARE(input.lblAge1->text(), u"8"_s);
        QCOMPARE(input.cmbRitarin->currentIndex(), 3);
        input.btnStart->setText(TfrmInput::EditCaption);
        input.edtMemo->setText(u"再入力"_s);
        QSignalSpy edited(&input, &TfrmInput::TestEdited);
        input.show();
        QTest::mouseClick(input.btnStart, Qt::LeftButton);
        QCOMPARE(edited.count(), 1);
        QCOMPARE(edited.first().first().toString(), u"1004"_s);
        QVERIFY(!input.isVisible());
        QCOMPARE(testFile.Info, TTestInfo()); // the test about to run is not touched

        TTestFile stored;
        stored.ReadFile(folder(), u"1004"_s);
        QCOMPARE(stored.Info.Memo, u"再入力"_s);
        QCOMPARE(stored.Info.Kensanichiji, original.Info.Kensanichiji);
        QCOMPARE(stored.RoundCount, 37);
        for (int i = 1; i <= 37; ++i)
            QVERIFY(stored.Rounds[i] == original.Rounds[i]);
    }

    void edit_fileGoneMeanwhile_errorToldWindowStaysNothingWritten()
    {
        storedTest(u"1001"_s, 3).WriteFile(folder(), u"1001"_s);
        TTestFile testFile;
        TTestStore store;
        store.Open(folder());
        TfrmInput input(testFile, store);
        input.PrepareEditTest(u"1001"_s);
        input.btnStart->setText(TfrmInput::EditCaption);
        QFile::remove(folder() + u"1001.txt"_s);
        input.show();
        QTest::mouseClick(input.btnStart, Qt::LeftButton);
        QCOMPARE(TMessageBox::ShownTexts().size(), 1);
        QVERIFY(TMessageBox::ShownTexts().first().contains(u"1001.txt"_s));
        QVERIFY(input.isVisible());
        QVERIFY(QDir(folder()).entryList(QDir::Files).isEmpty());
    }

    void prepare_storedDateTimeWithoutYearAndMonth_raisesConversionError()
    {
        TTestFile hand = storedTest(u"1001"_s, 0);
        hand.Info.Kensanichiji = u"11-10-2002"_s;
        hand.WriteFile(folder(), u"1001"_s);
        TTestFile testFile;
        TTestStore store;
        store.Open(folder());
        TfrmInput input(testFile, store);
        QVERIFY_THROWS_EXCEPTION(EConvertError, input.PrepareEditTest(u"1001"_s));
        input.PrepareRetest(u"1001"_s); // a re-test takes today's date-time, from which the age is read
        QVERIFY(!input.lblAge1->text().isEmpty());
    }

    void retest_newNumberAndDateEverythingElseCopied()
    {
        const TTestFile original = storedTest(u"1001"_s, 5);
        original.WriteFile(folder(), u"1001"_s);
        TTestFile testFile;
        TTestStore store;
        store.Open(folder());
        TfrmInput input(testFile, store);
        input.PrepareRetest(u"1001"_s);
        const TTestInfo entered = input.EnteredInfo();
        QCOMPARE(entered.Kensabangou, u"1002"_s);
        QVERIFY(entered.Kensanichiji != original.Info.Kensanichiji);
        TTestInfo rest = entered;
        rest.Kensabangou = original.Info.Kensabangou;
        rest.Kensanichiji = original.Info.Kensanichiji;
        QCOMPARE(rest, original.Info);
    }

    void keys_tabOrderAndNeitherEnterNorEscCloses()
    {
        TTestFile testFile;
        TTestStore store;
        store.Open(folder());
        TfrmInput input(testFile, store);
        input.PrepareNewTest();
        input.show();
        QVERIFY(QTest::qWaitForWindowActive(&input));
        input.edtShimei1->setFocus();
        QList<QWidget *> expected{input.edtShimei2,      input.cmbSeibetsu,     input.cmbSeinengappi1,
                                  input.cmbSeinengappi2, input.cmbSeinengappi3, input.cmbShindanmei,
                                  input.cmbTouyaku,      input.cmbRitarin,      input.edtPiq,
                                  input.edtViq,          input.edtFiq};
        for (int n = 1; n <= 18; ++n)
            expected.append(input.edtADHD[n]);
        for (int n = 1; n <= 12; ++n)
            expected.append(input.edtPDD[n]);
        expected.append({input.edtKenzya, input.edtMemo, input.btnStart, input.edtShimei1});
        for (QWidget *next : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *focused = QApplication::focusWidget();
            if (auto *box = qobject_cast<QComboBox *>(focused ? focused->parentWidget() : nullptr))
                focused = box;
            QCOMPARE(focused, next);
        }
        fillRequired(input);
        QSignalSpy started(&input, &TfrmInput::TestStartRequested);
        for (auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(input.edtMemo, key);
            QTest::keyClick(input.btnStart, key);
        }
        QVERIFY(input.isVisible());
        QCOMPARE(started.count(), 0);
    }
};

int main(int argc, char *argv[])
{
    // The program's application object: the errors of a command reach the error box through it.
    TVigixApplication app(argc, argv);
    InputTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_input.moc"
