// The virtual board on its own: prints the device path of its pseudo-terminal
// and answers whatever opens it, with its window or --headless.

#include "BoardOptions.h"
#include "BoardWindow.h"
#include "CommandLine.h"
#include "VirtualBoard.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A virtual TQ905 board on a pseudo-terminal. The first line on stdout is "
                       "the device to open."));
    const QCommandLineOption headlessOption(QStringLiteral("headless"),
                                            QStringLiteral("Run without the board's window."));
    parser.addOption(headlessOption);
    boardoptions::addTo(parser);
    if (const std::optional<int> status = readCommandLine(parser, "tq905-board", argc, argv))
        return *status;
    // Headless needs no display, so no widget application either.
    const bool headless = parser.isSet(headlessOption);
    std::unique_ptr<QCoreApplication> application;
    if (headless)
        application = std::make_unique<QCoreApplication>(argc, argv);
    else
        application = std::make_unique<QApplication>(argc, argv);

    VirtualBoard board;
    if (!board.isOpen()) {
        std::fputs("tq905-board: no pseudo-terminal to be had\n", stderr);
        return 1;
    }
    if (const std::optional<QString> complaint = boardoptions::apply(parser, board)) {
        std::fprintf(stderr, "tq905-board: %s\n", qPrintable(*complaint));
        return 2;
    }
    std::printf("%s\n", board.devicePath().toLocal8Bit().constData());
    std::fflush(stdout);

    std::unique_ptr<BoardWindow> window;
    if (!headless) {
        window = std::make_unique<BoardWindow>(board);
        window->show();
    }
    return application->exec();
}
