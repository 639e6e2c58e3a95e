#pragma once

// Makes stdout and stderr reach the console the program was started from, while
// the command line is handled, where the platform does not (a Windows program
// with a window has no console of its own).
void useStartingConsole();
// Lets that console go once the command line has been handled, so that what is
// later typed there, or closing it, does not reach the program.
void leaveStartingConsole();
