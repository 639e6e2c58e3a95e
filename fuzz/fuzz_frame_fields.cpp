// The field rules: a text field is the last two of "0" followed by the text's
// line bytes (one per code point, '?' beyond Latin-1), worked out here over the
// whole text at once; the hexadecimal field is three upper-case digits of the
// value; and the display text of a frame is its bytes, one to one.
#include "CommandFrame.h"
#include "FuzzInput.h"

#include <QList>

namespace {

QByteArray lineBytes(const QString &text)
{
    QByteArray bytes;
    for (const char32_t codePoint : text.toUcs4())
        bytes += codePoint <= 0xFF ? static_cast<char>(codePoint) : '?';
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    const int value = input.intIn(0, 1023);
    const QByteArray hex = frame::hexField(value);
    bool isHex = false;
    FUZZ_CHECK(hex.size() == 3 && hex == hex.toUpper() && hex.toInt(&isHex, 16) == value && isHex,
               "value " + QByteArray::number(value) + " gave " + fuzz::show(hex));

    const QString text = input.text();
    const QByteArray detail = "text " + fuzz::show(text);
    FUZZ_CHECK(frame::textField(text) == ("0" + lineBytes(text)).right(2), detail);
    for (int count = 0; count <= 3; ++count)
        FUZZ_CHECK(frame::lastLineBytes(text, count) == lineBytes(text).right(count),
                   detail + ", last " + QByteArray::number(count) + " bytes");

    const QByteArray frame = frame::commandFrame(lineBytes(text));
    FUZZ_CHECK(frame == frame::kStx + lineBytes(text) + frame::kCr, detail + " framed");
    FUZZ_CHECK(frame::lineText(frame).toLatin1() == frame
                   && frame::lineText(frame).size() == frame.size(),
               detail + ": the display is not the wire bytes");
    return 0;
}
