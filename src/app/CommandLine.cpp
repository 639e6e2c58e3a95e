#include "CommandLine.h"

#include "StartingConsole.h"
#include "Version.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

// What QGuiApplication, QApplication and the X11 platform take from argv.
const char *const kQtOptionsWithValue[] = {
    "platform",        "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon",        "qwindowtitle",  "session",
    "display",         "geometry",           "name",          "visual",
    "style",           "stylesheet",         "qmljsdebugger"};
const char *const kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

void acceptQtOptions(QCommandLineParser &parser)
{
    for (const char *name : kQtOptionsWithValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : kQtFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

QString firstComplaint(const QCommandLineParser &parser)
{
    if (!parser.errorText().isEmpty())
        return parser.errorText();
    return QStringLiteral("Unexpected argument '%1'.")
        .arg(parser.positionalArguments().constFirst());
}

} // namespace

std::optional<int> readCommandLine(QCommandLineParser &parser, const char *programName, int argc,
                                   char *argv[])
{
    openStandardDescriptors();
    useStartingConsole();
    QCoreApplication::setApplicationName(QString::fromLatin1(programName));
    QCoreApplication::setApplicationVersion(QStringLiteral(TQ905_VERSION));
    // Qt's own options have one dash and whole words: -platform, not -p -l -a ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Print this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Print the name and version and exit."));
    parser.addOptions({help, version});
    acceptQtOptions(parser);

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "%s: %s Usage: %s [options]; %s --help lists them.\n", programName,
                     qPrintable(firstComplaint(parser)), programName, programName);
        return 2;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", programName, TQ905_VERSION);
        return 0;
    }
    if (parser.isSet(help)) {
        // A core application, which needs no display, names the program in the usage line.
        QCoreApplication application(argc, argv);
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    leaveStartingConsole();
    return std::nullopt;
}
