#include "Companion.h"
#include "CompanionConsole.h"
#include "Invocation.h"
#include "StartingConsole.h"
#include "Version.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    // Before anything opens a file that could take a closed descriptor's number.
    const bool outputWasClosed = openStandardDescriptors();
    // QSerialPort needs the event dispatcher an application brings, though none runs.
    const QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TQ905_VERSION));
    CompanionConsole console(outputWasClosed);
    const cli::Invocation invocation = cli::readInvocation(QCoreApplication::arguments());
    return static_cast<int>(Companion(invocation, console).run());
}
