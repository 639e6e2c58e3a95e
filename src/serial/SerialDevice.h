#pragma once

#include "LineSettings.h"
#include "SerialError.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

// The platform's serial device under the SerialLink, one source file a platform:
// open and close at the line settings, RTS, the waiting input (held in a buffer
// of at most readBufferBytes), reads, the discard, writes and sleeping waits.
// A device that fails while open is closed and reported once. A request to end
// the program, which a program without an event loop holds back elsewhere,
// comes through while a wait sleeps and ends it at once; each side's file says
// what such a request is there.
class SerialDevice : public QObject
{
    Q_OBJECT

public:
    // Why an open was refused, and what the operator can do about it.
    struct Refusal {
        SerialError::Kind kind;
        QString detail;
        QString advice;
    };

    SerialDevice(qint64 readBufferBytes, QObject *parent = nullptr);
    ~SerialDevice() override;
    SerialDevice(const SerialDevice &) = delete;
    SerialDevice &operator=(const SerialDevice &) = delete;

    bool isOpen() const;
    std::optional<Refusal> open(const QString &devicePath, const LineSettings &settings);
    void close();
    // A line that has no RTS (a pseudo-terminal, some adapters) is no failure.
    void setRequestToSend(bool asserted);

    qint64 bytesWaiting() const;
    // Up to maxCount waiting bytes, oldest first; all of them for 0.
    QByteArray read(qint64 maxCount);
    // Drops every waiting byte; may find the device gone (lost is then emitted).
    void discardInput();
    // Moves what the device holds into the waiting input now.
    void takeArrivedInput();
    // Sleeps until the device has new input or the time is up; true when it has.
    bool waitForInput(std::chrono::microseconds limit);
    // Looks now whether the device has failed; if so it is closed and lost emitted.
    bool noticeGone();

    qint64 bytesToWrite() const;
    // Sends at once what the line takes; the rest goes out from the event loop.
    void write(const QByteArray &data);
    // Drops what waits to be sent, in the port and in the system; false where
    // some of it is beyond reach and still goes out.
    bool discardOutput();
    // For a caller without an event loop: sleeps until the line takes more of
    // what waits to be sent, or the time is up, and hands it over; false when
    // nothing could be handed over.
    bool waitForOutputTaken(std::chrono::microseconds limit);

Q_SIGNALS:
    // The device failed while open (unplugged); it is closed already.
    void lost(const QString &detail);

private:
    // Closes the device and tells why, once.
    void fail(const QString &detail);

    struct Platform;
    std::unique_ptr<Platform> m_platform;
};
