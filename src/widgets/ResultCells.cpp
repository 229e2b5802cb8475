#include "ResultCells.h"

#include <QLabel>

using namespace Qt::StringLiterals;

namespace vigix {

QFont ResultFont()
{
    QFont gothic(u"Noto Sans CJK JP"_s);
    gothic.setPixelSize(12);
    return gothic;
}

QColor ResultHeadingFill()
{
    return QColor(255, 255, 128);
}

QColor ResultHeadingText()
{
    return QColor(0, 0, 255);
}

QColor ResultValueFill()
{
    return QColor(245, 252, 197);
}

QLabel *ResultCell(QWidget *parent, const QString &text, QRect geometry, bool heading)
{
    auto *label = new QLabel(text, parent);
    StyleResultCell(label, geometry, heading);
    return label;
}

void StyleResultCell(QLabel *label, QRect geometry, bool heading)
{
    label->setGeometry(geometry);
    label->setAutoFillBackground(true);
    QPalette colours = label->palette();
    colours.setColor(QPalette::Window, heading ? ResultHeadingFill() : ResultValueFill());
    colours.setColor(QPalette::WindowText, heading ? ResultHeadingText() : QColor(Qt::black));
    label->setPalette(colours);
    label->setAlignment(Qt::AlignCenter);
}

} // namespace vigix
