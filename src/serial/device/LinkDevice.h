#pragma once

#include "LineSettings.h"
#include "SerialError.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// What the SerialLink talks to: a serial device of this computer, or a port that
// another machine serves. Each kind opens at the line settings, holds the
// waiting input (at most the read buffer's size), reads, discards, writes and
// waits. A device that fails while open is closed and reported once. A request
// to end the program, which a program without an event loop holds back
// elsewhere, comes through while a wait sleeps and ends it at once.
class LinkDevice : public QObject
{
    Q_OBJECT

public:
    // Why an open was refused, and what the operator can do about it.
    struct Refusal {
        SerialError::Kind kind;
        QString detail;
        QString advice;
    };

    using QObject::QObject;
    LinkDevice(const LinkDevice &) = delete;
    LinkDevice &operator=(const LinkDevice &) = delete;

    // Called between the short sleeps of an open that waits (a network port's
    // connect): the owner runs its events there, or throws to give the open up.
    void setOpeningYield(std::function<void()> yield) { m_openingYield = std::move(yield); }

    virtual bool isOpen() const = 0;
    virtual std::optional<Refusal> open(const QString &address, const LineSettings &settings) = 0;
    virtual void close() = 0;
    // What the device's failure while open is to the operator.
    virtual SerialError::Kind lossKind() const { return SerialError::Kind::DeviceLost; }
    // A line that has no RTS (a pseudo-terminal, some adapters) is no failure.
    virtual void setRequestToSend(bool asserted) = 0;

    virtual qint64 bytesWaiting() const = 0;
    // The waiting bytes, oldest first, left where they are.
    virtual QByteArrayView waiting() const = 0;
    // Up to maxCount waiting bytes, oldest first; all of them for 0.
    virtual QByteArray read(qint64 maxCount) = 0;
    // Drops every waiting byte; may find the device gone (lost is then emitted).
    // A far end that holds input of its own is asked to drop it too.
    virtual void discardInput() = 0;
    // Whether the far end has yet to confirm the last discard; what arrives
    // until then is stale and dropped.
    virtual bool discardUnconfirmed() const { return false; }
    // The far end is taken for one that never confirms a discard: this one and
    // later ones are not waited for.
    virtual void stopAwaitingDiscardConfirmations() { }
    // Moves what the device holds into the waiting input now; may find the
    // device gone (lost is then emitted).
    virtual void takeArrivedInput() = 0;
    // Sleeps until the device has new input or the time is up; true when it has.
    virtual bool waitForInput(std::chrono::microseconds limit) = 0;
    // Looks now whether the device has failed; if so it is closed and lost emitted.
    virtual bool noticeGone() = 0;

    virtual qint64 bytesToWrite() const = 0;
    // Sends at once what the line takes; the rest goes out from the event loop.
    virtual void write(const QByteArray &data) = 0;
    // Drops what waits to be sent, in the device and in the system; false where
    // some of it is beyond reach and still goes out.
    virtual bool discardOutput() = 0;
    // For a caller without an event loop: sleeps until the line takes more of
    // what waits to be sent, or the time is up, and hands it over; false when
    // nothing could be handed over.
    virtual bool waitForOutputTaken(std::chrono::microseconds limit) = 0;

Q_SIGNALS:
    // The device failed while open (unplugged); it is closed already.
    void lost(const QString &detail);

protected:
    using Clock = std::chrono::steady_clock;
    // An open's sleeps are this short, so that the owner's repaints and 100 ms
    // tick are never much late.
    static constexpr std::chrono::milliseconds kOpeningSlice{20};

    // What to sleep next before `deadline`: a slice at most, none once it has passed.
    static std::chrono::microseconds nextSlice(Clock::time_point deadline);
    void yieldWhileOpening() const;

    // Closes the device and tells why; a device already closed tells nothing,
    // so the several errors of one unplug are told once.
    void fail(const QString &detail);

private:
    std::function<void()> m_openingYield;
};
