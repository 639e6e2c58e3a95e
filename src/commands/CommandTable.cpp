#include "CommandTable.h"

#include "OutputCommands.h"

#include <algorithm>

namespace commands {

namespace {

QStringList digitsUpTo(int last)
{
    QStringList digits;
    for (int digit = 0; digit <= last; ++digit)
        digits << QString::number(digit);
    return digits;
}

Argument text(const char *placeholder)
{
    return {QString::fromLatin1(placeholder), {}, -1};
}

query::QuerySpec outputOnly(QByteArray frame)
{
    return {std::move(frame), 0, {}};
}

} // namespace

bool Argument::accepts(const QString &word) const
{
    if (!choices.isEmpty())
        return choices.contains(word);
    if (highest < 0)
        return true;
    const qsizetype maxDigits = QString::number(highest).size();
    const bool digitsOnly =
        std::all_of(word.begin(), word.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    return !word.isEmpty() && word.size() <= maxDigits && digitsOnly && word.toInt() <= highest;
}

QString Argument::usage() const
{
    return placeholder.isEmpty() ? choices.join(u'|') : placeholder;
}

QString Argument::range() const
{
    if (placeholder.isEmpty() || (choices.isEmpty() && highest < 0))
        return {};
    const QString low = choices.isEmpty() ? QStringLiteral("0") : choices.constFirst();
    const QString high = choices.isEmpty() ? QString::number(highest) : choices.constLast();
    return QStringLiteral("%1 from %2 to %3").arg(placeholder, low, high);
}

QString CommandRow::usage() const
{
    QStringList words{word};
    for (const Argument &argument : arguments)
        words << argument.usage();
    return words.join(u' ');
}

QString CommandRow::usageWithRanges() const
{
    QStringList ranges;
    for (const Argument &argument : arguments) {
        if (!argument.range().isEmpty())
            ranges << argument.range();
    }
    return ranges.isEmpty() ? usage() : usage() + QStringLiteral(", with ") + ranges.join(u", ");
}

const QList<CommandRow> &commandTable()
{
    static const QList<CommandRow> table{
        {QStringLiteral("bit"),
         {{QStringLiteral("N"), digitsUpTo(7)},
          {{}, {QStringLiteral("on"), QStringLiteral("off")}}},
         QStringLiteral("switch bit N (0-7) of port B"),
         [](const QStringList &a) {
             return outputOnly(
                 output::bitStep(a[0].toInt(), a[1] == u"on" ? QString() : QStringLiteral("1"))
                     .frame);
         },
         {}},
        {QStringLiteral("out"),
         {text("TEXT")},
         QStringLiteral("write port B; TEXT goes into the frame as the OUT box's text"),
         [](const QStringList &a) { return outputOnly(output::portOutputFrame(a[0])); },
         {}},
        {QStringLiteral("tris"),
         {text("TEXT")},
         QStringLiteral("write port B's direction byte, as the TRIS box"),
         [](const QStringList &a) { return outputOnly(output::directionFrame(a[0])); },
         {}},
        {QStringLiteral("pwm"),
         {{{}, digitsUpTo(1)}, {QStringLiteral("VALUE"), {}, 1023}},
         QStringLiteral("set a PWM output, VALUE 0-1023"),
         [](const QStringList &a) {
             return outputOnly(output::pwmFrame(a[0].toInt(), a[1].toInt()));
         },
         {}},
        {QStringLiteral("bz"),
         {text("LENGTH"), text("FREQ")},
         QStringLiteral("sound the buzzer, as the Long and Freq boxes"),
         [](const QStringList &a) { return outputOnly(output::buzzerFrame(a[0], a[1])); },
         {}},
        {QStringLiteral("in"),
         {},
         QStringLiteral("read ports A and B; prints them, e.g. 5A 3C"),
         [](const QStringList &) { return query::portQuery(); },
         {QStringLiteral("portA"), QStringLiteral("portB")}},
        {QStringLiteral("ad"),
         {{{}, digitsUpTo(3)}},
         QStringLiteral("read an analog channel; prints its value, e.g. 2A7"),
         [](const QStringList &a) { return query::channelQuery(a[0].toInt()); },
         {QStringLiteral("AD%1")}},
    };
    return table;
}

const CommandRow *findCommand(QStringView word)
{
    const QList<CommandRow> &table = commandTable();
    const auto row = std::find_if(table.begin(), table.end(),
                                  [word](const CommandRow &r) { return r.word == word; });
    return row == table.end() ? nullptr : &*row;
}

QString commandList()
{
    QStringList usages;
    for (const CommandRow &row : commandTable())
        usages << row.usage();
    return usages.join(QStringLiteral(", "));
}

} // namespace commands
