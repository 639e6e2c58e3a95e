#include "ScriptedFarEnd.h"

#include <unistd.h>

ScriptedFarEnd::ScriptedFarEnd(PtyPair &pty)
    : m_pty(pty)
    , m_notifier(pty.masterFd(), QSocketNotifier::Read)
{
    connect(&m_notifier, &QSocketNotifier::activated, this, &ScriptedFarEnd::onReadable);
    m_floodTimer.setInterval(2);
    connect(&m_floodTimer, &QTimer::timeout, this, &ScriptedFarEnd::feedFlood);
}

void ScriptedFarEnd::answerWith(const QList<Write> &writes)
{
    m_script = [writes](const QByteArray &) { return writes; };
}

void ScriptedFarEnd::flood(qint64 byteCount, char filler)
{
    m_floodLeft = byteCount;
    m_filler = filler;
    m_floodTimer.start();
}

void ScriptedFarEnd::vanish()
{
    m_notifier.setEnabled(false);
    m_floodTimer.stop();
    m_pty.vanish();
}

QByteArray ScriptedFarEnd::received() const
{
    QByteArray all;
    for (const QByteArray &frame : m_frames)
        all += frame;
    return all + m_pending;
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

void ScriptedFarEnd::feedFlood()
{
    const QByteArray chunk(qMin<qint64>(m_floodLeft, 4096), m_filler);
    const ssize_t n = ::write(m_pty.masterFd(), chunk.constData(), chunk.size());
    if (n > 0) {
        m_floodLeft -= n;
        m_flooded += n;
    }
    if (m_floodLeft <= 0)
        m_floodTimer.stop();
}
