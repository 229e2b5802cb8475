#include "WindowLayout.h"

#include "SettingsFile.h"

#include <QDir>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QWidget>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

const QString Section = u"InitPos"_s;
const char16_t *const Prefixes[] = {u"Table", u"Graph1", u"Graph2", u"Graph3"};

struct TPlace
{
    int Width;
    int ClientHeight;
    int Left;
    int Top;
};
constexpr TPlace Defaults[] = {{445, 158, 580, 0}, {445, 158, 580, 184}, {445, 158, 580, 376}, {445, 158, 580, 566}};

// A decimal integer, or a hexadecimal one after "0x"; anything else gives the default.
int readInteger(const QSettings &settings, const QString &key, int fallback)
{
    const QString text = settings.value(key).toString().trimmed();
    bool ok = false;
    int value = 0;
    if (text.startsWith(u"0x"_s, Qt::CaseInsensitive))
        value = text.mid(2).toInt(&ok, 16);
    else
        value = text.toInt(&ok, 10);
    return ok ? value : fallback;
}

// The frame around the client area, once the window system has told it; zero before a window is first shown.
QSize frameExtra(const QWidget *window)
{
    return window->frameGeometry().size() - window->size();
}

bool frameKnown(const QWidget *window)
{
    return window->frameGeometry() != window->geometry();
}

// Outer sizes asked for before the frame was known: applied once it is.
const char *const PendingWidth = "vigixOuterWidth";
const char *const PendingHeight = "vigixOuterHeight";

} // namespace

TWindowLayout::TWindowLayout(const TWindows &windows, const QString &settingsPath, QObject *parent)
    : QObject(parent), m_windows(windows), m_settingsPath(settingsPath)
{
    for (QWidget *window : m_windows)
        window->installEventFilter(this);
}

QString TWindowLayout::DefaultSettingsPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).filePath(u"vigix.ini"_s);
}

void TWindowLayout::setOuterWidth(QWidget *window, int width)
{
    window->resize(width - frameExtra(window).width(), window->height());
    window->setProperty(PendingWidth, frameKnown(window) ? QVariant() : QVariant(width));
}

void TWindowLayout::setOuterHeight(QWidget *window, int height)
{
    window->resize(window->width(), height - frameExtra(window).height());
    window->setProperty(PendingHeight, frameKnown(window) ? QVariant() : QVariant(height));
}

void TWindowLayout::settle(QWidget *window)
{
    // The frame is known now: the outer sizes asked for before hold from here on.
    if (!frameKnown(window))
        return;
    const QVariant width = window->property(PendingWidth);
    const QVariant height = window->property(PendingHeight);
    if (width.isValid())
        setOuterWidth(window, width.toInt());
    if (height.isValid())
        setOuterHeight(window, height.toInt());
}

bool TWindowLayout::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize || event->type() == QEvent::Show)
        settle(static_cast<QWidget *>(watched));
    return QObject::eventFilter(watched, event);
}

namespace {

QList<QRect> screenAreas()
{
    QList<QRect> areas;
    for (const QScreen *screen : QGuiApplication::screens())
        areas.append(screen->geometry());
    return areas;
}

} // namespace

void TWindowLayout::LoadWindowLayout()
{
    const QSettings settings(m_settingsPath, QSettings::IniFormat);
    const QList<QRect> screens = screenAreas();
    for (std::size_t w = 0; w < m_windows.size(); ++w) {
        QWidget *window = m_windows[w];
        const QString prefix = Section + u'/' + QString::fromUtf16(Prefixes[w]);
        const TPlace &fallback = Defaults[w];
        setOuterWidth(window, readInteger(settings, prefix + u'W', fallback.Width));
        window->setProperty(PendingHeight, QVariant()); // the height kept is the client area's
        window->resize(window->width(), readInteger(settings, prefix + u'H', fallback.ClientHeight));
        const int left = readInteger(settings, prefix + u'L', fallback.Left);
        const int top = readInteger(settings, prefix + u'T', fallback.Top);
        const QSize frame = window->frameGeometry().size();
        const QPoint place = PlaceOnAScreen(QRect(QPoint(left, top), frame), screens);
        window->move(place.x(), window->y());
        window->move(window->x(), place.y());
    }
}

QPoint TWindowLayout::PlaceOnAScreen(const QRect &frame, const QList<QRect> &screens)
{
    const QSize grip(std::min(32, frame.width()), std::min(16, frame.height()));
    const QRect *nearest = nullptr;
    long long nearestDistance = 0;
    for (const QRect &screen : screens) {
        const QRect shared = frame.intersected(screen);
        if (shared.width() >= grip.width() && shared.height() >= grip.height())
            return frame.topLeft();
        // How far the frame's centre lies outside the screen.
        const QPoint centre = frame.center();
        const long long dx = std::max({screen.left() - centre.x(), 0, centre.x() - screen.right()});
        const long long dy = std::max({screen.top() - centre.y(), 0, centre.y() - screen.bottom()});
        const long long distance = dx * dx + dy * dy;
        if (!nearest || distance < nearestDistance) {
            nearest = &screen;
            nearestDistance = distance;
        }
    }
    if (!nearest)
        return frame.topLeft();
    // Inside it as far as it fits, its top-left corner first.
    const int x = std::max(nearest->left(), std::min(frame.left(), nearest->right() + 1 - frame.width()));
    const int y = std::max(nearest->top(), std::min(frame.top(), nearest->bottom() + 1 - frame.height()));
    return {x, y};
}

void TWindowLayout::SaveWindowLayout() const
{
    // The same file keeps the chosen data folder: one that cannot be read is not written over, and a full disk
    // leaves it as it was.
    TSettingsFile settings(m_settingsPath);
    for (std::size_t w = 0; w < m_windows.size(); ++w) {
        const QWidget *window = m_windows[w];
        const QString prefix = Section + u'/' + QString::fromUtf16(Prefixes[w]);
        settings.SetValue(prefix + u'W', QString::number(window->frameGeometry().width()));
        settings.SetValue(prefix + u'H', QString::number(window->height()));
        settings.SetValue(prefix + u'L', QString::number(window->frameGeometry().x()));
        settings.SetValue(prefix + u'T', QString::number(window->frameGeometry().y()));
    }
    settings.Save();
}

void TWindowLayout::ApplyLayoutA(QSize screen)
{
    const int quarter = (screen.height() - 20) / 4;
    const std::array<Window, 4> column{Table, Graph3, Graph1, Graph2};
    for (std::size_t i = 0; i < column.size(); ++i) {
        QWidget *window = m_windows[column[i]];
        setOuterWidth(window, 445);
        setOuterHeight(window, 190);
        window->move(screen.width() - 445, static_cast<int>(i) * quarter);
    }
}

void TWindowLayout::ApplyLayoutB(QSize screen)
{
    const int quarter = (screen.height() - 20) / 4;
    const std::array<Window, 3> column{Table, Graph3, Graph2};
    for (std::size_t i = 0; i < column.size(); ++i) {
        QWidget *window = m_windows[column[i]];
        setOuterWidth(window, 445);
        setOuterHeight(window, 190);
        window->move(screen.width() - 445, static_cast<int>(i) * quarter);
    }
    QWidget *trend = m_windows[Graph1];
    setOuterWidth(trend, screen.width());
    setOuterHeight(trend, 120);
    trend->move(0, screen.height() - 145);
}

} // namespace vigix
