#include "ScriptedFarEnd.h"

#include <unistd.h>

ScriptedFarEnd::ScriptedFarEnd(PtyPair &pty)
    : m_pty(pty)
    , m_notifier(pty.masterFd(), QSocketNotifier::Read)
{
    connect(&m_notifier, &QSocketNotifier::activated, this, &ScriptedFarEnd::onReadable);
}

void ScriptedFarEnd::answerWith(const QList<Write> &writes)
{
    m_script = [writes](const QByteArray &) { return writes; };
}

void ScriptedFarEnd::vanish()
{
    m_notifier.setEnabled(false);
    m_pty.vanish();
}

void ScriptedFarEnd::onReadable()
{
    char buffer[256];
    const ssize_t n = ::read(m_pty.masterFd(), buffer, sizeof buffer);
    if (n <= 0) {
        m_notifier.setEnabled(false); // hung up: the device side is closed for good
        return;
    }
    m_pending.append(buffer, n);
    qsizetype end;
    while ((end = m_pending.indexOf('\r')) >= 0) {
        const QByteArray frame = m_pending.left(end + 1);
        m_pending.remove(0, end + 1);
        m_frames << frame;
        if (!m_script)
            continue;
        for (const Write &write : m_script(frame))
            QTimer::singleShot(write.delay, this,
                               [this, bytes = write.bytes] { m_pty.write(bytes); });
    }
}
