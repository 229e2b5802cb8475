#include "ElidedLabel.h"

#include <QEvent>
#include <QFontMetrics>

#include <algorithm>

namespace vigix {

void TElidedLabel::SetFullText(const QString &text)
{
    m_fullText = text;
    elide();
}

void TElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void TElidedLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        elide();
}

void TElidedLabel::elide()
{
    const int room = contentsRect().width() - 2 * margin() - 2 * indent();
    const QString shown = fontMetrics().elidedText(m_fullText, Qt::ElideRight, std::max(0, room));
    setText(shown);
    setToolTip(shown == m_fullText ? QString() : m_fullText);
}

} // namespace vigix
