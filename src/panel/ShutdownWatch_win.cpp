// Asked to end on Windows: the end of the session (logging off, shutting down),
// told to the window. There are no console events to watch: the panel lets go
// of the console it was started from once its command line is handled, and a
// program that loads user32.dll (Qt Core does) is never sent CTRL_LOGOFF_EVENT
// or CTRL_SHUTDOWN_EVENT.
#include "ShutdownWatch.h"

#include "TQ905Panel.h"

#include <QCoreApplication>

struct ShutdownWatch::Platform {
};

ShutdownWatch::ShutdownWatch(TQ905Panel &panel)
{
    // Qt emits aboutToQuit on WM_ENDSESSION; the system ends the process soon
    // after, without the window being closed.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &panel,
                     [&panel] { panel.COM_CLOSE(); });
}

ShutdownWatch::~ShutdownWatch() = default;
