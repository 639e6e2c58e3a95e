#include "ReplyReceiver.h"

namespace {

constexpr char kStx = 0x02;

bool huntStx(ReplySource &source)
{
    for (;;) {
        if (source.waitingCount() >= 1 && source.read(1) == QByteArray(1, kStx))
            return true;
        source.yield(source.waitingCount() == 0);
        if (source.timedOut())
            return false;
    }
}

std::optional<QByteArray> collectBody(ReplySource &source, int bodyLength)
{
    if (bodyLength == 0)
        return QByteArray();
    for (;;) {
        if (source.waitingCount() >= bodyLength)
            return source.read(bodyLength);
        source.yield(true);
        if (source.timedOut())
            return std::nullopt;
    }
}

} // namespace

std::optional<QByteArray> receiveReply(ReplySource &source, int replyLength)
{
    if (!huntStx(source))
        return std::nullopt;
    return collectBody(source, qMax(replyLength - 1, 0));
}
