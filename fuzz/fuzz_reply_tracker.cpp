// The reply tracker fed an arbitrary byte stream in arbitrary pieces, as input
// that waits until the tracker takes it. The reply is the first STX and the
// body's length of bytes after it, whatever they hold; the tracker takes
// nothing past it, the same whatever the pieces, and an owed reply, once whole,
// is nobody's body and leaves the tracker idle, taking nothing more.
#include "FuzzInput.h"
#include "ReplyTracker.h"

#include <QList>

namespace {

using State = ReplyTracker::State;
const ReplyTracker::Clock::time_point kNow{};

struct Outcome {
    std::optional<QByteArray> body;
    QByteArray left; // what still waits
    State state;
};

Outcome track(int replyLength, bool owed, const QList<qsizetype> &pieces, const QByteArray &stream)
{
    ReplyTracker tracker;
    tracker.expect(replyLength);
    if (owed)
        tracker.giveUp(kNow + std::chrono::seconds(1));
    Outcome outcome;
    QByteArray waiting;
    qsizetype next = 0;
    for (qsizetype piece : pieces) {
        waiting += stream.mid(next, piece);
        next += piece;
        const ReplyTracker::Taken taken = tracker.take(waiting);
        FUZZ_CHECK(taken.count >= 0 && taken.count <= waiting.size());
        FUZZ_CHECK(!(taken.body && outcome.body));
        FUZZ_CHECK(!taken.body || tracker.state(kNow) == State::Idle);
        if (taken.body)
            outcome.body = taken.body;
        waiting.remove(0, taken.count);
    }
    outcome.left = waiting;
    outcome.state = tracker.state(kNow);
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    const int replyLength = input.intIn(-1, 12);
    const bool owed = input.byte() % 2 == 1;
    QList<qsizetype> pieces;
    for (int count = input.byte() % 16; count > 0; --count)
        pieces << input.byte() % 32;
    const QByteArray stream = input.take(static_cast<qsizetype>(size));
    pieces << stream.size(); // whatever is left comes last

    const qsizetype bodyLength = qMax(replyLength - 1, 0);
    const qsizetype stx = stream.indexOf('\x02');
    const bool whole = stx >= 0 && stream.size() - stx - 1 >= bodyLength;
    const Outcome pieced = track(replyLength, owed, pieces, stream);
    const Outcome atOnce = track(replyLength, owed, {stream.size()}, stream);
    FUZZ_CHECK(pieced.body == atOnce.body && pieced.left == atOnce.left
               && pieced.state == atOnce.state);

    if (!whole) {
        FUZZ_CHECK(!pieced.body && pieced.state == (owed ? State::Owed : State::Awaiting));
        FUZZ_CHECK(pieced.left == (stx < 0 ? QByteArray() : stream.mid(stx + 1)));
        return 0;
    }
    const QByteArray expected = stream.mid(stx + 1, bodyLength);
    FUZZ_CHECK(pieced.state == State::Idle);
    FUZZ_CHECK(owed ? !pieced.body : pieced.body == expected);
    FUZZ_CHECK(pieced.left == stream.mid(stx + 1 + bodyLength));

    // An owed reply is owed until its time, and no longer.
    ReplyTracker tracker;
    tracker.expect(replyLength);
    tracker.giveUp(kNow);
    FUZZ_CHECK(tracker.state(kNow - std::chrono::nanoseconds(1)) == State::Owed);
    FUZZ_CHECK(tracker.state(kNow) == State::Idle);
    return 0;
}
