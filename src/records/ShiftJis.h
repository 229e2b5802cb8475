#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace vigix {

// Stored text is Shift-JIS as Windows writes it (code page 932).

// Replaces the JIS forms that Linux input methods type ("〜" U+301C and six others) by the characters
// Windows has in their place ("～" U+FF5E, ...), so that they are stored as code page 932 stores them.
QString FoldToWindowsForms(QString text);

// The first character (a whole code point) of the folded text that code page 932 cannot hold, if any.
std::optional<QString> FirstUnencodableCharacter(const QString &text);

// The first character a text field of a test file cannot keep: the field separator ",", a double quote, a
// line end or another control code, or a character code page 932 cannot hold.
std::optional<QString> FirstUnstorableCharacter(const QString &text);

// The character for a message: 「😀」(U+1F600), or 改行 for a line end.
QString DescribeCharacter(const QString &character);

// Encodes folded text; characters code page 932 cannot hold must have been refused before.
QByteArray EncodeShiftJis(const QString &text);

// Decodes stored bytes; a byte sequence that is not Shift-JIS becomes U+FFFD rather than failing.
QString DecodeShiftJis(QByteArrayView bytes);

} // namespace vigix
