// The board's reading of the line: FrameSplitter fed a stream cut anywhere gives
// the bodies an independent scan of the whole stream finds, and parseCommand
// accepts exactly the bodies that print back as themselves (hexadecimal in
// either case).
#include "CommandFrame.h"
#include "FrameParser.h"
#include "FuzzInput.h"

namespace {

using frame::Command;
namespace cmd = frame::cmd;

// Every STX opens a frame that ends at the next STX or CR; one ended by a CR,
// no longer than the limit, is a body.
QList<QByteArray> bodiesOf(const QByteArray &stream)
{
    QList<QByteArray> bodies;
    qsizetype stx = stream.indexOf(frame::kStx);
    while (stx >= 0) {
        qsizetype end = stx + 1;
        while (end < stream.size() && stream[end] != frame::kStx && stream[end] != frame::kCr)
            ++end;
        if (end == stream.size())
            break;
        const qsizetype length = end - stx - 1;
        if (stream[end] == frame::kCr && length <= frame::FrameSplitter::kMaxBodyBytes)
            bodies << stream.mid(stx + 1, length);
        stx = stream.indexOf(frame::kStx, end);
    }
    return bodies;
}

QByteArray number(int value)
{
    return QByteArray::number(value);
}

QByteArray hex(int value, int digits)
{
    return QByteArray::number(value, 16).toUpper().rightJustified(digits, '0');
}

struct Printer {
    QByteArray operator()(const cmd::SetBit &c) const { return 'B' + number(c.bit) + number(c.on); }
    QByteArray operator()(const cmd::WritePortB &c) const { return 'O' + hex(c.value, 2); }
    QByteArray operator()(const cmd::WriteDirection &c) const { return 'T' + hex(c.value, 2); }
    QByteArray operator()(const cmd::SoundBuzzer &c) const
    {
        return 'Z' + hex(c.length, 2) + hex(c.frequency, 2);
    }
    QByteArray operator()(const cmd::SetPwm &c) const
    {
        return 'P' + number(c.channel) + hex(c.duty, 3);
    }
    QByteArray operator()(const cmd::ReadPorts &) const { return "I"; }
    QByteArray operator()(const cmd::ReadChannel &c) const { return 'A' + number(c.channel); }
};

QByteArray print(const Command &command)
{
    return std::visit(Printer{}, command);
}

void checkSplitter(fuzz::Input &input, const QByteArray &stream)
{
    frame::FrameSplitter splitter;
    QList<QByteArray> bodies;
    qsizetype from = 0;
    while (from < stream.size()) {
        const qsizetype piece =
            qMin<qsizetype>(input.atEnd() ? stream.size() : input.byte(), stream.size() - from);
        bodies += splitter.feed(QByteArrayView(stream).sliced(from, piece));
        from += piece;
        FUZZ_CHECK(splitter.pendingBytes() <= frame::FrameSplitter::kMaxBodyBytes,
                   fuzz::show(stream) + " holds " + QByteArray::number(splitter.pendingBytes())
                       + " bytes");
    }
    QByteArray shown;
    for (const QByteArray &body : bodies)
        shown += fuzz::show(body) + ' ';
    FUZZ_CHECK(bodies == bodiesOf(stream), "stream " + fuzz::show(stream) + " split into " + shown);
}

void checkCommand(const QByteArray &body)
{
    const std::optional<Command> command = frame::parseCommand(body);
    if (!command)
        return;
    const QByteArray printed = print(*command);
    const QByteArray detail = "body " + fuzz::show(body) + " read as " + fuzz::show(printed);
    FUZZ_CHECK(printed == body.toUpper(), detail);
    FUZZ_CHECK(frame::parseCommand(printed) == command, detail + " does not read back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    const QByteArray stream = input.piece();
    checkSplitter(input, stream);
    // The stream itself as one body, and each body the stream holds.
    checkCommand(stream);
    for (const QByteArray &body : bodiesOf(stream))
        checkCommand(body);
    return 0;
}
