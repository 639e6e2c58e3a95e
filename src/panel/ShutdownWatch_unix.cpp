// Asked to end on Linux and other Unix systems: an end signal (EndSignals_unix.h),
// or the window destroyed by another X client. Where Qt ends the process by itself
// (the X connection lost), the port is still closed on the way out, so its lock
// file goes too. (The session's end needs nothing here: Qt closes every window on
// the session manager's Quit.)
#include "ShutdownWatch.h"

#include "EndSignals_unix.h"
#include "TQ905Panel.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSocketNotifier>

#include <cstdlib>
#include <utility>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// The signal handler's end [0] and the event thread's end [1] of a socket pair.
int g_signalSockets[2] = {-1, -1};
TQ905Panel *g_panel = nullptr;

// Only async-signal-safe work here: one byte, read on the event thread.
void onEndSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalSockets[0], &byte, 1);
}

// Qt's X connection handling calls exit() when the connection breaks, which
// unwinds no stack: the panel is never destroyed, so close its port here.
void closePortAtExit()
{
    if (g_panel)
        g_panel->COM_CLOSE();
}

// An X DestroyNotify event as the X protocol lays it out; the one event looked
// at does not warrant the X development headers.
struct XDestroyNotifyEvent {
    quint8 responseType;
    quint8 unused;
    quint16 sequence;
    quint32 event;
    quint32 window;
};
constexpr quint8 kXDestroyNotify = 17;
constexpr quint8 kXSentEventFlag = 0x80;

} // namespace

struct ShutdownWatch::Platform : QObject, QAbstractNativeEventFilter {
    explicit Platform(TQ905Panel &panel);
    ~Platform() override;
    Platform(const Platform &) = delete;
    Platform &operator=(const Platform &) = delete;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;
    void installSignalHandlers();
    void onSignalByte();

    TQ905Panel &m_panel;
    std::unique_ptr<QSocketNotifier> m_signalNotifier;
    // The end signals this took over, each with what was there before.
    std::vector<TakenSignal> m_takenSignals;
};

ShutdownWatch::ShutdownWatch(TQ905Panel &panel)
    : m_platform(std::make_unique<Platform>(panel))
{
}

ShutdownWatch::~ShutdownWatch() = default;

ShutdownWatch::Platform::Platform(TQ905Panel &panel)
    : m_panel(panel)
{
    Q_ASSERT(!g_panel);
    g_panel = &panel;
    std::atexit(closePortAtExit);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalSockets)
        == 0) {
        m_signalNotifier =
            std::make_unique<QSocketNotifier>(g_signalSockets[1], QSocketNotifier::Read);
        connect(m_signalNotifier.get(), &QSocketNotifier::activated, this, &Platform::onSignalByte);
        installSignalHandlers();
    }
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        QCoreApplication::instance()->installNativeEventFilter(this);
}

ShutdownWatch::Platform::~Platform()
{
    QCoreApplication::instance()->removeNativeEventFilter(this);
    for (const TakenSignal &taken : m_takenSignals)
        ::sigaction(taken.signal, &taken.previous, nullptr);
    m_signalNotifier.reset();
    for (int &socket : g_signalSockets) {
        if (socket >= 0)
            ::close(std::exchange(socket, -1));
    }
    g_panel = nullptr;
}

void ShutdownWatch::Platform::installSignalHandlers()
{
    struct sigaction action = {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    m_takenSignals = takeSignalsNotIgnored(endSignals(), action);
}

void ShutdownWatch::Platform::onSignalByte()
{
    char bytes[16];
    while (::read(g_signalSockets[1], bytes, sizeof bytes) > 0) { }
    m_panel.close();
}

// Qt's X platform ignores the destruction of its window by another client; the
// program would go on without a window, holding the port.
bool ShutdownWatch::Platform::nativeEventFilter(const QByteArray &eventType, void *message,
                                                qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *destroyed = static_cast<const XDestroyNotifyEvent *>(message);
    if ((destroyed->responseType & ~kXSentEventFlag) != kXDestroyNotify)
        return false;
    if (m_panel.internalWinId() != 0 && destroyed->window == m_panel.internalWinId())
        m_panel.close();
    return false;
}
