// parseLineSettings: what it accepts is four fields, each the value it was read
// as, blanks around it aside: the baud rate in ASCII digits, the parity one ASCII
// letter of either case, the data and stop bits as they print.
#include "FuzzInput.h"
#include "LineSettings.h"

#include <QMap>
#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    const QString text = input.text();
    const std::optional<LineSettings> settings = parseLineSettings(text);
    if (!settings)
        return 0;
    const QStringList fields = text.split(u',');
    FUZZ_CHECK(fields.size() == 4);
    const QByteArray baud = fields[0].trimmed().toLatin1();
    FUZZ_CHECK(settings->baudRate > 0
               && baud == QByteArray::number(settings->baudRate).rightJustified(baud.size(), '0'));
    const QMap<QSerialPort::Parity, QByteArray> parity{{QSerialPort::NoParity, "N"},
                                                       {QSerialPort::EvenParity, "E"},
                                                       {QSerialPort::OddParity, "O"},
                                                       {QSerialPort::MarkParity, "M"},
                                                       {QSerialPort::SpaceParity, "S"}};
    FUZZ_CHECK(fields[1].trimmed().toLatin1().toUpper() == parity.value(settings->parity));
    FUZZ_CHECK(fields[2].trimmed() == QString::number(settings->dataBits));
    const QMap<QSerialPort::StopBits, QString> stopBits{
        {QSerialPort::OneStop, QStringLiteral("1")},
        {QSerialPort::OneAndHalfStop, QStringLiteral("1.5")},
        {QSerialPort::TwoStop, QStringLiteral("2")}};
    FUZZ_CHECK(fields[3].trimmed() == stopBits.value(settings->stopBits));
    return 0;
}
