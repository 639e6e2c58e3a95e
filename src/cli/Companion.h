#pragma once

#include "CompanionConsole.h"
#include "Invocation.h"
#include "QueryExchange.h"
#include "SerialLink.h"

#include <optional>

// The command line's run: opens the port as "SET" does, runs the commands (or
// the lines of standard input) one by one as the panel's handlers run them, and
// closes the port; or prints the help, the version or the devices present, or
// why the command line is refused. No event loop runs; every wait sleeps on the
// device. Output that cannot be written ends the run.
class Companion
{
public:
    Companion(cli::Invocation invocation, CompanionConsole &console);

    // The worst that happened. An end request closes the port and ends the
    // program as it asked, without returning.
    cli::ExitStatus run();

private:
    cli::ExitStatus say(const QString &text);
    cli::ExitStatus refuse();
    cli::ExitStatus open();
    // The commands or the session; standard output lost ends them.
    cli::ExitStatus runOnPort();
    // Takes the reply still owed off the line and closes the port.
    void leaveLine();
    cli::ExitStatus runCommands();
    cli::ExitStatus runSession();
    cli::ExitStatus runOne(const cli::Command &command, std::optional<int> line);
    cli::ExitStatus runQuery(const cli::Command &command, std::optional<int> line);
    void send(const QByteArray &frame);
    void answerNothing();
    // Tells of a failure on standard error and, with --json, on standard output.
    // A complaint about words names them itself.
    enum class Naming { ByCommand, ByComplaint };
    cli::ExitStatus fail(cli::ExitStatus status, std::optional<int> line,
                         const QString &commandText, const QByteArray &frame,
                         const QString &message, Naming naming = Naming::ByCommand);
    QString messageOf(const SerialError &error) const;
    QString lostDeviceMessage();
    void print(CompanionConsole::Stream stream, const QByteArray &bytes);

    cli::Invocation m_invocation;
    CompanionConsole &m_console;
    SerialLink m_link;
    QueryExchange m_exchange;
    std::optional<SerialError> m_lostDevice;
};
