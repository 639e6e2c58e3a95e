#pragma once

#include "ReplyTracker.h"
#include "SerialLink.h"

#include <QByteArray>

#include <chrono>
#include <functional>
#include <optional>

// How a front end lets a query wait: the panel runs its events, tq905 sleeps
// on the device.
class ExchangeWait
{
public:
    using Clock = std::chrono::steady_clock;

    virtual ~ExchangeWait() = default;
    // Lets the rest of the program run once. Nothing in the exchange can
    // progress until input comes or something else happens, so it may sleep,
    // but not much past `until`. Throws to give the query up (an end request,
    // the port closed under it).
    virtual void yield(Clock::time_point until) = 0;
};

// Queries on a link as the panel and tq905 both run them, one in flight at a
// time: a query goes only when no earlier reply is awaited or owed; the input
// waiting then is dropped, as exactly as the device can, before its frame goes;
// and the reply is the first STX that comes and the bytes after it. A query
// whose wait ends in vain is owed its reply for `lateWindow`, so the next query
// waits that long at most for it to come.
class QueryExchange
{
public:
    using Clock = ReplyTracker::Clock;
    using Sender = std::function<void(const QByteArray &frame)>;
    // A far end that does not confirm a discard within this is taken for one
    // that never does.
    static constexpr std::chrono::milliseconds kDiscardConfirmation{500};

    QueryExchange(SerialLink &link, std::chrono::milliseconds lateWindow);

    // Whether the reply of a query that gave up may still come.
    bool replyOwed() const;
    // Waits until the reply owed to an earlier query has come or its time is over.
    void awaitTurn(ExchangeWait &wait);
    // Drops the stale input, then sends the frame.
    void start(const QByteArray &frame, ExchangeWait &wait, const Sender &send);
    // The body of the reply to the frame just sent, `replyLength` bytes with its
    // STX; or nothing once `timedOut`, looked at after each yield and what it
    // brought, says so, and the reply is then owed.
    std::optional<QByteArray> receive(int replyLength, ExchangeWait &wait,
                                      const std::function<bool()> &timedOut,
                                      Clock::time_point sleepUntil = Clock::time_point::max());
    // A new port, or none: no reply is owed there.
    void forgetOwedReply();

private:
    // Gives the tracker what the link holds; the body of an awaited reply once whole.
    std::optional<QByteArray> takeWaiting();
    void discardStaleInput(ExchangeWait &wait);

    SerialLink &m_link;
    const std::chrono::milliseconds m_lateWindow;
    ReplyTracker m_tracker;
};
