#include "DeviceAccess_unix.h"

#include <QFileInfo>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

namespace {

QString userName(uid_t uid)
{
    const passwd *entry = ::getpwuid(uid);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(uid);
}

QString groupName(gid_t gid)
{
    const group *entry = ::getgrgid(gid);
    return entry ? QString::fromLocal8Bit(entry->gr_name) : QString::number(gid);
}

// The permission bits as ls shows them, rw-rw----.
QString permissionText(mode_t mode)
{
    constexpr char kLetters[] = "rwxrwxrwx";
    QString text;
    for (int i = 0; i < 9; ++i)
        text += (mode & (S_IRUSR >> i)) ? QChar::fromLatin1(kLetters[i]) : u'-';
    return text;
}

} // namespace

QString accessAdvice(const QString &devicePath)
{
    struct stat info = {};
    if (::stat(devicePath.toLocal8Bit().constData(), &info) != 0)
        return {};
    const QString group = groupName(info.st_gid);
    constexpr mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;
    // Joining root's group would hand out far more than one device.
    if (info.st_gid != 0 && (info.st_mode & kGroupReadWrite) == kGroupReadWrite)
        return QStringLiteral("Join the group \"%1\" that owns the device "
                              "(sudo usermod -aG %1 $USER), then log in again.")
            .arg(group);
    return QStringLiteral("The device belongs to user \"%1\" and group \"%2\" with mode %3 (%4); "
                          "there is no group to join for it. Ask the system's administrator for "
                          "access, for example a udev rule that gives the device to the group "
                          "\"dialout\" with mode 0660.")
        .arg(userName(info.st_uid), group,
             QStringLiteral("%1").arg(info.st_mode & 07777, 4, 8, QLatin1Char('0')),
             permissionText(info.st_mode));
}

std::optional<QString> nonDeviceAdvice(const QString &path)
{
    struct stat info = {};
    if (::stat(path.toLocal8Bit().constData(), &info) != 0 || S_ISCHR(info.st_mode))
        return std::nullopt;
    QString what = QStringLiteral("a regular file");
    if (S_ISFIFO(info.st_mode))
        what = QStringLiteral("a named pipe (FIFO)");
    else if (S_ISDIR(info.st_mode))
        what = QStringLiteral("a directory");
    else if (S_ISSOCK(info.st_mode))
        what = QStringLiteral("a socket");
    else if (S_ISBLK(info.st_mode))
        what = QStringLiteral("a block device (a disk)");
    return QStringLiteral("%1 is %2. Check that this is the device you meant; if it was "
                          "put there by mistake, remove it.")
        .arg(path, what);
}
