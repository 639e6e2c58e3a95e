#include "QueryExchange.h"

#include <QScopeGuard>

QueryExchange::QueryExchange(SerialLink &link, std::chrono::milliseconds lateWindow)
    : m_link(link)
    , m_lateWindow(lateWindow)
{
}

std::optional<QByteArray> QueryExchange::takeWaiting()
{
    m_link.readArrivedInput();
    const ReplyTracker::Taken taken = m_tracker.take(m_link.waitingInput());
    if (taken.count > 0) {
        m_link.setInputLen(static_cast<qint16>(taken.count));
        m_link.input();
    }
    return taken.body;
}

void QueryExchange::awaitTurn(ExchangeWait &wait)
{
    // However the wait ends (also given up, or on a port closed under it),
    // nothing earlier is owed after it.
    const auto idle = qScopeGuard([this] { m_tracker.forget(); });
    while (m_link.portOpen() && replyOwed()) {
        takeWaiting();
        if (replyOwed())
            wait.yield(*m_tracker.owedUntil());
    }
}

void QueryExchange::discardStaleInput(ExchangeWait &wait)
{
    m_link.setInBufferCount(0);
    const Clock::time_point due = Clock::now() + kDiscardConfirmation;
    while (m_link.discardUnconfirmed()) {
        if (Clock::now() >= due) {
            m_link.stopAwaitingDiscardConfirmations();
            return;
        }
        wait.yield(due);
        m_link.readArrivedInput();
    }
}

void QueryExchange::start(const QByteArray &frame, ExchangeWait &wait, const Sender &send)
{
    discardStaleInput(wait);
    send(frame);
}

std::optional<QByteArray> QueryExchange::receive(int replyLength, ExchangeWait &wait,
                                                 const std::function<bool()> &timedOut,
                                                 Clock::time_point sleepUntil)
{
    m_tracker.expect(replyLength);
    // A wait given up (an end request, the port closed under it) owes nothing.
    auto forgotten = qScopeGuard([this] { m_tracker.forget(); });
    // The input was dropped before the frame went: nothing to look at before
    // the first yield, which comes back at once when something has come.
    for (;;) {
        wait.yield(sleepUntil);
        if (std::optional<QByteArray> body = takeWaiting()) {
            forgotten.dismiss();
            return body;
        }
        if (timedOut()) {
            forgotten.dismiss();
            m_tracker.giveUp(Clock::now() + m_lateWindow);
            return std::nullopt;
        }
    }
}

bool QueryExchange::replyOwed() const
{
    return m_tracker.state(Clock::now()) == ReplyTracker::State::Owed;
}

void QueryExchange::forgetOwedReply()
{
    if (replyOwed())
        m_tracker.forget();
}
