#pragma once

#include "Queries.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// Every command of the line protocol as a shell names it: its words, what each
// argument may be, the frame and reply it becomes and the names of the reply's
// values. tq905's reading of words, its help, its completion and its manual
// page all come from this one table.
namespace commands {

// One argument: a word of `choices`, a number from 0 to `highest`, or any text.
struct Argument {
    QString placeholder; // as usage shows it ("N", "TEXT"); empty: the choices are shown
    QStringList choices;
    int highest = -1; // for a number; -1 where it is not one

    bool accepts(const QString &word) const;
    QString usage() const; // "N", "on|off", "0|1"
    // The range a placeholder stands for ("N from 0 to 7"); empty where there is none.
    QString range() const;
};

struct CommandRow {
    QString word;
    QList<Argument> arguments;
    QString summary; // what it does, one line of the help
    // The frame, and for a query its reply and fields, for arguments that each
    // argument accepts; an output command has reply length 0.
    query::QuerySpec (*exchange)(const QStringList &arguments);
    QStringList valueNames; // one per field; %1 stands for the first argument

    QString usage() const; // "bit N on|off"
    // The usage with the ranges of its placeholders: "bit N on|off, with N from 0 to 7".
    QString usageWithRanges() const;
};

const QList<CommandRow> &commandTable();
const CommandRow *findCommand(QStringView word);

// "bit N on|off, out TEXT, ...": every command's usage.
QString commandList();

} // namespace commands
