#include "Queries.h"
#include "VirtualBoard.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

using namespace std::chrono_literals;
using Fault = VirtualBoard::Fault;

Q_DECLARE_METATYPE(VirtualBoard::Fault)

namespace {

QByteArray framed(const QByteArray &body)
{
    return '\x02' + body + '\r';
}

std::chrono::microseconds processCpuTime()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// The panel's end of the board's line: the device opened with a plain raw
// termios descriptor. The board runs on this thread, so every wait lets it run.
class DeviceEnd
{
public:
    explicit DeviceEnd(const QString &path)
        : m_fd(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        if (m_fd < 0)
            throw std::runtime_error("cannot open the board's device");
        termios raw{};
        ::tcgetattr(m_fd, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(m_fd, TCSANOW, &raw);
    }
    ~DeviceEnd() { ::close(m_fd); }
    DeviceEnd(const DeviceEnd &) = delete;
    DeviceEnd &operator=(const DeviceEnd &) = delete;

    void write(const QByteArray &bytes)
    {
        if (::write(m_fd, bytes.constData(), bytes.size()) != bytes.size())
            throw std::runtime_error("the board's line did not take a write whole");
    }

    // Reads until `count` bytes are in or `timeout` has passed.
    QByteArray read(qsizetype count, std::chrono::milliseconds timeout = 2s)
    {
        QByteArray received;
        QElapsedTimer clock;
        clock.start();
        while (received.size() < count && clock.elapsed() < timeout.count())
            received += readSome();
        return received;
    }

    // Everything that comes until the line has been quiet for `quiet`.
    QByteArray readQuiet(std::chrono::milliseconds quiet)
    {
        QByteArray received;
        QElapsedTimer sinceLast;
        sinceLast.start();
        while (sinceLast.elapsed() < quiet.count()) {
            const QByteArray some = readSome();
            if (!some.isEmpty())
                sinceLast.restart();
            received += some;
        }
        return received;
    }

    // Writes `frames` and reads `count` bytes back; also how long that took.
    QByteArray exchange(const QByteArray &frames, qsizetype count,
                        std::chrono::milliseconds *took = nullptr)
    {
        QElapsedTimer clock;
        clock.start();
        write(frames);
        QByteArray reply = read(count, 3s);
        if (took)
            *took = std::chrono::milliseconds(clock.elapsed());
        return reply;
    }

    bool hungUp()
    {
        pollfd line{m_fd, POLLIN, 0};
        return ::poll(&line, 1, 0) == 1 && (line.revents & POLLHUP);
    }

private:
    QByteArray readSome()
    {
        QCoreApplication::processEvents();
        pollfd line{m_fd, POLLIN, 0};
        if (::poll(&line, 1, 1) != 1 || !(line.revents & POLLIN))
            return {};
        char buffer[256];
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        return n > 0 ? QByteArray(buffer, n) : QByteArray();
    }

    int m_fd;
};

const QByteArray kPortQuery = framed("I");

// After this reply, every frame written before the query has been handled.
QByteArray portsReply(VirtualBoard &board, DeviceEnd &line)
{
    return line.exchange(kPortQuery, board.portsReplyBody().size() + 1);
}

} // namespace

// The virtual board over its real pseudo-terminal, as the panel meets it.
class VirtualBoardTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outputFramesSetTheBoardState_data();
    void outputFramesSetTheBoardState();
    void queriesAnswerWithTheReportedValues_data();
    void queriesAnswerWithTheReportedValues();
    void stateChangesAreSignalledOncePerChange();

    void replyFaultsChangeWhatGoesOnTheLine_data();
    void replyFaultsChangeWhatGoesOnTheLine();
    void slowRepliesComeNoEarlierThanTheirTime_data();
    void slowRepliesComeNoEarlierThanTheirTime();
    void vanishFaultClosesTheDeviceAndOpenBringsANewOne();
    void closingTheDeviceNeitherHangsUpTheBoardNorSpins();
};

void VirtualBoardTest::outputFramesSetTheBoardState_data()
{
    QTest::addColumn<QList<QByteArray>>("writes");
    QTest::addColumn<int>("portB");
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("pwm0");
    QTest::addColumn<int>("pwm1");
    QTest::addColumn<int>("buzzerLength");
    QTest::addColumn<int>("buzzerFrequency");

    QTest::newRow("bit 3 on") << QList<QByteArray>{framed("B31")} << 0x08 << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("bits on and off, each its own")
        << QList<QByteArray>{framed("B31"), framed("B01"), framed("B71"), framed("B30")} << 0x81
        << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("port byte, then a bit on top")
        << QList<QByteArray>{framed("O5A"), framed("B01")} << 0x5B << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("port byte typed in lower case")
        << QList<QByteArray>{framed("Off")} << 0xFF << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("direction leaves the latch alone")
        << QList<QByteArray>{framed("B21"), framed("TF0")} << 0x04 << 0xF0 << 0 << 0 << 0 << 0;
    QTest::newRow("PWM duties, one per channel")
        << QList<QByteArray>{framed("P01F4"), framed("P13FF")} << 0 << 0 << 500 << 1023 << 0 << 0;
    QTest::newRow("buzzer length then frequency")
        << QList<QByteArray>{framed("Z6490")} << 0 << 0 << 0 << 0 << 0x64 << 0x90;
    QTest::newRow("malformed frames change nothing")
        << QList<QByteArray>{framed("O0"), framed("Z090"), framed("B81"), framed("P0400"),
                             framed("T")}
        << 0 << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("garbage before the STX")
        << QList<QByteArray>{"\xFFzz\r" + framed("O12")} << 0x12 << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("a new STX drops the unfinished frame")
        << QList<QByteArray>{"\x02O1" + framed("B11")} << 0x02 << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("one frame over three writes")
        << QList<QByteArray>{"\x02O", "A", "5\r"} << 0xA5 << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("noise without CR, then a frame")
        << QList<QByteArray>{'\x02' + QByteArray(3000, 'n'), framed("O42")} << 0x42 << 0 << 0 << 0
        << 0 << 0;
}

void VirtualBoardTest::outputFramesSetTheBoardState()
{
    QFETCH(QList<QByteArray>, writes);
    QFETCH(int, portB);
    QFETCH(int, direction);
    QFETCH(int, pwm0);
    QFETCH(int, pwm1);
    QFETCH(int, buzzerLength);
    QFETCH(int, buzzerFrequency);

    VirtualBoard board;
    DeviceEnd line(board.devicePath());
    for (const QByteArray &bytes : writes) {
        line.write(bytes);
        QTest::qWait(5);
    }
    const QByteArray reply = portsReply(board, line);

    QCOMPARE(reply.mid(4, 2), QByteArray::number(portB, 16).toUpper().rightJustified(2, '0'));
    QCOMPARE(board.portB(), portB);
    QCOMPARE(board.direction(), direction);
    QCOMPARE(board.pwmDuty(0), pwm0);
    QCOMPARE(board.pwmDuty(1), pwm1);
    QCOMPARE(board.buzzerLength(), buzzerLength);
    QCOMPARE(board.buzzerFrequency(), buzzerFrequency);
}

void VirtualBoardTest::queriesAnswerWithTheReportedValues_data()
{
    QTest::addColumn<int>("portA");
    QTest::addColumn<QList<int>>("analog");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<int>("replyLength");
    QTest::addColumn<QByteArray>("reply");

    const QList<int> none{0, 0, 0, 0};
    QTest::newRow("ports at start") << 0 << none << QByteArray() << kPortQuery
                                    << query::portQuery().replyLength << QByteArray("\x02I0000\r");
    QTest::newRow("port A as set, port B as the latch")
        << 0x5A << none << framed("O3C") << kPortQuery << query::portQuery().replyLength
        << QByteArray("\x02I5A3C\r");
    QTest::newRow("port values in upper case")
        << 0xAB << none << framed("Ocd") << kPortQuery << query::portQuery().replyLength
        << QByteArray("\x02IABCD\r");
    QTest::newRow("channel 0 at zero")
        << 0 << none << QByteArray() << framed("A0") << query::channelQuery(0).replyLength
        << QByteArray("\002A000\r");
    for (int channel = 0; channel < 4; ++channel) {
        QTest::addRow("channel %d reports only its own value", channel)
            << 0 << QList<int>{0x001, 0x1F4, 0x2AB, 0x3FF} << QByteArray()
            << framed('A' + QByteArray::number(channel)) << query::channelQuery(channel).replyLength
            << "\002A" + QList<QByteArray>{"001", "1F4", "2AB", "3FF"}[channel] + "\r";
    }
}

void VirtualBoardTest::queriesAnswerWithTheReportedValues()
{
    QFETCH(int, portA);
    QFETCH(QList<int>, analog);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, query);
    QFETCH(int, replyLength);
    QFETCH(QByteArray, reply);

    VirtualBoard board;
    board.setPortA(static_cast<quint8>(portA));
    for (int channel = 0; channel < 4; ++channel)
        board.setAnalogValue(channel, analog[channel]);
    DeviceEnd line(board.devicePath());
    line.write(before);

    // The panel waits for exactly this many bytes; anything after them would be left over.
    QCOMPARE(line.exchange(query, replyLength), reply);
    QCOMPARE(line.readQuiet(50ms), QByteArray());
}

void VirtualBoardTest::stateChangesAreSignalledOncePerChange()
{
    VirtualBoard board;
    QSignalSpy portB(&board, &VirtualBoard::portBChanged);
    QSignalSpy direction(&board, &VirtualBoard::directionChanged);
    QSignalSpy pwm(&board, &VirtualBoard::pwmChanged);
    QSignalSpy buzzer(&board, &VirtualBoard::buzzerSounded);
    QSignalSpy ignored(&board, &VirtualBoard::frameIgnored);
    DeviceEnd line(board.devicePath());

    line.write(framed("B31") + framed("B31") + framed("O08") + framed("TFF") + framed("P10FF")
               + framed("P10FF") + framed("Z6490") + framed("Z6490") + framed("Q1"));
    portsReply(board, line);

    QCOMPARE(portB.size(), 1);
    QCOMPARE(portB.at(0).at(0).value<quint8>(), 0x08);
    QCOMPARE(direction.size(), 1);
    QCOMPARE(pwm.size(), 1);
    QCOMPARE(pwm.at(0), (QVariantList{1, 255}));
    // Each sounding is an event, the same tone twice included.
    QCOMPARE(buzzer.size(), 2);
    QCOMPARE(board.buzzerCount(), 2);
    QCOMPARE(ignored.size(), 1);
    QCOMPARE(ignored.at(0).at(0).toByteArray(), QByteArray("Q1"));
}

void VirtualBoardTest::replyFaultsChangeWhatGoesOnTheLine_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QByteArray>("onTheLine");

    QTest::newRow("none") << Fault::None << QByteArray("\x02I0001\r");
    QTest::newRow("no reply") << Fault::NoReply << QByteArray();
    QTest::newRow("short body") << Fault::ShortBody << QByteArray("\x02I0001");
    QTest::newRow("garbage first")
        << Fault::GarbageFirst
        << QByteArray(VirtualBoard::kGarbage, VirtualBoard::kGarbageBytes) + "\x02I0001\r";
    QTest::newRow("split") << Fault::SplitReply << QByteArray("\x02I0001\r");
    QTest::newRow("delayed") << Fault::DelayedReply << QByteArray("\x02I0001\r");
}

// The fault spoils only the answer: the board still obeys, and answers in full
// once the fault is off.
void VirtualBoardTest::replyFaultsChangeWhatGoesOnTheLine()
{
    QFETCH(Fault, fault);
    QFETCH(QByteArray, onTheLine);

    VirtualBoard board;
    board.setReplyDelay(50ms);
    board.setSplitGap(10ms);
    board.setFault(fault);
    DeviceEnd line(board.devicePath());

    line.write(framed("B01") + kPortQuery);
    QCOMPARE(line.readQuiet(150ms), onTheLine);

    board.setFault(Fault::None);
    QCOMPARE(portsReply(board, line), QByteArray("\x02I0001\r"));
}

void VirtualBoardTest::slowRepliesComeNoEarlierThanTheirTime_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("paced");
    QTest::addColumn<int>("queries");
    QTest::addColumn<int>("atLeastMs");

    QTest::newRow("delayed by 300 ms") << Fault::DelayedReply << false << 1 << 300;
    // Seven bytes, six gaps of 40 ms.
    QTest::newRow("split 40 ms apart") << Fault::SplitReply << false << 1 << 240;
    // 35 bytes take 34 byte times after the first has gone.
    QTest::newRow("paced at 9600 baud")
        << Fault::None << true << 5
        << int(std::chrono::floor<std::chrono::milliseconds>(34 * VirtualBoard::kByteTime).count());
}

// Lower bounds only: a slow machine can make a reply later, never earlier.
void VirtualBoardTest::slowRepliesComeNoEarlierThanTheirTime()
{
    QFETCH(Fault, fault);
    QFETCH(bool, paced);
    QFETCH(int, queries);
    QFETCH(int, atLeastMs);

    VirtualBoard board;
    board.setReplyDelay(300ms);
    board.setSplitGap(40ms);
    board.setFault(fault);
    board.setPaced(paced);
    DeviceEnd line(board.devicePath());

    const QByteArray reply = board.portsReplyBody().prepend('\x02');
    std::chrono::milliseconds took{};
    QCOMPARE(line.exchange(kPortQuery.repeated(queries), reply.size() * queries, &took),
             reply.repeated(queries));
    QVERIFY2(took.count() >= atLeastMs, qPrintable(QStringLiteral("took %1 ms").arg(took.count())));
}

void VirtualBoardTest::vanishFaultClosesTheDeviceAndOpenBringsANewOne()
{
    VirtualBoard board;
    board.setFault(Fault::VanishOnQuery);
    QSignalSpy openChanged(&board, &VirtualBoard::openChanged);
    const QString firstPath = board.devicePath();
    {
        DeviceEnd line(firstPath);
        line.write(framed("B31"));
        QTRY_COMPARE(board.portB(), 0x08);
        QVERIFY(board.isOpen());

        line.write(kPortQuery);
        QTRY_VERIFY(!board.isOpen());
        QTRY_VERIFY(line.hungUp());
        QVERIFY(!QFileInfo::exists(firstPath));
    }
    QCOMPARE(openChanged.size(), 1);
    QCOMPARE(openChanged.at(0).at(0).toBool(), false);
    QCOMPARE(board.devicePath(), firstPath);

    QVERIFY(board.open());
    QCOMPARE(openChanged.size(), 2);
    board.setFault(Fault::None);
    DeviceEnd line(board.devicePath());
    // Plugged in again, it is the same board with the same latch.
    QCOMPARE(portsReply(board, line), QByteArray("\x02I0008\r"));
}

// With nobody on the device a pseudo-terminal's master reports a hang-up on every
// poll; the board holds the device itself so that never happens.
void VirtualBoardTest::closingTheDeviceNeitherHangsUpTheBoardNorSpins()
{
    VirtualBoard board;
    {
        DeviceEnd line(board.devicePath());
        QCOMPARE(portsReply(board, line), QByteArray("\x02I0000\r"));
    }
    const std::chrono::microseconds before = processCpuTime();
    QTest::qWait(500);
    const std::chrono::microseconds used = processCpuTime() - before;
    QVERIFY2(used < 250ms,
             qPrintable(QStringLiteral("%1 us of CPU in 0.5 s idle").arg(used.count())));

    QVERIFY(board.isOpen());
    DeviceEnd again(board.devicePath());
    QCOMPARE(portsReply(board, again), QByteArray("\x02I0000\r"));
}

QTEST_GUILESS_MAIN(VirtualBoardTest)
#include "tst_virtualboard.moc"
