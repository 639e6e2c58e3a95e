#include "QueryExchange.h"

#include <QScopeGuard>

int LinkReplySource::waitingCount()
{
    m_link.readArrivedInput();
    return m_link.inBufferCount();
}

QByteArray LinkReplySource::read(int maxCount)
{
    m_link.setInputLen(static_cast<qint16>(maxCount));
    return m_link.input();
}

QueryExchange::QueryExchange(SerialLink &link, QByteArray frame, int replyLength,
                             std::chrono::milliseconds lateWindow)
    : m_link(link)
    , m_frame(std::move(frame))
    , m_shape(ReplyShape::ofQuery(m_frame, replyLength))
    , m_lateWindow(lateWindow)
{
}

void QueryExchange::dropStaleInput(SerialLink &link)
{
    // Looked through only while a reply may still come, so as a rule it is dropped unread.
    if (link.outstandingReplies().any()) {
        link.readArrivedInput();
        link.setInputLen(0);
        link.outstandingReplies().settle(link.input());
    }
    link.setInBufferCount(0);
}

void QueryExchange::start(const Sender &send)
{
    dropStaleInput(m_link);
    send(m_frame);
    m_ticket = m_link.outstandingReplies().expect(m_shape);
}

std::optional<QByteArray> QueryExchange::finish(ReplySource &source)
{
    OutstandingReplies &outstanding = m_link.outstandingReplies();
    bool answered = false;
    const auto owed = qScopeGuard([&] {
        if (!answered)
            outstanding.owe(*m_ticket, OutstandingReplies::Clock::now() + m_lateWindow);
    });
    std::optional<QByteArray> body =
        receiveReply(source, m_shape, [&] { return outstanding.claim(*m_ticket); });
    answered = body.has_value();
    return body;
}
