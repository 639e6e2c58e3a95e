// parseLineSettings: what it accepts prints as "baud,P,d,s" and reads back the
// same, and each accepted field is one an operator would recognise.
#include "FuzzInput.h"
#include "LineSettings.h"

#include <QStringList>

namespace {

QString parityLetter(QSerialPort::Parity parity)
{
    switch (parity) {
    case QSerialPort::NoParity:
        return QStringLiteral("N");
    case QSerialPort::EvenParity:
        return QStringLiteral("E");
    case QSerialPort::OddParity:
        return QStringLiteral("O");
    case QSerialPort::MarkParity:
        return QStringLiteral("M");
    case QSerialPort::SpaceParity:
        return QStringLiteral("S");
    }
    return QStringLiteral("?");
}

QString stopBitsText(QSerialPort::StopBits stopBits)
{
    switch (stopBits) {
    case QSerialPort::OneStop:
        return QStringLiteral("1");
    case QSerialPort::OneAndHalfStop:
        return QStringLiteral("1.5");
    case QSerialPort::TwoStop:
        return QStringLiteral("2");
    }
    return QStringLiteral("?");
}

QString canonical(const LineSettings &settings)
{
    return QString::number(settings.baudRate) + u',' + parityLetter(settings.parity) + u','
           + QString::number(static_cast<int>(settings.dataBits)) + u','
           + stopBitsText(settings.stopBits);
}

bool same(const LineSettings &a, const LineSettings &b)
{
    return a.baudRate == b.baudRate && a.parity == b.parity && a.dataBits == b.dataBits
           && a.stopBits == b.stopBits;
}

bool asciiDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

void check(const QString &text)
{
    const std::optional<LineSettings> settings = parseLineSettings(text);
    if (!settings)
        return;
    const QString printed = canonical(*settings);
    const QByteArray detail = "text " + fuzz::show(text) + " read as " + fuzz::show(printed);

    const std::optional<LineSettings> again = parseLineSettings(printed);
    FUZZ_CHECK(again && same(*again, *settings), detail + " does not read back the same");
    FUZZ_CHECK(canonical(*again) == printed, detail + " prints differently the second time");

    // The fields as written, blanks around them aside.
    const QStringList fields = text.split(u',');
    FUZZ_CHECK(fields.size() == 4, detail + " from other than four fields");
    const QString baud = fields[0].trimmed();
    FUZZ_CHECK(asciiDigits(baud) && settings->baudRate > 0
                   && baud.toLongLong() == settings->baudRate,
               detail + ": the baud rate is not the digits written");
    const QString parity = fields[1].trimmed();
    FUZZ_CHECK(parity.size() == 1 && parity[0].unicode() < 0x80
                   && parity.toUpper() == printed.section(u',', 1, 1),
               detail + ": the parity is not the one ASCII letter written");
    FUZZ_CHECK(fields[2].trimmed() == printed.section(u',', 2, 2),
               detail + ": the data bits are not the digit written");
    FUZZ_CHECK(fields[3].trimmed() == printed.section(u',', 3, 3),
               detail + ": the stop bits are not the ones written");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    const quint8 selector = input.byte();
    check(fuzz::text(input.rest(), selector));
    return 0;
}
