#pragma once

#include "Queries.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <variant>

// The command line's words for the panel's commands, each turned into the frame
// the panel's own handler builds for the same input.
namespace cli {

struct Command {
    QString text; // the words as a line (joinWords), for messages
    QByteArray frame;
    int replyLength = 0; // STX included; 0 for an output command, which has no reply
    QList<query::BodyField> fields;
    QStringList valueNames; // one per field
};

// Why some words are no command: a sentence that names them.
using Complaint = QString;

// All the commands of the command line, or why the first one that is no command is not.
std::variant<QList<Command>, Complaint> readCommands(const QStringList &words);

// A line of standard input: words separated by blanks, where double quotes keep
// blanks in a word and \" and \\ inside them stand for " and \. No words (a
// blank line) or a first word starting with # gives no command and no complaint.
std::variant<std::monostate, Command, Complaint> readLine(QStringView line);

// Whether a line of standard input asks a query: its first word is a query's
// (as it stands where a quote is not closed). Such a line gets one line of
// answer, whatever happens.
bool isQueryLine(QStringView line);

// The words of a line, or why it has none (a quote not closed).
std::variant<QStringList, Complaint> splitLine(QStringView line);

// The words as a line that splitLine reads back: a word that is empty or holds
// a blank, a quote or a backslash is quoted.
QString joinWords(const QStringList &words);

} // namespace cli
