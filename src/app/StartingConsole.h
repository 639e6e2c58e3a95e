#pragma once

// Makes stdout and stderr reach the console the program was started from where
// the platform does not (a Windows program with a window has no console of its
// own), and lets that console's Ctrl+C reach the program.
void useStartingConsole();
