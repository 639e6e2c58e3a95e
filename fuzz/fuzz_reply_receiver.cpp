// receiveReply fed an arbitrary byte stream that arrives in pieces between
// yields, against a deadline counted in yields. The reply is the body after the
// first STX; the receiver never asks for more than waits, never reads past the
// body, sleeps only when nothing it can use is waiting, looks at the time only
// after a yield, stops at the first word that time is up, and times out only
// when the reply was not there in time.
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
        FUZZ_CHECK(maxCount >= 1 && maxCount <= waitingCount() && (stxTaken || maxCount == 1));
        afterYield = false;
        QByteArray bytes = stream.mid(consumed, maxCount);
        stxTaken = stxTaken || bytes == "\x02";
        consumed += bytes.size();
        return bytes;
    }

    // A starved yield may sleep until the next event: with input waiting that is
    // a lost tick, and a yield that never sleeps while nothing can progress spins.
    void yield(bool starved) override
    {
        FUZZ_CHECK(stxTaken ? starved && waitingCount() < bodyLength
                            : starved == (waitingCount() == 0));
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
    bool stxTaken = false;
    bool timeUp = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    const int replyLength = input.intIn(-2, 40);
    StreamSource source;
    source.deadline = input.intIn(0, 300);
    source.bodyLength = qMax(replyLength - 1, 0);
    for (int pieces = input.byte() % 16; pieces > 0; --pieces)
        source.arrived << input.byte() + (source.arrived.isEmpty() ? 0 : source.arrived.last());
    source.stream = input.take(static_cast<qsizetype>(size));
    source.arrived << source.stream.size(); // whatever is left comes last

    const std::optional<QByteArray> body = receiveReply(source, replyLength);
    const qsizetype stx = source.stream.indexOf('\x02');
    const qsizetype bodyEnd = stx + 1 + source.bodyLength;
    if (body) {
        FUZZ_CHECK(stx >= 0 && *body == source.stream.mid(stx + 1, source.bodyLength)
                   && body->size() == source.bodyLength && source.consumed == bodyEnd);
        return 0;
    }
    FUZZ_CHECK(source.timeUp && source.consumed <= (stx >= 0 ? stx + 1 : source.stream.size()));
    // The body is waiting after `ready` yields, and each byte dropped before the
    // STX costs one yield: a deadline later than that is a reply in time.
    if (stx >= 0 && bodyEnd <= source.stream.size()) {
        const auto ready = std::find_if(source.arrived.begin(), source.arrived.end(),
                                        [&](qsizetype total) { return total >= bodyEnd; })
                           - source.arrived.begin();
        FUZZ_CHECK(source.deadline <= ready + stx);
    }
    return 0;
}
