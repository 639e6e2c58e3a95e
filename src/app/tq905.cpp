#include "AvailablePorts.h"
#include "Companion.h"
#include "CompanionConsole.h"
#include "Invocation.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // QSerialPort needs the event dispatcher an application brings, though none runs.
    const QCoreApplication application(argc, argv);
    const cli::Invocation invocation = cli::readInvocation(QCoreApplication::arguments());
    switch (invocation.action) {
    case cli::Invocation::Action::Help:
        std::fputs(qPrintable(invocation.text), stdout);
        return 0;
    case cli::Invocation::Action::Version:
        std::printf("tq905 %s\n", TQ905_VERSION);
        return 0;
    case cli::Invocation::Action::List:
        std::printf("%s\n", qPrintable(availablePortsSummary()));
        return 0;
    case cli::Invocation::Action::Refuse: {
        QString complaint = invocation.text;
        if (complaint.endsWith(u'.'))
            complaint.chop(1);
        std::fprintf(stderr, "tq905: %s. tq905 --help lists the options and commands.\n",
                     qPrintable(complaint));
        return static_cast<int>(cli::ExitStatus::NotUnderstood);
    }
    case cli::Invocation::Action::Run:
        break;
    }
    CompanionConsole console;
    return static_cast<int>(Companion(invocation, console).run());
}
