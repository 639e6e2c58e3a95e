#include "PanelHarness.h"

#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <thread>

#include <unistd.h>

using namespace std::chrono_literals;

// The wait first listens on the device alone, so a prompt reply is taken before
// the event loop runs. Input that keeps trickling in must not keep the event
// loop, and with it the reply ticks, from running.
class ReplyWatchTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tricklingNoiseStillTimesOutOnTheTicks()
    {
        PanelHarness harness;
        harness.openPort();
        const int farEnd = harness.board().masterFd();
        std::atomic<bool> stop = false;
        // Another thread, so the bytes keep coming whatever the panel's event loop
        // does; they stop by themselves well after the time-out should have come.
        std::thread chatter([&] {
            for (auto until = std::chrono::steady_clock::now() + 6s;
                 !stop && std::chrono::steady_clock::now() < until;
                 std::this_thread::sleep_for(200us))
                (void)::write(farEnd, "x", 1);
        });
        QElapsedTimer clock;
        clock.start();
        harness.click("INcmd");
        const qint64 elapsed = clock.elapsed();
        stop = true;
        chatter.join();

        QCOMPARE(harness.messages().size(), 1);
        QCOMPARE(harness.messages().front().text, QStringLiteral("Receive ERR"));
        QVERIFY2(elapsed >= 2800 && elapsed < 4500, qPrintable(QString::number(elapsed)));
    }
};

QTEST_MAIN(ReplyWatchTest)
#include "tst_replywatch.moc"
