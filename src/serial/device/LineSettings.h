#pragma once

#include <QSerialPort>
#include <QString>

#include <optional>

// Line parameters in the classic "baud,parity,data,stop" form, e.g. "9600,N,8,1".
struct LineSettings {
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// Parity N/E/O/M/S (either case), data bits 5-8, stop bits 1, 1.5 or 2, a positive
// baud rate. Anything else gives no settings: a malformed text is never guessed at.
std::optional<LineSettings> parseLineSettings(const QString &text);
