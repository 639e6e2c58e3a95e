#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <chrono>
#include <optional>

// The one query in flight on a line whose replies carry no sequence number:
// which bytes are its reply, and whether the next query may go. A reply is the
// first STX that comes and the `length - 1` bytes after it, whatever they hold;
// which query it answers follows from order and time alone. A query whose wait
// ended in vain is owed its reply for a while: when that reply comes it is
// nobody's answer, and the next query goes only once it has come or its time is
// over, so that it cannot be taken for the next query's own.
class ReplyTracker
{
public:
    using Clock = std::chrono::steady_clock;
    enum class State { Idle, Awaiting, Owed };

    // What a look at the waiting input found: how many bytes, oldest first, are
    // the query's (noise before the STX, the STX, the body once all of it is
    // there; never a byte past the reply), and the body once an awaited reply is
    // whole.
    struct Taken {
        qsizetype count = 0;
        std::optional<QByteArray> body;
    };

    // An owed reply whose time is over is owed no more.
    State state(Clock::time_point now) const;
    std::optional<Clock::time_point> owedUntil() const;

    // The frame of a query whose reply has `replyLength` bytes, its STX counted,
    // has gone out; whatever was owed before is forgotten.
    void expect(int replyLength);
    // Takes from `waiting` what belongs to the reply awaited or owed; an owed
    // reply, once whole, leaves the tracker idle and its body is dropped. Idle,
    // it takes nothing.
    Taken take(QByteArrayView waiting);
    // The wait for the reply ended in vain: it is owed until `until`.
    void giveUp(Clock::time_point until);
    // Nothing awaited or owed any more.
    void forget();

private:
    State m_state = State::Idle;
    qsizetype m_bodyLength = 0;
    bool m_stxSeen = false;
    Clock::time_point m_owedUntil;
};
