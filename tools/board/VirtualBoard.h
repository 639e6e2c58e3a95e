#pragma once

#include "FrameParser.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <deque>

class QSocketNotifier;

// A TQ905 board behind a pseudo-terminal. The panel opens devicePath(); the board
// reads the frames the panel writes, keeps the state they set and answers the
// queries, all from the event loop and never blocking. Faults can be switched on
// to see how the panel copes with a bad line.
class VirtualBoard : public QObject
{
    Q_OBJECT

public:
    enum class Fault {
        None,
        NoReply,       // queries are read but never answered
        DelayedReply,  // the whole reply comes after the reply delay
        SplitReply,    // one byte at a time, the split gap apart
        GarbageFirst,  // noise (kGarbage) ahead of the STX
        ShortBody,     // the reply lacks its last character
        VanishOnQuery, // the next query closes the board's end instead of an answer
    };
    Q_ENUM(Fault)

    using Clock = std::chrono::steady_clock;

    // Ten bits a byte at 9600 baud.
    static constexpr std::chrono::nanoseconds kByteTime{1'041'667};
    static constexpr std::chrono::milliseconds kDefaultReplyDelay{500};
    static constexpr std::chrono::milliseconds kDefaultSplitGap{20};
    // Replies nobody reads are dropped beyond this.
    static constexpr qsizetype kMaxQueuedBytes = 4096;
    // Contains neither STX nor CR, so it can only be taken for noise.
    static constexpr char kGarbage[] = "\xFF\x00?x\n";
    static constexpr qsizetype kGarbageBytes = sizeof kGarbage - 1;
    static constexpr int kMaxAnalogValue = 0x3FF;

    explicit VirtualBoard(QObject *parent = nullptr);
    ~VirtualBoard() override;
    VirtualBoard(const VirtualBoard &) = delete;
    VirtualBoard &operator=(const VirtualBoard &) = delete;

    // Opens a new pseudo-terminal if the board has none (at start, or after it
    // vanished); the device path is then a new one. False if the system has none left.
    bool open();
    bool isOpen() const { return m_masterFd >= 0; }
    // The device the panel opens; after vanishing, the path it had.
    const QString &devicePath() const { return m_devicePath; }
    // Closes the board's end, as an unplugged board does: the device disappears.
    void vanish();

    quint8 portB() const { return m_portB; }
    quint8 direction() const { return m_direction; }
    int pwmDuty(int channel) const { return m_pwm.at(channel); }
    quint8 buzzerLength() const { return m_buzzerLength; }
    quint8 buzzerFrequency() const { return m_buzzerFrequency; }
    int buzzerCount() const { return m_buzzerCount; }

    // What the board reports to "I" and "A0" ... "A3".
    quint8 portA() const { return m_portA; }
    void setPortA(quint8 value);
    int analogValue(int channel) const { return m_analog.at(channel); }
    // Clamped to 0 ... 0x3FF, the range of a 10-bit converter.
    void setAnalogValue(int channel, int value);

    Fault fault() const { return m_fault; }
    void setFault(Fault fault);
    void setReplyDelay(std::chrono::milliseconds delay) { m_replyDelay = delay; }
    void setSplitGap(std::chrono::milliseconds gap) { m_splitGap = gap; }
    // Every byte the board sends then takes kByteTime, as on the real line.
    bool paced() const { return m_paced; }
    void setPaced(bool paced);

    // The answers as the board gives them now, without faults: the bytes after the STX.
    QByteArray portsReplyBody() const;
    QByteArray channelReplyBody(int channel) const;

Q_SIGNALS:
    void commandReceived(const frame::Command &command);
    // A complete frame whose body is no command; the board ignores it.
    void frameIgnored(const QByteArray &body);
    void portBChanged(quint8 value);
    void directionChanged(quint8 value);
    void pwmChanged(int channel, int duty);
    void buzzerSounded(quint8 length, quint8 frequency);
    void portAChanged(quint8 value);
    void analogValueChanged(int channel, int value);
    // The bytes of an answer as they will go on the line, faults included.
    void replyQueued(const QByteArray &bytes);
    void faultChanged(VirtualBoard::Fault fault);
    void pacedChanged(bool paced);
    void openChanged(bool open);

private:
    struct OutgoingByte {
        Clock::time_point due;
        char byte;
    };

    void onReadable();
    void handle(const frame::Command &command);
    void setPortB(quint8 value);
    void answer(const QByteArray &body);
    void queue(const QByteArray &bytes, Clock::time_point start, Clock::duration gap);
    void pump();

    int m_masterFd = -1;
    // Held so the master never sees a hang-up while the panel has the port closed.
    int m_deviceFd = -1;
    QString m_devicePath;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer m_sendTimer;
    QTimer m_readRetryTimer;
    frame::FrameSplitter m_splitter;
    std::deque<OutgoingByte> m_outgoing;
    Clock::time_point m_lastDue{};

    quint8 m_portB = 0;
    quint8 m_direction = 0;
    std::array<int, 2> m_pwm{};
    quint8 m_buzzerLength = 0;
    quint8 m_buzzerFrequency = 0;
    int m_buzzerCount = 0;
    quint8 m_portA = 0;
    std::array<int, 4> m_analog{};

    Fault m_fault = Fault::None;
    std::chrono::milliseconds m_replyDelay = kDefaultReplyDelay;
    std::chrono::milliseconds m_splitGap = kDefaultSplitGap;
    bool m_paced = false;
};
