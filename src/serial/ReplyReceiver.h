#pragma once

#include <QByteArray>
#include <QList>

#include <chrono>
#include <functional>
#include <optional>

// What the reply receiver needs of its surroundings: the waiting input, a way to
// let the rest of the program run, and the word that time is up.
class ReplySource
{
public:
    virtual ~ReplySource() = default;

    virtual int waitingCount() = 0;
    // Reads and removes up to maxCount waiting characters.
    virtual QByteArray read(int maxCount) = 0;
    // Lets pending events run once. With starved set, nothing can progress until
    // something new happens, so the source may sleep until the next event.
    virtual void yield(bool starved) = 0;
    virtual bool timedOut() = 0;
};

// What a query's reply looks like: STX, the query's letter, the rest, CR last;
// `length` counts the STX.
struct ReplyShape {
    char letter = 0;
    int length = 0;

    // The letter is the frame's first after its STX.
    static ReplyShape ofQuery(const QByteArray &frame, int replyLength);
    bool fits(const QByteArray &body) const;
    bool operator==(const ReplyShape &other) const;
};

// The replies the far end still owes, oldest query first. The line carries no
// sequence number, but the far end answers in order: a reply seen settles every
// query before it, and a reply of the shape of an earlier query, seen while
// that one is owed, is that one's. A reply waited for in vain is owed only for
// a while: one later than that cannot be told from the next query's own.
class OutstandingReplies
{
public:
    using Clock = std::chrono::steady_clock;
    using Ticket = quint64;

    // The frame of a query has gone out.
    Ticket expect(const ReplyShape &shape);
    // A whole reply of the query's shape has come: true when it is this query's,
    // false when it is an earlier one's (which is then owed no more).
    bool claim(Ticket ticket);
    // The query's wait ended in vain; its reply may still come until `until`.
    void owe(Ticket ticket, Clock::time_point until);
    // The whole replies among input dropped unread are owed no more.
    void settle(const QByteArray &dropped);
    // Whether any query still waits for its reply or is owed one.
    bool any();
    // Until when a reply waited for in vain may still come; nothing when none may.
    std::optional<Clock::time_point> owedUntil();

private:
    struct Query {
        Ticket ticket;
        ReplyShape shape;
        std::optional<Clock::time_point> owedUntil; // none while it waits
    };
    void forgetExpired();
    // The query at `index` is answered, and all before it never will be.
    void answeredUpTo(qsizetype index);

    QList<Query> m_queries;
    Ticket m_nextTicket = 0;
};

// Hunts for STX one character at a time, dropping anything else, then waits until
// the shape's length - 1 characters after it are all waiting and reads them.
// A body that does not fit the shape is no reply: the hunt goes on from the
// character after its STX. One that fits but that `isOurs` refuses is dropped
// whole, and the hunt goes on after it. Time is looked at only after a yield.
// Returns the body, or nothing when time ran out first.
std::optional<QByteArray> receiveReply(ReplySource &source, const ReplyShape &shape,
                                       const std::function<bool()> &isOurs);
