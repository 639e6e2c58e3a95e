// The field rules: a text field is the last two of "0" followed by the text's
// line bytes (one per code point, '?' beyond Latin-1), worked out here over the
// whole text at once; the hexadecimal field is three upper-case digits of the
// value.
#include "CommandFrame.h"
#include "FuzzInput.h"

#include <QList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    const int value = input.intIn(0, 1023);
    const QByteArray hex = frame::hexField(value);
    bool isHex = false;
    FUZZ_CHECK(hex.size() == 3 && hex == hex.toUpper() && hex.toInt(&isHex, 16) == value && isHex);

    const QString text = input.text();
    QByteArray lineBytes;
    for (const char32_t codePoint : text.toUcs4())
        lineBytes += codePoint <= 0xFF ? static_cast<char>(codePoint) : '?';
    FUZZ_CHECK(frame::textField(text) == ("0" + lineBytes).right(2));
    return 0;
}
