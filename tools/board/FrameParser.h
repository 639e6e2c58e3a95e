#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>
#include <variant>

// The board's side of the line protocol: frames cut out of the byte stream and
// their bodies read as commands.
namespace frame {

// Cuts frame bodies out of a byte stream fed in pieces of any size. Bytes before
// an STX are dropped; an STX inside a frame starts the frame again; a CR outside a
// frame is dropped. A frame that grows past kMaxBodyBytes without its CR is
// dropped whole, so noise without CR costs bounded memory.
class FrameSplitter
{
public:
    // The longest body of the command set is five bytes.
    static constexpr qsizetype kMaxBodyBytes = 32;

    // The bodies completed by `bytes`, oldest first.
    QList<QByteArray> feed(QByteArrayView bytes);

    // What the frame in progress holds so far.
    qsizetype pendingBytes() const { return m_pending.size(); }

private:
    QByteArray m_pending;
    bool m_inFrame = false;
};

namespace cmd {
struct SetBit {
    int bit; // 0 ... 7
    bool on;
};
struct WritePortB {
    quint8 value;
};
struct WriteDirection {
    quint8 value;
};
struct SoundBuzzer {
    quint8 length;
    quint8 frequency;
};
struct SetPwm {
    int channel; // 0 or 1
    int duty;    // 0 ... 1023
};
struct ReadPorts {
};
struct ReadChannel {
    int channel; // 0 ... 3
};
} // namespace cmd

using Command = std::variant<cmd::SetBit, cmd::WritePortB, cmd::WriteDirection, cmd::SoundBuzzer,
                             cmd::SetPwm, cmd::ReadPorts, cmd::ReadChannel>;

// Reads a body (the bytes between STX and CR). Widths are exact and every
// argument is hexadecimal, either case: "B" n 0|1, "O" dd, "T" dd, "Z" ll ff
// (two hexadecimal bytes), "P0"|"P1" hhh (at most 3FF), "I", "A0" ... "A3".
// Anything else, a one-character field from an empty panel box included, is
// no command.
std::optional<Command> parseCommand(QByteArrayView body);

// One line for traces and the board's window, e.g. "bit 3 on", "port B 0x5A".
QString describeCommand(const Command &command);

} // namespace frame
