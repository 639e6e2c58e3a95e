#pragma once

#include "VirtualBoard.h"

#include <QList>
#include <QString>

#include <optional>

class QCommandLineParser;

// The virtual board's command-line options, the same for the standalone board
// and the demo, and the names of its faults.
namespace boardoptions {

struct FaultName {
    VirtualBoard::Fault fault;
    const char *name;  // on the command line
    const char *label; // in the window
};
const QList<FaultName> &faultNames();
std::optional<VirtualBoard::Fault> faultFromName(const QString &name);

void addTo(QCommandLineParser &parser);
// Sets the board up as the options say; the complaint about the first bad one, if any.
std::optional<QString> apply(const QCommandLineParser &parser, VirtualBoard &board);
// Writes one line to stdout for every frame the board takes, ignores or answers.
void traceOnStdout(VirtualBoard &board);

// Bytes with control characters as \xNN, so a frame fits on one line.
QString printable(const QByteArray &bytes);

} // namespace boardoptions
