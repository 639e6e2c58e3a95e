// Other programs on the same line, on Unix: a port that another program holds
// (a lock file in the usual format, through a symbolic link, an flock) is never
// taken, and another reader of the line is no lost device.
#include "DeviceLock_linux.h"
#include "PtyPair.h"
#include "SerialLink.h"

#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/file.h>
#include <sys/wait.h>

namespace {

void openLink(SerialLink &link, const PtyPair &pty)
{
    link.setDeviceResolver([&pty](int) { return pty.devicePath(); });
    link.setPortOpen(true);
}

// A program that holds the device while it runs: by a lock file in the usual
// format (the PID as ten digits), by an exclusive flock on the device, or by a
// lock file of its own that it has left behind on ending.
enum class Holder { LockFile, Flock, EndedLockFile };

class OtherProgram
{
public:
    OtherProgram(Holder holder, const QString &device)
        : m_lockFile(lockFilePath(device))
    {
        int ready[2];
        if (::pipe(ready) != 0)
            throw std::runtime_error("pipe failed");
        m_pid = ::fork();
        if (m_pid == 0) {
            const int fd = ::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
            const bool held = holder != Holder::Flock || ::flock(fd, LOCK_EX | LOCK_NB) == 0;
            [[maybe_unused]] const ssize_t told = ::write(ready[1], &held, 1);
            if (holder != Holder::EndedLockFile)
                ::pause();
            ::_exit(0);
        }
        bool held = false;
        [[maybe_unused]] const ssize_t heard = ::read(ready[0], &held, 1);
        ::close(ready[0]), ::close(ready[1]);
        if (!held)
            throw std::runtime_error("the other program could not take the device");
        if (holder != Holder::Flock)
            writeLockFile(QByteArray::number(m_pid).rightJustified(10) + '\n');
        if (holder == Holder::EndedLockFile)
            ::waitpid(std::exchange(m_pid, -1), nullptr, 0);
    }
    ~OtherProgram()
    {
        if (m_pid > 0)
            ::kill(m_pid, SIGKILL), ::waitpid(m_pid, nullptr, 0);
        QFile::remove(m_lockFile);
    }
    OtherProgram(const OtherProgram &) = delete;
    OtherProgram &operator=(const OtherProgram &) = delete;

    pid_t pid() const { return m_pid; }

private:
    void writeLockFile(const QByteArray &text)
    {
        QFile file(m_lockFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            throw std::runtime_error("cannot write the lock file");
    }

    QString m_lockFile;
    pid_t m_pid = -1;
};

// The lock file of the device, as it is now; empty where there is none.
QByteArray lockFileText(const PtyPair &pty)
{
    QFile file(lockFilePath(pty.devicePath()));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class DeviceLocksTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void portHeldByAnotherProgramIsNeverTaken_data()
    {
        QTest::addColumn<Holder>("holder");
        QTest::addColumn<bool>("throughALink"); // a symbolic link names the device
        QTest::newRow("lock file") << Holder::LockFile << false;
        QTest::newRow("lock file, device named by a link") << Holder::LockFile << true;
        QTest::newRow("flock") << Holder::Flock << false;
        QTest::newRow("lock file of an ended program") << Holder::EndedLockFile << true;
    }

    // Refused as busy, naming the holder, its lock left as it was; a lock whose
    // holder has ended is taken over.
    void portHeldByAnotherProgramIsNeverTaken()
    {
        QFETCH(Holder, holder);
        QFETCH(bool, throughALink);
        PtyPair pty;
        const OtherProgram other(holder, pty.devicePath());
        const QByteArray lockBefore = lockFileText(pty);
        QTemporaryDir scratch;
        const QString link = scratch.filePath(QStringLiteral("by-id"));
        QVERIFY(QFile::link(pty.devicePath(), link));
        SerialLink serial;
        serial.setDeviceResolver([&](int) { return throughALink ? link : pty.devicePath(); });
        try {
            serial.setPortOpen(true);
            QVERIFY2(holder == Holder::EndedLockFile, "the port of another program was taken");
            QCOMPARE(lockFileText(pty), QByteArray::number(::getpid()).rightJustified(10) + '\n');
        } catch (const SerialError &error) {
            QVERIFY2(holder != Holder::EndedLockFile, qPrintable(error.advice()));
            QCOMPARE(error.kind(), SerialError::Kind::DeviceBusy);
            QVERIFY2(error.advice().contains(QString::number(other.pid())),
                     qPrintable(error.advice()));
            QCOMPARE(lockFileText(pty), lockBefore);
        }
    }

    void lockFileOfARunningProgramInEverySpelling_data()
    {
        QTest::addColumn<QByteArray>("text"); // PID: this test's own
        QTest::newRow("digits without a newline") << QByteArray("PID");
        QTest::newRow("four digits without a newline, PID 1") << QByteArray("0001");
        QTest::newRow("blanks around, and Qt's three lines") << QByteArray(" PID \ntst\nhost\n");
    }

    // Never taken, and the advice names the program.
    void lockFileOfARunningProgramInEverySpelling()
    {
        QFETCH(QByteArray, text);
        PtyPair pty;
        const QByteArray pid = text == "0001" ? "1" : QByteArray::number(::getpid());
        QFile lock(lockFilePath(pty.devicePath()));
        QVERIFY(lock.open(QIODevice::WriteOnly) && lock.write(text.replace("PID", pid)) > 0);
        lock.close();
        SerialLink link;
        try {
            openLink(link, pty);
            lock.remove();
            QFAIL("the port of a running program was taken");
        } catch (const SerialError &error) {
            lock.remove();
            QCOMPARE(error.kind(), SerialError::Kind::DeviceBusy);
            QVERIFY2(error.advice().startsWith("It is process " + pid + " ("),
                     qPrintable(error.advice()));
        }
    }

    // A stale lock file taken over by two programs at once: the slow one has read
    // it when the other takes it over; the winner keeps its lock file, whoever wins.
    void staleLockTakenOverByTwoAtOnceStaysTheWinners()
    {
        PtyPair pty;
        const OtherProgram ended(Holder::EndedLockFile, pty.devicePath());
        int paused[2];
        int resumed[2];
        QVERIFY(::pipe(paused) == 0 && ::pipe(resumed) == 0);
        const pid_t slow = ::fork();
        if (slow == 0) {
            DeviceLock lock;
            lock.setPauseBeforeTakeover([&] {
                char step = 0;
                static_cast<void>(::write(paused[1], &step, 1) + ::read(resumed[0], &step, 1));
            });
            std::optional<LinkDevice::Refusal> refusal = lock.takeLockFile(pty.devicePath());
            if (!refusal) // as an open goes on: the winner has the device locked
                refusal = lock.takeFlock(::open(qPrintable(pty.devicePath()), O_RDWR), {});
            lock.release();
            ::_exit(refusal ? 1 : 0);
        }
        // A failure here would leave it waiting, and the test's output open.
        auto endSlow = qScopeGuard([slow] { ::kill(slow, SIGKILL), ::waitpid(slow, nullptr, 0); });
        char step = 0;
        QCOMPARE(::read(paused[0], &step, 1), 1);
        SerialLink winner;
        openLink(winner, pty);
        QCOMPARE(::write(resumed[1], &step, 1), 1);
        int status = 0;
        QCOMPARE(::waitpid(slow, &status, 0), slow);
        endSlow.dismiss();
        QCOMPARE(WEXITSTATUS(status), 1);
        QCOMPARE(lockFileText(pty), QByteArray::number(::getpid()).rightJustified(10) + '\n');
    }

    // A reader that takes the bytes first leaves the link's read with nothing:
    // a passing EAGAIN, not a device gone.
    void anotherReaderOfTheLineIsNoLostDevice()
    {
        PtyPair pty;
        SerialLink link;
        openLink(link, pty);
        QSignalSpy lost(&link, &SerialLink::deviceLost);
        const pid_t reader = ::fork();
        if (reader == 0) {
            char byte;
            while (::read(pty.deviceFd(), &byte, 1) >= 0) { }
            ::_exit(0);
        }
        for (int i = 0; i < 300 && link.portOpen(); ++i) {
            pty.write("x");
            QTest::qWait(1);
        }
        ::kill(reader, SIGKILL), ::waitpid(reader, nullptr, 0);
        QTest::qWait(20);
        QVERIFY(link.portOpen());
        QCOMPARE(lost.count(), 0);
    }
};

QTEST_GUILESS_MAIN(DeviceLocksTest)
#include "tst_devicelocks.moc"
