// Frames reach the line within their handler and replies count as soon as the
// device holds them, without a pass of the event loop; a device gone before
// a press is told once. Nothing here lets the event loop run unless it says so.
#include "PanelHarness.h"

#include <QElapsedTimer>
#include <QTest>

#include <poll.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// What the far end receives within `timeout`, read without the event loop.
QByteArray farEndReceives(PtyPair &pty, int count, std::chrono::milliseconds timeout = 200ms)
{
    QByteArray received(count, '\0');
    qsizetype done = 0;
    pollfd readable{pty.masterFd(), POLLIN, 0};
    while (done < count && ::poll(&readable, 1, static_cast<int>(timeout.count())) == 1) {
        const ssize_t n = ::read(pty.masterFd(), received.data() + done, count - done);
        if (n <= 0)
            break;
        done += n;
    }
    return received.left(done);
}

// The waiting count once the device has had `settle` to take in what was sent.
int waitingAfter(SerialLink &link, std::chrono::milliseconds settle)
{
    QElapsedTimer clock;
    clock.start();
    int waiting = 0;
    while (clock.elapsed() < settle.count()) {
        link.readArrivedInput();
        waiting = link.inBufferCount();
        ::usleep(1000);
    }
    return waiting;
}

} // namespace

class PromptLineTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void frameIsOnTheLineWhenItsHandlerReturns();
    void framesKeepTheirOrderWhileTheLineFillsAndDrains();
    void arrivedInputCountsWithoutAnEventLoopPass_data();
    void arrivedInputCountsWithoutAnEventLoopPass();
    void deviceGoneBeforeAPressIsToldOnce_data();
    void deviceGoneBeforeAPressIsToldOnce();
};

void PromptLineTest::frameIsOnTheLineWhenItsHandlerReturns()
{
    PanelHarness harness;
    harness.openPort();
    harness.click("PORTout");
    QCOMPARE(farEndReceives(harness.board(), 5), QByteArray("\002O00\r"));
}

void PromptLineTest::framesKeepTheirOrderWhileTheLineFillsAndDrains()
{
    PanelHarness harness;
    harness.openPort();
    SerialLink &link = harness.panel().serialLink();
    QByteArray sent;
    QByteArray received;
    // Until the line is full and the link's own queue refuses more; the far end
    // takes a little now and then, so the line has room while frames are queued.
    try {
        for (int i = 0; i < 100000; ++i) {
            const QByteArray frame = '\002' + QByteArray::number(i).rightJustified(5, '0') + '\r';
            link.setOutput(frame);
            sent += frame;
            if (i % 100 == 99) {
                received += farEndReceives(harness.board(), 300, 0ms);
                ::usleep(2000); // the kernel moves what waits behind it in the meantime
            }
        }
        QFAIL("the link queued output without bound");
    } catch (const SerialError &error) {
        QCOMPARE(error.kind(), SerialError::Kind::OutputStalled);
    }
    received += harness.board().readQuiet(300ms);
    QCOMPARE(received.size(), sent.size());
    QVERIFY(received == sent);
}

void PromptLineTest::arrivedInputCountsWithoutAnEventLoopPass_data()
{
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("waiting");
    QTest::newRow("a reply") << 7 << 7;
    QTest::newRow("a flood, bounded by the input buffer")
        << 3 * int(SerialLink::kReadBufferBytes) << int(SerialLink::kReadBufferBytes);
}

void PromptLineTest::arrivedInputCountsWithoutAnEventLoopPass()
{
    QFETCH(int, sent);
    QFETCH(int, waiting);
    PanelHarness harness;
    harness.openPort();
    SerialLink &link = harness.panel().serialLink();
    harness.board().write(QByteArray(sent, 'x'));
    QCOMPARE(waitingAfter(link, 100ms), waiting);
    link.setInputLen(0);
    QCOMPARE(link.input().size(), waiting);
    QVERIFY(harness.messages().isEmpty());
}

void PromptLineTest::deviceGoneBeforeAPressIsToldOnce_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("frameShown");
    QTest::newRow("output command") << QByteArray("PORTout") << QStringLiteral("\x02O00\r");
    QTest::newRow("query") << QByteArray("INcmd") << QStringLiteral("\x02I\r");
}

void PromptLineTest::deviceGoneBeforeAPressIsToldOnce()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, frameShown);
    PanelHarness harness;
    harness.openPort();
    harness.setText("INdataA", QStringLiteral("kept"));
    harness.board().vanish();
    harness.click(button.constData());
    QTest::qWait(300);

    QCOMPARE(harness.messages().size(), 1);
    QVERIFY2(harness.messages()[0].text.contains(u"gone away"),
             qPrintable(harness.messages()[0].text));
    QVERIFY(!harness.panel().serialLink().portOpen());
    QCOMPARE(harness.text("Label1"), frameShown);
    QCOMPARE(harness.text("INdataA"), QStringLiteral("kept"));
}

QTEST_MAIN(PromptLineTest)
#include "tst_promptline.moc"
