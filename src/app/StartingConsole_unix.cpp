// A Unix program writes to the terminal it was started from as it is.
#include "StartingConsole.h"

void useStartingConsole()
{
}

void leaveStartingConsole()
{
}
