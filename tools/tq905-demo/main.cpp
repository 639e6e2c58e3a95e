// The demo: the panel and a virtual board side by side. Press "SET" with any
// port number and the panel talks to the board.

#include "BoardOptions.h"
#include "Demo.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The TQ905 panel with a virtual board. The first line on stdout is the "
                       "board's device."));
    parser.addHelpOption();
    boardoptions::addTo(parser);
    parser.process(application);

    Demo demo;
    if (!demo.board().isOpen()) {
        std::fputs("tq905-demo: no pseudo-terminal to be had\n", stderr);
        return 1;
    }
    if (const std::optional<QString> complaint = boardoptions::apply(parser, demo.board())) {
        std::fprintf(stderr, "tq905-demo: %s\n", qPrintable(*complaint));
        return 2;
    }
    std::printf("%s\n", demo.board().devicePath().toLocal8Bit().constData());
    std::fflush(stdout);
    demo.show();
    return QApplication::exec();
}
