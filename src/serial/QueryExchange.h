#pragma once

#include "ReplyReceiver.h"
#include "SerialLink.h"

#include <QByteArray>

#include <chrono>
#include <functional>
#include <optional>

// The link's waiting input as the reply receiver reads it. How a wait sleeps
// and when it gives up are the front end's.
class LinkReplySource : public ReplySource
{
public:
    explicit LinkReplySource(SerialLink &link)
        : m_link(link)
    {
    }

    // What the device holds counts as soon as it is there, so a reply that came
    // while the last yield was busy is taken now, not one yield later.
    int waitingCount() override;
    QByteArray read(int maxCount) override;

protected:
    SerialLink &m_link;
};

// One query on the link: the input waiting from before it dropped, its frame
// sent, its reply received. Only a reply of the query's shape is taken, and
// not one that an earlier query is still owed (the link keeps count). The front
// end sends (with or without waiting for the line to take it) and shows what
// comes back.
class QueryExchange
{
public:
    using Sender = std::function<void(const QByteArray &frame)>;

    // A reply waited for in vain is still told apart for lateWindow after the wait.
    QueryExchange(SerialLink &link, QByteArray frame, int replyLength,
                  std::chrono::milliseconds lateWindow);

    // Drops the stale input, then sends the frame.
    void start(const Sender &send);
    // The reply body, or nothing when the wait ended in vain.
    std::optional<QByteArray> finish(ReplySource &source);

    // Drops the waiting input; a reply still owed found among it is owed no more.
    static void dropStaleInput(SerialLink &link);

private:
    SerialLink &m_link;
    const QByteArray m_frame;
    const ReplyShape m_shape;
    const std::chrono::milliseconds m_lateWindow;
    std::optional<OutstandingReplies::Ticket> m_ticket;
};
