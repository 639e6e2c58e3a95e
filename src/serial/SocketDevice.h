#pragma once

#include "LineSettings.h"
#include "NetAddress.h"
#include "SerialError.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpSocket>

#include <chrono>
#include <optional>

// A board's port served over the network as plain TCP (socket://): the bytes
// pass unchanged, the line settings and RTS are the server's. The base of the
// RFC 2217 port, which adds telnet to the same socket. With an event loop the
// socket's signals bring input and tell of a closed connection; without one
// the waits sleep on the socket itself. A connection the server closes is the
// port's device gone: the port closes and tells it once.
class SocketDevice : public QObject
{
    Q_OBJECT

public:
    struct Refusal {
        SerialError::Kind kind;
        QString detail;
        QString advice;
    };

    static constexpr std::chrono::milliseconds kConnectTimeout{5000};

    explicit SocketDevice(qint64 readBufferBytes, QObject *parent = nullptr);
    ~SocketDevice() override;
    SocketDevice(const SocketDevice &) = delete;
    SocketDevice &operator=(const SocketDevice &) = delete;

    bool isOpen() const { return m_open; }
    std::optional<Refusal> open(const QString &address, const LineSettings &settings);
    void close();
    virtual void setRequestToSend(bool asserted);

    qint64 bytesWaiting() const { return m_input.size(); }
    QByteArray read(qint64 maxCount);
    virtual void discardInput();
    void takeArrivedInput();
    bool waitForInput(std::chrono::microseconds limit);
    bool noticeGone();

    qint64 bytesToWrite() const { return m_socket.bytesToWrite(); }
    void write(const QByteArray &data);
    bool waitForOutputTaken(std::chrono::microseconds limit);

Q_SIGNALS:
    void lost(const QString &detail);

protected:
    // What the protocol does once connected, before the port counts as open.
    virtual std::optional<Refusal> startSession(const LineSettings &settings);
    // Takes bytes received into the waiting input; the protocol may answer.
    virtual void takeReceived(const QByteArray &bytes, QByteArray &input);
    // The bytes that carry `data` on the wire.
    virtual QByteArray encoded(const QByteArray &data) const { return data; }

    void sendNow(const QByteArray &wire);
    // Sleeps on the socket and takes what came; false when the time is up, an
    // end request came or the connection closed.
    bool waitAndTake(std::chrono::microseconds limit);
    const NetAddress &address() const { return m_address; }

private:
    std::optional<Refusal> connectionRefusal() const;
    void pullArrived();
    void onConnectionClosed();
    void fail(const QString &detail);

    const qint64 m_readBufferBytes;
    QTcpSocket m_socket;
    NetAddress m_address;
    QByteArray m_input;
    bool m_open = false;
};
