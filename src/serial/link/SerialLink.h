#pragma once

#include "LineSettings.h"
#include "LinkDevice.h"
#include "SerialError.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// The panel's serial port: the property set of a classic serial-port control
// (CommPort, Settings, PortOpen, RTSEnable, RThreshold, InBufferCount, InputLen,
// Input, Output) over the platform's serial device. Every failure is thrown as a SerialError.
// Input is only polled; the port's own buffer is bounded so a flood costs
// bounded memory, and a vanished device closes the port and is reported once.
class SerialLink : public QObject
{
    Q_OBJECT

public:
    // Maps a port number to a device path; no path means the number is refused.
    using DeviceResolver = std::function<std::optional<QString>(int portNumber)>;

    static constexpr qint64 kReadBufferBytes = 4096;
    static constexpr qint64 kMaxPendingOutputBytes = 4096;

    explicit SerialLink(QObject *parent = nullptr);

    void setDeviceResolver(DeviceResolver resolver);

    qint16 commPort() const { return m_commPort; }
    void setCommPort(qint16 portNumber);
    // A port another machine serves (rfc2217:// or socket://), instead of a number.
    void setNetworkPort(const QString &address);

    void setSettings(const QString &text);

    // Called between the short sleeps of an open that waits on the network: the
    // owner runs its events there, or throws to give the open up (LinkDevice.h).
    void setOpeningYield(std::function<void()> yield) { m_openingYield = std::move(yield); }

    bool portOpen() const { return m_device && m_device->isOpen(); }
    void setPortOpen(bool open);

    void setRTSEnable(bool enable);

    // Input is only polled: the link raises no receive notification, whatever
    // the threshold, so there is nothing to keep.
    void setRThreshold(qint16 /*threshold*/) { }

    qint16 inBufferCount() const;
    void setInBufferCount(qint16 count);

    qint16 inputLen() const { return m_inputLen; }
    void setInputLen(qint16 length);

    QByteArray input();
    // The waiting input, oldest first, without taking it.
    QByteArrayView waitingInput() const;
    // Whether the far end has yet to confirm the last discard (InBufferCount
    // set to 0); until it has, what arrives is stale and dropped.
    bool discardUnconfirmed() const;
    // Taken for a far end that never confirms: no discard is waited for again.
    void stopAwaitingDiscardConfirmations();
    // Moves what the device holds into the waiting input now, rather than on the
    // event loop's next pass. A hung-up serial device is left to the event loop
    // to report; a network port found gone here is told at once, and the caller
    // stops as after any lost device.
    void readArrivedInput();
    // Sleeps until the device has new input or the time is up; true when it has.
    // A hung-up device counts as none, so the event loop gets to report it. A
    // request to end the program ends the sleep at once (how such a request
    // comes through is the device's: LinkDevice.h).
    bool waitForArrivingInput(std::chrono::microseconds limit);
    void setOutput(const QByteArray &data);

    // For a caller without an event loop, which nothing else drives or tells:
    // sleeps until the line has taken what setOutput had to queue, or the time
    // is up, the device fails or a request to end comes; true when all is sent.
    bool sendQueuedOutput(std::chrono::microseconds limit);
    // Drops what waits to be sent, so that a frame given up on does not go out
    // later; false where some of it is beyond reach and still goes out.
    bool discardOutput();
    // Looks now whether the device has gone away; if so the port is closed and
    // deviceLost queued, as the event loop would have done.
    bool noticeDeviceGone();

    // The device of the current (or last attempted) open.
    const QString &devicePath() const { return m_devicePath; }

Q_SIGNALS:
    // The device failed while open (unplugged); the port is closed already.
    void deviceLost(const SerialError &error);
    void portOpenChanged(bool open);

private:
    // The open device; a SerialError where there is none.
    LinkDevice &openDevice() const;
    void onDeviceLost(const QString &detail);
    // The number a message names the port by; a network port has none.
    std::optional<int> shownPortNumber() const;

    // Made anew for each open, of the kind its address names.
    std::unique_ptr<LinkDevice> m_device;
    DeviceResolver m_resolver;
    std::function<void()> m_openingYield;
    qint16 m_commPort = 1;
    bool m_networkPort = false;
    LineSettings m_settings;
    bool m_rtsEnable = false;
    qint16 m_inputLen = 0;
    QString m_devicePath;
};
