// Fills tq905's bash completion and manual page in from the command table, so
// that neither can drift from what tq905 reads:
//   tq905-docs VERSION TEMPLATE OUTPUT
// A placeholder alone on its line becomes lines of the same indentation.
//   tq905-docs --check README.md
// fails unless the README's table of commands has one row for each command,
// in the table's order, that starts with its usage.
#include "CommandTable.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <cstdio>

namespace {

using commands::CommandRow;
using commands::commandTable;

QStringList words()
{
    QStringList names;
    for (const CommandRow &row : commandTable())
        names << row.word;
    return {names.join(u' ')};
}

// The completion's case arms: how many words each command takes ...
QStringList takes()
{
    QStringList arms;
    for (const CommandRow &row : commandTable()) {
        if (!row.arguments.isEmpty())
            arms << QStringLiteral("%1) takes=%2 ;;").arg(row.word).arg(row.arguments.size());
    }
    return arms;
}

// ... and the words an argument can be, where it has a few.
QStringList choices()
{
    QStringList arms;
    for (const CommandRow &row : commandTable()) {
        for (qsizetype i = 0; i < row.arguments.size(); ++i) {
            if (!row.arguments[i].choices.isEmpty())
                arms << QStringLiteral("%1:%2) words=\"%3\" ;;")
                            .arg(row.word)
                            .arg(i + 1)
                            .arg(row.arguments[i].choices.join(u' '));
        }
    }
    return arms;
}

QString roff(QString text)
{
    return text.replace(u'\\', QStringLiteral("\\e")).replace(u'-', QStringLiteral("\\-"));
}

// The manual's list: the words bold, the placeholders italic.
QStringList manualItems()
{
    QStringList lines;
    for (const CommandRow &row : commandTable()) {
        QStringList usage{QStringLiteral("\\fB%1\\fP").arg(row.word)};
        for (const commands::Argument &argument : row.arguments) {
            QStringList choices;
            for (const QString &choice : argument.choices)
                choices << QStringLiteral("\\fB%1\\fP").arg(choice);
            usage << (argument.placeholder.isEmpty()
                          ? choices.join(u'|')
                          : QStringLiteral("\\fI%1\\fP").arg(argument.placeholder));
        }
        QString summary = roff(row.summary);
        summary[0] = summary[0].toUpper();
        lines << QStringLiteral(".TP") << usage.join(u' ') << summary + u'.';
    }
    return lines;
}

QString filled(const QString &templateText, const QString &version)
{
    const QList<std::pair<QString, QStringList>> placeholders{
        {QStringLiteral("@COMMAND_WORDS@"), words()},
        {QStringLiteral("@COMMAND_TAKES@"), takes()},
        {QStringLiteral("@COMMAND_CHOICES@"), choices()},
        {QStringLiteral("@COMMAND_ITEMS@"), manualItems()},
    };
    QStringList out;
    for (QString line : templateText.split(u'\n')) {
        line.replace(QStringLiteral("@PROJECT_VERSION@"), version);
        const QString trimmed = line.trimmed();
        const QString indent = line.left(line.indexOf(trimmed));
        bool expanded = false;
        for (const auto &[name, lines] : placeholders) {
            if (trimmed == name) {
                for (const QString &generated : lines)
                    out << indent + generated;
                expanded = true;
            } else {
                line.replace(name, lines.join(u' '));
            }
        }
        if (!expanded)
            out << line;
    }
    return out.join(u'\n');
}

// The first cells of the table under "| Command |", as the README writes them.
QStringList readmeUsages(const QString &readme)
{
    QStringList usages;
    const QStringList lines = readme.split(u'\n');
    auto line = std::find_if(lines.begin(), lines.end(),
                             [](const QString &l) { return l.startsWith(u"| Command |"); });
    for (line = line == lines.end() ? line : line + 2;
         line != lines.end() && line->startsWith(u'|'); ++line)
        usages << line->section(u'`', 1, 1).replace(QStringLiteral("\\|"), QStringLiteral("|"));
    return usages;
}

int checkReadme(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    QStringList usages;
    for (const CommandRow &row : commandTable())
        usages << row.usage();
    const QStringList written = readmeUsages(QString::fromUtf8(file.readAll()));
    if (written == usages)
        return 0;
    std::fprintf(stderr, "tq905-docs: %s lists the commands %s, not %s\n", qPrintable(path),
                 qPrintable(written.join(QStringLiteral(", "))),
                 qPrintable(usages.join(QStringLiteral(", "))));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--check") == 0)
        return checkReadme(QString::fromLocal8Bit(argv[2]));
    if (argc != 4) {
        std::fputs("usage: tq905-docs VERSION TEMPLATE OUTPUT | --check README.md\n", stderr);
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[2]));
    QFile out(QString::fromLocal8Bit(argv[3]));
    for (auto [file, mode] :
         {std::pair(&in, QIODevice::ReadOnly), std::pair(&out, QIODevice::WriteOnly)}) {
        if (!file->open(mode)) {
            std::fprintf(stderr, "tq905-docs: %s: %s\n", qPrintable(file->fileName()),
                         qPrintable(file->errorString()));
            return 1;
        }
    }
    const QString text = filled(QString::fromUtf8(in.readAll()), QString::fromLatin1(argv[1]));
    return out.write(text.toUtf8()) >= 0 && out.flush() ? 0 : 1;
}
