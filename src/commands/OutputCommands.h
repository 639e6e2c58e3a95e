#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// The output commands as pure steps: the values of a command's controls in,
// the frame out. None of them has a reply.
namespace output {

// A bit button's press: the frame to send and the tag text the button keeps
// afterwards. A tag of exactly "1" sends the off frame, anything else the on frame.
struct BitPress {
    QByteArray frame;
    QString newTag;
};
BitPress bitStep(int bit, const QString &tag);

QByteArray buzzerFrame(QStringView length, QStringView frequency);
QByteArray pwmFrame(int channel, int value);
QByteArray portOutputFrame(QStringView text);
QByteArray directionFrame(QStringView text);

} // namespace output
