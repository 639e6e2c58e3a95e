#include "CommandWords.h"

#include "CommandTable.h"

#include <algorithm>
#include <utility>

namespace cli {

namespace {

// A line from Windows ends in CR LF; its CR is a blank like any other.
bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r';
}

QString noCommand(const QString &word)
{
    if (word == u"-")
        return QStringLiteral("\"-\" reads the commands from standard input and stands alone");
    if (word.startsWith(u'-'))
        return QStringLiteral("\"%1\" is an option; options come before the commands").arg(word);
    return QStringLiteral("\"%1\" is no command; the commands are %2")
        .arg(word, commands::commandList());
}

Command commandOf(const commands::CommandRow &row, const QStringList &arguments)
{
    query::QuerySpec exchange = row.exchange(arguments);
    QStringList valueNames;
    for (const QString &name : row.valueNames)
        valueNames << (name.contains(u"%1") ? name.arg(arguments.value(0)) : name);
    return {{},
            std::move(exchange.frame),
            exchange.replyLength,
            std::move(exchange.fields),
            std::move(valueNames)};
}

struct Reading {
    std::variant<Command, Complaint> result;
    qsizetype wordCount = 0;
};

// The command at words[from]: its name and the arguments it takes.
Reading readOne(const QStringList &words, qsizetype from)
{
    const commands::CommandRow *row = commands::findCommand(words[from]);
    if (!row)
        return {noCommand(words[from])};
    const qsizetype takes = row->arguments.size();
    const QStringList arguments = words.mid(from + 1, takes);
    bool understood = arguments.size() == takes;
    for (qsizetype i = 0; understood && i < takes; ++i)
        understood = row->arguments[i].accepts(arguments[i]);
    if (!understood)
        return {QStringLiteral("\"%1\" is not understood; write %2")
                    .arg(joinWords(words.mid(from, 1 + arguments.size())), row->usageWithRanges())};
    return {commandOf(*row, arguments), 1 + takes};
}

} // namespace

std::variant<QList<Command>, Complaint> readCommands(const QStringList &words)
{
    if (words.isEmpty())
        return QStringLiteral("no command given; the commands are %1").arg(commands::commandList());
    QList<Command> commands;
    for (qsizetype at = 0; at < words.size();) {
        Reading reading = readOne(words, at);
        if (auto *complaint = std::get_if<Complaint>(&reading.result))
            return std::move(*complaint);
        Command &command = std::get<Command>(reading.result);
        command.text = joinWords(words.mid(at, reading.wordCount));
        commands << std::move(command);
        at += reading.wordCount;
    }
    return commands;
}

std::variant<std::monostate, Command, Complaint> readLine(QStringView line)
{
    std::variant<QStringList, Complaint> split = splitLine(line);
    if (auto *complaint = std::get_if<Complaint>(&split))
        return std::move(*complaint);
    const QStringList &words = std::get<QStringList>(split);
    if (words.isEmpty() || words.first().startsWith(u'#'))
        return std::monostate();
    std::variant<QList<Command>, Complaint> read = readCommands(words);
    if (auto *complaint = std::get_if<Complaint>(&read))
        return std::move(*complaint);
    const QList<Command> &commands = std::get<QList<Command>>(read);
    if (commands.size() > 1)
        return QStringLiteral("\"%1\" is more than one command; a line holds one")
            .arg(line.trimmed());
    return commands.first();
}

bool isQueryLine(QStringView line)
{
    const std::variant<QStringList, Complaint> split = splitLine(line);
    QStringView first;
    if (const auto *words = std::get_if<QStringList>(&split)) {
        first = words->isEmpty() ? QStringView() : QStringView(words->constFirst());
    } else { // a quote not closed: the first word as it stands
        qsizetype start = 0;
        while (start < line.size() && isBlank(line[start]))
            ++start;
        qsizetype end = start;
        while (end < line.size() && !isBlank(line[end]))
            ++end;
        first = line.sliced(start, end - start);
    }
    const commands::CommandRow *row = commands::findCommand(first);
    return row && !row->valueNames.isEmpty();
}

std::variant<QStringList, Complaint> splitLine(QStringView line)
{
    QStringList words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted && c == u'\\' && i + 1 < line.size()
            && (line[i + 1] == u'"' || line[i + 1] == u'\\'))
            word += line[++i];
        else if (c == u'"')
            quoted = !quoted;
        else if (!quoted && isBlank(c)) {
            if (inWord)
                words << std::exchange(word, QString());
            inWord = false;
            continue;
        } else
            word += c;
        inWord = true;
    }
    if (quoted)
        return QStringLiteral("a quote is not closed");
    if (inWord)
        words << word;
    return words;
}

QString joinWords(const QStringList &words)
{
    QStringList quoted;
    for (const QString &word : words) {
        if (!word.isEmpty() && std::none_of(word.begin(), word.end(), [](QChar c) {
                return isBlank(c) || c == u'"' || c == u'\\';
            })) {
            quoted << word;
            continue;
        }
        QString escaped = word;
        escaped.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
        quoted << u'"' + escaped + u'"';
    }
    return quoted.join(u' ');
}

} // namespace cli
