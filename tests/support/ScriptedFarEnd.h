#pragma once

#include "PtyPair.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <functional>

// The board's end of a pseudo-terminal, driven from the event loop so that it
// answers while the panel waits: each frame that arrives (up to CR) is handed
// to a script, which answers with writes at given delays.
class ScriptedFarEnd : public QObject
{
    Q_OBJECT

public:
    struct Write {
        std::chrono::milliseconds delay; // after the frame arrived
        QByteArray bytes;
    };
    using Script = std::function<QList<Write>(const QByteArray &frame)>;

    explicit ScriptedFarEnd(PtyPair &pty);

    void setScript(Script script) { m_script = std::move(script); }
    // Answers every frame with the same writes.
    void answerWith(const QList<Write> &writes);

    // The device vanishes, as an unplugged adapter does.
    void vanish();

    const QList<QByteArray> &frames() const { return m_frames; }

private:
    void onReadable();

    PtyPair &m_pty;
    QSocketNotifier m_notifier;
    Script m_script;
    QByteArray m_pending;
    QList<QByteArray> m_frames;
};
