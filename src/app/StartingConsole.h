#pragma once

// Makes standard input, output and error usable before anything else opens a
// file: where one was closed, the null device is opened in its place, so that a
// serial device opened later cannot take its number and receive the messages.
// Returns whether standard output was closed, for a program whose output matters.
bool openStandardDescriptors();

// Makes stdout and stderr reach the console the program was started from, while
// the command line is handled, where the platform does not (a Windows program
// with a window has no console of its own).
void useStartingConsole();
// Lets that console go once the command line has been handled, so that what is
// later typed there, or closing it, does not reach the program.
void leaveStartingConsole();
