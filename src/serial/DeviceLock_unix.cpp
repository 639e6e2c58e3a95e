#include "DeviceLock_unix.h"

#include <QFile>
#include <QFileInfo>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

using Kind = SerialError::Kind;

// Where serial programs keep lock files; on most systems one directory.
constexpr std::array<const char *, 2> kLockDirectories{"/run/lock", "/var/lock"};

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

// The PID a lock file names: ten ASCII digits and a newline in the usual format,
// the first of three lines in Qt's, a binary int in the oldest. Nothing where
// the text names no process.
std::optional<pid_t> lockHolder(const QByteArray &text)
{
    bool isNumber = false;
    qint64 pid = text.left(text.indexOf('\n')).trimmed().toLongLong(&isNumber);
    if (!isNumber && text.size() == sizeof(int)) {
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

LinkDevice::Refusal busy(const QString &advice)
{
    return {Kind::DeviceBusy, {}, advice};
}

// What another program's lock file means for this open: nothing where that
// program has ended and the file could be removed.
std::optional<LinkDevice::Refusal> refusalOfLockFile(const QString &path, const QByteArray &text)
{
    const QString shownPath = QFileInfo(path).canonicalFilePath();
    const std::optional<pid_t> holder = lockHolder(text);
    if (!holder)
        return busy(QStringLiteral("The lock file %1 names no process. If no program uses the "
                                   "device, remove it (rm %1).")
                        .arg(shownPath));
    if (!processHasEnded(*holder))
        return busy(QStringLiteral("It is %1, which holds the lock file %2.")
                        .arg(processText(*holder), shownPath));
    if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT)
        return std::nullopt;
    return LinkDevice::Refusal{
        Kind::StaleLock, QString::fromLocal8Bit(std::strerror(errno)),
        QStringLiteral("The lock file %1 was left by process %2, which has ended, and you may "
                       "not remove it. Remove it (sudo rm %1), then open the port again.")
            .arg(shownPath)
            .arg(*holder)};
}

} // namespace

std::optional<LinkDevice::Refusal> DeviceLock::takeLockFile(const QString &devicePath)
{
    const QString device = resolvedDevice(devicePath);
    if (device.isEmpty())
        return std::nullopt; // the open tells why
    const QString name = lockFileName(device);
    // Twice: another program may make its lock file between the look and ours.
    for (int attempt = 0; attempt < 2; ++attempt) {
        for (const char *directory : kLockDirectories) {
            QFile existing(QString::fromLatin1(directory) + u'/' + name);
            if (!existing.open(QIODevice::ReadOnly))
                continue;
            if (std::optional<LinkDevice::Refusal> refusal =
                    refusalOfLockFile(existing.fileName(), existing.readAll()))
                return refusal;
        }
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

void DeviceLock::release()
{
    if (!m_lockFile.isEmpty())
        ::unlink(QFile::encodeName(std::exchange(m_lockFile, {})).constData());
}
