// The words of a failure message that the operator acts on, through the panel's
// own message path over real pseudo-terminals.
#include "PanelHarness.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLockFile>
#include <QTest>

#include <cstdio>
#include <memory>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

enum class Setup { NothingOpened, MissingDevice, NumberOutOfRange, NumberWithNoDevice, Unplugged };
enum class Lock { None, OfAnEndedProgram, OfARunningProgram };

// Stand-ins in an expectation for what only the run knows.
const QString kToolTip = QStringLiteral("<the port box's tool tip>");
const QString kLockFile = QStringLiteral("<the lock file>");

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
        const QString wrong = wrongWords(harness.messages().value(0).text, told, notTold);
        std::fprintf(stderr, "%s\n", qPrintable(wrong));
        ::_exit(wrong.isEmpty() ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(Lock)

class MessagesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void failureSaysWhatToDo_data();
    void failureSaysWhatToDo();
    void refusalOfAnotherUserSaysWhatHelps_data();
    void refusalOfAnotherUserSaysWhatHelps();
};

void MessagesTest::failureSaysWhatToDo_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QStringList>("told");
    QTest::addColumn<QStringList>("notTold");

    QTest::newRow("IN before any SET")
        << Setup::NothingOpened << QStringList{"not open", "Press \"SET\""} << QStringList{"Port "};
    QTest::newRow("device missing")
        << Setup::MissingDevice << QStringList{"no such device", kToolTip} << QStringList{};
    QTest::newRow("40000 is a number, not a port")
        << Setup::NumberOutOfRange << QStringList{"\"40000\"", "1-96", kToolTip}
        << QStringList{"not a port number"};
    QTest::newRow("97 has no device")
        << Setup::NumberWithNoDevice << QStringList{"Port 97", "1-96", kToolTip} << QStringList{};
    QTest::newRow("unplugged while open")
        << Setup::Unplugged << QStringList{"gone away", "System: Input/output error"}
        << QStringList{"Inappropriate ioctl"};
}

void MessagesTest::failureSaysWhatToDo()
{
    QFETCH(Setup, setup);
    QFETCH(QStringList, told);
    QFETCH(QStringList, notTold);

    PanelHarness harness;
    switch (setup) {
    case Setup::NothingOpened:
        harness.click("INcmd");
        break;
    case Setup::MissingDevice:
        harness.panel().serialLink().setDeviceResolver(
            [](int) { return std::optional<QString>(QStringLiteral("/dev/ttyUSB-not-there")); });
        harness.openPort();
        break;
    case Setup::NumberOutOfRange:
        harness.openPort(QStringLiteral("40000"));
        break;
    case Setup::NumberWithNoDevice:
        harness.openPort(QStringLiteral("97"));
        break;
    case Setup::Unplugged:
        harness.openPort();
        harness.board().vanish();
        QTRY_VERIFY(!harness.messages().isEmpty());
        break;
    }

    QCOMPARE(harness.messages().size(), 1);
    const QString message = harness.messages()[0].text;
    told.replaceInStrings(kToolTip, portBoxToolTip(harness));
    const QString wrong = wrongWords(message, told, notTold);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
}

void MessagesTest::refusalOfAnotherUserSaysWhatHelps_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<int>("mode");
    QTest::addColumn<Lock>("lock");
    QTest::addColumn<QStringList>("told");
    QTest::addColumn<QStringList>("notTold");

    QTest::newRow("root's 0600 device")
        << "tty" << 0600 << Lock::None
        << QStringList{"user \"root\"", "0600", "administrator", "udev"} << QStringList{"usermod"};
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
        << QStringList{"in use by another program", "(tst_messages)"}
        << QStringList{"stale", "rm "};
}

// Root may open anything, so "SET" is pressed by the user nobody in a child.
void MessagesTest::refusalOfAnotherUserSaysWhatHelps()
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

QTEST_MAIN(MessagesTest)
#include "tst_messages.moc"
