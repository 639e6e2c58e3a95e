#include "ReplyTracker.h"

namespace {

constexpr char kStx = 0x02;

} // namespace

ReplyTracker::State ReplyTracker::state(Clock::time_point now) const
{
    return m_state == State::Owed && now >= m_owedUntil ? State::Idle : m_state;
}

std::optional<ReplyTracker::Clock::time_point> ReplyTracker::owedUntil() const
{
    return m_state == State::Owed ? std::optional(m_owedUntil) : std::nullopt;
}

void ReplyTracker::expect(int replyLength)
{
    m_state = State::Awaiting;
    m_bodyLength = qMax(replyLength - 1, 0);
    m_stxSeen = false;
}

ReplyTracker::Taken ReplyTracker::take(QByteArrayView waiting)
{
    Taken taken;
    if (m_state == State::Idle)
        return taken;
    if (!m_stxSeen) {
        const qsizetype stx = waiting.indexOf(kStx);
        m_stxSeen = stx >= 0;
        taken.count = m_stxSeen ? stx + 1 : waiting.size();
    }
    if (!m_stxSeen || waiting.size() - taken.count < m_bodyLength)
        return taken;
    const QByteArrayView body = waiting.sliced(taken.count, m_bodyLength);
    taken.count += m_bodyLength;
    if (m_state == State::Awaiting)
        taken.body = body.toByteArray();
    forget();
    return taken;
}

void ReplyTracker::giveUp(Clock::time_point until)
{
    if (m_state == State::Awaiting) {
        m_state = State::Owed;
        m_owedUntil = until;
    }
}

void ReplyTracker::forget()
{
    m_state = State::Idle;
    m_stxSeen = false;
}
