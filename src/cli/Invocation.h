#pragma once

#include "CommandWords.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

// The command line of tq905: its options, then the commands.
namespace cli {

enum class ExitStatus {
    Done = 0,
    NoReply = 1,       // "Receive ERR", or the line did not take a frame in time
    NotUnderstood = 2, // the command line, or a line of standard input
    CannotOpen = 3,
    DeviceGone = 4,
    OutputFailed = 5, // standard output takes nothing: closed, or a full disk
};

// What a run ends with: the worst that happened, the higher status.
ExitStatus worse(ExitStatus a, ExitStatus b);

struct Invocation {
    enum class Action { Run, Help, Version, List, Refuse };
    Action action = Action::Refuse;
    QString text; // the help, or why the command line is refused
    // Exactly one of the two for Run.
    std::optional<QString> portText;
    std::optional<QString> devicePath;
    std::chrono::milliseconds timeout{3000};
    bool json = false;
    bool session = false; // "-": the commands come from standard input
    QList<Command> commands;
};

// `arguments` with the program's name first, as QCoreApplication::arguments() gives them.
Invocation readInvocation(const QStringList &arguments);

} // namespace cli
