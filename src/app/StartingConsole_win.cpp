// A Windows program with a window starts without a console: it joins the one it
// was started from, if any, and writes there unless its output already goes to
// a file, a pipe or the null device. Which is told by the C runtime's own
// descriptors, set up at the start: AttachConsole fills in the system's standard
// handles, but a descriptor found unconnected then stays so, and what is printed
// to it is lost. A descriptor may also hold a console's handle, one that a
// console program handed down (STARTF_USESTDHANDLES) before this program was
// attached to that console: the stream is opened on the console anew then too.
#include "StartingConsole.h"

#include <windows.h>

#include <cstdio>
#include <initializer_list>
#include <io.h>

namespace {

// Once attached: whether the stream's descriptor goes somewhere of its own (a
// file, a pipe, the null device) rather than to a console or nowhere.
bool redirected(FILE *stream)
{
    const intptr_t handle = ::_get_osfhandle(::_fileno(stream));
    DWORD mode = 0;
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the C runtime keeps the handle as a number
    return handle >= 0 && !::GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode);
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
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    for (FILE *stream : {stdout, stderr})
        if (!redirected(stream))
            std::freopen("CONOUT$", "w", stream);
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
