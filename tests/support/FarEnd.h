#pragma once

#include "PtyPair.h"

#include <QElapsedTimer>
#include <QList>
#include <QSocketNotifier>
#include <QTimer>

#include <functional>

// A board on the far end of a pseudo-terminal, answering as the protocol
// allows a board to, not as the virtual board does: each query frame it reads
// ("I", "A0" ... "A3") is answered by `answer`, given the query's number from 1
// and its body, after `delay`; an empty answer is none. Replies go in the order
// of the queries. Runs on the event loop.
class FarEnd : public QObject
{
public:
    using Answer = std::function<QByteArray(int query, const QByteArray &body)>;

    FarEnd(PtyPair &line, Answer answer, std::chrono::milliseconds delay = {})
        : m_line(line)
        , m_answer(std::move(answer))
        , m_delay(delay)
        , m_notifier(line.masterFd(), QSocketNotifier::Read)
    {
        m_clock.start();
        connect(&m_notifier, &QSocketNotifier::activated, this, &FarEnd::onReadable);
    }

    QList<QByteArray> bodies; // of every frame read, in order
    QList<qint64> readMs;     // when each was read, from the far end's start

private:
    void onReadable()
    {
        m_pending += m_line.receive(4096, std::chrono::milliseconds(0));
        for (qsizetype cr = m_pending.indexOf('\r'); cr >= 0; cr = m_pending.indexOf('\r')) {
            const QByteArray frame = m_pending.left(cr);
            m_pending.remove(0, cr + 1);
            const QByteArray body = frame.mid(frame.lastIndexOf('\002') + 1);
            bodies << body;
            readMs << m_clock.elapsed();
            const bool query = body.startsWith('I') || body.startsWith('A');
            if (const QByteArray reply = query ? m_answer(++m_queries, body) : QByteArray();
                !reply.isEmpty())
                QTimer::singleShot(m_delay, Qt::PreciseTimer, this,
                                   [this, reply] { m_line.write(reply); });
        }
    }

    PtyPair &m_line;
    Answer m_answer;
    std::chrono::milliseconds m_delay;
    QSocketNotifier m_notifier;
    QByteArray m_pending;
    int m_queries = 0;
    QElapsedTimer m_clock;
};
