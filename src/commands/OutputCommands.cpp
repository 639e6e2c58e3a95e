#include "OutputCommands.h"

#include "CommandFrame.h"

namespace output {

BitPress bitStep(int bit, const QString &tag)
{
    const bool wasOn = tag == u"1";
    const QByteArray body = 'B' + QByteArray::number(bit) + (wasOn ? '0' : '1');
    return {frame::commandFrame(body), wasOn ? QStringLiteral("0") : QStringLiteral("1")};
}

QByteArray buzzerFrame(QStringView length, QStringView frequency)
{
    return frame::commandFrame('Z' + frame::textField(length) + frame::textField(frequency));
}

QByteArray pwmFrame(int channel, int value)
{
    return frame::commandFrame('P' + QByteArray::number(channel) + frame::hexField(value));
}

QByteArray portOutputFrame(QStringView text)
{
    return frame::commandFrame('O' + frame::textField(text));
}

QByteArray directionFrame(QStringView text)
{
    return frame::commandFrame('T' + frame::textField(text));
}

} // namespace output
