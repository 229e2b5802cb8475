#pragma once

#include "AdministrationInterfaces.h"
#include "Card.h"
#include "Random.h"
#include "TestFile.h"

#include <QMainWindow>

#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QListView;
class QSortFilterProxyModel;
class QStackedWidget;
class QStandardItemModel;
class QToolButton;
class QTreeView;

namespace vigix {

class TfrmAbout;
class TTestListFilter;
class TfrmCard;
class TfrmGraph1;
class TfrmGraph2;
class TfrmGraph3;
class TfrmPrint;
class TRealtimeKitClient;
class TRoundJournal;
class TTestStore;
class TfrmTable;
class TWindowLayout;
class TfrmInput;
class TfrmScreen;
class TfrmStep0;

// The program-wide values: set once at start-up, owned by the main window.
struct TProgramValues
{
    QString ProgramFolder; // folder of the program file, ending in the separator
    QString WaveFolder;    // narration files: beside the program, or in share/vigix/ when installed
    QString HelpPage;      // the same
    QString HomePage;      // no address: the home-page entry stays inert
    QString CurrentTestNumber; // empty until a test is first selected; cleared only when the data folder changes
};

// The main window: the list of stored tests and every command of an examination.
class TfrmPanel : public QMainWindow, public ICardHost
{
    Q_OBJECT
public:
    enum class ViewStyle { LargeIcons, SmallIcons, List, Details };

    // dataFolder empty: the folder the examiner chose (never created: a share may be offline), or else the user's
    // documents folder + "/vigix/" (created when missing). sound null: no device, every sound silent.
    explicit TfrmPanel(const QString &dataFolder = QString(), ISoundChannel *sound = nullptr,
                       QWidget *parent = nullptr);
    ~TfrmPanel() override;

    TProgramValues &Values() { return m_values; }
    TTestFile &TestFile() { return *m_testFile; }
    TTestFile &PracticeFile() { return *m_practiceFile; }
    TRandom &Random() { return m_random; }
    // The child's full-screen window, reused by every section.
    TfrmScreen &Screen() { return *m_screen; }
    TfrmStep0 &Step0() { return *m_step0; }
    // The subject entry window, reused by every new test, correction and re-test.
    TfrmInput &Input() override { return *m_input; }
    TfrmTable &Table() { return *m_table; }
    TfrmGraph1 &Graph1() { return *m_graph1; }
    TfrmGraph2 &Graph2() { return *m_graph2; }
    TfrmGraph3 &Graph3() { return *m_graph3; }
    TfrmPrint &Print() override { return *m_print; }
    TfrmAbout &About() { return *m_about; }
    TWindowLayout &Layout() { return *m_layout; }

    // The data folder and its tests: every window reads and stores tests through it.
    TTestStore &Store() override { return *m_store; }
    // Lists the data folder again; the list follows the store, keeping the selected test.
    void RefreshTestList();
    // Makes another folder the data folder, and keeps it as the examiner's choice. Raises EInOutError, changing
    // nothing, when it cannot be reached, cannot take a test, or the choice cannot be kept. The cards and the views
    // of the old folder's tests close or empty; the list shows the new folder's tests.
    void SetDataFolder(const QString &folder);
    // Refills the result views from the current test.
    void RefreshViews();
    void SetViewStyle(ViewStyle style);
    ViewStyle CurrentViewStyle() const { return m_viewStyle; }
    // Status bar panels 0 (current test number) and 1 (hint).
    void SetStatusNumber(const QString &number);
    QString StatusNumber() const;
    QString StatusHint() const;

    void ReportCommand();
    // Opens the card of the selected test, or brings its open card to the front. Returns the card, or null
    // when no row is selected.
    TfrmCard *OpenCard();
    // The open card of a test, if any.
    static TfrmCard *FindCard(const QString &number);
    // Closes every card window, without asking.
    void CloseAllCards();

    // A quit request (SIGTERM, SIGHUP): a running section ends without its test being stored (its journal stays
    // to be offered at the next start), and this window closes without asking. The layout is kept if it can be;
    // a failure to keep it goes to stderr, as nobody may be there to answer a box at a logout.
    void EndOnQuitRequest();

    // What the cards use.
    void MakeTestCurrent(const QString &number) override;

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    // Keeps the places of the result windows; a settings file that cannot be written keeps the window open.
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildActions();
    void buildMenus();
    void buildToolBar();
    void buildList();
    QAction *addCommand(const QString &caption, const QString &hint, const QString &icon);
    void selectCurrentTest(const QModelIndex &index);
    void openHelp();
    // The scores of the selected test, or of every listed test when none is selected, into a CSV file.
    void exportScores();
    void buildAdministration();
    void buildEntry();
    void buildViews();
    // Shows or hides a result window and sets its check button to match.
    void showView(QWidget *view, QAction *checkButton, bool shown);
    void startNewTest();
    // The folder dialog of "データフォルダの変更...".
    void chooseDataFolder();
    // At start-up: asks the examiner about each test that ended without its save (a crash, a power cut) and
    // whose recovery journal is left.
    void offerAbandonedTests();
    // Rebuilds the rows from the store's list.
    void fillTestList();
    // The old folder's tests are no longer shown anywhere.
    void forgetFolderTests();
    // A test's save failed at Shift+Esc: its rounds are still in memory and in the journal.
    void saveFailed(const QString &message);

    TProgramValues m_values;
    // Declared first: every window below reads and stores through it. The child's window goes before it; the other
    // windows, children of this one, go after it and never use it while they are destroyed.
    std::unique_ptr<TTestStore> m_store;
    TRandom m_random;
    std::unique_ptr<TTestFile> m_testFile;
    std::unique_ptr<TTestFile> m_practiceFile;
    std::unique_ptr<ISoundChannel> m_silence; // stands in when the program was given no sound channel
    ISoundChannel *m_sound = nullptr;
    TSteadyMillisecondClock m_clock;
    // Declared before the child's window, which uses it: it goes after the window.
    std::unique_ptr<TRoundJournal> m_journal;
    std::unique_ptr<TRealtimeKitClient> m_realtimeKit; // before the screen, which uses it
    std::unique_ptr<TfrmScreen> m_screen;
    TfrmStep0 *m_step0 = nullptr;
    TfrmInput *m_input = nullptr;
    TfrmTable *m_table = nullptr;
    TfrmGraph1 *m_graph1 = nullptr;
    TfrmGraph2 *m_graph2 = nullptr;
    TfrmGraph3 *m_graph3 = nullptr;
    TfrmPrint *m_print = nullptr;
    TfrmAbout *m_about = nullptr;
    TWindowLayout *m_layout = nullptr;
    bool m_layoutLoaded = false;
    bool m_quitRequested = false;
    QLabel *m_statusSound = nullptr;
    QString m_numberTakenNotice; // for when the test's screen has closed

    QStandardItemModel *m_model = nullptr;
    TTestListFilter *m_sorted = nullptr;
    QLineEdit *m_search = nullptr;
    QStackedWidget *m_views = nullptr;
    QTreeView *m_details = nullptr;
    QListView *m_icons = nullptr;
    QLabel *m_statusNumber = nullptr;
    QLabel *m_statusHint = nullptr;
    ViewStyle m_viewStyle = ViewStyle::Details;

public:
    // Commands, named as the tests find them.
    QAction *mnuReport = nullptr;
    QAction *mnuCsvExport = nullptr;
    QAction *mnuExit = nullptr;
    QAction *mnuStep0 = nullptr;
    QAction *mnuStep1 = nullptr;
    QAction *mnuStep2 = nullptr;
    QAction *mnuStep3 = nullptr;
    QAction *mnuOpenCard = nullptr;
    QAction *mnuCloseAllCards = nullptr;
    QAction *mnuShowAllGraphs = nullptr;
    QAction *mnuHideAllGraphs = nullptr;
    QAction *mnuTable = nullptr;
    QAction *mnuGraph3 = nullptr;
    QAction *mnuGraph2 = nullptr;
    QAction *mnuGraph1 = nullptr;
    QAction *mnuLayoutA = nullptr;
    QAction *mnuLayoutB = nullptr;
    QAction *mnuLargeIcons = nullptr;
    QAction *mnuSmallIcons = nullptr;
    QAction *mnuList = nullptr;
    QAction *mnuDetails = nullptr;
    QAction *mnuUserSettings = nullptr;
    QAction *mnuDataFolder = nullptr;
    QAction *mnuHelp = nullptr;
    QAction *mnuHomePage = nullptr;
    QAction *mnuAbout = nullptr;
    QAction *tbnTable = nullptr;
    QAction *tbnGraph3 = nullptr;
    QAction *tbnGraph2 = nullptr;
    QAction *tbnGraph1 = nullptr;
    QAction *tbnReport = nullptr;
    QAction *tbnHelp = nullptr;
    QToolButton *tbnViewStyle = nullptr;
};

} // namespace vigix
