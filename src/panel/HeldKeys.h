#pragma once

#include <QHash>
#include <QObject>

class QKeyEvent;

// A key held down presses a button once, and cannot close a message box that
// came up while it was held: the repeats of a held key that presses or closes
// (Return, Enter, Space, Escape) are dropped before they reach a button. Installed
// on the application, it sees every key release, wherever the focus is. Keys held
// in a text box or on a scroll bar still repeat.
class HeldKeys : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isRepeat(const QKeyEvent &press) const;

    // The X server sends each repeat as a release and a press with the same time
    // stamp; Qt marks them as repeats only when both have arrived together, so
    // under load a repeat can come unmarked. The time stamp tells it anyway.
    QHash<quint32, quint64> m_lastRelease; // time stamp by native scan code
};
