#include "FuzzInput.h"

#include <cstdio>
#include <cstdlib>

namespace fuzz {

quint8 Input::byte()
{
    return atEnd() ? 0 : static_cast<quint8>(m_bytes[m_next++]);
}

int Input::intIn(int low, int high)
{
    const auto span = static_cast<quint32>(high - low);
    quint32 raw = byte();
    if (span > 0xFF)
        raw = raw << 8 | byte();
    return low + static_cast<int>(raw % (span + 1));
}

QByteArray Input::piece()
{
    const qsizetype length = qMin<qsizetype>(byte(), m_bytes.size() - m_next);
    QByteArray bytes = m_bytes.sliced(m_next, length).toByteArray();
    m_next += length;
    return bytes;
}

QByteArray Input::rest()
{
    QByteArray bytes = m_bytes.sliced(m_next).toByteArray();
    m_next = m_bytes.size();
    return bytes;
}

QString text(QByteArrayView bytes, quint8 selector)
{
    if (selector % 4 == 0)
        return QString::fromLatin1(bytes);
    if (selector % 4 == 2)
        return QString::fromUtf8(bytes);
    QString text;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        text += QChar(static_cast<char16_t>(static_cast<quint8>(bytes[i])
                                            | static_cast<quint8>(bytes[i + 1]) << 8));
    return text;
}

QByteArray show(QByteArrayView bytes)
{
    QByteArray shown = "\"";
    for (const char c : bytes) {
        const auto u = static_cast<quint8>(c);
        if (u >= 0x20 && u < 0x7F && c != '"' && c != '\\')
            shown += c;
        else
            shown += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
    }
    return shown + '"';
}

QByteArray show(const QString &text)
{
    QByteArray shown = "u\"";
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u < 0x7F && u != u'"' && u != u'\\')
            shown += static_cast<char>(u);
        else
            shown += "\\u" + QByteArray::number(u, 16).rightJustified(4, '0');
    }
    return shown + '"';
}

void fail(const char *property, const char *file, int line, const QByteArray &detail)
{
    std::fprintf(stderr, "\n%s:%d: property broken: %s\n    %s\n", file, line, property,
                 detail.constData());
    std::abort();
}

} // namespace fuzz
