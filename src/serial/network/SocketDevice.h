#pragma once

#include "LinkDevice.h"
#include "NetAddress.h"
#include "SocketIo.h"

#include <QHostAddress>
#include <QSocketNotifier>

#include <variant>

// A board's port served over the network as plain TCP (socket://): the bytes
// pass unchanged, the line settings and RTS are the server's. The base of the
// RFC 2217 port, which adds telnet to the same connection. The socket is this
// device's own, as the serial device's descriptor is: read into a bounded input
// and written from a bounded queue, on the event loop's notifiers or in a
// caller's sleeping waits (SocketIo.h). Whatever the server does, memory, time
// and the processor stay bounded: each read takes at most what the input has
// room for, and a full input is not read, so TCP holds the server back; output
// past the queue's cap gives the connection up. A connection the server closes,
// one given up and a host that vanishes are the port's device gone, each told
// in words of its own.
class SocketDevice : public LinkDevice
{
    Q_OBJECT

public:
    // For the host lookup and the connect together, however many addresses the
    // host has: each is tried in turn, with its share of what is left.
    static constexpr std::chrono::milliseconds kConnectTimeout{5000};
    // A server that refuses a client (ser2net's port in use) closes the
    // connection as soon as it has taken it. A plain port counts as open once
    // it has not within this, plus twice the time the connect took.
    static constexpr std::chrono::milliseconds kRefusalWindow{50};

    SocketDevice(qint64 readBufferBytes, qint64 maxQueuedBytes, QObject *parent = nullptr);
    ~SocketDevice() override;

    bool isOpen() const override { return m_open; }
    std::optional<Refusal> open(const QString &address, const LineSettings &settings) override;
    void close() override;
    void setRequestToSend(bool asserted) override;
    SerialError::Kind lossKind() const override { return m_lossKind; }

    qint64 bytesWaiting() const override { return m_input.size(); }
    QByteArrayView waiting() const override { return m_input; }
    QByteArray read(qint64 maxCount) override;
    void discardInput() override;
    void takeArrivedInput() override;
    bool waitForInput(std::chrono::microseconds limit) override;
    bool noticeGone() override;

    qint64 bytesToWrite() const override { return m_queued.size(); }
    void write(const QByteArray &data) override;
    // What the system holds already goes out.
    bool discardOutput() override;
    bool waitForOutputTaken(std::chrono::microseconds limit) override;

protected:
    // What the protocol does once connected, before the port counts as open.
    virtual std::optional<Refusal> startSession(const LineSettings &settings);
    // Takes bytes received into `input`; the protocol may answer.
    virtual void takeReceived(const QByteArray &bytes, QByteArray &input);
    // The bytes that carry `data` on the wire.
    virtual QByteArray encoded(const QByteArray &data) const { return data; }

    // Queues bytes after what waits to be sent, and sends what the system takes now.
    void send(const QByteArray &wire);
    void clearInput() { m_input.clear(); }
    // Reads what the system holds now and drops it, as far as `count` bytes; the
    // protocol still sees them.
    void readAway(qint64 count);
    // One slice of an open's wait: sleeps on the socket at most `limit`, takes
    // what came and lets the owner run (or give the open up).
    void waitWhileOpening(std::chrono::microseconds limit);
    bool connected() const { return m_descriptor >= 0 && m_end == SocketEnd::Open; }
    const NetAddress &address() const { return m_address; }
    // Why an open failed whose connection has ended.
    Refusal endedWhileOpening() const;
    // Ends the connection for good, told as the device gone with its own words.
    void giveUp(SerialError::Kind kind, const QString &detail);

private:
    std::variant<QList<QHostAddress>, Refusal> lookUp(Clock::time_point deadline) const;
    std::optional<Refusal> connectTo(const QList<QHostAddress> &addresses,
                                     Clock::time_point deadline);
    Refusal attemptRefusal(const ConnectAttempt &attempt) const;
    Refusal noAnswer() const;
    Refusal unknownHost(const QString &detail) const;
    // One read, of at most what the input has room for; before the port is open
    // the newest bytes are kept instead, so that an agreement behind a talking
    // board's bytes is still found.
    void receive();
    void flush();
    void ended(const Transfer &transfer);
    // Listens on the event loop for what the device can take now.
    void listen();
    void rearm();

    const qint64 m_readBufferBytes;
    const qint64 m_maxQueuedBytes;
    NetAddress m_address;
    qintptr m_descriptor = -1;
    std::chrono::microseconds m_connectTime{};
    QSocketNotifier m_reader{QSocketNotifier::Read};
    QSocketNotifier m_writer{QSocketNotifier::Write};
    QByteArray m_input;
    QByteArray m_queued; // encoded, not yet taken by the system
    bool m_open = false;
    SocketEnd m_end = SocketEnd::Open;
    SerialError::Kind m_lossKind = SerialError::Kind::ConnectionClosed;
    QString m_lossDetail;
};
