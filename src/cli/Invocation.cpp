#include "Invocation.h"

#include "CommandTable.h"
#include "NetAddress.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace cli {

namespace {

// The help's account of the commands, one line each.
QString description()
{
    QString text = QStringLiteral(R"(
Runs the commands of the TQ905 test panel from a shell: each command sends the
frame the panel sends for the same input, and a query waits for the reply as
the panel does. The port is opened as SET opens it (9600,N,8,1, RTS on).

Commands, one after the other:
)");
    constexpr qsizetype kUsageWidth = 17;
    for (const commands::CommandRow &row : commands::commandTable())
        text += QStringLiteral("  ") + row.usage().leftJustified(kUsageWidth - 1) + u' '
                + row.summary + u'\n';
    return text
           + QStringLiteral(
               R"(  -                instead of commands: one command a line on standard input

A network port is spelled as pyserial spells it: rfc2217://HOST:PORT or
socket://HOST:PORT, the scheme in any case, a path after the port ignored, and
pyserial's options after a "?", joined by "&". Only timeout=SECONDS
(rfc2217:// only) changes anything: how long the server may take to agree
when the port opens (default 3). logging=LEVEL, ign_set_control and
poll_modem are taken and change nothing: nothing is logged, the answer to
SET-CONTROL is never waited for, and the modem lines are not read.

Exit status: 0 done, 1 no reply in time ("Receive ERR"), 2 not understood,
3 the port cannot be opened, 4 the device has gone away, 5 the output cannot
be written.)");
}

std::optional<std::chrono::milliseconds> milliseconds(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (!digits.match(text).hasMatch() || text.toInt() == 0)
        return std::nullopt;
    return std::chrono::milliseconds(text.toInt());
}

Invocation refused(const QString &why, bool json)
{
    Invocation invocation;
    invocation.text = why;
    invocation.json = json;
    return invocation;
}

// Where the port is: exactly one --port or --device, each given once; or why not.
std::optional<QString> readPort(const QCommandLineParser &parser, const QCommandLineOption &port,
                                const QCommandLineOption &device, Invocation &invocation)
{
    const QStringList ports = parser.values(port);
    const QStringList devices = parser.values(device);
    if (ports.size() + devices.size() != 1)
        return ports.size() + devices.size() == 0
                   ? QStringLiteral("give either --port N or --device PATH")
                   : QStringLiteral("give one --port N or one --device PATH, not more");
    if (!ports.isEmpty())
        invocation.portText = ports.first();
    else
        invocation.devicePath = devices.first();
    if (!invocation.devicePath || !looksLikeNetAddress(*invocation.devicePath))
        return std::nullopt;
    const std::variant<NetAddress, QString> address = readNetAddress(*invocation.devicePath);
    if (const auto *why = std::get_if<QString>(&address))
        return QStringLiteral("\"%1\" is not understood: %2; a network port is "
                              "rfc2217://HOST:PORT or socket://HOST:PORT")
            .arg(*invocation.devicePath, *why);
    return std::nullopt;
}

// tq905's options, in the order the help lists them.
struct Options {
    QCommandLineOption port{QStringLiteral("port"),
                            QStringLiteral("The port number, as in the panel's port box."),
                            QStringLiteral("N")};
    QCommandLineOption device{QStringLiteral("device"),
                              QStringLiteral("The serial device, instead of a port number, or a "
                                             "network port: rfc2217://HOST:PORT, "
                                             "socket://HOST:PORT (see below)."),
                              QStringLiteral("PATH")};
    QCommandLineOption timeout{QStringLiteral("timeout"),
                               QStringLiteral("How long a reply may take (default 3000)."),
                               QStringLiteral("MS")};
    QCommandLineOption json{QStringLiteral("json"),
                            QStringLiteral("One JSON object a line for every command.")};
    QCommandLineOption list{QStringLiteral("list"),
                            QStringLiteral("List the serial devices present and exit.")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Print this help and exit.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Print the name and version and exit.")};
};

void describe(QCommandLineParser &parser, const Options &options)
{
    parser.setApplicationDescription(description());
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.addOptions({options.port, options.device, options.timeout, options.json, options.list,
                       options.help, options.version});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("The commands above, or - for standard input."),
                                 QStringLiteral("command...|-"));
}

// The words after the options: "-" for a session, or commands; or why not.
std::optional<QString> readCommandWords(const QStringList &words, Invocation &invocation)
{
    if (words == QStringList{QStringLiteral("-")}) {
        invocation.session = true;
        return std::nullopt;
    }
    std::variant<QList<Command>, Complaint> commands = readCommands(words);
    if (auto *complaint = std::get_if<Complaint>(&commands))
        return *complaint;
    invocation.commands = std::get<QList<Command>>(std::move(commands));
    return std::nullopt;
}

// A --timeout given once, as a number of milliseconds from 1; or why not.
std::optional<QString> readTimeout(const QStringList &limits, Invocation &invocation)
{
    if (limits.isEmpty())
        return std::nullopt;
    const std::optional<std::chrono::milliseconds> limit =
        limits.size() == 1 ? milliseconds(limits.first()) : std::nullopt;
    if (!limit)
        return QStringLiteral("--timeout wants one number of milliseconds from 1, not \"%1\"")
            .arg(limits.join(u' '));
    invocation.timeout = *limit;
    return std::nullopt;
}

} // namespace

ExitStatus worse(ExitStatus a, ExitStatus b)
{
    return static_cast<int>(a) >= static_cast<int>(b) ? a : b;
}

Invocation readInvocation(const QStringList &arguments)
{
    QCommandLineParser parser;
    const Options options;
    describe(parser, options);
    const bool parsed = parser.parse(arguments);
    const bool jsonWanted = parser.isSet(options.json);
    if (!parsed)
        return refused(parser.errorText(), jsonWanted);
    Invocation invocation;
    if (parser.isSet(options.help)) {
        invocation.action = Invocation::Action::Help;
        invocation.text = parser.helpText();
        return invocation;
    }
    if (parser.isSet(options.version) || parser.isSet(options.list)) {
        invocation.action =
            parser.isSet(options.version) ? Invocation::Action::Version : Invocation::Action::List;
        return invocation;
    }
    invocation.json = jsonWanted;
    // The commands first: an option among them is the likelier mistake.
    std::optional<QString> why = readCommandWords(parser.positionalArguments(), invocation);
    if (!why)
        why = readPort(parser, options.port, options.device, invocation);
    if (!why)
        why = readTimeout(parser.values(options.timeout), invocation);
    if (why)
        return refused(*why, jsonWanted);
    invocation.action = Invocation::Action::Run;
    return invocation;
}

} // namespace cli
