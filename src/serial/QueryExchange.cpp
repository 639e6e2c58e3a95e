#include "QueryExchange.h"

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

QueryExchange::QueryExchange(SerialLink &link, QByteArray frame, int replyLength)
    : m_link(link)
    , m_frame(std::move(frame))
    , m_replyLength(replyLength)
{
}

void QueryExchange::start(const Sender &send)
{
    m_link.setInBufferCount(0);
    send(m_frame);
}

std::optional<QByteArray> QueryExchange::finish(ReplySource &source)
{
    return receiveReply(source, m_replyLength);
}
