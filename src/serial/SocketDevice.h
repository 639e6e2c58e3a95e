#pragma once

#include "LinkDevice.h"
#include "NetAddress.h"
#include "SocketIo.h"

#include <QTcpSocket>

// A board's port served over the network as plain TCP (socket://): the bytes
// pass unchanged, the line settings and RTS are the server's. The base of the
// RFC 2217 port, which adds telnet to the same socket. QTcpSocket carries the
// connection and, with an event loop, reads and tells of its end; the connect,
// and reads and writes that cannot wait for the event loop, go straight to the
// socket, and the waits sleep on it (SocketIo.h). A connection the server closes is the port's
// device gone: the port closes and tells it once.
class SocketDevice : public LinkDevice
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kConnectTimeout{5000};
    // What Qt is handed at a time when the system takes no more; the rest waits
    // here, where it can still be dropped.
    static constexpr qint64 kHandOverBytes = 256;

    explicit SocketDevice(qint64 readBufferBytes, QObject *parent = nullptr);
    ~SocketDevice() override;

    bool isOpen() const override { return m_open; }
    std::optional<Refusal> open(const QString &address, const LineSettings &settings) override;
    void close() override;
    void setRequestToSend(bool asserted) override;
    SerialError::Kind lossKind() const override { return SerialError::Kind::ConnectionClosed; }

    qint64 bytesWaiting() const override { return m_input.size(); }
    QByteArrayView waiting() const override { return m_input; }
    QByteArray read(qint64 maxCount) override;
    void discardInput() override;
    void takeArrivedInput() override;
    bool waitForInput(std::chrono::microseconds limit) override;
    bool noticeGone() override;

    qint64 bytesToWrite() const override { return m_socket.bytesToWrite() + m_pending.size(); }
    void write(const QByteArray &data) override;
    // What Qt or the system holds already goes out.
    bool discardOutput() override
    {
        m_pending.clear();
        return m_socket.bytesToWrite() == 0;
    }
    bool waitForOutputTaken(std::chrono::microseconds limit) override;

protected:
    // What the protocol does once connected, before the port counts as open.
    virtual std::optional<Refusal> startSession(const LineSettings &settings);
    // Takes bytes received into the waiting input; the protocol may answer.
    virtual void takeReceived(const QByteArray &bytes, QByteArray &input);
    // The bytes that carry `data` on the wire.
    virtual QByteArray encoded(const QByteArray &data) const { return data; }

    // Sends after what waits to be sent, at once as far as the system takes it.
    void send(const QByteArray &wire);
    void clearInput() { m_input.clear(); }
    // Sleeps on the socket and takes what came; false when the time is up, an
    // end request came or the connection closed.
    bool waitAndTake(std::chrono::microseconds limit);
    bool connected() const;
    const NetAddress &address() const { return m_address; }
    // The refusal of a server that closes the connection as soon as it is made.
    Refusal closedAtOnce() const;

private:
    // Connects without holding the owner's events, nor an end request, back.
    std::optional<Refusal> connectToServer();
    Refusal noAnswer() const;
    Refusal attemptRefusal(const ConnectAttempt &attempt) const;
    qint64 room() const { return m_readBufferBytes - m_input.size(); }
    void takeFromQt();
    void receiveArrived();
    void handOver();
    void onConnectionClosed();

    const qint64 m_readBufferBytes;
    QTcpSocket m_socket;
    NetAddress m_address;
    QByteArray m_input;
    QByteArray m_pending; // encoded, not yet handed to the system or to Qt
    bool m_open = false;
    bool m_peerClosed = false; // seen by a read of our own, which Qt does not know of
};
