// parseLineSettings: what it accepts prints as "baud,P,d,s" and reads back the
// same, and each field printed is the field written, blanks around it aside.
#include "FuzzInput.h"
#include "LineSettings.h"

#include <QMap>
#include <QStringList>

#include <algorithm>

namespace {

QString canonical(const LineSettings &settings)
{
    const QMap<QSerialPort::Parity, char> parity{{QSerialPort::NoParity, 'N'},
                                                 {QSerialPort::EvenParity, 'E'},
                                                 {QSerialPort::OddParity, 'O'},
                                                 {QSerialPort::MarkParity, 'M'},
                                                 {QSerialPort::SpaceParity, 'S'}};
    const QMap<QSerialPort::StopBits, const char *> stopBits{{QSerialPort::OneStop, "1"},
                                                             {QSerialPort::OneAndHalfStop, "1.5"},
                                                             {QSerialPort::TwoStop, "2"}};
    return QStringLiteral("%1,%2,%3,%4")
        .arg(settings.baudRate)
        .arg(QLatin1Char(parity.value(settings.parity, '?')))
        .arg(static_cast<int>(settings.dataBits))
        .arg(QLatin1String(stopBits.value(settings.stopBits, "?")));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    const QString text = input.text();
    const std::optional<LineSettings> settings = parseLineSettings(text);
    if (!settings)
        return 0;
    const QString printed = canonical(*settings);
    const QByteArray detail = "text " + fuzz::show(text) + " read as " + fuzz::show(printed);
    const std::optional<LineSettings> again = parseLineSettings(printed);
    FUZZ_CHECK(again && canonical(*again) == printed, detail + " does not read back the same");

    const QStringList fields = text.split(u',');
    FUZZ_CHECK(fields.size() == 4, detail + " from other than four fields");
    const QString baud = fields[0].trimmed();
    const bool digits =
        std::all_of(baud.begin(), baud.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    FUZZ_CHECK(digits && settings->baudRate > 0 && baud.toLongLong() == settings->baudRate,
               detail + ": the baud rate is not the digits written");
    const QString parity = fields[1].trimmed();
    FUZZ_CHECK(parity.size() == 1 && parity[0].unicode() < 0x80
                   && parity.toUpper() == printed.section(u',', 1, 1),
               detail + ": the parity is not the one ASCII letter written");
    for (int field : {2, 3})
        FUZZ_CHECK(fields[field].trimmed() == printed.section(u',', field, field),
                   detail + ": field " + QByteArray::number(field) + " is not the one written");
    return 0;
}
