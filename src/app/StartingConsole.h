#pragma once

// Makes standard input, output and error usable before anything else opens a
// file: where one was closed, the null device is opened in its place, so that a
// serial device opened later cannot take its number and receive the messages.
// Returns whether standard output was closed, for a program whose output matters.
bool openStandardDescriptors();

// Makes stdout and stderr reach the console the program was started from where
// the platform does not (a Windows program with a window has no console of its
// own), and lets that console's Ctrl+C reach the program.
void useStartingConsole();
