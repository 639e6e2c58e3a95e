#include "AvailablePorts.h"
#include "Companion.h"
#include "CompanionConsole.h"
#include "Invocation.h"
#include "Version.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    // QSerialPort needs the event dispatcher an application brings, though none runs.
    const QCoreApplication application(argc, argv);
    const cli::Invocation invocation = cli::readInvocation(QCoreApplication::arguments());
    CompanionConsole console;
    const auto print = [&console](CompanionConsole::Stream stream, const QString &text) {
        if (!console.write(stream, text.toUtf8()))
            console.endAsRequested();
    };
    switch (invocation.action) {
    case cli::Invocation::Action::Help:
        print(CompanionConsole::Stream::Output, invocation.text);
        return 0;
    case cli::Invocation::Action::Version:
        print(CompanionConsole::Stream::Output, QStringLiteral("tq905 " TQ905_VERSION "\n"));
        return 0;
    case cli::Invocation::Action::List:
        print(CompanionConsole::Stream::Output, availablePortsSummary() + u'\n');
        return 0;
    case cli::Invocation::Action::Refuse: {
        QString complaint = invocation.text;
        if (complaint.endsWith(u'.'))
            complaint.chop(1);
        print(CompanionConsole::Stream::Errors,
              QStringLiteral("tq905: %1. tq905 --help lists the options and commands.\n")
                  .arg(complaint));
        return static_cast<int>(cli::ExitStatus::NotUnderstood);
    }
    case cli::Invocation::Action::Run:
        break;
    }
    return static_cast<int>(Companion(invocation, console).run());
}
