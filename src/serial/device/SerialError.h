#pragma once

#include <QString>

#include <optional>
#include <stdexcept>

// How a front end speaks to its operator where the panel and tq905 speak
// otherwise: each has one table of these words of its own.
struct FailureWords {
    QString retry;          // what to do once it is mended: "press \"SET\"", "try again"
    QString notAPortNumber; // what to give instead of a text that is no port number
    QString portNumbers;    // the port numbers there are, for a number without a device
    QString deviceName;     // what names the device, to check where it is missing
    QString notOpen;        // how to open the port before it is used
    QString gap;            // between the parts of a message: a paragraph, or a blank on one line
    bool isolateTyped = false; // typed text set apart from the sentence (a box), or plain
    bool nameByPath = false;   // the device named by its path alone, not by a port number
};

// A failure of the serial link, typed as a kind and the facts found at the
// failing step, so that one guard in each front end can tell the operator what
// went wrong in that front end's words, saying what to do about it.
class SerialError : public std::runtime_error
{
public:
    enum class Kind {
        NotAPortNumber,       // the port text cannot be converted to a number
        PortNumberOutOfRange, // a number outside -32768 ... 32767; the text is the detail
        UnmappedPortNumber,   // a number that selects no serial device
        BadSettings,          // a line settings text that cannot be parsed
        NoSuchDevice,
        NotASerialDevice, // a file, a FIFO or a directory where the device should be
        PermissionDenied,
        DeviceBusy,
        // an open refused as exclusive (TIOCEXCL) where no lock file, lock or
        // open descriptor shows who holds the device
        ExclusiveWithoutHolder,
        StaleLock,     // a lock file of a program that has ended, which this user may not remove
        OpenFailed,    // any other refusal of the device
        NotOpen,       // the port is used before "SET" or after it closed
        DeviceLost,    // the device vanished while open (unplugged adapter)
        OutputStalled, // the far end does not take what is written
        WaitAbandoned, // a handler or wait ended by shutdown or a lost port; told already
        HostNotFound,  // a network port's host name that no lookup knows
        ConnectionRefused, // nothing listens on a network port
        NoAnswer,          // a network port's host does not answer in time
        NotRfc2217,        // an rfc2217:// port whose server does not speak RFC 2217
        ConnectionClosed,  // a network port's server closed the connection while open
        BadAddress,       // a network port's address that is not understood; the text is the detail
        ConnectionLost,   // a network port's host stopped answering (vanished) while open
        ServerNotReading, // a network port's server takes nothing more: given up
        NegotiationLoop,  // an RFC 2217 server that keeps changing its options: given up
        LineSettingsRefused, // an RFC 2217 server that set the line otherwise than asked
    };

    // The advice is what the operator can do, found out at the failing step
    // (the devices present, who may use the device, the lock file in the way).
    SerialError(Kind kind, QString detail, std::optional<int> portNumber = {},
                QString devicePath = {}, QString advice = {});

    Kind kind() const { return m_kind; }
    const QString &detail() const { return m_detail; }
    const QString &devicePath() const { return m_devicePath; }
    const QString &advice() const { return m_advice; }

    // True where the operator has been told already or nothing is worth telling.
    bool isSilent() const { return m_kind == Kind::WaitAbandoned; }

    // The message for the operator: what failed, on which port and device, why,
    // and what to do, in a front end's words.
    QString operatorMessage(const FailureWords &words) const;

private:
    Kind m_kind;
    QString m_detail;
    std::optional<int> m_portNumber;
    QString m_devicePath;
    QString m_advice;
};
