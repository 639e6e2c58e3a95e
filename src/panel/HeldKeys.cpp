#include "HeldKeys.h"

#include <QAbstractButton>
#include <QKeyEvent>

namespace {

bool pressesOrCloses(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
    case Qt::Key_Select:
    case Qt::Key_Escape:
        return true;
    default:
        return false;
    }
}

} // namespace

bool HeldKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyRelease) {
        const auto *release = static_cast<QKeyEvent *>(event);
        m_lastRelease.insert(release->nativeScanCode(), release->timestamp());
        return false;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *press = static_cast<QKeyEvent *>(event);
    // In a message box the focus is on a button, and a key no button takes (Escape)
    // goes on to the box from there.
    return pressesOrCloses(press->key()) && qobject_cast<QAbstractButton *>(watched)
           && isRepeat(*press);
}

// A time stamp of 0 is no time at all (events made by a program, not a keyboard).
bool HeldKeys::isRepeat(const QKeyEvent &press) const
{
    return press.isAutoRepeat()
           || (press.timestamp() != 0
               && m_lastRelease.value(press.nativeScanCode(), 0) == press.timestamp());
}
