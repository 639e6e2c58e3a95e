// receiveReply fed an arbitrary byte stream that arrives in pieces between
// yields, against a deadline counted in yields. Checks the reply itself and how
// the receiver treats the source: it never asks for more than waits, never reads
// past the body, sleeps only when nothing is left to read, and stops at the
// first word that time is up.
#include "FuzzInput.h"
#include "ReplyReceiver.h"

#include <QList>

namespace {

class StreamSource : public ReplySource
{
public:
    StreamSource(QByteArray stream, QList<qsizetype> arrived, int deadline, int bodyLength)
        : m_stream(std::move(stream))
        , m_arrived(std::move(arrived))
        , m_deadline(deadline)
        , m_bodyLength(bodyLength)
    {
    }

    int waitingCount() override
    {
        noCallAfterTimeUp();
        return static_cast<int>(m_arrived[qMin<qsizetype>(m_yields, m_arrived.size() - 1)]
                                - m_consumed);
    }

    QByteArray read(int maxCount) override
    {
        noCallAfterTimeUp();
        m_afterYield = false;
        FUZZ_CHECK(maxCount >= 1 && maxCount <= waitingCount() && (m_stxTaken || maxCount == 1),
                   "read(" + QByteArray::number(maxCount) + ") with "
                       + QByteArray::number(waitingCount()) + " waiting");
        QByteArray bytes = m_stream.mid(m_consumed, maxCount);
        m_stxTaken = m_stxTaken || bytes == "\x02";
        m_consumed += bytes.size();
        return bytes;
    }

    void yield(bool starved) override
    {
        noCallAfterTimeUp();
        const int waiting = waitingCount();
        // A starved yield may sleep until the next event: with input waiting that
        // is a lost tick, and a yield that never sleeps while nothing can progress spins.
        FUZZ_CHECK(m_stxTaken ? starved && waiting < m_bodyLength : starved == (waiting == 0),
                   "yielded starved=" + QByteArray::number(starved) + " with "
                       + QByteArray::number(waiting) + " waiting, STX taken "
                       + QByteArray::number(m_stxTaken));
        ++m_yields;
        m_afterYield = true;
    }

    bool timedOut() override
    {
        noCallAfterTimeUp();
        FUZZ_CHECK(m_afterYield, QByteArray("time looked at without a yield before it"));
        m_afterYield = false;
        m_timeUp = m_yields >= m_deadline;
        return m_timeUp;
    }

    qsizetype consumed() const { return m_consumed; }
    bool timeUp() const { return m_timeUp; }

private:
    void noCallAfterTimeUp() const
    {
        FUZZ_CHECK(!m_timeUp, QByteArray("the source was used after time was up"));
    }

    QByteArray m_stream;
    QList<qsizetype> m_arrived; // bytes arrived once i yields have happened
    int m_deadline;             // time is up once this many yields have happened
    int m_bodyLength;
    qsizetype m_consumed = 0;
    int m_yields = 0;
    bool m_afterYield = false;
    bool m_stxTaken = false;
    bool m_timeUp = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    const int replyLength = input.intIn(-2, 40);
    const int deadline = input.intIn(0, 300);
    const int pieces = input.byte() % 16;
    QList<qsizetype> pieceSizes;
    for (int i = 0; i < pieces; ++i)
        pieceSizes << input.byte();
    const QByteArray stream = input.rest();

    // Piece i arrives once i yields have happened; whatever is left comes last.
    QList<qsizetype> arrived;
    qsizetype total = 0;
    for (const qsizetype pieceSize : pieceSizes) {
        total = qMin(total + pieceSize, stream.size());
        arrived << total;
    }
    arrived << stream.size();

    const int bodyLength = qMax(replyLength - 1, 0);
    StreamSource source(stream, arrived, deadline, bodyLength);
    const std::optional<QByteArray> body = receiveReply(source, replyLength);

    const qsizetype stx = stream.indexOf('\x02');
    const QByteArray detail = "stream " + fuzz::show(stream) + " reply length "
                              + QByteArray::number(replyLength) + " deadline "
                              + QByteArray::number(deadline) + " pieces "
                              + QByteArray::number(arrived.size());
    if (body) {
        FUZZ_CHECK(body->size() == bodyLength, detail + " gave a body of another length");
        FUZZ_CHECK(stx >= 0 && *body == stream.mid(stx + 1, bodyLength),
                   detail + " gave " + fuzz::show(*body) + ", not the bytes after the first STX");
        FUZZ_CHECK(source.consumed() == stx + 1 + bodyLength, detail + " read past the body");
        return 0;
    }
    FUZZ_CHECK(source.timeUp(), detail + " gave up before time was up");
    FUZZ_CHECK(source.consumed() <= (stx >= 0 ? stx + 1 : stream.size()),
               detail + " lost body bytes on a time-out");

    // Everything up to the body's end waiting after `ready` yields, and one yield
    // per byte dropped before the STX: a deadline later than that is a reply in time.
    if (stx >= 0 && stx + 1 + bodyLength <= stream.size()) {
        int ready = 0;
        while (arrived[qMin<qsizetype>(ready, arrived.size() - 1)] < stx + 1 + bodyLength)
            ++ready;
        FUZZ_CHECK(deadline <= ready + stx, detail + " timed out on a reply that came in time");
    }
    return 0;
}
