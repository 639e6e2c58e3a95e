#include "ProcessCpu.h"
#include "PtyPair.h"
#include "SerialLink.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <termios.h>

#include <functional>

using namespace std::chrono_literals;

namespace {

constexpr qint16 kPtyPortNumber = 7;

// A link whose port number 7 is the given pseudo-terminal.
void pointAt(SerialLink &link, const QString &devicePath)
{
    link.setDeviceResolver([devicePath](int number) -> std::optional<QString> {
        if (number == kPtyPortNumber)
            return devicePath;
        return std::nullopt;
    });
}

void openLink(SerialLink &link, const PtyPair &pty)
{
    pointAt(link, pty.devicePath());
    link.setCommPort(kPtyPortNumber);
    link.setSettings(QStringLiteral("9600,N,8,1"));
    link.setPortOpen(true);
    link.setRTSEnable(true);
    link.setRThreshold(0);
}

SerialError::Kind failureOf(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const SerialError &error) {
        return error.kind();
    }
    throw std::logic_error("the operation did not fail");
}

} // namespace

class SerialLinkTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void opensTheDeviceAt9600EightNoneOne();
    void outputArrivesByteForByte();
    void inputReturnsWaitingBytesOldestFirstAtMostInputLen();
    void settingInBufferCountToZeroDiscardsEverythingWaiting();
    void everyUseWhileClosedFailsAsNotOpen();
    void openingAMissingDeviceFailsAsNoSuchDevice();
    void openingADeviceHeldByAnotherLinkFailsAsBusy();
    void refusedPortNumberKeepsThePreviousOne();
    void malformedSettingsAreRefusedAndKeepThePrevious();
    void closeAndReopenWork();
    void vanishedDeviceClosesThePortReportsOnceAndGoesIdle();
    void floodIsHeldInABoundedBuffer();
    void fullBufferStillHearsTheLineAfterADiscard();
    void fullBufferStillHearsTheLineAfterReadingItEmptyByteByByte();
    void outputToAFarEndThatStopsReadingIsRefusedNotQueuedForever();
};

void SerialLinkTest::opensTheDeviceAt9600EightNoneOne()
{
    PtyPair pty;
    SerialLink link;
    openLink(link, pty);
    QVERIFY(link.portOpen());

    termios line{};
    QCOMPARE(tcgetattr(pty.deviceFd(), &line), 0);
    QCOMPARE(cfgetospeed(&line), speed_t(B9600));
    QCOMPARE(cfgetispeed(&line), speed_t(B9600));
    QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(line.c_cflag & PARENB, tcflag_t(0));
    QCOMPARE(line.c_cflag & CSTOPB, tcflag_t(0));
    QCOMPARE(line.c_cflag & CRTSCTS, tcflag_t(0));
    QCOMPARE(line.c_lflag & (ICANON | ECHO), tcflag_t(0));
}

void SerialLinkTest::outputArrivesByteForByte()
{
    PtyPair pty;
    SerialLink link;
    openLink(link, pty);

    QByteArray everyByte;
    for (int value = 0; value < 256; ++value)
        everyByte.append(static_cast<char>(value));
    link.setOutput(everyByte);
    QCOMPARE(pty.readCount(everyByte.size()), everyByte);
}

void SerialLinkTest::inputReturnsWaitingBytesOldestFirstAtMostInputLen()
{
    PtyPair pty;
    SerialLink link;
    openLink(link, pty);

    pty.write("\0020123\r\n");
    QTRY_COMPARE(link.inBufferCount(), qint16(7));
    link.setInputLen(1);
    QCOMPARE(link.input(), QByteArray("\x02"));
    link.setInputLen(4);
    QCOMPARE(link.input(), QByteArray("0123"));
    QCOMPARE(link.inBufferCount(), qint16(2));
    link.setInputLen(0); // no limit: everything waiting
    QCOMPARE(link.input(), QByteArray("\r\n"));
    QCOMPARE(link.input(), QByteArray());
}

void SerialLinkTest::settingInBufferCountToZeroDiscardsEverythingWaiting()
{
    PtyPair pty;
    SerialLink link;
    openLink(link, pty);

    pty.write("stale reply");
    QTRY_COMPARE(link.inBufferCount(), qint16(11));
    link.setInBufferCount(0);
    QCOMPARE(link.inBufferCount(), qint16(0));

    pty.write("fresh");
    QTRY_COMPARE(link.inBufferCount(), qint16(5));
    link.setInputLen(0);
    QCOMPARE(link.input(), QByteArray("fresh"));
}

void SerialLinkTest::everyUseWhileClosedFailsAsNotOpen()
{
    SerialLink link;
    using Kind = SerialError::Kind;
    QCOMPARE(failureOf([&] { link.setOutput("\x02O00\r"); }), Kind::NotOpen);
    QCOMPARE(failureOf([&] { link.inBufferCount(); }), Kind::NotOpen);
    QCOMPARE(failureOf([&] { link.setInBufferCount(0); }), Kind::NotOpen);
    QCOMPARE(failureOf([&] { link.input(); }), Kind::NotOpen);
    link.setPortOpen(false); // closing a closed port does nothing
    QVERIFY(!link.portOpen());
}

void SerialLinkTest::openingAMissingDeviceFailsAsNoSuchDevice()
{
    SerialLink link;
    pointAt(link, QStringLiteral("/dev/tq905-no-such-device"));
    link.setCommPort(kPtyPortNumber);
    try {
        link.setPortOpen(true);
        QFAIL("opened a missing device");
    } catch (const SerialError &error) {
        QCOMPARE(error.kind(), SerialError::Kind::NoSuchDevice);
        QCOMPARE(error.portNumber(), std::optional<int>(kPtyPortNumber));
        QCOMPARE(error.devicePath(), QStringLiteral("/dev/tq905-no-such-device"));
    }
    QVERIFY(!link.portOpen());
}

void SerialLinkTest::openingADeviceHeldByAnotherLinkFailsAsBusy()
{
    PtyPair pty;
    SerialLink holder;
    openLink(holder, pty);

    SerialLink second;
    QCOMPARE(failureOf([&] { openLink(second, pty); }), SerialError::Kind::DeviceBusy);
    QVERIFY(!second.portOpen());
    QVERIFY(holder.portOpen());
}

void SerialLinkTest::refusedPortNumberKeepsThePreviousOne()
{
    PtyPair pty;
    SerialLink link;
    pointAt(link, pty.devicePath());
    link.setCommPort(kPtyPortNumber);
    QCOMPARE(failureOf([&] { link.setCommPort(8); }), SerialError::Kind::UnmappedPortNumber);
    QCOMPARE(link.commPort(), kPtyPortNumber);
    link.setPortOpen(true);
    QCOMPARE(link.devicePath(), pty.devicePath());
}

void SerialLinkTest::malformedSettingsAreRefusedAndKeepThePrevious()
{
    SerialLink link;
    link.setSettings(QStringLiteral("19200,E,7,2"));
    QCOMPARE(failureOf([&] { link.setSettings(QStringLiteral("9600,N,8")); }),
             SerialError::Kind::BadSettings);
    QCOMPARE(link.settings(), QStringLiteral("19200,E,7,2"));
}

void SerialLinkTest::closeAndReopenWork()
{
    PtyPair pty;
    SerialLink link;
    openLink(link, pty);
    link.setPortOpen(false);
    QVERIFY(!link.portOpen());
    link.setPortOpen(true);
    link.setOutput("again");
    QCOMPARE(pty.readCount(5), QByteArray("again"));
}

void SerialLinkTest::vanishedDeviceClosesThePortReportsOnceAndGoesIdle()
{
    PtyPair pty;
    SerialLink link;
    openLink(link, pty);
    int reports = 0;
    SerialError::Kind reported{};
    connect(&link, &SerialLink::deviceLost, this, [&](const SerialError &error) {
        ++reports;
        reported = error.kind();
    });

    pty.vanish();
    QTRY_VERIFY(!link.portOpen());
    QTRY_COMPARE(reports, 1);
    QCOMPARE(reported, SerialError::Kind::DeviceLost);

    // Left open, the hung-up device would wake the event loop without end.
    const auto before = processCpuTime();
    QTest::qWait(500);
    QCOMPARE(reports, 1);
    QVERIFY2(processCpuTime() - before < 150ms, "the link keeps the process busy after a loss");
}

void SerialLinkTest::floodIsHeldInABoundedBuffer()
{
    PtyPair pty;
    SerialLink link;
    openLink(link, pty);

    const QByteArray chunk(4096, 'x');
    for (int i = 0; i < 4; ++i) {
        pty.write(chunk);
        QTest::qWait(20);
    }
    QTRY_COMPARE(qint64(link.inBufferCount()), SerialLink::kReadBufferBytes);
    QTest::qWait(100);
    QCOMPARE(qint64(link.inBufferCount()), SerialLink::kReadBufferBytes);
    link.setInputLen(0);
    QCOMPARE(link.input().size(), SerialLink::kReadBufferBytes);
    // What did not fit waited in the device and comes next, nothing lost.
    QTRY_VERIFY(link.inBufferCount() > 0);
}

void SerialLinkTest::fullBufferStillHearsTheLineAfterADiscard()
{
    PtyPair pty;
    SerialLink link;
    openLink(link, pty);
    pty.write(QByteArray(3 * SerialLink::kReadBufferBytes, 'x'));
    QTRY_COMPARE(qint64(link.inBufferCount()), SerialLink::kReadBufferBytes);

    link.setInBufferCount(0);
    QTest::qWait(50);
    link.setInBufferCount(0);
    pty.write("\x02reply");
    QTRY_COMPARE(link.inBufferCount(), qint16(6));
}

void SerialLinkTest::fullBufferStillHearsTheLineAfterReadingItEmptyByteByByte()
{
    PtyPair pty;
    SerialLink link;
    openLink(link, pty);
    const qint64 sent = SerialLink::kReadBufferBytes + 100;
    pty.write(QByteArray(sent, 'x'));
    QTRY_COMPARE(qint64(link.inBufferCount()), SerialLink::kReadBufferBytes);

    link.setInputLen(1);
    qint64 received = 0;
    QElapsedTimer clock;
    clock.start();
    while (received < sent && clock.elapsed() < 2000) {
        if (link.inBufferCount() > 0)
            received += link.input().size();
        else
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    QCOMPARE(received, sent);
}

void SerialLinkTest::outputToAFarEndThatStopsReadingIsRefusedNotQueuedForever()
{
    PtyPair pty;
    SerialLink link;
    openLink(link, pty);

    const QByteArray frame("\002B31\r");
    int accepted = 0;
    try {
        for (; accepted < 200000; ++accepted) {
            link.setOutput(frame);
            QCoreApplication::processEvents();
        }
        QFAIL("the link queued output without bound");
    } catch (const SerialError &error) {
        QCOMPARE(error.kind(), SerialError::Kind::OutputStalled);
    }
    QVERIFY(link.portOpen());

    // Once the far end reads again, every frame that was accepted arrives whole.
    const QByteArray received = pty.readQuiet(300ms);
    QCOMPARE(received.size(), qsizetype(accepted) * frame.size());
    QCOMPARE(received, frame.repeated(accepted));
}

QTEST_GUILESS_MAIN(SerialLinkTest)
#include "tst_seriallink.moc"
