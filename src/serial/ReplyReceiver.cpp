#include "ReplyReceiver.h"

#include <algorithm>

namespace {

constexpr char kStx = 0x02;
constexpr char kCr = 0x0D;

// The source's input, behind what the receiver has read and put back to look
// at again.
class Input
{
public:
    explicit Input(ReplySource &source)
        : m_source(source)
    {
    }

    int waiting() { return static_cast<int>(m_again.size()) + m_source.waitingCount(); }

    QByteArray take(int count)
    {
        QByteArray bytes = m_again.left(count);
        m_again.remove(0, bytes.size());
        if (bytes.size() < count)
            bytes += m_source.read(count - static_cast<int>(bytes.size()));
        return bytes;
    }

    void putBack(const QByteArray &bytes) { m_again.prepend(bytes); }

    // Lets the rest of the program run once; true when time is up.
    bool yieldUntilTimeUp(bool starved)
    {
        m_source.yield(starved);
        return m_source.timedOut();
    }

private:
    ReplySource &m_source;
    QByteArray m_again;
};

bool huntStx(Input &input)
{
    for (;;) {
        if (input.waiting() >= 1 && input.take(1) == QByteArray(1, kStx))
            return true;
        if (input.yieldUntilTimeUp(input.waiting() == 0))
            return false;
    }
}

std::optional<QByteArray> collectBody(Input &input, int bodyLength)
{
    if (bodyLength == 0)
        return QByteArray();
    for (;;) {
        if (input.waiting() >= bodyLength)
            return input.take(bodyLength);
        if (input.yieldUntilTimeUp(true))
            return std::nullopt;
    }
}

} // namespace

ReplyShape ReplyShape::ofQuery(const QByteArray &frame, int replyLength)
{
    return {frame.size() > 1 ? frame.at(1) : char(0), replyLength};
}

bool ReplyShape::fits(const QByteArray &body) const
{
    return body.size() >= 2 && body.size() == length - 1 && body.front() == letter
           && body.back() == kCr;
}

bool ReplyShape::operator==(const ReplyShape &other) const
{
    return letter == other.letter && length == other.length;
}

OutstandingReplies::Ticket OutstandingReplies::expect(const ReplyShape &shape)
{
    m_queries.append({m_nextTicket, shape, std::nullopt});
    return m_nextTicket++;
}

bool OutstandingReplies::claim(Ticket ticket)
{
    forgetExpired();
    const auto own = std::find_if(m_queries.cbegin(), m_queries.cend(),
                                  [ticket](const Query &query) { return query.ticket == ticket; });
    // Its reply has been seen already, so this one is a later query's.
    if (own == m_queries.cend())
        return false;
    const auto earlier = std::find_if(
        m_queries.cbegin(), own, [own](const Query &query) { return query.shape == own->shape; });
    const bool ours = earlier == own;
    answeredUpTo(earlier - m_queries.cbegin());
    return ours;
}

void OutstandingReplies::owe(Ticket ticket, Clock::time_point until)
{
    for (Query &query : m_queries)
        if (query.ticket == ticket)
            query.owedUntil = until;
}

void OutstandingReplies::settle(const QByteArray &dropped)
{
    forgetExpired();
    for (qsizetype stx = dropped.indexOf(kStx); stx >= 0; stx = dropped.indexOf(kStx, stx + 1)) {
        const auto answered =
            std::find_if(m_queries.cbegin(), m_queries.cend(), [&](const Query &q) {
                return q.shape.fits(dropped.mid(stx + 1, q.shape.length - 1));
            });
        if (answered != m_queries.cend())
            answeredUpTo(answered - m_queries.cbegin());
    }
}

bool OutstandingReplies::any()
{
    forgetExpired();
    return !m_queries.isEmpty();
}

std::optional<OutstandingReplies::Clock::time_point> OutstandingReplies::owedUntil()
{
    forgetExpired();
    std::optional<Clock::time_point> latest;
    for (const Query &query : m_queries)
        if (query.owedUntil && (!latest || *query.owedUntil > *latest))
            latest = query.owedUntil;
    return latest;
}

void OutstandingReplies::forgetExpired()
{
    const Clock::time_point now = Clock::now();
    m_queries.removeIf(
        [now](const Query &query) { return query.owedUntil && *query.owedUntil < now; });
}

void OutstandingReplies::answeredUpTo(qsizetype index)
{
    m_queries.remove(0, index + 1);
}

std::optional<QByteArray> receiveReply(ReplySource &source, const ReplyShape &shape,
                                       const std::function<bool()> &isOurs)
{
    Input input(source);
    const int bodyLength = qMax(shape.length - 1, 0);
    for (;;) {
        if (!huntStx(input))
            return std::nullopt;
        std::optional<QByteArray> body = collectBody(input, bodyLength);
        if (!body)
            return std::nullopt;
        if (!shape.fits(*body))
            input.putBack(*body);
        else if (isOurs())
            return body;
    }
}
