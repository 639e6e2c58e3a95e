#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <cstdint>

// What the fuzz targets share: a reader that turns one input into several
// arguments, texts that can hold any UTF-16 (lone surrogates included), and a
// property check that stops at the first broken one with the inputs shown.
namespace fuzz {

class Input
{
public:
    Input(const uint8_t *data, size_t size)
        : m_bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size))
    {
    }

    bool atEnd() const { return m_next >= m_bytes.size(); }

    // 0 once the input is used up, so every input is a valid one.
    quint8 byte();
    // A value in low ... high (at most 65536 values) from one byte, or two where
    // the range needs them.
    int intIn(int low, int high);
    // A length byte, then up to that many bytes.
    QByteArray piece();
    QByteArray rest();

private:
    QByteArrayView m_bytes;
    qsizetype m_next = 0;
};

// The selector picks how the bytes are read. 4n: Latin-1, one character per byte,
// so that blanks, signs and digits are easy to reach; 4n + 2: UTF-8; odd: UTF-16
// code units, lone surrogates included.
QString text(QByteArrayView bytes, quint8 selector);

// Printable forms for the report of a broken property.
QByteArray show(QByteArrayView bytes);
inline QByteArray show(const QByteArray &bytes)
{
    return show(QByteArrayView(bytes));
}
QByteArray show(const QString &text);

[[noreturn]] void fail(const char *property, const char *file, int line, const QByteArray &detail);

} // namespace fuzz

// `detail` is evaluated only when the property does not hold.
#define FUZZ_CHECK(property, detail)                                                               \
    ((property) ? void() : ::fuzz::fail(#property, __FILE__, __LINE__, (detail)))
