// What the operator is told, and what state the panel is left in, when the line,
// the device, the system or the operator does the unexpected; after each, the
// process must be idle again.
#include "PanelHarness.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLockFile>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

enum class Setup { PortText, NothingOpened, MissingDevice, HeldByAnother, Unplugged };
enum class Lock { None, OfAnEndedProgram, OfARunningProgram };

// Stand-ins in an expectation for what only the run knows.
const QString kToolTip = QStringLiteral("<the port box's tool tip>");
const QString kLockFile = QStringLiteral("<the lock file>");

// The CPU the process takes over half a second of doing nothing.
std::chrono::microseconds idleCpu()
{
    const auto before = processCpuTime();
    QTest::qWait(500);
    return processCpuTime() - before;
}

QString portBoxToolTip(PanelHarness &harness)
{
    auto *box = harness.control<QComboBox>("COMNOcmb");
    QHelpEvent hover(QEvent::ToolTip, QPoint(1, 1), box->mapToGlobal(QPoint(1, 1)));
    QCoreApplication::sendEvent(box, &hover);
    return box->toolTip();
}

// What the message gets wrong: words it lacks or words it should not have.
QString wrongWords(const QString &message, const QStringList &told, const QStringList &notTold)
{
    for (const QString &words : told)
        if (!message.contains(words))
            return QStringLiteral("lacks \"%1\":\n%2").arg(words, message);
    for (const QString &words : notTold)
        if (message.contains(words))
            return QStringLiteral("says \"%1\":\n%2").arg(words, message);
    return {};
}

// Presses "SET" as the user nobody in a child, which checks the message.
bool setAsNobodyIsTold(PanelHarness &harness, const QStringList &told, const QStringList &notTold)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(1);
        harness.openPort();
        const QString wrong = wrongWords(harness.messages.value(0), told, notTold);
        std::fprintf(stderr, "%s\n", qPrintable(wrong));
        ::_exit(wrong.isEmpty() ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(Lock)

class FaultMatrixTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void failureSaysWhatToDo_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QString>("portText");
        QTest::addColumn<QStringList>("told");
        QTest::addColumn<QStringList>("notTold");
        const QString megabyte(1 << 20, u'x');
        QTest::newRow("IN before any SET")
            << Setup::NothingOpened << ""
            << QStringList{"\"IN\" failed", "not open", "Press \"SET\""} << QStringList{"Port "};
        QTest::newRow("empty") << Setup::PortText << ""
                               << QStringList{"\"SET\" failed", "not a port number"}
                               << QStringList{};
        QTest::newRow("a megabyte, quoted in part")
            << Setup::PortText << megabyte << QStringList{"not a port number", megabyte.left(40)}
            << QStringList{megabyte.left(41)};
        QTest::newRow("40000 is a number, not a port")
            << Setup::PortText << "40000" << QStringList{"\"40000\"", "1-96", kToolTip}
            << QStringList{"not a port number"};
        QTest::newRow("97 has no device")
            << Setup::PortText << "97" << QStringList{"Port 97", "1-96", kToolTip} << QStringList{};
        QTest::newRow("device missing")
            << Setup::MissingDevice << "3"
            << QStringList{"Port 3 (/dev/", "no such device", kToolTip} << QStringList{};
        QTest::newRow("held open by another program")
            << Setup::HeldByAnother << "3"
            << QStringList{"Port 3 (/dev/", "in use by another program"} << QStringList{};
        QTest::newRow("unplugged while open")
            << Setup::Unplugged << "3" << QStringList{"gone away", "System: Input/output error"}
            << QStringList{"Inappropriate ioctl"};
    }

    // Each failure after a port was open closes it first, and keeps its number.
    void failureSaysWhatToDo()
    {
        QFETCH(Setup, setup);
        QFETCH(QString, portText);
        QFETCH(QStringList, told);
        QFETCH(QStringList, notTold);
        PanelHarness harness;
        SerialLink other;
        if (setup == Setup::NothingOpened)
            harness.click("INcmd");
        else
            harness.openPort(QStringLiteral("4"));
        if (setup == Setup::MissingDevice)
            harness.panel().serialLink().setDeviceResolver([](int) {
                return std::optional<QString>(QStringLiteral("/dev/ttyUSB-not-there"));
            });
        if (setup == Setup::HeldByAnother) {
            other.setDeviceResolver([&](int) { return harness.board(3).devicePath(); });
            other.setPortOpen(true);
        }
        if (setup == Setup::Unplugged) {
            harness.openPort(portText);
            harness.board().vanish();
            QTRY_VERIFY(!harness.messages.isEmpty());
        } else if (setup != Setup::NothingOpened) {
            harness.openPort(portText);
        }

        QCOMPARE(harness.messages.size(), 1);
        told.replaceInStrings(kToolTip, portBoxToolTip(harness));
        const QString wrong = wrongWords(harness.messages[0], told, notTold);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        QVERIFY(!harness.panel().serialLink().portOpen());
        QCOMPARE(harness.indicator(), QColor(192, 192, 192));
        if (setup == Setup::PortText)
            QCOMPARE(harness.panel().serialLink().commPort(), qint16(4));
        QVERIFY(idleCpu() < 150ms);
    }

    void refusalOfAnotherUserSaysWhatHelps_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<int>("mode");
        QTest::addColumn<Lock>("lock");
        QTest::addColumn<QStringList>("told");
        QTest::addColumn<QStringList>("notTold");
        QTest::newRow("root's 0600 device")
            << "tty" << 0600 << Lock::None
            << QStringList{"user \"root\"", "0600", "administrator", "udev"}
            << QStringList{"usermod"};
        QTest::newRow("read and write for the root group only")
            << "root" << 0660 << Lock::None << QStringList{"group \"root\"", "administrator"}
            << QStringList{"usermod"};
        QTest::newRow("read and write for dialout")
            << "dialout" << 0660 << Lock::None << QStringList{"sudo usermod -aG dialout $USER"}
            << QStringList{"administrator"};
        QTest::newRow("root's stale lock")
            << "root" << 0666 << Lock::OfAnEndedProgram
            << QStringList{"stale lock", kLockFile, "sudo rm " + kLockFile}
            << QStringList{"another program"};
        QTest::newRow("root's lock of a running program")
            << "root" << 0666 << Lock::OfARunningProgram
            << QStringList{"in use by another program", "(tst_faultmatrix)"}
            << QStringList{"stale", "rm "};
    }

    // Root may open anything, so "SET" is pressed by the user nobody in a child.
    void refusalOfAnotherUserSaysWhatHelps()
    {
        QFETCH(QString, group);
        QFETCH(int, mode);
        QFETCH(Lock, lock);
        QFETCH(QStringList, told);
        QFETCH(QStringList, notTold);
        if (::geteuid() != 0)
            QSKIP("only root can give a device to another user");

        PanelHarness harness;
        const QByteArray device = harness.board().devicePath().toLocal8Bit();
        const ::group *owner = ::getgrnam(group.toLatin1().constData());
        QVERIFY(owner);
        QCOMPARE(::chown(device.constData(), 0, owner->gr_gid), 0);
        QCOMPARE(::chmod(device.constData(), static_cast<mode_t>(mode)), 0);

        // Qt SerialPort locks /dev/pts/N as /var/lock/LCK..pts_N.
        const QString lockPath = QStringLiteral("/var/lock/LCK..")
                                 + QString::fromLocal8Bit(device.mid(5)).replace(u'/', u'_');
        QFile::remove(lockPath); // an earlier pseudo-terminal of this number may have left one
        std::unique_ptr<QLockFile> running;
        if (lock == Lock::OfAnEndedProgram) {
            const pid_t holder = ::fork();
            if (holder == 0)
                ::_exit(QLockFile(lockPath).tryLock(0) ? 0 : 1); // exits without unlocking
            ::waitpid(holder, nullptr, 0);
        } else if (lock == Lock::OfARunningProgram) {
            running = std::make_unique<QLockFile>(lockPath);
            QVERIFY(running->tryLock(0));
        }
        told.replaceInStrings(kLockFile, QFileInfo(lockPath).canonicalFilePath());

        const bool toldRight = setAsNobodyIsTold(harness, told, notTold);
        running.reset();
        QFile::remove(lockPath);
        QVERIFY(toldRight);
    }

    void vanishingDeviceIsToldOnce_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<int>("vanishAt"); // ms after the press; -1: before it
        QTest::newRow("before an output") << QByteArray("PORTout") << -1;
        QTest::newRow("before a query") << QByteArray("INcmd") << -1;
        QTest::newRow("right after a write") << QByteArray("PORTout") << 0;
        QTest::newRow("during a wait") << QByteArray("AD3cmd") << 50;
    }

    // The frame of the press stays shown; the result boxes keep their text.
    void vanishingDeviceIsToldOnce()
    {
        QFETCH(QByteArray, button);
        QFETCH(int, vanishAt);
        PanelHarness harness;
        ScriptedFarEnd board(harness.board());
        harness.openPort();
        harness.setText("AD3data", QStringLiteral("kept"));
        if (vanishAt < 0)
            board.vanish();
        else
            QTimer::singleShot(vanishAt, [&] { board.vanish(); });
        harness.click(button.constData());
        const QString shown = harness.text("Label1");

        QTRY_COMPARE(harness.messages.size(), 1);
        QVERIFY(idleCpu() < 150ms);
        QCOMPARE(harness.messages.size(), 1);
        QVERIFY2(harness.messages[0].contains(u"gone away"), qPrintable(harness.messages[0]));
        QVERIFY(!harness.panel().serialLink().portOpen());
        QCOMPARE(harness.indicator(), QColor(192, 192, 192));
        QCOMPARE(shown.front(), u'\002');
        QCOMPARE(harness.text("AD3data"), QStringLiteral("kept"));
    }

    void twoHundredNestedQueriesAllEndAndThePanelStillWorks()
    {
        PanelHarness harness;
        ScriptedFarEnd board(harness.board());
        harness.openPort();
        // Each press arms the next one and then waits inside the waits before it.
        int pressed = 1;
        std::function<void()> pressAgain = [&] {
            if (++pressed < 200)
                QTimer::singleShot(5ms, pressAgain);
            harness.click(pressed % 2 ? "INcmd" : "AD1cmd");
        };
        QTimer::singleShot(5ms, pressAgain);
        harness.click("AD1cmd");

        QCOMPARE(pressed, 200);
        // Past the bound each press is refused; every query sent ends in "Receive ERR".
        QCOMPARE(harness.messages.size(), 200);
        QCOMPARE(harness.messages.count(QStringLiteral("Receive ERR")),
                 qsizetype(TQ905Panel::kMaxNestedQueries));
        QCOMPARE(board.frames.size(), qsizetype(TQ905Panel::kMaxNestedQueries));

        harness.messages.clear();
        board.answerEveryFrameWith({{10ms, "\002b123b"}});
        harness.click("AD1cmd");
        QCOMPARE(harness.text("AD1data"), QStringLiteral("123"));
        QVERIFY(harness.messages.isEmpty());
        QVERIFY(idleCpu() < 150ms);
    }

    // A box still up would keep its handler, and the program, running after the window.
    void closingWhileAMessageBoxIsUpEndsEverything()
    {
        PanelHarness harness;
        harness.panel().setMessagePresenter({}); // the real box
        harness.panel().show();
        QVERIFY(QTest::qWaitForWindowExposed(&harness.panel()));
        bool boxWasUp = false;
        QTimer::singleShot(200ms, [&] {
            boxWasUp = harness.panel().findChild<QMessageBox *>() != nullptr;
            harness.panel().close();
        });
        harness.click("PORTout");
        QVERIFY(boxWasUp);
        QVERIFY(!harness.panel().isVisible());
    }

    // The wait first listens on the device alone, so a prompt reply is taken before
    // the event loop runs; input that keeps trickling in must not keep the event
    // loop, and with it the reply ticks, from running.
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

        QCOMPARE(harness.messages, QStringList{"Receive ERR"});
        QVERIFY2(elapsed >= 2800 && elapsed < 4500, qPrintable(QString::number(elapsed)));
    }
};

QTEST_MAIN(FaultMatrixTest)
#include "tst_faultmatrix.moc"
