#include "Panel.h"

#include "About.h"
#include "CsvExportCommand.h"
#include "DataFolder.h"
#include "DataFolderSetting.h"
#include "Errors.h"
#include "Graphs.h"
#include "Input.h"
#include "MessageBox.h"
#include "Print.h"
#include "ProgramFiles.h"
#include "RealtimeKitClient.h"
#include "RoundJournal.h"
#include "Screen.h"
#include "Step0.h"
#include "Table.h"
#include "TestListFilter.h"
#include "TestStore.h"
#include "WindowLayout.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

// The icons live in this static library; the linker keeps their resource only when it is initialised.
static void initIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace vigix {

namespace {

struct ListColumn
{
    const char16_t *caption;
    int width;
};

constexpr ListColumn ListColumns[] = {
    {u"検査番号", 80}, {u"検査日時", 120}, {u"氏名", 120},     {u"生年月日", 70}, {u"性", 25},
    {u"診断名", 125},  {u"投薬", 125},     {u"リタリン", 125}, {u"メモ", 125},
};

QIcon icon(const QString &name)
{
    return QIcon(u":/icons/%1.svg"_s.arg(name));
}

QIcon testIcon()
{
    QIcon both;
    both.addFile(u":/icons/test16.svg"_s, QSize(16, 16));
    both.addFile(u":/icons/test32.svg"_s, QSize(32, 32));
    return both;
}

const QString ChooseAnotherFolder = u"[ｵﾌﾟｼｮﾝ]-[データフォルダの変更...] で選び直してください。"_s;

} // namespace

TfrmPanel::TfrmPanel(const QString &dataFolder, ISoundChannel *sound, QWidget *parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                              Qt::WindowCloseButtonHint),
      m_store(std::make_unique<TTestStore>()), m_random(TRandom::FromClock()),
      m_testFile(std::make_unique<TTestFile>()), m_practiceFile(std::make_unique<TTestFile>()),
      m_silence(sound ? nullptr : std::make_unique<TSilentSoundChannel>()), m_sound(sound ? sound : m_silence.get())
{
    initIconResources();
    setObjectName(u"frmPanel"_s);
    setWindowTitle(u"VIGIX"_s);

    m_values.ProgramFolder = QCoreApplication::applicationDirPath() + u'/';
    const QString programFiles = ProgramFilesFolder(m_values.ProgramFolder);
    m_values.WaveFolder = programFiles + u"wave/"_s;
    m_values.HelpPage = programFiles + u"help/index.htm"_s;
    // A settings file that cannot be read leaves the choice unknown: the default folder does not stand in for it.
    QString chosenFolder;
    QString settingsError;
    if (dataFolder.isEmpty()) {
        try {
            chosenFolder = ChosenDataFolder(TWindowLayout::DefaultSettingsPath());
        } catch (const EVigixError &error) {
            settingsError = error.message();
        }
    }
    const QString folder = !dataFolder.isEmpty()     ? dataFolder
                           : !chosenFolder.isEmpty() ? chosenFolder
                                                     : DefaultDataFolder();

    buildActions();
    buildMenus();
    buildToolBar();
    buildList();

    m_statusNumber = new QLabel(this);
    m_statusNumber->setObjectName(u"StatusPanel0"_s);
    m_statusNumber->setFixedWidth(60);
    m_statusNumber->setAlignment(Qt::AlignCenter);
    m_statusHint = new QLabel(this);
    m_statusHint->setObjectName(u"StatusPanel1"_s);
    m_statusHint->setMinimumWidth(50);
    statusBar()->setObjectName(u"StatusBar1"_s);
    statusBar()->addWidget(m_statusNumber);
    statusBar()->addWidget(m_statusHint, 1);

    buildAdministration();
    buildEntry();
    buildViews();

    move(208, 147);
    resize(544, 302 - 28); // an outer height of 302 less the title bar

    connect(m_store.get(), &TTestStore::ListChanged, this, &TfrmPanel::fillTestList);
    connect(m_store.get(), &TTestStore::FolderChanged, this, &TfrmPanel::forgetFolderTests);
    try {
        if (!settingsError.isEmpty()) {
            // No folder at all: nothing is read or stored until one is chosen.
        } else if (chosenFolder.isEmpty()) {
            // A missing default folder is created; one that cannot be is told now, not when a test's save fails.
            const QString openToOthers = EnsureDataFolder(folder);
            if (!openToOthers.isEmpty())
                TMessageBox::Warning(this, openToOthers);
            m_store->Open(folder);
        } else {
            // A chosen folder is the clinic's (a share, a backed-up disk): its permissions are left as the clinic
            // set them, and when it cannot be reached the list stays empty, with no other folder in its place.
            try {
                m_store->Open(folder);
            } catch (const EInOutError &error) {
                throw EInOutError(error.message() +
                                  u"\n\n検査の一覧は空のまま表示します。フォルダが使えるようになったらプログラムを"
                                  u"起動し直すか、"_s +
                                  ChooseAnotherFolder);
            }
        }
        // Found out now, not after a child's fifteen minutes.
        if (settingsError.isEmpty())
            m_store->CheckWritable();
    } catch (const EVigixError &error) {
        TMessageBox::Error(this, error.message());
    }
    if (!settingsError.isEmpty())
        TMessageBox::Error(this, settingsError +
                                     u"\n\n検査を保存するフォルダがわからないため、検査の一覧は空のまま表示します。"
                                     u"設定ファイルを直すか削除してから、プログラムを起動し直してください。"_s);
    offerAbandonedTests();
}

TfrmPanel::~TfrmPanel()
{
    // Cards belong to the application, not to this window, but they use it: they go first.
    CloseAllCards();
    // The result windows are hidden as they are destroyed: they must not reach back into this window then.
    for (QWidget *view : std::initializer_list<QWidget *>{m_table, m_graph1, m_graph2, m_graph3})
        view->disconnect(this);
}

void TfrmPanel::buildViews()
{
    auto currentTestNumber = [this] { return m_values.CurrentTestNumber; };
    m_graph3 = new TfrmGraph3(*m_store, currentTestNumber, this);
    m_table = new TfrmTable(*m_store, this);
    m_graph2 = new TfrmGraph2(*m_store, currentTestNumber, this);
    m_print = new TfrmPrint(*m_store, this);
    m_about = new TfrmAbout(this);
    m_graph1 = new TfrmGraph1(*m_store, currentTestNumber, this);
    m_layout = new TWindowLayout({m_table, m_graph1, m_graph2, m_graph3}, TWindowLayout::DefaultSettingsPath(), this);

    // In the order the "show all" and "hide all" commands treat them.
    const std::array<std::pair<QWidget *, QAction *>, 4> views{
        {{m_table, tbnTable}, {m_graph1, tbnGraph1}, {m_graph2, tbnGraph2}, {m_graph3, tbnGraph3}}};
    const std::array<QAction *, 4> menuEntries{mnuTable, mnuGraph1, mnuGraph2, mnuGraph3};
    for (std::size_t i = 0; i < views.size(); ++i) {
        QWidget *view = views[i].first;
        QAction *checkButton = views[i].second;
        connect(checkButton, &QAction::triggered, view, [view](bool checked) { view->setVisible(checked); });
        // The menu entries only ever show.
        connect(menuEntries[i], &QAction::triggered, this,
                [this, view, checkButton] { showView(view, checkButton, true); });
    }
    connect(m_table, &TfrmTable::Hidden, this, [this] { tbnTable->setChecked(false); });
    connect(m_graph1, &TfrmGraph::Hidden, this, [this] { tbnGraph1->setChecked(false); });
    connect(m_graph2, &TfrmGraph::Hidden, this, [this] { tbnGraph2->setChecked(false); });
    connect(m_graph3, &TfrmGraph::Hidden, this, [this] { tbnGraph3->setChecked(false); });
    connect(mnuShowAllGraphs, &QAction::triggered, this, [this, views] {
        for (const auto &[view, checkButton] : views)
            showView(view, checkButton, true);
    });
    connect(mnuHideAllGraphs, &QAction::triggered, this, [this, views] {
        for (const auto &[view, checkButton] : views)
            showView(view, checkButton, false);
    });
    connect(mnuLayoutA, &QAction::triggered, this,
            [this] { m_layout->ApplyLayoutA(QGuiApplication::primaryScreen()->geometry().size()); });
    connect(mnuLayoutB, &QAction::triggered, this,
            [this] { m_layout->ApplyLayoutB(QGuiApplication::primaryScreen()->geometry().size()); });
    connect(mnuAbout, &QAction::triggered, m_about, &QDialog::exec);
}

void TfrmPanel::showView(QWidget *view, QAction *checkButton, bool shown)
{
    checkButton->setChecked(shown);
    view->setVisible(shown);
}

void TfrmPanel::showEvent(QShowEvent *event)
{
    // Every window exists by now; their places are read once, at the first showing.
    if (!m_layoutLoaded) {
        m_layoutLoaded = true;
        m_layout->LoadWindowLayout();
    }
    QMainWindow::showEvent(event);
}

void TfrmPanel::closeEvent(QCloseEvent *event)
{
    if (m_quitRequested) {
        // A logout or a kill: no box would be answered, so a failure goes to the log.
        try {
            m_layout->SaveWindowLayout();
        } catch (const EVigixError &error) {
            qWarning("VIGIX: %s", qUtf8Printable(error.message()));
        }
        event->accept();
        return;
    }
    // Places that cannot be kept (a full disk) are told once; the program still closes, or it never could.
    TMessageBox::Run(this, [this] { m_layout->SaveWindowLayout(); });
    event->accept();
}

void TfrmPanel::EndOnQuitRequest()
{
    m_screen->EndWithoutStoring();
    m_quitRequested = true;
    close();
}

void TfrmPanel::buildEntry()
{
    m_input = new TfrmInput(*m_testFile, *m_store, this);
    connect(m_input, &TfrmInput::TestStartRequested, this, [this] { m_screen->StartSection(3); });
    connect(m_input, &TfrmInput::TestEdited, this, [this](const QString &number) {
        // The list and an open card of the test show the corrected record at once.
        TMessageBox::Run(this, [&number] {
            if (TfrmCard *card = FindCard(number))
                card->ShowCard(number);
        });
        raise();
        activateWindow();
    });
    connect(mnuStep3, &QAction::triggered, this, &TfrmPanel::startNewTest);
    connect(mnuOpenCard, &QAction::triggered, this, [this] { TMessageBox::Run(this, [this] { OpenCard(); }); });
}

void TfrmPanel::startNewTest()
{
    m_input->PrepareNewTest();
    m_input->btnStart->setText(TfrmInput::StartCaption);
    m_input->exec();
}

void TfrmPanel::buildAdministration()
{
    m_screen = std::make_unique<TfrmScreen>(*m_testFile, *m_practiceFile, m_random, *m_sound, m_clock);
    // An ordinary user gets a section's priority from RealtimeKit, as audio servers do.
    m_realtimeKit = std::make_unique<TRealtimeKitClient>();
    m_screen->SetPriorityServices(nullptr, m_realtimeKit.get());
    TAdministration &administration = m_screen->Administration();
    administration.WaveFolder = m_values.WaveFolder;
    administration.Store = m_store.get(); // the list follows the store when a test is stored
    // Told once the child's screen has closed, not over it.
    administration.OnNumberTaken = [this](const QString &offered, const QString &stored) {
        m_numberTakenNotice =
            u"検査番号 %1 は他の検査に使われていたため、この検査は検査番号 %2 で保存しました。"_s.arg(offered, stored);
    };
    connect(m_screen.get(), &TfrmScreen::Closed, this, [this] {
        if (!m_numberTakenNotice.isEmpty())
            TMessageBox::Warning(this, std::exchange(m_numberTakenNotice, QString()));
    });
    connect(m_screen.get(), &TfrmScreen::SaveFailed, this, &TfrmPanel::saveFailed);

    // Every completed round of a test goes to the recovery journal, written on the journal's own thread. Its
    // first failure in a test is told once; the box neither waits nor takes the focus from the child's window,
    // so that the test goes on.
    m_journal = std::make_unique<TRoundJournal>(TRoundJournal::LocalJournalFolder());
    m_journal->OnWriteFailed = [this](const QString &message) {
        QMetaObject::invokeMethod(
            this,
            [this, message] {
                TMessageBox::Notice(this, u"検査の途中経過を保存できません（%1）。検査は続けられますが、"
                                          u"プログラムが異常終了した場合、この検査の記録は失われます。"
                                          u"検査の終わりには通常どおり Shift+Esc で保存してください。"_s.arg(message));
            },
            Qt::QueuedConnection);
    };
    administration.Journal = m_journal.get();
    m_step0 = new TfrmStep0(*m_sound, this);

    connect(mnuStep0, &QAction::triggered, m_step0, &QDialog::exec);
    connect(mnuStep1, &QAction::triggered, this, [this] { m_screen->StartSection(1); });
    connect(mnuStep2, &QAction::triggered, this, [this] { m_screen->StartSection(2); });

    // The tones and the triangles are the two halves of the distractors: the examiner must know when half of
    // them will be missing. The child's screen says nothing about it.
    if (!m_sound->HasDevice()) {
        // A short panel of its own, so that the hints keep their room; the full text is its tool tip.
        m_statusSound = new QLabel(u"音なし"_s, this);
        m_statusSound->setObjectName(u"StatusSound"_s);
        m_statusSound->setToolTip(u"サウンドデバイスが見つかりません（音は出ません）"_s);
        m_statusSound->setStyleSheet(u"color: #c00000; font-weight: bold; padding: 0 6px;"_s);
        statusBar()->addPermanentWidget(m_statusSound);
    }
}

void TfrmPanel::offerAbandonedTests()
{
    QList<TAbandonedTest> abandoned;
    if (!TMessageBox::Run(this, [this, &abandoned] {
            abandoned = FindAbandonedTests(TRoundJournal::LocalJournalFolder(), m_store->Folder());
        }))
        return;
    for (const TAbandonedTest &test : std::as_const(abandoned)) {
        const QString journal = QDir::toNativeSeparators(test.JournalPath);
        if (!test.Error.isEmpty()) {
            // Nothing in it can be stored; it is removed only on the examiner's word.
            const int choice = TMessageBox::Choose(
                this,
                u"途中で終了した検査の記録 \"%1\" を読めません（%2）。この記録を破棄しますか？"_s.arg(journal,
                                                                                                      test.Error),
                {u"破棄する"_s, u"後で"_s});
            if (choice == 0 && TMessageBox::Confirm(this, u"記録 \"%1\" を破棄します。よろしいですか？"_s.arg(journal)))
                TMessageBox::Run(this, [&test] { DiscardAbandonedTest(test); });
            continue;
        }
        const QString number = test.Info.Kensabangou;
        const QString subject = test.Info.FullName();
        const QString rounds = QString::number(test.RoundCount());
        // A test of another data folder (chosen before the folder was changed) is stored there, and said so. When
        // that folder cannot be reached any more (a share gone, a disk replaced), the current one is offered.
        TTestStore ownFolder;
        TTestStore *target = m_store.get();
        QString where;
        QString storeCaption = u"保存する"_s;
        if (test.DataFolder != m_store->Folder()) {
            target = &ownFolder;
            where = u"\n保存先: %1"_s.arg(QDir::toNativeSeparators(test.DataFolder));
            // Reached and able to take the test: a folder that has become read-only or full is as good as gone.
            try {
                ownFolder.ChangeFolder(test.DataFolder);
            } catch (const EVigixError &error) {
                target = m_store.get();
                where = u"\n\n%1\n現在のデータフォルダ \"%2\" に保存できます。"_s.arg(
                    error.message(), QDir::toNativeSeparators(m_store->Folder()));
                storeCaption = u"現在のフォルダに保存する"_s;
            }
        }
        const int choice = TMessageBox::Choose(
            this,
            u"検査番号 %1（%2）の検査は途中で終了しました。記録されていた %3 試行を検査として保存しますか？%4\n\n"
            u"「後で」を選ぶと、次に起動したときにもう一度お尋ねします。"_s.arg(number, subject, rounds, where),
            {storeCaption, u"破棄する"_s, u"後で"_s});
        if (choice == 0) {
            QString stored;
            const bool done =
                TMessageBox::Run(this, [&test, &stored, target] { stored = StoreAbandonedTest(test, *target); });
            if (done && stored != number)
                TMessageBox::Warning(
                    this, u"検査番号 %1 は他の検査に使われていたため、この検査は検査番号 %2 で保存しました。"_s.arg(
                              number, stored));
        } else if (choice == 1) {
            if (TMessageBox::Confirm(this, u"検査番号 %1（%2）の記録されていた %3 試行を破棄します。元に戻せません。"
                                           u"よろしいですか？"_s.arg(number, subject, rounds)))
                TMessageBox::Run(this, [&test] { DiscardAbandonedTest(test); });
        }
    }
}

void TfrmPanel::saveFailed(const QString &message)
{
    // Over the child's screen, which stays: the rounds are kept in memory and in the journal until they are stored.
    const int choice = TMessageBox::Choose(
        m_screen.get(),
        message + u"\n\n記録した試行は失われていません。保存できるデータフォルダを選んでから、もう一度 Shift+Esc を"
                  u"押してください。"_s,
        {u"データフォルダの変更..."_s, u"OK"_s});
    if (choice != 0)
        return;
    const QString folder =
        QFileDialog::getExistingDirectory(m_screen.get(), u"データフォルダの変更"_s, m_store->Folder());
    if (!folder.isEmpty() && TMessageBox::Run(m_screen.get(), [this, &folder] { SetDataFolder(folder); }))
        TMessageBox::Warning(m_screen.get(),
                             u"データフォルダを \"%1\" に変更しました。Shift+Esc を押すと検査を保存します。"_s.arg(
                                 QDir::toNativeSeparators(m_store->Folder())));
}

QAction *TfrmPanel::addCommand(const QString &caption, const QString &hint, const QString &iconName)
{
    auto *action = new QAction(caption, this);
    action->setStatusTip(hint);
    if (!iconName.isEmpty())
        action->setIcon(icon(iconName));
    return action;
}

void TfrmPanel::buildActions()
{
    const QString reportHint = u"テスト結果をレポートにして出力します"_s;
    mnuReport = addCommand(u"レポート出力"_s, reportHint, u"report"_s);
    mnuCsvExport = addCommand(u"CSV出力"_s, u"検査結果を CSV ファイルに出力します"_s, QString());
    mnuExit = addCommand(u"終了(&X)"_s, u"プログラムを終了します"_s, QString());
    mnuStep0 = addCommand(u"STEP 0 - 検査の準備"_s, u"Step 0 - 検査の準備を行います"_s, u"step0"_s);
    mnuStep1 = addCommand(u"STEP 1 - 検査の説明"_s, u"Step 1 - 説明セクションをはじめます"_s, u"step1"_s);
    mnuStep2 = addCommand(u"STEP 2 - 検査の練習"_s, u"Step 2 - 練習セクションをはじめます"_s, u"step2"_s);
    mnuStep3 = addCommand(u"STEP 3 - 検査"_s, u"Step 3 - 検査をはじめます"_s, u"step3"_s);
    mnuOpenCard = addCommand(u"カードを開く"_s, u"選択されたカードを開きます"_s, QString());
    mnuCloseAllCards = addCommand(u"すべてのカードを閉じる"_s, u"開いているすべてのカードを閉じます"_s, QString());
    mnuShowAllGraphs = addCommand(u"すべてのグラフを表示"_s, u"すべてのグラフを開きます"_s, QString());
    mnuHideAllGraphs = addCommand(u"すべてのグラフを非表示"_s, u"すべてのグラフを閉じます"_s, QString());

    const QString tableHint = u"検査結果一覧表を表示します"_s;
    const QString graph3Hint = u"誤反応の比率を円グラフで表示します"_s;
    const QString graph2Hint = u"反応時間の分布をを棒グラフで表現します"_s;
    const QString graph1Hint = u"反応時間の推移を折れ線グラフで表現します"_s;
    mnuTable = addCommand(u"検査結果"_s, tableHint, u"table"_s);
    mnuGraph3 = addCommand(u"誤反応比率グラフ"_s, graph3Hint, u"pie"_s);
    mnuGraph2 = addCommand(u"反応時間分布グラフ"_s, graph2Hint, u"distribution"_s);
    mnuGraph1 = addCommand(u"反応時間推移グラフ"_s, graph1Hint, u"trend"_s);
    mnuLayoutA = addCommand(u"グラフ位置の初期化 A"_s, u"各グラフの初期位置をAタイプに設定します"_s, QString());
    mnuLayoutB = addCommand(u"グラフ位置の初期化 B"_s, u"各グラフの初期位置をBタイプに設定します"_s, QString());

    mnuLargeIcons = addCommand(u"大きいアイコン"_s, u"パネルのアイコンを大きくします"_s, u"largeicons"_s);
    mnuSmallIcons = addCommand(u"小さいアイコン"_s, u"パネルのアイコンを小さくします"_s, u"smallicons"_s);
    mnuList = addCommand(u"一覧"_s, u"パネルにアイコンの一覧を表示します"_s, u"list"_s);
    mnuDetails = addCommand(u"詳細"_s, u"パネルにテストの詳細情報を表示します"_s, u"details"_s);
    mnuUserSettings = addCommand(u"ユーザーの設定"_s, QString(), QString());
    mnuDataFolder = addCommand(u"データフォルダの変更..."_s, u"検査を保存するフォルダを変更します"_s, QString());
    mnuHelp = addCommand(u"VIGIX ヘルプ"_s, QString(), u"help"_s);
    mnuHomePage = addCommand(u"VIGIX ホームページ"_s, QString(), QString());
    mnuAbout = addCommand(u"ヴァージョン情報"_s, QString(), QString());

    // Check buttons of the result windows: pressed while their window is shown.
    tbnTable = addCommand(u"検査結果"_s, tableHint, u"table"_s);
    tbnGraph3 = addCommand(u"誤反応比率グラフ"_s, graph3Hint, u"pie"_s);
    tbnGraph2 = addCommand(u"反応時間分布グラフ"_s, graph2Hint, u"distribution"_s);
    tbnGraph1 = addCommand(u"反応時間推移グラフ"_s, graph1Hint, u"trend"_s);
    for (QAction *check : {tbnTable, tbnGraph3, tbnGraph2, tbnGraph1})
        check->setCheckable(true);
    tbnReport = addCommand(u"レポート出力"_s, reportHint, u"report"_s);
    tbnHelp = addCommand(u"VIGIX ヘルプ"_s, QString(), u"help"_s);

    connect(mnuExit, &QAction::triggered, this, [] { QCoreApplication::exit(0); });
    connect(mnuReport, &QAction::triggered, this, &TfrmPanel::ReportCommand);
    connect(mnuCsvExport, &QAction::triggered, this, &TfrmPanel::exportScores);
    connect(tbnReport, &QAction::triggered, this, &TfrmPanel::ReportCommand);
    connect(mnuCloseAllCards, &QAction::triggered, this, &TfrmPanel::CloseAllCards);
    connect(mnuDataFolder, &QAction::triggered, this, &TfrmPanel::chooseDataFolder);
    connect(mnuHelp, &QAction::triggered, this, &TfrmPanel::openHelp);
    connect(tbnHelp, &QAction::triggered, this, &TfrmPanel::openHelp);
    connect(mnuLargeIcons, &QAction::triggered, this, [this] { SetViewStyle(ViewStyle::LargeIcons); });
    connect(mnuSmallIcons, &QAction::triggered, this, [this] { SetViewStyle(ViewStyle::SmallIcons); });
    connect(mnuList, &QAction::triggered, this, [this] { SetViewStyle(ViewStyle::List); });
    connect(mnuDetails, &QAction::triggered, this, [this] { SetViewStyle(ViewStyle::Details); });
}

void TfrmPanel::buildMenus()
{
    QMenu *file = menuBar()->addMenu(u"ファイル(&F)"_s);
    file->addActions({mnuReport, mnuCsvExport});
    file->addSeparator();
    file->addAction(mnuExit);

    QMenu *test = menuBar()->addMenu(u"検査(&T)"_s);
    test->addActions({mnuStep0, mnuStep1, mnuStep2, mnuStep3});
    test->addSeparator();
    test->addActions({mnuOpenCard, mnuCloseAllCards});

    QMenu *graph = menuBar()->addMenu(u"ｸﾞﾗﾌ(&G)"_s);
    graph->addActions({mnuShowAllGraphs, mnuHideAllGraphs});
    graph->addSeparator();
    graph->addActions({mnuTable, mnuGraph3, mnuGraph2, mnuGraph1});
    graph->addSeparator();
    graph->addActions({mnuLayoutA, mnuLayoutB});

    QMenu *view = menuBar()->addMenu(u"表示(&V)"_s);
    view->addActions({mnuLargeIcons, mnuSmallIcons, mnuList, mnuDetails});

    QMenu *options = menuBar()->addMenu(u"ｵﾌﾟｼｮﾝ(&O)"_s);
    options->addActions({mnuUserSettings, mnuDataFolder});

    QMenu *help = menuBar()->addMenu(u"ヘルプ(&H)"_s);
    help->addAction(mnuHelp);
    help->addSeparator();
    help->addAction(mnuHomePage);
    help->addSeparator();
    help->addAction(mnuAbout);
}

void TfrmPanel::buildToolBar()
{
    QToolBar *bar = addToolBar(u"ToolBar1"_s);
    bar->setObjectName(u"ToolBar1"_s);
    bar->setMovable(false);
    bar->setIconSize(QSize(16, 16));
    bar->addSeparator();
    bar->addActions({mnuStep0, mnuStep1, mnuStep2, mnuStep3});
    bar->addSeparator();
    bar->addActions({tbnTable, tbnGraph3, tbnGraph2, tbnGraph1});
    bar->addSeparator();
    bar->addAction(tbnReport);
    bar->addSeparator();

    auto *styles = new QMenu(this);
    styles->addActions({mnuLargeIcons, mnuSmallIcons, mnuList, mnuDetails});
    tbnViewStyle = new QToolButton(bar);
    tbnViewStyle->setObjectName(u"tbnViewStyle"_s);
    tbnViewStyle->setIcon(icon(u"details"_s));
    tbnViewStyle->setStatusTip(u"パネルの表示形式を変更します"_s);
    tbnViewStyle->setMenu(styles);
    tbnViewStyle->setPopupMode(QToolButton::InstantPopup);
    bar->addWidget(tbnViewStyle);
    bar->addSeparator();
    bar->addAction(tbnHelp);

    // Hints belong in the status bar only: no tool tips.
    for (QToolButton *button : bar->findChildren<QToolButton *>()) {
        button->setFixedHeight(23);
        button->installEventFilter(this);
    }
}

void TfrmPanel::buildList()
{
    m_model = new QStandardItemModel(0, static_cast<int>(std::size(ListColumns)), this);
    for (int c = 0; c < static_cast<int>(std::size(ListColumns)); ++c)
        m_model->setHorizontalHeaderItem(c, new QStandardItem(QString::fromUtf16(ListColumns[c].caption)));

    // Rows stay in the order of their captions, compared as the locale compares text ("10000" before "1001").
    m_sorted = new TTestListFilter(this);
    m_sorted->setSourceModel(m_model);
    m_sorted->setSortLocaleAware(true);
    m_sorted->setDynamicSortFilter(true);
    m_sorted->sort(0, Qt::AscendingOrder);

    m_details = new QTreeView(this);
    m_details->setObjectName(u"ListView1"_s);
    m_details->setModel(m_sorted);
    m_details->setRootIsDecorated(false);
    m_details->setItemsExpandable(false);
    m_details->setUniformRowHeights(true);
    m_details->setSortingEnabled(false);
    m_details->header()->setSectionsClickable(false);
    m_details->header()->setSectionsMovable(false);
    m_details->header()->setMinimumSectionSize(16); // the sex column is 25 pixels wide
    m_details->setStyleSheet(
        u"QTreeView::item { border-right: 1px solid #d4d4d4; border-bottom: 1px solid #d4d4d4; }"
        // With a style sheet on the items, a selected row would otherwise lose its highlight and show white text on
        // white whenever the window is not the active one.
        u"QTreeView::item:selected { background: palette(highlight); color: palette(highlighted-text); }"_s);
    for (int c = 0; c < static_cast<int>(std::size(ListColumns)); ++c)
        m_details->setColumnWidth(c, ListColumns[c].width);

    m_icons = new QListView(this);
    m_icons->setObjectName(u"ListView1Icons"_s);
    m_icons->setModel(m_sorted);
    m_icons->setSelectionModel(m_details->selectionModel());
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setWrapping(true);

    for (QAbstractItemView *view :
         {static_cast<QAbstractItemView *>(m_details), static_cast<QAbstractItemView *>(m_icons)}) {
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        // Only a click makes a test current; moving the selection with the keys does not.
        connect(view, &QAbstractItemView::clicked, this, &TfrmPanel::selectCurrentTest);
        connect(view, &QAbstractItemView::doubleClicked, this,
                [this] { TMessageBox::Run(this, [this] { OpenCard(); }); });
    }

    m_views = new QStackedWidget(this);
    m_views->addWidget(m_details);
    m_views->addWidget(m_icons);

    // Finding one child among thousands: the list narrows as the examiner types, in the same order.
    m_search = new QLineEdit(this);
    m_search->setObjectName(u"edtSearch"_s);
    m_search->setPlaceholderText(u"検索（検査番号・氏名・検査日時）"_s);
    m_search->setClearButtonEnabled(true);
    m_search->setStatusTip(u"検査番号・氏名・検査日時で一覧を絞り込みます"_s);
    connect(m_search, &QLineEdit::textChanged, m_sorted, &TTestListFilter::SetSearchText);
    auto *centre = new QWidget(this);
    auto *layout = new QVBoxLayout(centre);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_search);
    layout->addWidget(m_views, 1);
    setCentralWidget(centre);
    SetViewStyle(ViewStyle::Details);
}

void TfrmPanel::SetViewStyle(ViewStyle style)
{
    m_viewStyle = style;
    if (style == ViewStyle::Details) {
        m_views->setCurrentWidget(m_details);
        return;
    }
    const bool large = style == ViewStyle::LargeIcons;
    m_icons->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    m_icons->setIconSize(large ? QSize(32, 32) : QSize(16, 16));
    m_icons->setFlow(style == ViewStyle::List ? QListView::TopToBottom : QListView::LeftToRight);
    m_icons->setGridSize(large ? QSize(76, 56) : style == ViewStyle::SmallIcons ? QSize(90, 20) : QSize());
    m_icons->setMovement(QListView::Static);
    m_icons->setWrapping(true);
    m_views->setCurrentWidget(m_icons);
}

void TfrmPanel::RefreshTestList()
{
    m_store->Refresh();
}

void TfrmPanel::fillTestList()
{
    // The selected test stays selected when it is still listed.
    const QModelIndexList selected = m_details->selectionModel()->selectedRows(0);
    const QString selectedNumber = selected.isEmpty() ? QString() : selected.first().data().toString();
    m_model->removeRows(0, m_model->rowCount());

    const QIcon rowIcon = testIcon(); // one icon for all rows: loading it per row would parse the SVG each time
    for (const TStoredTest &test : m_store->Tests()) {
        const TTestInfo &info = test.Info;
        // A test that cannot be read keeps its row, marked, with the reason as its tool tip.
        const QStringList columns = test.Readable() ? QStringList{test.Number,      info.Kensanichiji, info.FullName(),
                                                                  info.BirthDate(), info.Seibetsu,     info.Shindanmei,
                                                                  info.Touyaku,     info.Ritarin,      info.Memo}
                                                    : QStringList{test.Number, u"読めません"_s};
        QList<QStandardItem *> row;
        for (const QString &text : columns) {
            auto *item = new QStandardItem(text);
            if (!test.Readable()) {
                item->setToolTip(test.Error);
                item->setForeground(QColor(192, 0, 0));
            }
            row.append(item);
        }
        row.first()->setIcon(rowIcon);
        row.first()->setData(TTestListFilter::SearchKey(columns[0]) + u'\x1f' + TTestListFilter::SearchKey(columns[1]) +
                                 u'\x1f' + TTestListFilter::SearchKey(columns.value(2)),
                             TTestListFilter::SearchKeyRole);
        m_model->appendRow(row);
    }
    if (!selectedNumber.isEmpty()) {
        for (int row = 0; row < m_sorted->rowCount(); ++row) {
            const QModelIndex index = m_sorted->index(row, 0);
            if (index.data().toString() == selectedNumber) {
                const QSignalBlocker blocker(m_details->selectionModel());
                m_details->selectionModel()->select(index,
                                                    QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                m_details->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
                break;
            }
        }
    }
}

void TfrmPanel::forgetFolderTests()
{
    // The open cards and the views show tests of the old folder; a number there may be another child's here.
    CloseAllCards();
    m_values.CurrentTestNumber.clear();
    SetStatusNumber(QString());
    m_search->clear();
}

void TfrmPanel::SetDataFolder(const QString &folder)
{
    // A link the examiner chose is taken for the folder it leads to, once, here: the store never follows one.
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    QString dataFolder = canonical.isEmpty() ? QDir::cleanPath(QDir(folder).absolutePath()) : canonical;
    if (!dataFolder.endsWith(u'/'))
        dataFolder += u'/';
    m_store->ChooseFolder(dataFolder, TWindowLayout::DefaultSettingsPath());
}

void TfrmPanel::chooseDataFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(this, u"データフォルダの変更"_s, m_store->Folder());
    if (folder.isEmpty())
        return; // cancelled
    TMessageBox::Run(this, [this, &folder] { SetDataFolder(folder); });
}

void TfrmPanel::RefreshViews()
{
    // Each view reads the test itself; the first that cannot read it stops the others, which keep what they had.
    const QString number = m_values.CurrentTestNumber;
    m_table->ShowTest(number);
    m_graph1->ShowTest(number);
    m_graph2->ShowTest(number);
    m_graph3->ShowTest(number);
}

void TfrmPanel::selectCurrentTest(const QModelIndex &index)
{
    if (!index.isValid() || !m_details->selectionModel()->hasSelection())
        return;
    m_values.CurrentTestNumber = m_sorted->index(index.row(), 0).data().toString();
    SetStatusNumber(m_values.CurrentTestNumber);
    TMessageBox::Run(this, [this] { RefreshViews(); });
}

void TfrmPanel::SetStatusNumber(const QString &number)
{
    m_statusNumber->setText(number);
}

QString TfrmPanel::StatusNumber() const
{
    return m_statusNumber->text();
}

QString TfrmPanel::StatusHint() const
{
    return m_statusHint->text();
}

void TfrmPanel::ReportCommand()
{
    if (m_values.CurrentTestNumber.isEmpty()) {
        TMessageBox::Warning(this, u"対象になる検査を選択してください"_s);
        return;
    }
    // A preview is open: a second report command does nothing.
    if (m_print->Busy())
        return;
    if (!TMessageBox::Run(this, [this] { m_print->PrepareReport(m_values.CurrentTestNumber); }))
        return;
    m_print->ShowPreview(this);
}

void TfrmPanel::MakeTestCurrent(const QString &number)
{
    m_values.CurrentTestNumber = number;
    SetStatusNumber(number);
    RefreshViews();
}

TfrmCard *TfrmPanel::FindCard(const QString &number)
{
    const QString name = u"card"_s + number;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->objectName() == name)
            return qobject_cast<TfrmCard *>(window);
    }
    return nullptr;
}

TfrmCard *TfrmPanel::OpenCard()
{
    const QModelIndexList selected = m_details->selectionModel()->selectedRows(0);
    if (selected.isEmpty())
        return nullptr;
    const QString number = selected.first().data().toString();
    m_values.CurrentTestNumber = number;
    if (TfrmCard *open = FindCard(number)) {
        // Its activation makes the test current and refills the views.
        open->show();
        open->raise();
        open->activateWindow();
        return open;
    }
    auto *card = new TfrmCard(*this);
    card->setObjectName(u"card"_s + number);
    card->Collapse();
    try {
        card->ShowCard(number);
    } catch (...) {
        delete card;
        throw;
    }
    card->show();
    SetStatusNumber(number);
    RefreshViews();
    return card;
}

void TfrmPanel::CloseAllCards()
{
    // Cards are top-level windows named "card" + test number; the last opened goes first.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (auto it = windows.crbegin(); it != windows.crend(); ++it) {
        if ((*it)->objectName().contains(u"card"_s, Qt::CaseSensitive))
            delete *it;
    }
}

void TfrmPanel::exportScores()
{
    QStringList numbers;
    const QModelIndexList selected = m_details->selectionModel()->selectedRows(0);
    if (!selected.isEmpty()) {
        for (const QModelIndex &row : selected)
            numbers.append(row.data().toString());
    } else {
        for (int row = 0; row < m_sorted->rowCount(); ++row)
            numbers.append(m_sorted->index(row, 0).data().toString());
    }
    QStringList paths; // the CSV's file column
    for (const QString &number : std::as_const(numbers))
        paths.append(m_store->TestFilePath(number));
    const auto read = [this, &numbers](TTestFile &test, qsizetype index) {
        m_store->ReadTest(test, numbers.at(index));
    };
    // A finished export is told: a silent one would leave the examiner guessing whether it ran.
    if (const int written = TCsvExportCommand::Run(this, paths, read); written >= 0)
        m_statusHint->setText(u"  CSV出力完了（%1 件）"_s.arg(written));
}

void TfrmPanel::openHelp()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(m_values.HelpPage));
}

bool TfrmPanel::event(QEvent *event)
{
    if (event->type() == QEvent::StatusTip) {
        m_statusHint->setText(u"  "_s + static_cast<QStatusTipEvent *>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

bool TfrmPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ToolTip)
        return true;
    return QMainWindow::eventFilter(watched, event);
}

} // namespace vigix
