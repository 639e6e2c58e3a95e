#pragma once

#include "ReplyReceiver.h"
#include "SerialLink.h"

#include <QByteArray>

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
// sent, its reply received. The front end sends (with or without waiting for
// the line to take it) and shows what comes back.
class QueryExchange
{
public:
    using Sender = std::function<void(const QByteArray &frame)>;

    QueryExchange(SerialLink &link, QByteArray frame, int replyLength);

    const QByteArray &frame() const { return m_frame; }
    int replyLength() const { return m_replyLength; }

    // Drops the stale input, then sends the frame.
    void start(const Sender &send);
    // The reply body, or nothing when the wait ended in vain.
    std::optional<QByteArray> finish(ReplySource &source);

private:
    SerialLink &m_link;
    const QByteArray m_frame;
    const int m_replyLength;
};
