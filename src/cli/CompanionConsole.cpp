#include "CompanionConsole.h"

#include <utility>

CompanionConsole::Read CompanionConsole::readLine(QByteArray &line)
{
    for (;;) {
        const qsizetype end = m_input.indexOf('\n');
        if (end >= 0 || (m_inputEnded && !m_input.isEmpty())) {
            line = end >= 0 ? m_input.left(end) : m_input;
            m_input.remove(0, end >= 0 ? end + 1 : m_input.size());
            return std::exchange(m_droppingLongLine, false) ? Read::TooLong : Read::Line;
        }
        if (m_input.size() > kMaxLineBytes) {
            m_input.clear();
            m_droppingLongLine = true;
        }
        if (m_inputEnded)
            return std::exchange(m_droppingLongLine, false) ? Read::TooLong : Read::End;
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
