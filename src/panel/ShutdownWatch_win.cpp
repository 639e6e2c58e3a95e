// Asked to end on Windows: Ctrl+C, Ctrl+Break or the console closed, where the
// panel runs attached to the console it was started from, and the end of the
// session (logging off, shutting down).
#include "ShutdownWatch.h"

#include "TQ905Panel.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <windows.h>

#include <atomic>

namespace {

std::atomic<TQ905Panel *> g_panel = nullptr;

// Runs on a thread of the system's. The panel is closed on its own thread and
// this waits for it: when the console closes, the process ends as soon as this
// returns, so the port must be closed by then.
BOOL WINAPI onConsoleControl(DWORD)
{
    TQ905Panel *panel = g_panel;
    if (!panel)
        return FALSE;
    QMetaObject::invokeMethod(
        panel, [panel] { panel->close(); }, Qt::BlockingQueuedConnection);
    return TRUE;
}

} // namespace

struct ShutdownWatch::Platform {
};

ShutdownWatch::ShutdownWatch(TQ905Panel &panel)
{
    g_panel = &panel;
    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
    // Qt emits aboutToQuit on WM_ENDSESSION; the system ends the process soon
    // after, without the window being closed.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &panel,
                     [&panel] { panel.COM_CLOSE(); });
}

ShutdownWatch::~ShutdownWatch()
{
    ::SetConsoleCtrlHandler(onConsoleControl, FALSE);
    g_panel = nullptr;
}
