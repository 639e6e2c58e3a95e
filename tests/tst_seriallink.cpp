// The link over a real pseudo-terminal where QSerialPort has traps of its own:
// bytes pass unchanged, and a full read buffer keeps hearing the line.
#include "PtyPair.h"
#include "SerialLink.h"

#include <QElapsedTimer>
#include <QTest>

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
    void everyByteValuePassesBothWays();
    void fullBufferStillHearsTheLineAfterADiscard();
    void fullBufferGivesEveryByteWhenReadByteByByte();
};

void SerialLinkTest::everyByteValuePassesBothWays()
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

void SerialLinkTest::fullBufferStillHearsTheLineAfterADiscard()
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

void SerialLinkTest::fullBufferGivesEveryByteWhenReadByteByByte()
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

QTEST_GUILESS_MAIN(SerialLinkTest)
#include "tst_seriallink.moc"
