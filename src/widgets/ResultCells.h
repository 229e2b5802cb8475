#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

class QLabel;
class QWidget;

namespace vigix {

// The look the results table and the test cards share: "ＭＳ Ｐゴシック" at 12 pixels (Noto Sans CJK JP stands
// in), light yellow heading cells with blue text, pale yellow-green value cells with black text.
QFont ResultFont();
// Its colours.
QColor ResultHeadingFill();
QColor ResultHeadingText();
QColor ResultValueFill();
// A cell of that look, text centred.
QLabel *ResultCell(QWidget *parent, const QString &text, QRect geometry, bool heading);
// Gives a label made elsewhere (an eliding one) that look.
void StyleResultCell(QLabel *label, QRect geometry, bool heading);

} // namespace vigix
