#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <optional>

#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

// A network of the test's own, where a host can vanish and a name service
// never answers, without touching this computer's: a child process in new
// network and mount namespaces (and a user namespace where the test is not
// root), with a loopback only, /etc/hosts as given, and /etc/resolv.conf
// naming a server on its loopback that takes every query and answers none.
namespace ownnetwork {

// Takes the loopback up or down: down, every packet to a host on it is lost,
// as to a host whose power was cut.
inline bool setLoopback(bool up)
{
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request = {};
    std::snprintf(request.ifr_name, IFNAMSIZ, "lo");
    bool done = ::ioctl(probe, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags =
        static_cast<short>(up ? request.ifr_flags | IFF_UP : request.ifr_flags & ~IFF_UP);
    done = done && ::ioctl(probe, SIOCSIFFLAGS, &request) == 0;
    ::close(probe);
    return done;
}

inline bool writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// Where the child may not make its namespaces, false (the test skips).
inline bool enter(const QTemporaryDir &dir, const QByteArray &hosts)
{
    const bool root = ::geteuid() == 0;
    const QByteArray ids = QByteArray::number(::geteuid()) + ' ' + QByteArray::number(::getegid());
    if (::unshare(CLONE_NEWNET | CLONE_NEWNS | (root ? 0 : CLONE_NEWUSER)) != 0)
        return false;
    if (!root
        && !(writeFile("/proc/self/setgroups", "deny")
             && writeFile("/proc/self/uid_map", "0 " + ids.split(' ')[0] + " 1")
             && writeFile("/proc/self/gid_map", "0 " + ids.split(' ')[1] + " 1")))
        return false;
    const QString resolver = dir.filePath("resolv.conf"), names = dir.filePath("hosts");
    // Private first, so that nothing mounted here reaches this computer's mounts.
    return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
           && writeFile(resolver, "nameserver 127.0.0.1\noptions timeout:30 attempts:1\n")
           && writeFile(names, hosts)
           && ::mount(qPrintable(resolver), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0
           && ::mount(qPrintable(names), "/etc/hosts", nullptr, MS_BIND, nullptr) == 0
           && setLoopback(true);
}

// Runs `body` in such a child; its answer is what went wrong, empty for
// nothing. Nothing where the system lets no namespace be made.
inline std::optional<QString> run(const std::function<QString()> &body,
                                  const QByteArray &hosts = "127.0.0.1 localhost\n")
{
    constexpr int kNoNamespace = 77;
    const QTemporaryDir dir;
    int answer[2];
    if (::pipe(answer) != 0)
        return QStringLiteral("no pipe");
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(answer[0]);
        if (!enter(dir, hosts))
            ::_exit(kNoNamespace);
        // The name service: takes every query, answers none.
        const int silent = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(53);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(silent, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            ::_exit(1);
        const QByteArray wrong = body().toUtf8();
        [[maybe_unused]] const ssize_t written = ::write(answer[1], wrong.data(), wrong.size());
        ::_exit(0);
    }
    ::close(answer[1]);
    QByteArray wrong;
    char buffer[1024];
    for (ssize_t count; (count = ::read(answer[0], buffer, sizeof buffer)) > 0;)
        wrong.append(buffer, count);
    ::close(answer[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == kNoNamespace)
        return std::nullopt;
    return WIFEXITED(status) ? QString::fromUtf8(wrong) : QStringLiteral("the child crashed");
}

} // namespace ownnetwork
