#pragma once

#include "LinkDevice.h"

#include <memory>

// A serial device of this computer, one source file a platform. Each side's
// file says what a request to end the program is there.
class SerialDevice final : public LinkDevice
{
    Q_OBJECT

public:
    explicit SerialDevice(qint64 readBufferBytes, QObject *parent = nullptr);
    ~SerialDevice() override;

    bool isOpen() const override;
    std::optional<Refusal> open(const QString &devicePath, const LineSettings &settings) override;
    void close() override;
    void setRequestToSend(bool asserted) override;

    qint64 bytesWaiting() const override;
    QByteArrayView waiting() const override;
    QByteArray read(qint64 maxCount) override;
    void discardInput() override;
    void takeArrivedInput() override;
    bool waitForInput(std::chrono::microseconds limit) override;
    bool noticeGone() override;

    qint64 bytesToWrite() const override;
    void write(const QByteArray &data) override;
    bool discardOutput() override;
    bool waitForOutputTaken(std::chrono::microseconds limit) override;

private:
    struct Platform;
    std::unique_ptr<Platform> m_platform;
};
