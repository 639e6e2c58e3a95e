#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The line protocol's frame: STX, the body, CR, one byte per character.
namespace frame {

inline constexpr char kStx = 0x02;
inline constexpr char kCr = 0x0D;

QByteArray commandFrame(QByteArrayView body);

// The last `count` bytes of `text` as it goes on the line: one byte per code
// point, Latin-1 characters as themselves and anything else as '?'. Only the end
// of the text is looked at, so a megabyte costs what two characters cost.
QByteArray lastLineBytes(QStringView text, int count);

// The two-character field: the last two bytes of "0" followed by the text.
// An empty text gives the single byte "0".
QByteArray textField(QStringView text);

// The three-character field: the last three of "000" followed by the value's
// upper-case hexadecimal digits (0 -> "000", 1023 -> "3FF").
QByteArray hexField(int value);

// What a frame or a reply looks like as text: one character per byte.
QString lineText(QByteArrayView bytes);

} // namespace frame
