#include "Invocation.h"

#include "NetAddress.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace cli {

namespace {

const QString kDescription = QStringLiteral(R"(
Runs the commands of the TQ905 test panel from a shell: each command sends the
frame the panel sends for the same input, and a query waits for the reply as
the panel does. The port is opened as SET opens it (9600,N,8,1, RTS on).

Commands, one after the other:
  bit N on|off     switch bit N (0-7) of port B
  out TEXT         write port B; TEXT goes into the frame as the OUT box's text
  tris TEXT        write port B's direction byte, as the TRIS box
  pwm 0|1 VALUE    set a PWM output, VALUE 0-1023
  bz LENGTH FREQ   sound the buzzer, as the Long and Freq boxes
  in               read ports A and B; prints them, e.g. 5A 3C
  ad 0|1|2|3       read an analog channel; prints its value, e.g. 2A7
  -                instead of commands: one command a line on standard input

Exit status: 0 done, 1 no reply in time ("Receive ERR"), 2 not understood,
3 the port cannot be opened, 4 the device has gone away.)");

std::optional<std::chrono::milliseconds> milliseconds(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    return std::chrono::milliseconds(text.toInt());
}

Invocation refused(const QString &why)
{
    Invocation invocation;
    invocation.text = why;
    return invocation;
}

} // namespace

ExitStatus worse(ExitStatus a, ExitStatus b)
{
    return static_cast<int>(a) >= static_cast<int>(b) ? a : b;
}

Invocation readInvocation(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("The port number, as in the panel's port box."),
                                  QStringLiteral("N"));
    const QCommandLineOption device(QStringLiteral("device"),
                                    QStringLiteral("The serial device, instead of a port number, "
                                                   "or a network port: rfc2217://HOST:PORT, "
                                                   "socket://HOST:PORT."),
                                    QStringLiteral("PATH"));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("How long a reply may take (default 3000)."),
                                     QStringLiteral("MS"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("One JSON object a line for every command."));
    const QCommandLineOption list(QStringLiteral("list"),
                                  QStringLiteral("List the serial devices present and exit."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Print this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Print the name and version and exit."));
    parser.addOptions({port, device, timeout, json, list, help, version});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("The commands above, or - for standard input."),
                                 QStringLiteral("command...|-"));

    if (!parser.parse(arguments))
        return refused(parser.errorText());
    Invocation invocation;
    if (parser.isSet(help)) {
        invocation.action = Invocation::Action::Help;
        invocation.text = parser.helpText();
        return invocation;
    }
    if (parser.isSet(version) || parser.isSet(list)) {
        invocation.action =
            parser.isSet(version) ? Invocation::Action::Version : Invocation::Action::List;
        return invocation;
    }
    if (parser.isSet(port) == parser.isSet(device))
        return refused(QStringLiteral("give either --port N or --device PATH"));
    if (parser.isSet(port))
        invocation.portText = parser.value(port);
    else
        invocation.devicePath = parser.value(device);
    if (invocation.devicePath && looksLikeNetAddress(*invocation.devicePath)
        && !parseNetAddress(*invocation.devicePath))
        return refused(QStringLiteral("\"%1\" is not understood; a network port is "
                                      "rfc2217://HOST:PORT or socket://HOST:PORT")
                           .arg(*invocation.devicePath));
    if (parser.isSet(timeout)) {
        const std::optional<std::chrono::milliseconds> limit = milliseconds(parser.value(timeout));
        if (!limit)
            return refused(QStringLiteral("--timeout wants milliseconds, not \"%1\"")
                               .arg(parser.value(timeout)));
        invocation.timeout = *limit;
    }
    invocation.json = parser.isSet(json);

    const QStringList words = parser.positionalArguments();
    if (words == QStringList{QStringLiteral("-")}) {
        invocation.session = true;
    } else {
        std::variant<QList<Command>, Complaint> commands = readCommands(words);
        if (auto *complaint = std::get_if<Complaint>(&commands))
            return refused(*complaint);
        invocation.commands = std::get<QList<Command>>(std::move(commands));
    }
    invocation.action = Invocation::Action::Run;
    return invocation;
}

} // namespace cli
