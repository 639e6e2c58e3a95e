#pragma once

#include "CommandWords.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <chrono>
#include <optional>

// What the command line prints for a command: a query's values as plain text,
// or with --json one object per command on a line of its own. Every line is
// printable ASCII, whatever bytes the board sends.
namespace cli {

// Printable ASCII as it is; any other byte, the blank that separates values and
// the backslash as \xNN.
QByteArray plainText(QByteArrayView bytes);

// A JSON string of the text: quote and backslash escaped, every UTF-16 unit
// outside printable ASCII as \uXXXX.
QByteArray jsonString(QStringView text);

// The values of a query's reply body, one per field, separated by blanks.
QByteArray textAnswer(const Command &command, const QByteArray &body);

// The lines of --json; `line` is the line of standard input, in a session.
QByteArray jsonSent(std::optional<int> line, const Command &command);
QByteArray jsonReply(std::optional<int> line, const Command &command, const QByteArray &body,
                     std::chrono::nanoseconds took);
// A failure before any command (a null commandText) has no "command".
QByteArray jsonError(std::optional<int> line, const QString &commandText, const QByteArray &frame,
                     const QString &error);

} // namespace cli
