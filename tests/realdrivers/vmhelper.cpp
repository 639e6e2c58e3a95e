// In the virtual machine of the real-driver check, beside busybox:
//   vmhelper lines DEVICE      the line as the driver holds it, "9600 8N1 -crtscts
//                              -hupcl dtr rts" (TIOCMGET for the modem lines)
//   vmhelper run UID CMD...    runs CMD as UID (groups dialout) and writes its
//                              end to the kernel log, "vmhelper: ended STATUS
//                              cpu MS", stamped by the kernel's own clock
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr gid_t kDialout = 20;

std::string flag(bool on, const char *name)
{
    return std::string(on ? " " : " -") + name;
}

int lines(const char *device)
{
    const int fd = ::open(device, O_RDONLY | O_NOCTTY | O_NONBLOCK);
    termios line{};
    int modem = 0;
    if (fd < 0 || ::tcgetattr(fd, &line) != 0 || ::ioctl(fd, TIOCMGET, &modem) != 0) {
        std::perror(device);
        return 1;
    }
    const char parity = (line.c_cflag & PARENB) ? ((line.c_cflag & PARODD) ? 'O' : 'E') : 'N';
    const int bits = (line.c_cflag & CSIZE) == CS8 ? 8 : (line.c_cflag & CSIZE) == CS7 ? 7 : 0;
    std::printf("%s %d%c%d%s%s%s%s\n", ::cfgetospeed(&line) == B9600 ? "9600" : "other", bits,
                parity, (line.c_cflag & CSTOPB) ? 2 : 1,
                flag(line.c_cflag & CRTSCTS, "crtscts").c_str(),
                flag(line.c_cflag & HUPCL, "hupcl").c_str(), flag(modem & TIOCM_DTR, "dtr").c_str(),
                flag(modem & TIOCM_RTS, "rts").c_str());
    return 0;
}

int run(uid_t uid, char *command[])
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (uid != 0
            && (::setgroups(1, &kDialout) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0))
            ::_exit(126);
        ::execv(command[0], command);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    const long cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
                       + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
    const int ended = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const std::string mark =
        "vmhelper: ended " + std::to_string(ended) + " cpu " + std::to_string(cpuMs) + "\n";
    const int log = ::open("/dev/kmsg", O_WRONLY);
    if (log < 0 || ::write(log, mark.data(), mark.size()) < 0)
        std::perror("/dev/kmsg");
    return ended;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "lines") == 0)
        return lines(argv[2]);
    if (argc > 3 && std::strcmp(argv[1], "run") == 0)
        return run(static_cast<uid_t>(std::atoi(argv[2])), argv + 3);
    std::fputs("usage: vmhelper lines DEVICE | vmhelper run UID COMMAND...\n", stderr);
    return 2;
}
