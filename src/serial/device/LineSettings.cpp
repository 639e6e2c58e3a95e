#include "LineSettings.h"

#include <QStringList>

#include <algorithm>

namespace {

std::optional<QSerialPort::Parity> parseParity(const QString &letter)
{
    // ASCII letters only: toUpper() also turns the long s (U+017F) into S.
    if (letter.size() != 1 || letter[0].unicode() >= 0x80)
        return std::nullopt;
    const QString upper = letter.toUpper();
    if (upper == u"N")
        return QSerialPort::NoParity;
    if (upper == u"E")
        return QSerialPort::EvenParity;
    if (upper == u"O")
        return QSerialPort::OddParity;
    if (upper == u"M")
        return QSerialPort::MarkParity;
    if (upper == u"S")
        return QSerialPort::SpaceParity;
    return std::nullopt;
}

std::optional<QSerialPort::DataBits> parseDataBits(const QString &text)
{
    if (text == u"5")
        return QSerialPort::Data5;
    if (text == u"6")
        return QSerialPort::Data6;
    if (text == u"7")
        return QSerialPort::Data7;
    if (text == u"8")
        return QSerialPort::Data8;
    return std::nullopt;
}

std::optional<QSerialPort::StopBits> parseStopBits(const QString &text)
{
    if (text == u"1")
        return QSerialPort::OneStop;
    if (text == u"1.5")
        return QSerialPort::OneAndHalfStop;
    if (text == u"2")
        return QSerialPort::TwoStop;
    return std::nullopt;
}

std::optional<qint32> parseBaudRate(const QString &text)
{
    // toInt alone stops at an embedded NUL and reads "300\0" as 300.
    const bool plainDigits = !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c >= u'0' && c <= u'9';
    });
    bool isNumber = false;
    const qint32 baud = text.toInt(&isNumber);
    if (!plainDigits || !isNumber || baud <= 0)
        return std::nullopt;
    return baud;
}

} // namespace

std::optional<LineSettings> parseLineSettings(const QString &text)
{
    QStringList fields = text.split(u',');
    if (fields.size() != 4)
        return std::nullopt;
    for (QString &field : fields)
        field = field.trimmed();
    const auto baud = parseBaudRate(fields[0]);
    const auto parity = parseParity(fields[1]);
    const auto dataBits = parseDataBits(fields[2]);
    const auto stopBits = parseStopBits(fields[3]);
    if (!baud || !parity || !dataBits || !stopBits)
        return std::nullopt;
    return LineSettings{*baud, *parity, *dataBits, *stopBits};
}
