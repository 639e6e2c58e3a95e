#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// One input read as several arguments; past its end every byte is 0, so every
// input is a valid one.
class Input
{
public:
    Input(const uint8_t *data, size_t size)
        : m_bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size))
    {
    }

    quint8 byte() { return m_next < m_bytes.size() ? static_cast<quint8>(m_bytes[m_next++]) : 0; }
    // low ... high from one byte, or two (high byte first) where the range needs them.
    int intIn(int low, int high)
    {
        const auto span = static_cast<quint32>(high - low);
        quint32 raw = byte();
        if (span > 0xFF)
            raw = raw << 8 | byte();
        return low + static_cast<int>(raw % (span + 1));
    }
    QByteArray take(qsizetype count)
    {
        QByteArray bytes = m_bytes.mid(m_next, count);
        m_next += bytes.size();
        return bytes;
    }
    // A selector byte, then the rest as Latin-1 (blanks, signs and digits are easy
    // to reach), UTF-8, or UTF-16 code units with lone surrogates.
    QString text()
    {
        const quint8 selector = byte();
        const QByteArray bytes = take(m_bytes.size());
        if (selector % 4 == 0)
            return QString::fromLatin1(bytes);
        if (selector % 4 == 2)
            return QString::fromUtf8(bytes);
        return QString(reinterpret_cast<const QChar *>(bytes.constData()), bytes.size() / 2);
    }

private:
    QByteArray m_bytes;
    qsizetype m_next = 0;
};

} // namespace fuzz

// Stops at the first broken property; libFuzzer keeps the input that broke it.
#define FUZZ_CHECK(property)                                                                       \
    ((property)                                                                                    \
         ? void()                                                                                  \
         : (std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #property),   \
            std::abort()))
