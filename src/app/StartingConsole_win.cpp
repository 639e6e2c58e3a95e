// A Windows program with a window starts without a console: it joins the one it
// was started from, if any, and writes there unless its output already goes to
// a file or a pipe. Which is told by the C runtime's own descriptors, set up at
// the start: AttachConsole fills in the system's standard handles, but a
// descriptor found unconnected then stays so, and what is printed to it is lost.
#include "StartingConsole.h"

#include <windows.h>

#include <cstdio>
#include <io.h>

namespace {

bool connected(FILE *stream)
{
    const int descriptor = ::_fileno(stream);
    return descriptor >= 0 && ::_get_osfhandle(descriptor) >= 0;
}

} // namespace

// A Windows program's standard handles are no numbers that a file opened later
// could take.
bool openStandardDescriptors()
{
    return false;
}

void useStartingConsole()
{
    const bool outputConnected = connected(stdout);
    const bool errorConnected = connected(stderr);
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!outputConnected)
        std::freopen("CONOUT$", "w", stdout);
    if (!errorConnected)
        std::freopen("CONOUT$", "w", stderr);
}

// The panel then answers no Ctrl+C typed there for something else, and closing
// that console does not end it: cmd.exe does not wait for a program with a
// window, so its console is the next command's.
void leaveStartingConsole()
{
    std::fflush(stdout);
    std::fflush(stderr);
    ::FreeConsole();
}
