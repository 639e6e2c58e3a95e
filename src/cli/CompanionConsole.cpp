#include "CompanionConsole.h"

#include <utility>

CompanionConsole::Read CompanionConsole::readLine(QByteArray &line)
{
    for (;;) {
        const qsizetype end = m_input.indexOf('\n');
        if (end >= 0 || (m_inputEnded && !(m_input.isEmpty() && m_longLineStart.isEmpty()))) {
            const qsizetype length = end >= 0 ? end : m_input.size();
            const bool tooLong = !m_longLineStart.isEmpty() || length > kMaxLineBytes;
            line = m_longLineStart.isEmpty() ? m_input.left(qMin(length, kMaxLineBytes))
                                             : std::exchange(m_longLineStart, {});
            m_input.remove(0, end >= 0 ? end + 1 : length);
            return tooLong ? Read::TooLong : Read::Line;
        }
        if (m_input.size() > kMaxLineBytes) {
            if (m_longLineStart.isEmpty())
                m_longLineStart = m_input.left(kMaxLineBytes);
            m_input.clear();
        }
        if (m_inputEnded)
            return Read::End;
        switch (fillInput()) {
        case Fill::Interrupted:
            return Read::Interrupted;
        case Fill::Ended:
            m_inputEnded = true;
            break;
        case Fill::Read:
            break;
        }
    }
}

CompanionConsole::Written CompanionConsole::write(Stream stream, QByteArrayView bytes)
{
    if (stream == Stream::Output && m_outputWasClosed) {
        m_writeFailure = QStringLiteral("it was closed when tq905 started");
        return endRequested() ? Written::EndRequested : Written::Failed;
    }
    return writeOut(stream, bytes);
}
