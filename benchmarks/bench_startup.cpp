// Starts a program on the X display and reports how long it took to map its
// first top-level window, and its resident memory a while after that.
//
//   bench_startup SETTLE_MS PROGRAM [ARG...]
//       Prints "MAP_MS RSS_KB TITLE" and ends the program. The window counts as
//       the program's when its _NET_WM_PID is the child's pid, so the display
//       needs no window manager and no title has to be guessed.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long windowPid(Display *display, Window window, Atom pidAtom)
{
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &items, &after, &data)
            == Success
        && data && items == 1 && format == 32)
        pid = static_cast<long>(*reinterpret_cast<unsigned long *>(data));
    if (data)
        XFree(data);
    return pid;
}

std::string windowTitle(Display *display, Window window)
{
    XTextProperty text{};
    std::string title;
    if (XGetWMName(display, window, &text) && text.value) {
        title.assign(reinterpret_cast<const char *>(text.value), text.nitems);
        XFree(text.value);
    }
    return title;
}

long residentKilobytes(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

// Any error (a window gone before its property was read) is no reason to stop.
int ignoreErrors(Display *, XErrorEvent *)
{
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fputs("usage: bench_startup SETTLE_MS PROGRAM [ARG...]\n", stderr);
        return 2;
    }
    const std::chrono::milliseconds settle(std::atoi(argv[1]));
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fputs("bench_startup: no X display\n", stderr);
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    const Window root = DefaultRootWindow(display);
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);

    const Clock::time_point start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[2], argv + 2);
        std::perror(argv[2]);
        _exit(127);
    }

    const Clock::time_point deadline = start + std::chrono::seconds(30);
    std::string title;
    double mapMs = -1;
    while (mapMs < 0 && Clock::now() < deadline) {
        if (!XPending(display)) {
            pollfd x{ConnectionNumber(display), POLLIN, 0};
            ::poll(&x, 1, 50);
            if (waitpid(child, nullptr, WNOHANG) == child) {
                std::fprintf(stderr, "bench_startup: %s ended before showing a window\n", argv[2]);
                return 1;
            }
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != MapNotify || event.xmap.override_redirect)
            continue;
        if (windowPid(display, event.xmap.window, pidAtom) != child)
            continue;
        mapMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        title = windowTitle(display, event.xmap.window);
    }
    long rss = -1;
    if (mapMs >= 0) {
        std::this_thread::sleep_for(settle);
        rss = residentKilobytes(child);
    }
    kill(child, SIGTERM);
    for (int i = 0; i < 50 && waitpid(child, nullptr, WNOHANG) != child; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    XCloseDisplay(display);
    if (mapMs < 0 || rss < 0) {
        std::fprintf(stderr, "bench_startup: no window from %s within 30 s\n", argv[2]);
        return 1;
    }
    std::printf("%.1f %ld %s\n", mapMs, rss, title.c_str());
    return 0;
}
