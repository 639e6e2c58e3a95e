// receiveReply fed an arbitrary byte stream that arrives in pieces between
// yields, against a deadline counted in yields, with the first few replies of
// the query's shape owed to earlier queries. The reply is the first STX
// followed by a body of the shape (its letter first, CR last) that no earlier
// query is owed; a body of another shape is no reply, and its bytes are looked
// at again. The receiver never asks for more than waits, never sleeps while a
// whole body waits, looks at the time only after a yield, stops at the first
// word that time is up, and times out only when the reply was not there in time.
#include "FuzzInput.h"
#include "ReplyReceiver.h"

#include <QList>

#include <algorithm>

namespace {

struct StreamSource : ReplySource {
    int waitingCount() override
    {
        FUZZ_CHECK(!timeUp);
        const qsizetype total = qMin(arrived[qMin(yields, arrived.size() - 1)], stream.size());
        return static_cast<int>(total - consumed);
    }

    QByteArray read(int maxCount) override
    {
        FUZZ_CHECK(maxCount >= 1 && maxCount <= waitingCount());
        afterYield = false;
        QByteArray bytes = stream.mid(consumed, maxCount);
        consumed += bytes.size();
        return bytes;
    }

    // A starved yield may sleep until the next event: with a whole body waiting
    // that is a lost tick.
    void yield(bool starved) override
    {
        FUZZ_CHECK(!starved || waitingCount() < qMax(bodyLength, 1));
        ++yields;
        afterYield = true;
    }

    bool timedOut() override
    {
        FUZZ_CHECK(afterYield && !timeUp);
        afterYield = false;
        timeUp = yields >= deadline;
        return timeUp;
    }

    QByteArray stream;
    QList<qsizetype> arrived; // bytes arrived once i yields have happened (or all)
    int deadline = 0;         // time is up once this many yields have happened
    int bodyLength = 0;
    qsizetype consumed = 0;
    qsizetype yields = 0;
    bool afterYield = false;
    bool timeUp = false;
};

struct Expected {
    qsizetype stx = -1; // none: no reply in the stream
    QByteArray body;
};

// The model: a fitting body owed to an earlier query is skipped whole, any
// other STX not followed by a fitting body is skipped alone.
Expected expectedReply(const QByteArray &stream, const ReplyShape &shape, int owed)
{
    const int bodyLength = qMax(shape.length - 1, 0);
    for (qsizetype stx = stream.indexOf('\x02'); stx >= 0 && stx + bodyLength < stream.size();) {
        const QByteArray body = stream.mid(stx + 1, bodyLength);
        if (!shape.fits(body)) {
            stx = stream.indexOf('\x02', stx + 1);
        } else if (owed > 0) {
            --owed;
            stx = stream.indexOf('\x02', stx + 1 + bodyLength);
        } else {
            return {stx, body};
        }
    }
    return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    const int replyLength = input.intIn(-2, 40);
    // Mostly a letter the stream is made of, so that bodies fit now and then.
    const ReplyShape shape{static_cast<char>("AI\x02\r"[input.byte() % 4]), replyLength};
    int owed = input.intIn(0, 3);
    StreamSource source;
    source.deadline = input.intIn(0, 300);
    source.bodyLength = qMax(replyLength - 1, 0);
    for (int pieces = input.byte() % 16; pieces > 0; --pieces)
        source.arrived << input.byte() + (source.arrived.isEmpty() ? 0 : source.arrived.last());
    source.stream = input.take(static_cast<qsizetype>(size));
    source.arrived << source.stream.size(); // whatever is left comes last

    const Expected expected = expectedReply(source.stream, shape, owed);
    const qsizetype end = expected.stx + 1 + source.bodyLength;
    const std::optional<QByteArray> body =
        receiveReply(source, shape, [&owed] { return owed-- <= 0; });
    if (body) {
        FUZZ_CHECK(expected.stx >= 0 && *body == expected.body && source.consumed == end);
        return 0;
    }
    FUZZ_CHECK(source.timeUp);
    // Everything up to the reply's end has come after `ready` yields; after that
    // each yield costs at least one byte read.
    if (expected.stx >= 0) {
        const auto ready = std::find_if(source.arrived.begin(), source.arrived.end(),
                                        [&](qsizetype total) { return total >= end; })
                           - source.arrived.begin();
        FUZZ_CHECK(source.deadline <= ready + end);
    }
    return 0;
}
