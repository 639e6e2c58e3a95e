// A Unix program writes to the terminal it was started from as it is. A file
// opened while descriptor 0, 1 or 2 is closed gets that number, so the numbers
// are taken first.
#include "StartingConsole.h"

#include <cerrno>
#include <initializer_list>

#include <fcntl.h>
#include <unistd.h>

bool openStandardDescriptors()
{
    bool outputWasClosed = false;
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free number, this one, as those below it are open by now.
        ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        outputWasClosed = outputWasClosed || fd == STDOUT_FILENO;
    }
    return outputWasClosed;
}

void useStartingConsole()
{
}

void leaveStartingConsole()
{
}
