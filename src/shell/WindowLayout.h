#pragma once

#include <QList>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>

class QWidget;

namespace vigix {

// Where the results table and the three charts stand: kept in "vigix.ini" (section "InitPos") from one run
// to the next, and two preset arrangements. Widths, lefts and tops are of the whole window frame; the
// height kept is the client area's. The windows are moved whether shown or hidden, never shown or hidden.
class TWindowLayout : public QObject
{
    Q_OBJECT
public:
    // The windows in the order of their keys: table, trend chart, distribution chart, pie chart.
    enum Window { Table, Graph1, Graph2, Graph3 };
    using TWindows = std::array<QWidget *, 4>;

    TWindowLayout(const TWindows &windows, const QString &settingsPath, QObject *parent = nullptr);

    // "vigix.ini" in the user's configuration folder.
    static QString DefaultSettingsPath();

    // Missing keys, values that are not integers and a missing file give the defaults; "0x" values are
    // hexadecimal.
    void LoadWindowLayout();
    // Writes all sixteen keys, keeping the file's other keys. Raises EInOutError naming vigix.ini and the reason
    // when the file cannot be read or written; the old file is left as it was then.
    void SaveWindowLayout() const;
    // Where a window frame stored at `frame` is placed: where it is, when a grip of it (32 x 16 pixels, or
    // all of a smaller window) lies on one of the screens; otherwise inside the nearest screen, so that a
    // window stored on a monitor since unplugged, or beyond a smaller display, can be seen.
    static QPoint PlaceOnAScreen(const QRect &frame, const QList<QRect> &screens);
    // The presets for a primary screen of this size (the whole screen, not its work area).
    void ApplyLayoutA(QSize screen);
    void ApplyLayoutB(QSize screen);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setOuterWidth(QWidget *window, int width);
    void setOuterHeight(QWidget *window, int height);
    void settle(QWidget *window);

    TWindows m_windows;
    QString m_settingsPath;
};

} // namespace vigix
