// The link over a real line (a pseudo-terminal; under Wine two of them joined
// as COM ports): bytes pass unchanged and leave at once, in order, a full read
// buffer keeps hearing the line, a reopened device sleeps and an aborted read is
// a lost device. Nothing here lets the event loop run unless it says so.
#include "ProcessProbes.h"
#include "PtyPair.h"
#include "SerialDevice.h"
#include "SerialLink.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

using namespace std::chrono_literals;

namespace {

void openLink(SerialLink &link, const PtyPair &pty)
{
    link.setDeviceResolver([&pty](int) { return pty.devicePath(); });
    link.setPortOpen(true);
}

} // namespace

class SerialLinkTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyByteValuePassesBothWays()
    {
        PtyPair pty;
        SerialLink link;
        openLink(link, pty);
        QByteArray everyByte;
        for (int value = 0; value < 256; ++value)
            everyByte.append(static_cast<char>(value));
        link.setOutput(everyByte);
        QCOMPARE(pty.readQuiet(), everyByte);

        pty.write(everyByte);
        QTRY_COMPARE(link.inBufferCount(), qint16(256));
        link.setInputLen(1);
        QCOMPARE(link.input(), QByteArray(1, '\0'));
        link.setInputLen(0);
        QCOMPARE(link.input(), everyByte.mid(1));
    }

    void fullBufferStillHearsTheLineAfterADiscard()
    {
        PtyPair pty;
        SerialLink link;
        openLink(link, pty);
        pty.write(QByteArray(3 * SerialLink::kReadBufferBytes, 'x'));
        QTRY_COMPARE(qint64(link.inBufferCount()), SerialLink::kReadBufferBytes);
        QTest::qWait(100);
        QCOMPARE(qint64(link.inBufferCount()), SerialLink::kReadBufferBytes);

        link.setInBufferCount(0);
        QTest::qWait(50);
        link.setInBufferCount(0);
        pty.write("\x02reply");
        QTRY_COMPARE(link.inBufferCount(), qint16(6));
    }

    // Until the line is full and the link's own queue refuses more; the far end
    // takes a little now and then, so the line has room while frames are queued.
    void outputLeavesAtOnceAndInOrderWhileTheLineFillsAndDrains()
    {
        PtyPair pty;
        SerialLink link;
        openLink(link, pty);
        link.setOutput("\002O00\r");
        QCOMPARE(pty.receive(5, 200ms), QByteArray("\002O00\r"));
        QByteArray sent;
        QByteArray received;
        try {
            for (int i = 0; i < 100000; ++i) {
                const QByteArray frame =
                    '\002' + QByteArray::number(i).rightJustified(5, '0') + '\r';
                link.setOutput(frame);
                sent += frame;
                if (i % 100 == 99) {
                    received += pty.receive(300, 0ms);
                    QThread::msleep(2); // the kernel moves what waits behind it in the meantime
                }
            }
            QFAIL("the link queued output without bound");
        } catch (const SerialError &error) {
            QCOMPARE(error.kind(), SerialError::Kind::OutputStalled);
        }
        received += pty.readQuiet(300ms);
        QCOMPARE(received.size(), sent.size());
        QVERIFY(received == sent);
    }

    void arrivedInputCountsWithoutAnEventLoopPass()
    {
        PtyPair pty;
        SerialLink link;
        openLink(link, pty);
        pty.write("\002X0F3CY");
        QThread::msleep(50);
        link.readArrivedInput();
        QCOMPARE(link.inBufferCount(), qint16(7));
    }

    // A device closed while a write is pending, the far end taking nothing, and
    // opened again: the close does not wait for the write, and the reopened
    // device waits without spending the processor.
    void deviceReopenedAfterAStalledWriteStaysIdle()
    {
        PtyPair pty;
        SerialDevice device(SerialLink::kReadBufferBytes);
        const LineSettings settings = *parseLineSettings(QStringLiteral("9600,N,8,1"));
        QVERIFY(!device.open(pty.devicePath(), settings));
        for (int i = 0; i < 10000 && device.bytesToWrite() <= SerialLink::kMaxPendingOutputBytes;
             ++i) {
            device.write(QByteArray(1024, 'x'));
            QCoreApplication::processEvents();
        }
        QVERIFY2(device.bytesToWrite() > SerialLink::kMaxPendingOutputBytes,
                 "the line took everything from a far end that reads nothing");
        QElapsedTimer reopening;
        reopening.start();
        device.close();
        QVERIFY(!device.open(pty.devicePath(), settings));
        QVERIFY(reopening.elapsed() < 500);
        const auto before = processorTimeUsed();
        QTest::qWait(1000);
        const auto used = processorTimeUsed() - before;
        QVERIFY2(used < 50ms, qPrintable(QStringLiteral("%1 ms of processor time in an idle "
                                                        "second after the reopen")
                                             .arg(used.count())));
    }

    // A device that gives up the read kept outstanding on it has gone: the port
    // is closed and the loss told once, not the read asked again and again.
    void abortedReadIsALostDevice()
    {
        PtyPair pty;
        SerialLink link;
        openLink(link, pty);
        int losses = 0;
        connect(&link, &SerialLink::deviceLost, this, [&losses] { ++losses; });
        if (!abortPendingReads())
            QSKIP("Reads here are no requests that a driver could give up.");
        QTRY_COMPARE(losses, 1);
        QVERIFY(!link.portOpen());
        QTest::qWait(100);
        QCOMPARE(losses, 1);
    }
};

QTEST_GUILESS_MAIN(SerialLinkTest)
#include "tst_seriallink.moc"
