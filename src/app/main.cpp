#include "CommandLine.h"
#include "FontConfigPreload.h"
#include "QtRuntimeChoice.h"
#include "ShutdownWatch.h"
#include "TQ905Panel.h"

#include <QApplication>
#include <QCommandLineParser>

#include <optional>

int main(int argc, char *argv[])
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Test panel for a TQ905 board on a serial port. The port is chosen in "
                       "the window; there are no other options."));
    if (const std::optional<int> status = readCommandLine(parser, "tq905-panel", argc, argv))
        return *status;
    chooseQtRuntime();
    FontConfigPreload fontConfig;
    QApplication application(argc, argv);
    fontConfig.wait();
    TQ905Panel panel;
    const ShutdownWatch shutdownWatch(panel);
    panel.show();
    return QApplication::exec();
}
