#include "About.h"
#include "Card.h"
#include "CsvExportCommand.h"
#include "DataFolder.h"
#include "Errors.h"
#include "Graphs.h"
#include "Input.h"
#include "MessageBox.h"
#include "Panel.h"
#include "Print.h"
#include "ProgramFiles.h"
#include "RoundJournal.h"
#include "Screen.h"
#include "Step0.h"
#include "Table.h"
#include "TerminationSignals.h"
#include "TestStore.h"
#include "TickEngine.h"
#include "Translations.h"
#include "VigixApplication.h"
#include "WindowLayout.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

#include <QTimer>
#include <csignal>

#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QUrl>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using namespace vigix;

namespace {

// A test file as stored: Shift-JIS subject line with CR LF, no rounds.
void writeTest(const QString &folder, const QString &number, const QString &name1, const QString &name2)
{
    TTestFile test;
    test.Info.Kensabangou = number;
    test.Info.Kensanichiji = u"2026/12/01 10:00:00"_s;
    test.Info.Shimei1 = name1;
    test.Info.Shimei2 = name2;
    test.Info.Seinengappi1 = u"2016"_s;
    test.Info.Seinengappi2 = u"4"_s;
    test.Info.Seinengappi3 = u"1"_s;
    test.Info.Seibetsu = u"女"_s;
    test.Info.Shindanmei = u"ＡＤＨＤ（混合型）"_s;
    test.Info.Memo = u"ﾒﾓ"_s;
    test.WriteFile(folder, number);
}

QStringList column(QAbstractItemView *view, int col)
{
    QStringList texts;
    for (int r = 0; r < view->model()->rowCount(); ++r)
        texts.append(view->model()->index(r, col).data().toString());
    return texts;
}

QPoint rowCentre(QTreeView *view, int row)
{
    return view->visualRect(view->model()->index(row, 0)).center();
}

// Drives the child's window: ticks as the tick engine posts them.
struct TickDriver
{
    TfrmScreen &screen;
    std::int64_t tick = 0;
    void operator()(int n)
    {
        for (int i = 0; i < n; ++i) {
            TTickEvent event(screen.Generation(), ++tick);
            QCoreApplication::sendEvent(&screen, &event);
        }
    }
    // From the title to the end of the given round: the start press, the pause, then presses in each round.
    void runTest(int rounds)
    {
        (*this)(51);
        QTest::mouseClick(&screen, Qt::LeftButton);
        (*this)(20);
        while (screen.Administration().Round <= rounds) {
            (*this)(3);
            QTest::mouseClick(&screen, Qt::LeftButton);
            while (screen.Administration().Step != 0)
                (*this)(1);
        }
        QTest::keyClick(&screen, Qt::Key_Escape, Qt::ShiftModifier);
    }
};

// Answers the next modal entry window with what the examiner does in it.
void whenEntryShown(TfrmInput &input, std::function<void()> examiner)
{
    QTimer::singleShot(0, &input, [&input, examiner] {
        QVERIFY(input.isVisible());
        examiner();
    });
}

// Stands in for the desktop's browser.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened.append(url); }
};

} // namespace

class PanelTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        TMessageBox::SetAutoAnswer(true);
    }
    void init() { TMessageBox::ClearShownTexts(); }

    // The program speaks Japanese on any desktop: Qt's own buttons too, under an English locale.
    void qtOwnTexts_areJapanese_underAnEnglishLocale()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY2(InstallJapaneseQtTranslations(*qApp), "qtbase_ja.qm (qt6-translations-l10n) is missing");
        QMessageBox question(QMessageBox::Question, u"VIGIX"_s, u"?"_s, QMessageBox::Yes | QMessageBox::Cancel);
        QCOMPARE(question.button(QMessageBox::Yes)->text(), u"はい(&Y)"_s);
        QCOMPARE(question.button(QMessageBox::Cancel)->text(), u"キャンセル"_s);
        for (QTranslator *translator : qApp->findChildren<QTranslator *>())
            QCoreApplication::removeTranslator(translator);
        QLocale::setDefault(before);
    }

    void firstStart_createsMissingFolderOwnerOnly_emptyList()
    {
        QTemporaryDir root;
        const QString folder = root.filePath(u"Documents/vigix/"_s);
        TfrmPanel panel(folder);
        QVERIFY(QDir(folder).exists());
        QCOMPARE(QFile::permissions(folder) & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
                 QFileDevice::Permissions());
        auto *list = panel.findChild<QTreeView *>(u"ListView1"_s);
        QVERIFY(list);
        QCOMPARE(list->model()->rowCount(), 0);
        QVERIFY(TMessageBox::ShownTexts().isEmpty());
        QCOMPARE(panel.windowTitle(), u"VIGIX"_s);
    }

    void search_narrowsTheListAsTyped_inItsOrder_clearingShowsEveryTest()
    {
        QTemporaryDir folder;
        writeTest(folder.path(), u"1001"_s, u"山田"_s, u"はなこ"_s);
        writeTest(folder.path(), u"10000"_s, u"ﾔﾏﾀﾞ"_s, u"太郎"_s);
        writeTest(folder.path(), u"1002"_s, u"佐藤"_s, u"一"_s);
        writeTest(folder.path(), u"2001"_s, u"Yamada"_s, u"Ken"_s);
        TfrmPanel panel(folder.path());
        auto *list = panel.findChild<QTreeView *>(u"ListView1"_s);
        auto *icons = panel.findChild<QListView *>(u"ListView1Icons"_s);
        auto *search = panel.findChild<QLineEdit *>(u"edtSearch"_s);
        QVERIFY(search);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 1)); // 1001 is current
        QCOMPARE(panel.StatusNumber(), u"1001"_s);

        const auto shownFor = [&](const QString &text) {
            search->setText(text);
            return column(list, 0);
        };
        QCOMPARE(shownFor(u"ヤマダ"_s), QStringList{u"10000"_s});                         // half-width kana as stored
        QCOMPARE(shownFor(u"yamada"_s), QStringList{u"2001"_s});                          // letter case
        QCOMPARE(shownFor(u"山田はなこ"_s), QStringList{u"1001"_s});                      // without the space
        QCOMPARE(shownFor(u"１００"_s), (QStringList{u"10000"_s, u"1001"_s, u"1002"_s})); // full-width digits
        QCOMPARE(shownFor(u"2026/12/01"_s), (QStringList{u"10000"_s, u"1001"_s, u"1002"_s, u"2001"_s}));
        QCOMPARE(shownFor(u"ＡＤＨＤ"_s), QStringList()); // the diagnosis is not searched
        panel.SetViewStyle(TfrmPanel::ViewStyle::LargeIcons);
        search->setText(u"佐藤"_s);
        QCOMPARE(column(icons, 0), QStringList{u"1002"_s});
        QCOMPARE(panel.StatusNumber(), u"1001"_s); // the current test stays while it is hidden
        panel.SetViewStyle(TfrmPanel::ViewStyle::Details);
        QCOMPARE(shownFor(QString()), (QStringList{u"10000"_s, u"1001"_s, u"1002"_s, u"2001"_s}));
    }

    void list_showsEveryTxtSortedAsTextWithSubjectColumns()
    {
        QTemporaryDir folder;
        writeTest(folder.path(), u"1001"_s, u"山田"_s, u"はなこ"_s);
        writeTest(folder.path(), u"10000"_s, u"ﾔﾏﾀﾞ"_s, u"太郎"_s);
        writeTest(folder.path(), u"1002"_s, u"佐藤"_s, u"一"_s);
        QFile memo(folder.filePath(u"memo.txt"_s));
        QVERIFY(memo.open(QIODevice::WriteOnly));
        memo.write("first,second,third\r\n");
        memo.close();
        QFile deleted(folder.filePath(u"1003.del"_s));
        QVERIFY(deleted.open(QIODevice::WriteOnly));
        deleted.close();

        TfrmPanel panel(folder.path());
        auto *list = panel.findChild<QTreeView *>(u"ListView1"_s);
        QCOMPARE(column(list, 0), (QStringList{u"10000"_s, u"1001"_s, u"1002"_s, u"memo"_s}));
        QCOMPARE(column(list, 2), (QStringList{u"ﾔﾏﾀﾞ 太郎"_s, u"山田 はなこ"_s, u"佐藤 一"_s, u"third "_s}));
        // Any other "*.txt" shows its first line taken as a subject record.
        QCOMPARE(list->model()->index(3, 1).data().toString(), u"second"_s);
        QCOMPARE(list->model()->index(1, 3).data().toString(), u"2016/4/1"_s);
        QCOMPARE(list->model()->index(1, 4).data().toString(), u"女"_s);
        QCOMPARE(list->model()->index(1, 5).data().toString(), u"ＡＤＨＤ（混合型）"_s);
        QCOMPARE(list->model()->index(1, 8).data().toString(), u"ﾒﾓ"_s);
        QCOMPARE(list->model()->headerData(6, Qt::Horizontal).toString(), u"投薬"_s);
        QCOMPARE(list->columnWidth(0), 80);
        QCOMPARE(list->columnWidth(4), 25);

        // A test stored later appears in its place on the next refresh.
        writeTest(folder.path(), u"1000"_s, u"新"_s, u"規"_s);
        panel.RefreshTestList();
        QCOMPARE(column(list, 0), (QStringList{u"1000"_s, u"10000"_s, u"1001"_s, u"1002"_s, u"memo"_s}));
    }

    void click_makesTestCurrent_arrowKeysDoNot()
    {
        QTemporaryDir folder;
        writeTest(folder.path(), u"1001"_s, u"A"_s, u"B"_s);
        writeTest(folder.path(), u"1002"_s, u"C"_s, u"D"_s);
        TfrmPanel panel(folder.path());
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        auto *list = panel.findChild<QTreeView *>(u"ListView1"_s);

        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 1));
        QCOMPARE(panel.Values().CurrentTestNumber, u"1002"_s);
        QCOMPARE(panel.StatusNumber(), u"1002"_s);
        // The selected row stands out, also while another window is active.
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        const QPoint inSexColumn = list->visualRect(list->model()->index(1, 4)).center() + QPoint(8, 0);
        QCOMPARE(list->viewport()->grab().toImage().pixelColor(inSexColumn),
                 list->palette().color(QPalette::Inactive, QPalette::Highlight));
        other.hide();

        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(list->currentIndex().row(), 0);
        QCOMPARE(panel.Values().CurrentTestNumber, u"1002"_s);
        QCOMPARE(panel.StatusNumber(), u"1002"_s);

        // A click below the rows selects nothing and changes nothing.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(10, list->viewport()->height() - 3));
        QCOMPARE(panel.Values().CurrentTestNumber, u"1002"_s);
    }

    void report_withoutCurrentTest_warns()
    {
        QTemporaryDir folder;
        TfrmPanel panel(folder.path());
        panel.tbnReport->trigger();
        QCOMPARE(TMessageBox::ShownTexts(), QStringList{u"対象になる検査を選択してください"_s});
        // A current test whose file has gone: its error, and no preview.
        panel.Values().CurrentTestNumber = u"1001"_s;
        panel.mnuReport->trigger();
        QCOMPARE(TMessageBox::ShownTexts().size(), 2);
        QVERIFY(TMessageBox::ShownTexts().last().contains(u"1001.txt"_s));
        QVERIFY(!panel.Print().Busy());

        // With the test there: the preview opens, and a second command while it is open changes nothing.
        writeTest(folder.path(), u"1001"_s, u"A"_s, u"B"_s);
        int previews = -1;
        QTimer::singleShot(0, &panel, [&] {
            panel.tbnReport->trigger();
            previews = 0;
            for (QWidget *window : QApplication::topLevelWidgets()) {
                if (auto *preview = qobject_cast<QPrintPreviewDialog *>(window); preview && preview->isVisible()) {
                    ++previews;
                    preview->close();
                }
            }
        });
        panel.mnuReport->trigger(); // returns when the preview is closed
        QCOMPARE(previews, 1);
        QVERIFY(!panel.Print().Busy());
        QCOMPARE(TMessageBox::ShownTexts().size(), 2);
    }

    void hints_reachStatusPanelBehindTwoBlanks_neverAsToolTips()
    {
        QTemporaryDir folder;
        TfrmPanel panel(folder.path());
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));

        panel.mnuStep2->showStatusText(&panel);
        QCOMPARE(panel.StatusHint(), u"  Step 2 - 練習セクションをはじめます"_s);
        panel.mnuGraph2->showStatusText(&panel);
        QCOMPARE(panel.StatusHint(), u"  反応時間の分布をを棒グラフで表現します"_s);

        QToolButton *tableButton = nullptr;
        for (QToolButton *button : panel.findChildren<QToolButton *>()) {
            if (button->defaultAction() == panel.tbnTable)
                tableButton = button;
        }
        QVERIFY(tableButton);
        QCOMPARE(tableButton->statusTip(), u"検査結果一覧表を表示します"_s);
        QVERIFY(panel.tbnTable->isCheckable());
        QHelpEvent help(QEvent::ToolTip, QPoint(4, 4), tableButton->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(tableButton, &help);
        QVERIFY(!QToolTip::isVisible());
    }

    void help_opensHelpPageBesideProgram()
    {
        QTemporaryDir folder;
        TfrmPanel panel(folder.path());
        UrlRecorder recorder;
        for (const QString &scheme : {u"file"_s, u"http"_s, u"https"_s})
            QDesktopServices::setUrlHandler(scheme, &recorder, "open");
        panel.tbnHelp->trigger();
        panel.mnuHelp->trigger();
        // The home-page entry stays inert: no address is known.
        panel.mnuHomePage->trigger();
        for (const QString &scheme : {u"file"_s, u"http"_s, u"https"_s})
            QDesktopServices::unsetUrlHandler(scheme);
        const QUrl expected = QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + u"/help/index.htm"_s);
        QCOMPARE(recorder.opened, (QList<QUrl>{expected, expected}));

        // Run from the build folder the files are beside the program; installed, under share/vigix of its prefix.
        const QString root = folder.path();
        QVERIFY(QDir().mkpath(root + u"/build/help"_s) && QDir().mkpath(root + u"/opt/x/bin"_s) &&
                QDir().mkpath(root + u"/opt/x/share/vigix/help"_s) && QDir().mkpath(root + u"/bare"_s));
        QCOMPARE(ProgramFilesFolder(root + u"/build/"_s), root + u"/build/"_s);
        QCOMPARE(ProgramFilesFolder(root + u"/opt/x/bin/"_s), root + u"/opt/x/share/vigix/"_s);
        QCOMPARE(ProgramFilesFolder(root + u"/bare/"_s), root + u"/bare/"_s);
    }

    void closeAllCards_closesOnlyCardWindows()
    {
        QTemporaryDir folder;
        TfrmPanel panel(folder.path());
        panel.CloseAllCards(); // none open: nothing happens
        QPointer<QWidget> card1 = new QWidget;
        card1->setObjectName(u"card1001"_s);
        QPointer<QWidget> card2 = new QWidget;
        card2->setObjectName(u"card1002"_s);
        QPointer<QWidget> other = new QWidget;
        other->setObjectName(u"frmTable"_s);
        panel.mnuCloseAllCards->trigger();
        QVERIFY(card1.isNull());
        QVERIFY(card2.isNull());
        QVERIFY(!other.isNull());
        delete other;
    }

    void dataFolderBlocked_toldAtStartUp()
    {
        QTemporaryDir root;
        QFile blocker(root.filePath(u"Documents"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        TfrmPanel panel(root.filePath(u"Documents/vigix/"_s));
        QCOMPARE(TMessageBox::ShownTexts().size(), 1);
        QVERIFY(TMessageBox::ShownTexts().first().contains(u"Documents"_s));
    }

    // A clinic's folder, chosen in the program: the list, the numbers, the views and the next start use it. When it
    // cannot be reached at start-up the list stays empty, and no other folder takes its place.
    void dataFolderChoice_isUsedAndKept_anUnreachableOneLeavesTheListEmpty()
    {
        const QString ini = TWindowLayout::DefaultSettingsPath();
        QFile::remove(ini);
        const auto forget = qScopeGuard([&ini] { QFile::remove(ini); });
        QTemporaryDir root;
        const QString local = root.filePath(u"local/"_s);
        const QString share = root.filePath(u"share/vigix/"_s);
        QVERIFY(QDir().mkpath(local) && QDir().mkpath(share));
        writeTest(local, u"1001"_s, u"山田"_s, u"花子"_s);
        writeTest(share, u"1001"_s, u"佐藤"_s, u"一"_s);
        writeTest(share, u"1002"_s, u"鈴木"_s, u"二郎"_s);

        auto panel = std::make_unique<TfrmPanel>(local);
        auto *list = panel->findChild<QTreeView *>(u"ListView1"_s);
        panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 0));
        QCOMPARE(panel->Table().windowTitle(), u"1001 山田 花子"_s);
        QVERIFY(panel->OpenCard());

        // A folder that is not there is refused and changes nothing.
        QVERIFY_THROWS_EXCEPTION(EInOutError, panel->SetDataFolder(root.filePath(u"offline"_s)));
        QCOMPARE(panel->Store().Folder(), local);
        QVERIFY(!QFile::exists(ini));

        panel->SetDataFolder(root.filePath(u"share/vigix"_s));
        QCOMPARE(panel->Store().Folder(), share);
        QCOMPARE(column(list, 0), (QStringList{u"1001"_s, u"1002"_s}));
        // Test 1001 of the old folder is another child: nothing of it stays on show.
        QVERIFY(panel->Values().CurrentTestNumber.isEmpty() && panel->StatusNumber().isEmpty());
        QVERIFY(!TfrmPanel::FindCard(u"1001"_s));
        QCOMPARE(panel->Table().windowTitle(), u"検査結果"_s);
        QCOMPARE(panel->Graph1().windowTitle(), u"反応時間推移グラフ"_s);
        QCOMPARE(panel->Screen().Administration().Store->Folder(), share);
        panel->Input().PrepareNewTest();
        QCOMPARE(panel->Input().edtKensabangou->text(), u"1003"_s);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 0));
        QCOMPARE(panel->Table().windowTitle(), u"1001 佐藤 一"_s);
        panel.reset();

        // The next start opens the chosen folder.
        QCOMPARE(QSettings(ini, QSettings::IniFormat).value(u"Data/Folder"_s).toString(),
                 root.filePath(u"share/vigix"_s));
        panel = std::make_unique<TfrmPanel>();
        QCOMPARE(panel->Store().Folder(), share);
        QCOMPARE(column(panel->findChild<QTreeView *>(u"ListView1"_s), 0), (QStringList{u"1001"_s, u"1002"_s}));
        panel.reset();

        // The share goes offline: told, an empty list, and neither the share's path nor the default folder used.
        QVERIFY(QDir().rename(root.filePath(u"share"_s), root.filePath(u"share-offline"_s)));
        TMessageBox::ClearShownTexts();
        panel = std::make_unique<TfrmPanel>();
        QCOMPARE(TMessageBox::ShownTexts().size(), 1);
        QVERIFY2(TMessageBox::ShownTexts().first().contains(u"接続できません"_s),
                 qPrintable(TMessageBox::ShownTexts().first()));
        QCOMPARE(panel->Store().Folder(), share);
        QCOMPARE(panel->findChild<QTreeView *>(u"ListView1"_s)->model()->rowCount(), 0);
        QVERIFY(!QDir(share).exists());
        QVERIFY(!QDir(DefaultDataFolder()).exists());
        panel.reset();

        // Settings that cannot be read are told, and no folder is used in the place of the one they name.
        QVERIFY(QFile::remove(ini) && QDir().mkdir(ini));
        TMessageBox::ClearShownTexts();
        panel = std::make_unique<TfrmPanel>();
        QVERIFY2(TMessageBox::ShownTexts().join(u'\n').contains(u"設定ファイル"_s),
                 qPrintable(TMessageBox::ShownTexts().join(u'\n')));
        QVERIFY(panel->Store().Folder().isEmpty());
        QVERIFY(!QDir(DefaultDataFolder()).exists());
        QVERIFY(QDir(ini).removeRecursively());
    }

    void viewStyles_switchBetweenDetailsAndIcons()
    {
        QTemporaryDir folder;
        writeTest(folder.path(), u"1001"_s, u"A"_s, u"B"_s);
        TfrmPanel panel(folder.path());
        auto *icons = panel.findChild<QListView *>(u"ListView1Icons"_s);
        auto *details = panel.findChild<QTreeView *>(u"ListView1"_s);
        QCOMPARE(panel.CurrentViewStyle(), TfrmPanel::ViewStyle::Details);
        panel.mnuLargeIcons->trigger();
        QCOMPARE(icons->viewMode(), QListView::IconMode);
        QCOMPARE(icons->iconSize(), QSize(32, 32));
        QVERIFY(!details->isVisibleTo(&panel) || !icons->isHidden());
        panel.mnuList->trigger();
        QCOMPARE(icons->viewMode(), QListView::ListMode);
        QCOMPARE(icons->flow(), QListView::TopToBottom);
        QCOMPARE(icons->model()->index(0, 0).data().toString(), u"1001"_s);
        // The drop-down button offers the same four styles.
        QCOMPARE(panel.tbnViewStyle->menu()->actions(),
                 (QList<QAction *>{panel.mnuLargeIcons, panel.mnuSmallIcons, panel.mnuList, panel.mnuDetails}));
        panel.tbnViewStyle->menu()->actions().last()->trigger();
        QCOMPARE(panel.CurrentViewStyle(), TfrmPanel::ViewStyle::Details);
    }

    void refresh_unreadableEntries_areRowsOfTheirOwn_everyOtherTestListed()
    {
        QTemporaryDir folder;
        writeTest(folder.path(), u"1001"_s, u"A"_s, u"B"_s);
        writeTest(folder.path(), u"1004"_s, u"E"_s, u"F"_s);
        // A folder named like a test file, and an empty file: neither can be read as a test.
        QVERIFY(QDir(folder.path()).mkdir(u"1002.txt"_s));
        QFile(folder.filePath(u"1003.txt"_s)).open(QIODevice::WriteOnly);

        TfrmPanel panel(folder.path());
        auto *list = panel.findChild<QTreeView *>(u"ListView1"_s);
        QCOMPARE(TMessageBox::ShownTexts(), QStringList());
        QCOMPARE(column(list, 0), (QStringList{u"1001"_s, u"1002"_s, u"1003"_s, u"1004"_s}));
        QCOMPARE(column(list, 1), (QStringList{u"2026/12/01 10:00:00"_s, u"読めません"_s, u"読めません"_s,
                                               u"2026/12/01 10:00:00"_s}));
        QVERIFY(list->model()->index(1, 0).data(Qt::ToolTipRole).toString().contains(u"1002.txt"_s));
        QVERIFY(list->model()->index(2, 1).data(Qt::ToolTipRole).toString().contains(u"空のファイル"_s));

        // Listed again, a test that has come meanwhile is there, and the selected test stays selected.
        list->setCurrentIndex(list->model()->index(3, 0));
        writeTest(folder.path(), u"1005"_s, u"G"_s, u"H"_s);
        panel.RefreshTestList();
        QCOMPARE(column(list, 0), (QStringList{u"1001"_s, u"1002"_s, u"1003"_s, u"1004"_s, u"1005"_s}));
        QCOMPARE(list->selectionModel()->selectedRows(0).value(0).data().toString(), u"1004"_s);
    }

    // Two computers on one shared folder, each offered 1001 for its child: whichever saves second stores its test
    // under the next free number, replacing nothing, and its examiner is told once the child's screen has closed.
    void step3_twoComputersOnOneFolder_neitherTestReplacesTheOther()
    {
        QTemporaryDir folder;
        const QString shared = folder.path() + u'/';
        TfrmPanel first(shared), second(shared);
        const auto startTest = [](TfrmPanel &panel, const QString &name, const QString &offered = u"1001"_s) {
            TfrmInput &input = panel.Input();
            whenEntryShown(input, [&input, name, offered] {
                QCOMPARE(input.edtKensabangou->text(), offered);
                input.edtShimei1->setText(name);
                input.edtShimei2->setText(u"二郎"_s);
                input.cmbSeinengappi1->setEditText(u"2015"_s);
                input.cmbSeinengappi2->setEditText(u"7"_s);
                input.cmbSeinengappi3->setEditText(u"20"_s);
                input.cmbSeibetsu->setCurrentIndex(1);
                input.cmbTouyaku->setCurrentIndex(1);
                QTest::mouseClick(input.btnStart, Qt::LeftButton);
            });
            panel.mnuStep3->trigger();
            QVERIFY(panel.Screen().isVisible());
        };
        TMessageBox::ClearShownTexts();
        startTest(first, u"鈴木"_s);
        startTest(second, u"佐藤"_s);

        TAdministration &administration = first.Screen().Administration();
        int shownWhileStoring = -1;
        const auto tellPanel = administration.OnNumberTaken;
        administration.OnNumberTaken = [&](const QString &offered, const QString &stored) {
            tellPanel(offered, stored);
            shownWhileStoring = int(TMessageBox::ShownTexts().size());
        };
        TickDriver{second.Screen()}.runTest(3); // the second computer's test ends first
        TickDriver{first.Screen()}.runTest(2);
        QVERIFY(!first.Screen().isVisible() && !second.Screen().isVisible());

        const auto stored = [&shared](const QString &number) {
            TTestFile test;
            test.ReadFile(shared, number);
            return u"%1 %2"_s.arg(test.Info.Shimei1).arg(test.RoundCount);
        };
        QCOMPARE(stored(u"1001"_s), u"佐藤 3"_s);
        QCOMPARE(stored(u"1002"_s), u"鈴木 2"_s);
        QCOMPARE(shownWhileStoring, 0);
        QCOMPARE(TMessageBox::ShownTexts().size(), 1);
        QVERIFY2(TMessageBox::ShownTexts().first().contains(u"検査番号 1002 で保存しました"_s),
                 qPrintable(TMessageBox::ShownTexts().first()));
        QCOMPARE(column(first.findChild<QTreeView *>(u"ListView1"_s), 0), (QStringList{u"1001"_s, u"1002"_s}));
        QVERIFY(FindAbandonedTests(TRoundJournal::LocalJournalFolder(), shared).isEmpty()); // both journals gone

        // The share goes offline during the next test: the save fails over the child's screen, which stays, with the
        // rounds kept and the way to another folder told; once the share is back, Shift+Esc stores them.
        startTest(first, u"高橋"_s, u"1003"_s);
        TMessageBox::ClearShownTexts();
        TMessageBox::SetChooseAnswer(1); // OK
        const QString offline = QDir::cleanPath(shared) + u"-offline"_s;
        QVERIFY(QDir().rename(shared, offline));
        TickDriver{first.Screen()}.runTest(2);
        TMessageBox::SetChooseAnswer(-1);
        QVERIFY(first.Screen().isVisible());
        QCOMPARE(TMessageBox::ShownTexts().size(), 1);
        QVERIFY2(TMessageBox::ShownTexts().first().contains(u"失われていません"_s) &&
                     TMessageBox::ShownTexts().first().contains(u"データフォルダ"_s),
                 qPrintable(TMessageBox::ShownTexts().first()));
        QVERIFY(QDir().rename(offline, shared));
        QTest::keyClick(&first.Screen(), Qt::Key_Escape, Qt::ShiftModifier);
        QVERIFY(!first.Screen().isVisible());
        QCOMPARE(stored(u"1003"_s), u"高橋 2"_s);
    }

    // A logout during a test: SIGTERM closes the child's window (which refuses the window manager's close), stores
    // nothing, and closes the main window even though the layout cannot be kept; the rounds so far, the one
    // completed just before the signal too, stay in the journal, and the next start offers them.
    void sigterm_duringATest_endsTheTestUnstored_andTheNextStartOffersEveryCompletedRound()
    {
        QTemporaryDir folder;
        const QString settings = TWindowLayout::DefaultSettingsPath();
        const QString settingsAside = settings + u".aside"_s;
        QFile::remove(settingsAside);
        const bool hadSettings = QFile::rename(settings, settingsAside);
        const auto restore = qScopeGuard([&] {
            QDir().rmdir(settings);
            if (hadSettings)
                QFile::rename(settingsAside, settings);
            // A failure midway must not leave the journal to be offered in the tests that follow.
            for (const TAbandonedTest &left : FindAbandonedTests(TRoundJournal::LocalJournalFolder(), QString()))
                DiscardAbandonedTest(left);
        });
        {
            TfrmPanel panel(folder.path() + u'/');
            TfrmInput &input = panel.Input();
            TickDriver ticks{panel.Screen()};
            whenEntryShown(input, [&] {
                input.edtShimei1->setText(u"佐藤"_s);
                input.edtShimei2->setText(u"三郎"_s);
                input.cmbSeinengappi1->setEditText(u"2016"_s);
                input.cmbSeinengappi2->setEditText(u"5"_s);
                input.cmbSeinengappi3->setEditText(u"3"_s);
                input.cmbSeibetsu->setCurrentIndex(2);
                input.cmbTouyaku->setCurrentIndex(1);
                QTest::mouseClick(input.btnStart, Qt::LeftButton);
            });
            panel.show();
            panel.mnuStep3->trigger();
            ticks(51);
            QTest::mouseClick(&panel.Screen(), Qt::LeftButton);
            ticks(20);
            while (panel.Screen().Administration().Round <= 4)
                ticks(1); // round 4 has just completed; no tick has handed it to the journal yet
            QVERIFY(!panel.Screen().close()); // the window manager's close is refused
            QVERIFY(panel.Screen().isVisible());

            // The layout cannot be kept: a folder stands where the settings file would be written.
            QVERIFY(QDir().mkpath(settings));
            TMessageBox::ClearShownTexts();
            bool handled = false;
            TTerminationSignals termination([&] {
                panel.EndOnQuitRequest();
                handled = true;
            });
            QVERIFY(::raise(SIGTERM) == 0); // the default action would end this test program
            QTRY_VERIFY(handled);
            QVERIFY(!panel.Screen().isVisible());
            QVERIFY(!panel.Screen().IsOpen());
            QVERIFY(!panel.isVisible());
            QCOMPARE(TMessageBox::ShownTexts(), QStringList());
            QVERIFY(!QFile::exists(folder.path() + u"/1001.txt"_s));
        } // the program's windows close as after the event loop's end

        TMessageBox::ClearShownTexts();
        TMessageBox::SetChooseAnswer(0); // 保存する
        TfrmPanel next(folder.path() + u'/');
        QCOMPARE(TMessageBox::ShownTexts().size(), 1);
        QVERIFY2(TMessageBox::ShownTexts().first().contains(u"記録されていた 4 試行"_s),
                 qPrintable(TMessageBox::ShownTexts().first()));
        TTestFile stored;
        stored.ReadFile(folder.path() + u'/', u"1001"_s);
        QCOMPARE(stored.Info.Shimei1, u"佐藤"_s);
        QCOMPARE(stored.RoundCount, 4);
        TMessageBox::SetChooseAnswer(-1);
    }

    void step3_wholeExamination_enteredTestedStoredListedCorrectedRetestedDeleted()
    {
        QTemporaryDir folder;
        TfrmPanel panel(folder.path() + u'/');
        TfrmInput &input = panel.Input();
        TickDriver ticks{panel.Screen()};
        auto *list = panel.findChild<QTreeView *>(u"ListView1"_s);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));

        whenEntryShown(input, [&] {
            QCOMPARE(input.btnStart->text(), u"検査開始"_s);
            QCOMPARE(input.edtKensabangou->text(), u"1001"_s);
            input.edtShimei1->setText(u"鈴木"_s);
            input.edtShimei2->setText(u"一郎"_s);
            input.cmbSeinengappi1->setEditText(u"2015"_s);
            input.cmbSeinengappi2->setEditText(u"7"_s);
            input.cmbSeinengappi3->setEditText(u"20"_s);
            input.cmbSeibetsu->setCurrentIndex(1);
            input.cmbTouyaku->setCurrentIndex(2);
            QTest::mouseClick(input.btnStart, Qt::LeftButton);
        });
        panel.mnuStep3->trigger();
        QVERIFY(!input.isVisible());
        QVERIFY(panel.Screen().isVisible());
        QCOMPARE(panel.Screen().Administration().Section, 3);
        ticks.runTest(6);
        QVERIFY(!panel.Screen().isVisible());

        TTestFile stored;
        stored.ReadFile(panel.Store().Folder(), u"1001"_s);
        QCOMPARE(stored.Info.Shimei1 + stored.Info.Shimei2, u"鈴木一郎"_s);
        QCOMPARE(stored.Info.Touyaku, u"リタリン"_s);
        QCOMPARE(stored.RoundCount, 6);
        for (int i = 1; i <= 6; ++i)
            QCOMPARE(stored.Rounds[i].Button[1], 1); // every round was pressed
        QCOMPARE(column(list, 0), QStringList{u"1001"_s});

        // The card: opened by a double-click, and brought back by a second one.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 0));
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 0));
        TfrmCard *card = TfrmPanel::FindCard(u"1001"_s);
        QVERIFY(card && card->isVisible());
        QCOMPARE(card->height(), TfrmCard::CollapsedHeight);
        QCOMPARE(panel.StatusNumber(), u"1001"_s);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 0));
        int cards = 0;
        for (QWidget *window : QApplication::topLevelWidgets())
            cards += window->objectName().startsWith(u"card"_s);
        QCOMPARE(cards, 1);

        // Correct the memo: the file keeps its rounds, the list and the card show the new memo.
        whenEntryShown(input, [&] {
            QCOMPARE(input.btnStart->text(), u"修　正"_s);
            input.edtMemo->setText(u"午前に実施"_s);
            QTest::mouseClick(input.btnStart, Qt::LeftButton);
        });
        QTest::mouseClick(card->sbnEdit, Qt::LeftButton);
        TTestFile corrected;
        corrected.ReadFile(panel.Store().Folder(), u"1001"_s);
        QCOMPARE(corrected.Info.Memo, u"午前に実施"_s);
        QCOMPARE(corrected.RoundCount, 6);
        for (int i = 1; i <= 6; ++i)
            QVERIFY(corrected.Rounds[i] == stored.Rounds[i]);
        QCOMPARE(column(list, 8), QStringList{u"午前に実施"_s});
        QCOMPARE(card->lblMemo->text(), u"午前に実施"_s);

        // Re-test: a new number, the same child.
        whenEntryShown(input, [&] {
            QCOMPARE(input.edtKensabangou->text(), u"1002"_s);
            QCOMPARE(input.edtShimei1->text(), u"鈴木"_s);
            QTest::mouseClick(input.btnStart, Qt::LeftButton);
        });
        QTest::mouseClick(card->sbnRetest, Qt::LeftButton);
        QVERIFY(panel.Screen().isVisible());
        ticks.runTest(2);
        TTestFile second;
        second.ReadFile(panel.Store().Folder(), u"1002"_s);
        QCOMPARE(second.RoundCount, 2);
        TTestInfo sameChild = second.Info;
        sameChild.Kensabangou = corrected.Info.Kensabangou;
        sameChild.Kensanichiji = corrected.Info.Kensanichiji;
        QCOMPARE(sameChild, corrected.Info);
        QCOMPARE(column(list, 0), (QStringList{u"1001"_s, u"1002"_s}));

        // Delete the first test: its number stays taken.
        QPointer<TfrmCard> firstCard = card;
        TMessageBox::SetConfirmAnswer(true);
        QTest::mouseClick(card->sbnDelete, Qt::LeftButton);
        QTRY_VERIFY(firstCard.isNull());
        QCOMPARE(column(list, 0), QStringList{u"1002"_s});
        QCOMPARE(panel.Store().NextTestNumber(), 1003);
        QVERIFY(TMessageBox::ShownTexts().endsWith(u"1001のデータを削除していいですか"_s));
    }

    void resultWindows_checkButtonsFollowThem_placesKeptOnlyByTheCloseBox()
    {
        const QString ini = TWindowLayout::DefaultSettingsPath();
        QFile::remove(ini);
        QTemporaryDir folder;
        writeTest(folder.path(), u"1001"_s, u"A"_s, u"B"_s);
        auto panel = std::make_unique<TfrmPanel>(folder.path());
        panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
        TfrmTable &table = panel->Table();
        QCOMPARE(table.pos(), QPoint(580, 0)); // no settings file yet

        panel->mnuTable->trigger();
        QVERIFY(table.isVisible() && panel->tbnTable->isChecked());
        table.close(); // its own close box
        QVERIFY(!panel->tbnTable->isChecked());
        panel->tbnTable->trigger();
        QVERIFY(table.isVisible());
        panel->mnuHideAllGraphs->trigger();
        QVERIFY(!table.isVisible() && !panel->tbnTable->isChecked());

        // A click on a test fills the table, shown or not.
        auto *list = panel->findChild<QTreeView *>(u"ListView1"_s);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 0));
        QCOMPARE(table.windowTitle(), u"1001 A B"_s);

        // "終了" ends the event loop and the window is destroyed without its close query: nothing is written.
        panel->mnuLayoutA->trigger();
        panel.reset();
        QVERIFY(!QFile::exists(ini));
        // The close box writes; a file that cannot be kept is told once, and the window closes all the same.
        panel = std::make_unique<TfrmPanel>(folder.path());
        panel->show();
        QCOMPARE(panel->Table().pos(), QPoint(580, 0));
        QDir().mkpath(ini);
        const qsizetype shown = TMessageBox::ShownTexts().size();
        QVERIFY(panel->close());
        QVERIFY(!panel->isVisible());
        QCOMPARE(TMessageBox::ShownTexts().size(), shown + 1);
        QVERIFY2(TMessageBox::ShownTexts().last().contains(u"vigix.ini"_s),
                 qPrintable(TMessageBox::ShownTexts().last()));
        QVERIFY(QDir().rmdir(ini));
        panel = std::make_unique<TfrmPanel>(folder.path());
        panel->show();
        panel->Table().move(33, 44);
        QVERIFY(panel->close());
        panel.reset();
        TfrmPanel again(folder.path());
        again.show();
        QCOMPARE(again.Table().pos(), QPoint(33, 44));
        QFile::remove(ini);
    }

    void csvExport_selectedTestOrEveryTest()
    {
        QTemporaryDir folder;
        writeTest(folder.path(), u"1001"_s, u"A"_s, u"B"_s);
        writeTest(folder.path(), u"1002"_s, u"C"_s, u"D"_s);
        TfrmPanel panel(folder.path());
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        auto rows = [&](const QString &csv) {
            QFile file(csv);
            return file.open(QIODevice::ReadOnly) ? file.readAll().count("\r\n") - 1 : -1;
        };
        const QString all = folder.filePath(u"all.csv"_s);
        TCsvExportCommand::SetNextFileName(all);
        panel.mnuCsvExport->trigger();
        QCOMPARE(rows(all), 2);
        QCOMPARE(panel.StatusHint(), u"  CSV出力完了（2 件）"_s);
        auto *list = panel.findChild<QTreeView *>(u"ListView1"_s);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, 1));
        const QString one = folder.filePath(u"one.csv"_s);
        TCsvExportCommand::SetNextFileName(one);
        panel.mnuCsvExport->trigger();
        QCOMPARE(rows(one), 1);
        QFile file(one);
        QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll().contains(",1002,"));
    }

    void about_showsNameVersionLicenceAndQt()
    {
        QTemporaryDir folder;
        TfrmPanel panel(folder.path());
        QString title;
        QTimer::singleShot(0, &panel.About(), [&] {
            title = panel.About().windowTitle();
            panel.About().reject();
        });
        panel.mnuAbout->trigger();
        QCOMPARE(title, u"バージョン情報"_s);
        QVERIFY(panel.About().lblVersion->text().contains(QRegularExpression(u"\\d+\\.\\d+\\.\\d+"_s)));
        QVERIFY(panel.About().lblQt->text().contains(QString::fromLatin1(qVersion())));
        QVERIFY(panel.About().lblLicence->text().contains(u"GPL-3.0"_s));
    }

    void step3_cancel_storesNothingAndOffersTheSameNumberAgain()
    {
        QTemporaryDir folder;
        TfrmPanel panel(folder.path() + u'/');
        TfrmInput &input = panel.Input();
        for (int attempt = 0; attempt < 2; ++attempt) {
            whenEntryShown(input, [&] {
                QCOMPARE(input.edtKensabangou->text(), u"1001"_s);
                input.edtShimei1->setText(u"鈴木"_s);
                QTest::mouseClick(input.btnCancel, Qt::LeftButton);
            });
            panel.mnuStep3->trigger();
            QVERIFY(!input.isVisible());
            QVERIFY(!panel.Screen().isVisible());
        }
        QVERIFY(QDir(folder.path()).entryList(QDir::Files).isEmpty());
        QCOMPARE(panel.TestFile().Info, TTestInfo());
    }

    void steps_runTheSectionsInTheChildsWindow_andAStoredTestIsListed()
    {
        QTemporaryDir folder;
        TfrmPanel panel(folder.path()); // no sound channel: the examiner is told
        auto *noSound = panel.findChild<QLabel *>(u"StatusSound"_s);
        QVERIFY(noSound && noSound->toolTip().contains(u"サウンドデバイスが見つかりません"_s));
        // Short, so that the hints beside it stay readable.
        QVERIFY(noSound->sizeHint().width() < panel.width() / 8);

        QTimer::singleShot(0, &panel.Step0(), &QDialog::reject);
        panel.mnuStep0->trigger(); // modal, closed by the timer
        QVERIFY(!panel.Step0().isVisible());

        TfrmScreen &screen = panel.Screen();
        for (int section : {1, 2}) {
            (section == 1 ? panel.mnuStep1 : panel.mnuStep2)->trigger();
            QVERIFY(screen.isVisible());
            QCOMPARE(screen.Administration().Section, section);
            QTest::keyClick(&screen, Qt::Key_Escape, Qt::ShiftModifier);
            QVERIFY(!screen.isVisible());
        }
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), 0); // neither section stores anything

        // The test section, as the entry window starts it: title, the start press, three rounds.
        panel.TestFile().Info.Kensabangou = u"2001"_s;
        panel.TestFile().Info.Shimei1 = u"検査"_s;
        panel.TestFile().Info.Shimei2 = u"太郎"_s;
        screen.StartSection(3);
        std::int64_t tick = 0;
        auto ticks = [&](int n) {
            for (int i = 0; i < n; ++i) {
                TTickEvent event(screen.Generation(), ++tick);
                QCoreApplication::sendEvent(&screen, &event);
            }
        };
        ticks(51);
        QTest::mouseClick(&screen, Qt::LeftButton);
        ticks(20);
        while (screen.Administration().Round <= 3)
            ticks(1);
        QTest::keyClick(&screen, Qt::Key_Escape, Qt::ShiftModifier);
        QVERIFY(!screen.isVisible());
        TTestFile stored;
        stored.ReadFile(panel.Store().Folder(), u"2001"_s);
        QCOMPARE(stored.RoundCount, 3);
        auto *list = panel.findChild<QTreeView *>(u"ListView1"_s);
        QCOMPARE(column(list, 0), QStringList{u"2001"_s});
        QCOMPARE(column(list, 2).first(), u"検査 太郎"_s);

        // The same number again, as a second copy of the program would have offered it: not overwritten.
        TMessageBox::ClearShownTexts();
        panel.TestFile().Info.Kensabangou = u"2001"_s;
        screen.StartSection(3);
        QTest::keyClick(&screen, Qt::Key_Escape, Qt::ShiftModifier);
        QCOMPARE(column(list, 0), (QStringList{u"1001"_s, u"2001"_s}));
        stored.ReadFile(panel.Store().Folder(), u"2001"_s);
        QCOMPARE(stored.RoundCount, 3);
        QCOMPARE(TMessageBox::ShownTexts().size(), 1);
        QVERIFY(TMessageBox::ShownTexts().first().contains(u"検査番号 1001"_s));
    }

    void startUp_testEndedWithoutSave_isOfferedAndStoredFromItsJournal()
    {
        QTemporaryDir folder;
        const QString dataFolder = folder.path() + u'/';
        auto test = std::make_unique<TTestFile>();
        test->Info.Kensabangou = u"1003"_s;
        test->Info.Shimei1 = u"山田"_s;
        test->Info.Shimei2 = u"花子"_s;
        TRandom random(3);
        test->MakeTestRounds(random);
        test->Rounds[2].RT[1] = 456;
        test->Rounds[2].Button[1] = 1;
        {
            // The program died after round 3: its journal is left, no longer held.
            TRoundJournal journal(TRoundJournal::LocalJournalFolder());
            journal.Begin(test->Info, dataFolder);
            for (int round = 1; round <= 3; ++round)
                journal.RoundCompleted(round, test->Rounds[round]);
            QVERIFY(journal.WaitUntilIdle(std::chrono::minutes(1)));
        }

        // The examiner has chosen another data folder since: the test still goes to its own.
        QTemporaryDir otherFolder;
        TMessageBox::SetChooseAnswer(0); // store
        TfrmPanel panel(otherFolder.path() + u'/');
        TMessageBox::SetChooseAnswer(-1);
        QCOMPARE(TMessageBox::ShownTexts().size(), 1);
        const QString question = TMessageBox::ShownTexts().first();
        QVERIFY2(question.contains(u"検査番号 1003（山田 花子）"_s) && question.contains(u"3 試行"_s) &&
                     question.contains(u"保存先: "_s + dataFolder),
                 qPrintable(question));
        QCOMPARE(panel.findChild<QTreeView *>(u"ListView1"_s)->model()->rowCount(), 0);
        TTestFile stored;
        stored.ReadFile(dataFolder, u"1003"_s);
        QCOMPARE(stored.RoundCount, 3);
        QCOMPARE(stored.Rounds[2], test->Rounds[2]);
        QVERIFY(FindAbandonedTests(TRoundJournal::LocalJournalFolder(), dataFolder).isEmpty());
    }
};

int main(int argc, char *argv[])
{
    TVigixApplication app(argc, argv);
    PanelTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_panel.moc"
