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

QLabel *ResultCell(QWidget *parent, const QString &text, QRect geometry, bool heading)
{
    auto *label = new QLabel(text, parent);
    label->setGeometry(geometry);
    label->setAutoFillBackground(true);
    QPalette colours = label->palette();
    colours.setColor(QPalette::Window, heading ? QColor(255, 255, 128) : QColor(245, 252, 197));
    colours.setColor(QPalette::WindowText, heading ? QColor(0, 0, 255) : QColor(Qt::black));
    label->setPalette(colours);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace vigix
