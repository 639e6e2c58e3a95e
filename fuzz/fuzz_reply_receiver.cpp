// receiveReply fed an arbitrary byte stream that arrives in pieces between
// yields, against a deadline counted in yields. Checks the reply and how the
// receiver treats the source: it never asks for more than waits, never reads
// past the body, sleeps only when nothing is left to read, and stops at the
// first word that time is up.
#include "FuzzInput.h"
#include "ReplyReceiver.h"

#include <QList>

#include <algorithm>

namespace {

class StreamSource : public ReplySource
{
public:
    StreamSource(QByteArray stream, QList<qsizetype> arrived, int deadline, int bodyLength)
        : stream(std::move(stream))
        , arrived(std::move(arrived))
        , deadline(deadline)
        , bodyLength(bodyLength)
    {
    }

    int waitingCount() override
    {
        FUZZ_CHECK(!timeUp, QByteArray("the source was used after time was up"));
        return static_cast<int>(arrived[qMin(yields, arrived.size() - 1)] - consumed);
    }

    QByteArray read(int maxCount) override
    {
        afterYield = false;
        FUZZ_CHECK(maxCount >= 1 && maxCount <= waitingCount() && (stxTaken || maxCount == 1),
                   "read(" + QByteArray::number(maxCount) + ") with "
                       + QByteArray::number(waitingCount()) + " waiting");
        QByteArray bytes = stream.mid(consumed, maxCount);
        stxTaken = stxTaken || bytes == "\x02";
        consumed += bytes.size();
        return bytes;
    }

    // A starved yield may sleep until the next event: with input waiting that is
    // a lost tick, and a yield that never sleeps while nothing can progress spins.
    void yield(bool starved) override
    {
        const int waiting = waitingCount();
        FUZZ_CHECK(stxTaken ? starved && waiting < bodyLength : starved == (waiting == 0),
                   "yielded starved=" + QByteArray::number(starved) + " with "
                       + QByteArray::number(waiting) + " waiting");
        ++yields;
        afterYield = true;
    }

    bool timedOut() override
    {
        waitingCount();
        FUZZ_CHECK(afterYield, QByteArray("time looked at without a yield before it"));
        afterYield = false;
        timeUp = yields >= deadline;
        return timeUp;
    }

    const QByteArray stream;
    const QList<qsizetype> arrived; // bytes arrived once i yields have happened
    const int deadline;             // time is up once this many yields have happened
    const int bodyLength;
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
    const int deadline = input.intIn(0, 300);
    QList<qsizetype> arrived;
    for (int pieces = input.byte() % 16; pieces > 0; --pieces)
        arrived << input.byte() + (arrived.isEmpty() ? 0 : arrived.last());
    const QByteArray stream = input.take(static_cast<qsizetype>(size));
    for (qsizetype &total : arrived)
        total = qMin(total, stream.size());
    arrived << stream.size(); // whatever is left comes last

    StreamSource source(stream, arrived, deadline, qMax(replyLength - 1, 0));
    const std::optional<QByteArray> body = receiveReply(source, replyLength);
    const qsizetype stx = stream.indexOf('\x02');
    const qsizetype bodyEnd = stx + 1 + source.bodyLength;
    const QByteArray detail = "stream " + fuzz::show(stream) + " reply length "
                              + QByteArray::number(replyLength) + " deadline "
                              + QByteArray::number(deadline);
    if (body) {
        FUZZ_CHECK(stx >= 0 && *body == stream.mid(stx + 1, source.bodyLength)
                       && body->size() == source.bodyLength,
                   detail + " gave " + fuzz::show(*body) + ", not the body after the first STX");
        FUZZ_CHECK(source.consumed == bodyEnd, detail + " read past the body");
        return 0;
    }
    FUZZ_CHECK(source.timeUp, detail + " gave up before time was up");
    FUZZ_CHECK(source.consumed <= (stx >= 0 ? stx + 1 : stream.size()),
               detail + " lost body bytes on a time-out");
    // The body waiting after `ready` yields, and one yield per byte dropped before
    // the STX: a deadline later than that is a reply in time.
    if (stx >= 0 && bodyEnd <= stream.size()) {
        const qsizetype ready = std::find_if(arrived.begin(), arrived.end(),
                                             [&](qsizetype total) { return total >= bodyEnd; })
                                - arrived.begin();
        FUZZ_CHECK(deadline <= ready + stx, detail + " timed out on a reply that came in time");
    }
    return 0;
}
