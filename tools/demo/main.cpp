// The demo: the panel and a virtual board side by side. Press "SET" with any
// port number and the panel talks to the board.

#include "BoardOptions.h"
#include "CommandLine.h"
#include "Demo.h"
#include "QtRuntimeChoice.h"
#include "ShutdownWatch.h"
#include "StdinInspector.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <optional>

int main(int argc, char *argv[])
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The TQ905 panel with a virtual board. The first line on stdout is the "
                       "board's device."));
    boardoptions::addTo(parser);
    const QCommandLineOption inspect(
        QStringLiteral("inspect"),
        QStringLiteral("Answer each line \"dump\" on stdin with the panel's controls and the open "
                       "windows as one JSON line on stdout (for tests)."));
    parser.addOption(inspect);
    if (const std::optional<int> status = readCommandLine(parser, "tq905-demo", argc, argv))
        return *status;
    chooseQtRuntime();
    QApplication application(argc, argv);

    Demo demo;
    const ShutdownWatch shutdownWatch(demo.panel());
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
    std::optional<StdinInspector> inspector;
    if (parser.isSet(inspect))
        inspector.emplace(demo.panel());
    return QApplication::exec();
}
