#pragma once

#include "ElidedLabel.h"
#include "OneBasedArray.h"

#include <QWidget>

class QLabel;
class QFrame;
class QToolButton;

namespace vigix {

class TfrmInput;
class TfrmPrint;
class TTestStore;

// What a card needs of the main window.
class ICardHost
{
public:
    virtual ~ICardHost() = default;
    // The stored tests: the card reads its test there, and deletes it there.
    virtual TTestStore &Store() = 0;
    // The test becomes the current one: status panel 0 shows it and the result views are refilled.
    virtual void MakeTestCurrent(const QString &number) = 0;
    virtual TfrmInput &Input() = 0;
    virtual TfrmPrint &Print() = 0;
};

// A test card: a small tool window with the subject record of one stored test and the commands on it
// (re-test, edit, delete, the child's history). It keeps no test object: its commands take the number from
// lblKensabangou. Named "card" + number; destroyed when closed.
class TfrmCard : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ClientWidth = 339;
    static constexpr int CollapsedHeight = 94;
    static constexpr int ExpandedHeight = 238;
    // A test stored with a timing summary shows it in one more row at the bottom.
    static constexpr int ExpandedHeightWithTiming = 255;

    explicit TfrmCard(ICardHost &host);

    // Fills every label from the first line of the stored test. Raises the file's error.
    void ShowCard(const QString &number);
    void Collapse();
    void Expand();
    bool IsActiveLook() const { return m_active; }

    TElidedLabel *lblKensabangou = nullptr;
    TElidedLabel *lblKensanichiji = nullptr;
    TElidedLabel *lblShimei = nullptr;
    TElidedLabel *lblSeinengappi = nullptr;
    TElidedLabel *lblSeibetsu = nullptr;
    TElidedLabel *lblShindanmei = nullptr;
    TElidedLabel *lblTouyaku = nullptr;
    TElidedLabel *lblRitarin = nullptr;
    TElidedLabel *lblPIQ = nullptr;
    TElidedLabel *lblVIQ = nullptr;
    TElidedLabel *lblFIQ = nullptr;
    OneBasedArray<TElidedLabel *, 18> lblADHD;
    OneBasedArray<TElidedLabel *, 12> lblPDD;
    TElidedLabel *lblKenzya = nullptr;
    TElidedLabel *lblMemo = nullptr;
    QLabel *lblTiming =
        nullptr; // "タイミング: 良好" or "タイミング: 乱れあり" with the figures; hidden without a summary
    QFrame *bvlBar1 = nullptr;
    QFrame *bvlBar2 = nullptr;
    QToolButton *sbnUp = nullptr;   // ▲ collapse
    QToolButton *sbnDown = nullptr; // ▼ expand
    QToolButton *sbnRetest = nullptr;
    QToolButton *sbnEdit = nullptr;
    QToolButton *sbnDelete = nullptr;
    QToolButton *sbnHistory = nullptr; // "経過": every test of this child

protected:
    bool event(QEvent *event) override;

private:
    void buildUpperPart();
    void buildLowerPart();
    void setActiveLook(bool active);
    void deleteTest();
    void editTest();
    void retest();
    void showHistory();

    ICardHost &m_host;
    bool m_active = false;
    int m_expandedHeight = ExpandedHeight;
};

} // namespace vigix
