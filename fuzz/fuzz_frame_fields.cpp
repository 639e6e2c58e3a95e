// The field rules and the output frames: a text field is at most two bytes, the
// last two of "0" followed by the text's line bytes; every frame is STX, body,
// CR; and the text the display shows is the bytes on the wire, one to one.
#include "CommandFrame.h"
#include "FuzzInput.h"
#include "OutputCommands.h"

#include <QList>

namespace {

// The text as it goes on the line, worked out over the whole text at once.
QByteArray lineBytes(const QString &text)
{
    QByteArray bytes;
    for (const char32_t codePoint : text.toUcs4())
        bytes += codePoint <= 0xFF ? static_cast<char>(codePoint) : '?';
    return bytes;
}

void checkField(const QString &text)
{
    const QByteArray field = frame::textField(text);
    const QByteArray detail = "text " + fuzz::show(text) + " gave field " + fuzz::show(field);
    FUZZ_CHECK(field.size() <= 2, detail);
    FUZZ_CHECK(field == ("0" + lineBytes(text)).right(2), detail);
    for (int count = 0; count <= 4; ++count)
        FUZZ_CHECK(frame::lastLineBytes(text, count) == lineBytes(text).right(count),
                   detail + ", last " + QByteArray::number(count) + " bytes differ");
}

// The display shows lineText of what is written; it must give back the same bytes.
void checkFrame(const QByteArray &frame, const QByteArray &body, const QByteArray &detail)
{
    const QByteArray shown = "frame " + fuzz::show(frame) + " from " + detail;
    FUZZ_CHECK(frame.startsWith(frame::kStx) && frame.endsWith(frame::kCr), shown);
    FUZZ_CHECK(frame.size() == body.size() + 2 && frame.mid(1, body.size()) == body, shown);
    const QString display = frame::lineText(frame);
    FUZZ_CHECK(display.size() == frame.size(), shown + ": display of another length");
    FUZZ_CHECK(display.toLatin1() == frame, shown + ": display is not the wire bytes");
}

void checkOutputs(fuzz::Input &input)
{
    const quint8 selector = input.byte();
    const QString first = fuzz::text(input.piece(), selector);
    const QString second = fuzz::text(input.piece(), selector);
    checkField(first);
    checkField(second);

    const QByteArray both = fuzz::show(first) + ", " + fuzz::show(second);
    checkFrame(output::buzzerFrame(first, second),
               'Z' + frame::textField(first) + frame::textField(second), "buzzer " + both);
    checkFrame(output::portOutputFrame(first), 'O' + frame::textField(first), "OUT " + both);
    checkFrame(output::directionFrame(first), 'T' + frame::textField(first), "TRIS " + both);

    const int bit = input.intIn(0, 7);
    const output::BitPress press = output::bitStep(bit, second);
    const bool wasOn = second == u"1";
    const QByteArray bitBody = 'B' + QByteArray::number(bit) + (wasOn ? '0' : '1');
    checkFrame(press.frame, bitBody, "bit with tag " + fuzz::show(second));
    FUZZ_CHECK(press.newTag == (wasOn ? u"0" : u"1"), "tag " + fuzz::show(second));
    // The next press of the same button sends the other frame.
    const output::BitPress next = output::bitStep(bit, press.newTag);
    FUZZ_CHECK(next.frame != press.frame && next.newTag != press.newTag,
               "bit pressed twice from tag " + fuzz::show(second));

    const int channel = input.intIn(0, 1);
    const int value = input.intIn(0, 1023);
    const QByteArray hex = frame::hexField(value);
    const QByteArray pwm = QByteArray::number(channel) + ' ' + QByteArray::number(value);
    bool isHex = false;
    FUZZ_CHECK(hex.size() == 3 && hex == hex.toUpper() && hex.toInt(&isHex, 16) == value && isHex,
               "PWM value " + pwm + " gave " + fuzz::show(hex));
    checkFrame(output::pwmFrame(channel, value), 'P' + QByteArray::number(channel) + hex,
               "PWM " + pwm);

    const QByteArray body = input.rest();
    checkFrame(frame::commandFrame(body), body, "body " + fuzz::show(body));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    checkOutputs(input);
    return 0;
}
