#pragma once

#include <optional>

class QCommandLineParser;

// The command line of the panel and its tools, read before anything needs a
// display: --help and --version besides the options the program has added to
// `parser`; the options Qt takes for itself (-platform, -display, -style, ...)
// pass through to the application object created afterwards.
//
// Returns the exit status if the program is to end here: 0 after printing the
// help or the version on stdout, 2 after an unknown option, a missing value or a
// stray argument, with a one-line usage on stderr.
std::optional<int> readCommandLine(QCommandLineParser &parser, const char *programName, int argc,
                                   char *argv[]);
