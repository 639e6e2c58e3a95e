#include "DeviceLock_linux.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

using Kind = SerialError::Kind;

// Where serial programs keep lock files; on most systems one directory.
constexpr std::array<const char *, 2> kLockDirectories{"/run/lock", "/var/lock"};
// Looks at the lock files before an open gives up on another program's making or
// taking over of one.
constexpr int kAttempts = 3;

// The device a path names, through any symbolic links; empty where it is missing.
QString resolvedDevice(const QString &devicePath)
{
    char resolved[PATH_MAX];
    if (!::realpath(devicePath.toLocal8Bit().constData(), resolved))
        return {};
    return QString::fromLocal8Bit(resolved);
}

// /dev/ttyUSB0 is LCK..ttyUSB0, /dev/pts/3 is LCK..pts_3.
QString lockFileName(const QString &device)
{
    QString name = device.startsWith(QStringLiteral("/dev/")) ? device.mid(5) : device;
    return QStringLiteral("LCK..") + name.replace(u'/', u'_');
}

// The PID a lock file names: ASCII digits with blanks around them, a newline after
// them in the usual format, the first of three lines in Qt's, no newline in some
// old programs; a binary int in the oldest, where the bytes are not digits and
// blanks. Nothing where the text names no process.
std::optional<pid_t> lockHolder(const QByteArray &text)
{
    const qsizetype lineEnd = text.indexOf('\n');
    bool isNumber = false;
    qint64 pid = (lineEnd < 0 ? text : text.left(lineEnd)).trimmed().toLongLong(&isNumber);
    const bool isText = std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c))
               || std::isspace(static_cast<unsigned char>(c));
    });
    if (!isNumber && !isText && text.size() == sizeof(int)) {
        int binary = 0;
        std::memcpy(&binary, text.constData(), sizeof binary);
        pid = binary;
    }
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return std::nullopt;
    return static_cast<pid_t>(pid);
}

// Where this program makes its lock files: the first of them there is.
QString lockDirectory()
{
    for (const char *directory : kLockDirectories)
        if (QFileInfo(QString::fromLatin1(directory)).isDir())
            return QString::fromLatin1(directory);
    return QString::fromLatin1(kLockDirectories[0]);
}

bool processHasEnded(pid_t pid)
{
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

QString processText(pid_t pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    const QString name = comm.open(QIODevice::ReadOnly)
                             ? QString::fromLocal8Bit(comm.readAll().trimmed())
                             : QString();
    constexpr qsizetype kMaxQuotedName = 40; // anyone can name a process
    return name.isEmpty()
               ? QStringLiteral("process %1").arg(pid)
               : QStringLiteral("process %1 (%2)").arg(pid).arg(name.left(kMaxQuotedName));
}

// The process that holds an flock on the device, as the kernel lists it:
// "1: FLOCK ADVISORY WRITE PID MAJOR:MINOR:INODE 0 EOF", the numbers of the
// device's file in hexadecimal, its inode in decimal.
std::optional<pid_t> flockHolder(const QString &device)
{
    struct stat info = {};
    QFile locks(QStringLiteral("/proc/locks"));
    if (::stat(QFile::encodeName(device).constData(), &info) != 0
        || !locks.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray file = QByteArray::number(major(info.st_dev), 16).rightJustified(2, '0') + ':'
                            + QByteArray::number(minor(info.st_dev), 16).rightJustified(2, '0')
                            + ':' + QByteArray::number(static_cast<qulonglong>(info.st_ino));
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 5 && fields[1] == "FLOCK" && fields[5] == file)
            return static_cast<pid_t>(fields[4].toInt());
    }
    return std::nullopt;
}

// Who uses a device, as the descriptors of the processes this user may see show
// it: a process, other than this one, that has it open, and, for a
// pseudo-terminal, the process that holds its other end (which may keep the
// device open too, for its own reasons).
struct DeviceUsers {
    std::optional<pid_t> holder;
    std::optional<pid_t> otherEnd;
};

DeviceUsers deviceUsers(const QString &device)
{
    struct stat target = {};
    if (::stat(QFile::encodeName(device).constData(), &target) != 0)
        return {};
    const dev_t multiplexor = makedev(5, 2); // /dev/ptmx, whose descriptors are the other ends
    const QByteArray otherEndLine = device.startsWith(QStringLiteral("/dev/pts/"))
                                        ? "tty-index:\t" + device.mid(9).toLatin1()
                                        : QByteArray();
    DeviceUsers users;
    QList<pid_t> holders;
    const QString self = QString::number(::getpid());
    for (const QFileInfo &process : QDir(QStringLiteral("/proc")).entryInfoList(QDir::Dirs)) {
        bool isProcess = false;
        const auto pid = static_cast<pid_t>(process.fileName().toInt(&isProcess));
        if (!isProcess || process.fileName() == self)
            continue;
        const QDir descriptors(process.filePath() + QStringLiteral("/fd"));
        for (const QString &descriptor : descriptors.entryList(QDir::System)) {
            struct stat opened = {};
            if (::stat(QFile::encodeName(descriptors.filePath(descriptor)).constData(), &opened)
                    != 0
                || !S_ISCHR(opened.st_mode))
                continue;
            if (opened.st_rdev == target.st_rdev)
                holders << pid;
            QFile info(process.filePath() + QStringLiteral("/fdinfo/") + descriptor);
            if (opened.st_rdev == multiplexor && !otherEndLine.isEmpty()
                && info.open(QIODevice::ReadOnly)
                && info.readAll().split('\n').contains(otherEndLine))
                users.otherEnd = pid;
        }
    }
    for (const pid_t pid : holders)
        if (pid != users.otherEnd)
            users.holder = pid;
    return users;
}

LinkDevice::Refusal busy(const QString &advice)
{
    return {Kind::DeviceBusy, {}, advice};
}

// How a look at another program's lock file ends for this open.
struct LockFileLook {
    std::optional<LinkDevice::Refusal> refusal; // the lock file holds, or may not be removed
    bool changed = false;                       // another program took it over meanwhile
};

// Removes the stale lock file read through `fd` and no other. A program that
// takes it over at the same time does the same under the file's flock, so of
// two only one removes it, and neither the fresh lock file the other put there.
LockFileLook removeStale(const QString &path, int fd)
{
    struct stat read = {};
    struct stat named = {};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &read) != 0
        || ::stat(QFile::encodeName(path).constData(), &named) != 0 || read.st_ino != named.st_ino
        || read.st_dev != named.st_dev)
        return {{}, true};
    if (::unlink(QFile::encodeName(path).constData()) == 0)
        return {};
    return {LinkDevice::Refusal{Kind::StaleLock, QString::fromLocal8Bit(std::strerror(errno)), {}}};
}

// What another program's lock file, open as `fd`, means for this open: nothing
// where that program has ended and the file could be removed.
LockFileLook lookAtLockFile(const QString &path, int fd, const std::function<void()> &pause)
{
    QFile file;
    static_cast<void>(file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle));
    const QByteArray text = file.readAll();
    const QString shownPath = QFileInfo(path).canonicalFilePath();
    const std::optional<pid_t> holder = lockHolder(text);
    if (!holder)
        return {busy(QStringLiteral("The lock file %1 names no process. If no program uses the "
                                    "device, remove it (rm %1).")
                         .arg(shownPath))};
    if (!processHasEnded(*holder))
        return {busy(QStringLiteral("It is %1, which holds the lock file %2.")
                         .arg(processText(*holder), shownPath))};
    if (pause)
        pause();
    LockFileLook look = removeStale(path, fd);
    if (look.refusal)
        look.refusal->advice =
            QStringLiteral("The lock file %1 was left by process %2, which has ended, and you may "
                           "not remove it. Remove it (sudo rm %1), then open the port again.")
                .arg(shownPath)
                .arg(*holder);
    return look;
}

QString exclusiveAdvice(const QString &device, std::optional<pid_t> otherEnd)
{
    if (!device.startsWith(QStringLiteral("/dev/pts/")))
        return QStringLiteral("A program of another user may have it open (sudo fuser -v %1 names "
                              "it); otherwise unplug the device and plug it in again.")
            .arg(device);
    return QStringLiteral("A program ended by a signal cannot give the reservation back, and a "
                          "pseudo-terminal keeps it until the program at its other end closes "
                          "it. Restart %1, then open the port again.")
        .arg(otherEnd ? processText(*otherEnd)
                      : QStringLiteral("the program that made the pseudo-terminal"));
}

} // namespace

std::optional<LinkDevice::Refusal> DeviceLock::takeLockFile(const QString &devicePath)
{
    const QString device = resolvedDevice(devicePath);
    if (device.isEmpty())
        return std::nullopt; // the open tells why
    const QString name = lockFileName(device);
    // Again while another program makes or takes over a lock file between the look and ours.
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        bool changed = false;
        for (const char *directory : kLockDirectories) {
            const QString path = QString::fromLatin1(directory) + u'/' + name;
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                continue;
            const LockFileLook look = lookAtLockFile(path, fd, m_pauseBeforeTakeover);
            ::close(fd);
            if (look.refusal)
                return look.refusal;
            changed = changed || look.changed;
        }
        if (changed)
            continue;
        const QString path = lockDirectory() + u'/' + name;
        switch (createLockFile(path)) {
        case Creation::Created:
            m_lockFile = path;
            return std::nullopt;
        case Creation::Unwritable:
            return std::nullopt;
        case Creation::Taken:
            break;
        }
    }
    return busy({});
}

// Written whole under another name, then linked into place: no other program
// ever reads half of it, and of two at once only one can succeed.
DeviceLock::Creation DeviceLock::createLockFile(const QString &path)
{
    QByteArray temporary =
        QFile::encodeName(QFileInfo(path).path() + QStringLiteral("/LTMP.XXXXXX"));
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return Creation::Unwritable;
    const QByteArray text = QByteArray::number(::getpid()).rightJustified(10) + '\n';
    const bool written =
        ::fchmod(fd, 0644) == 0 && ::write(fd, text.constData(), text.size()) == text.size();
    ::close(fd);
    const bool linked =
        written && ::link(temporary.constData(), QFile::encodeName(path).constData()) == 0;
    const int linkError = errno;
    ::unlink(temporary.constData());
    if (linked)
        return Creation::Created;
    return written && linkError == EEXIST ? Creation::Taken : Creation::Unwritable;
}

std::optional<LinkDevice::Refusal> DeviceLock::takeFlock(int fd, const QString &devicePath)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK)
        return std::nullopt;
    const std::optional<pid_t> holder = flockHolder(resolvedDevice(devicePath));
    if (!holder)
        return busy(QStringLiteral("Another program holds the device locked."));
    return busy(
        QStringLiteral("It is %1, which holds the device locked.").arg(processText(*holder)));
}

LinkDevice::Refusal DeviceLock::refusalOfExclusiveDevice(const QString &devicePath)
{
    const QString device = resolvedDevice(devicePath);
    if (const std::optional<pid_t> holder = flockHolder(device))
        return busy(
            QStringLiteral("It is %1, which holds the device locked.").arg(processText(*holder)));
    const DeviceUsers users = deviceUsers(device);
    if (users.holder)
        return busy(
            QStringLiteral("It is %1, which has the device open.").arg(processText(*users.holder)));
    return {Kind::ExclusiveWithoutHolder, QString::fromLocal8Bit(std::strerror(EBUSY)),
            exclusiveAdvice(device, users.otherEnd)};
}

void DeviceLock::release()
{
    if (!m_lockFile.isEmpty())
        ::unlink(QFile::encodeName(std::exchange(m_lockFile, {})).constData());
}
