// A Windows program with a window starts without a console: it joins the one it
// was started from, if any, and writes there unless its output already goes to
// a file or a pipe.
#include "StartingConsole.h"

#include <windows.h>

#include <cstdio>
#include <utility>

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
    for (const auto &[id, stream] :
         {std::pair(STD_OUTPUT_HANDLE, stdout), std::pair(STD_ERROR_HANDLE, stderr)}) {
        const HANDLE handle = ::GetStdHandle(id);
        if (handle == nullptr || handle == INVALID_HANDLE_VALUE
            || ::GetFileType(handle) == FILE_TYPE_UNKNOWN)
            std::freopen("CONOUT$", "w", stream);
    }
}
