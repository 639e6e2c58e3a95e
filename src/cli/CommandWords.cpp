#include "CommandWords.h"

#include "OutputCommands.h"

#include <QRegularExpression>

#include <algorithm>
#include <utility>

namespace cli {

namespace {

const QString kCommandList = QStringLiteral("the commands are bit N on|off, out TEXT, tris TEXT, "
                                            "pwm 0|1 VALUE, bz LENGTH FREQ, in, ad 0|1|2|3");
constexpr int kMaxPwmValue = 1023;

// A line from Windows ends in CR LF; its CR is a blank like any other.
bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r';
}

// The digit `word` stands for, if it is one digit from 0 to `last`.
std::optional<int> digitUpTo(const QString &word, int last)
{
    if (word.size() != 1 || word[0] < u'0' || word[0] > QChar(u'0' + last))
        return std::nullopt;
    return word[0].digitValue();
}

std::optional<int> pwmValue(const QString &word)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,4}$"));
    if (!digits.match(word).hasMatch() || word.toInt() > kMaxPwmValue)
        return std::nullopt;
    return word.toInt();
}

Command outputCommand(QByteArray frame)
{
    return {{}, std::move(frame), 0, {}, {}};
}

Command queryCommand(const query::QuerySpec &spec, QStringList valueNames)
{
    return {{}, spec.frame, spec.replyLength, spec.fields, std::move(valueNames)};
}

struct Reading {
    std::variant<Command, Complaint> result;
    qsizetype wordCount = 0;
};

// The command at words[from]: its name and the arguments it takes.
Reading readOne(const QStringList &words, qsizetype from)
{
    const QString &name = words[from];
    const QStringList arguments = words.mid(from + 1);
    const auto arg = [&arguments](qsizetype i) { return arguments.value(i); };
    const auto wrong = [&](qsizetype takes, const QString &usage) -> Reading {
        const QString given = joinWords(words.mid(from, 1 + qMin(takes, arguments.size())));
        return {QStringLiteral("\"%1\" is not understood; write %2").arg(given, usage)};
    };
    if (name == u"bit") {
        const std::optional<int> bit = digitUpTo(arg(0), 7);
        if (arguments.size() < 2 || !bit || (arg(1) != u"on" && arg(1) != u"off"))
            return wrong(2, QStringLiteral("bit N on|off, with N from 0 to 7"));
        return {outputCommand(
                    output::bitStep(*bit, arg(1) == u"on" ? QString() : QStringLiteral("1")).frame),
                3};
    }
    if (name == u"out" || name == u"tris") {
        if (arguments.isEmpty())
            return wrong(1, name + QStringLiteral(" TEXT"));
        return {outputCommand(name == u"out" ? output::portOutputFrame(arg(0))
                                             : output::directionFrame(arg(0))),
                2};
    }
    if (name == u"pwm") {
        const std::optional<int> channel = digitUpTo(arg(0), 1);
        const std::optional<int> value = pwmValue(arg(1));
        if (arguments.size() < 2 || !channel || !value)
            return wrong(2, QStringLiteral("pwm 0|1 VALUE, with VALUE from 0 to 1023"));
        return {outputCommand(output::pwmFrame(*channel, *value)), 3};
    }
    if (name == u"bz") {
        if (arguments.size() < 2)
            return wrong(2, QStringLiteral("bz LENGTH FREQ"));
        return {outputCommand(output::buzzerFrame(arg(0), arg(1))), 3};
    }
    if (name == u"in")
        return {
            queryCommand(query::portQuery(), {QStringLiteral("portA"), QStringLiteral("portB")}),
            1};
    if (name == u"ad") {
        const std::optional<int> channel = digitUpTo(arg(0), 3);
        if (!channel)
            return wrong(1, QStringLiteral("ad 0|1|2|3"));
        return {queryCommand(query::channelQuery(*channel), {QStringLiteral("AD%1").arg(*channel)}),
                2};
    }
    return {QStringLiteral("\"%1\" is no command; %2").arg(name, kCommandList)};
}

} // namespace

std::variant<QList<Command>, Complaint> readCommands(const QStringList &words)
{
    if (words.isEmpty())
        return QStringLiteral("no command given; %1").arg(kCommandList);
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
