#include "WindowLayout.h"

#include "Errors.h"

#include <QDir>
#include <QEvent>
#include <QSettings>
#include <QStandardPaths>
#include <QWidget>

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

void TWindowLayout::LoadWindowLayout()
{
    const QSettings settings(m_settingsPath, QSettings::IniFormat);
    for (std::size_t w = 0; w < m_windows.size(); ++w) {
        QWidget *window = m_windows[w];
        const QString prefix = Section + u'/' + QString::fromUtf16(Prefixes[w]);
        const TPlace &fallback = Defaults[w];
        setOuterWidth(window, readInteger(settings, prefix + u'W', fallback.Width));
        window->setProperty(PendingHeight, QVariant()); // the height kept is the client area's
        window->resize(window->width(), readInteger(settings, prefix + u'H', fallback.ClientHeight));
        const int left = readInteger(settings, prefix + u'L', fallback.Left);
        window->move(left, window->y());
        window->move(window->x(), readInteger(settings, prefix + u'T', fallback.Top));
    }
}

void TWindowLayout::SaveWindowLayout() const
{
    QSettings settings(m_settingsPath, QSettings::IniFormat);
    for (std::size_t w = 0; w < m_windows.size(); ++w) {
        const QWidget *window = m_windows[w];
        const QString prefix = Section + u'/' + QString::fromUtf16(Prefixes[w]);
        settings.setValue(prefix + u'W', window->frameGeometry().width());
        settings.setValue(prefix + u'H', window->height());
        settings.setValue(prefix + u'L', window->frameGeometry().x());
        settings.setValue(prefix + u'T', window->frameGeometry().y());
    }
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw EInOutError(u"%1 に書き込めません"_s.arg(u"vigix.ini"_s));
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
