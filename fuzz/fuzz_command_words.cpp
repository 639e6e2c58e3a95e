// The command line's words. The words of a line of standard input come back
// from joinWords, a command read from them is one whole frame, and a line is a
// query line exactly where its first word is a query's.
#include "Answers.h"
#include "CommandTable.h"
#include "CommandWords.h"
#include "FuzzInput.h"

#include <QRegularExpression>

namespace {

bool isOneAsciiLine(const QByteArray &line)
{
    static const QRegularExpression printable(QStringLiteral("^[ -~]*\n$"));
    return printable.match(QString::fromLatin1(line)).hasMatch();
}

void checkWords(const QString &line)
{
    const auto split = cli::splitLine(line);
    if (const auto *words = std::get_if<QStringList>(&split)) {
        FUZZ_CHECK(std::get<QStringList>(cli::splitLine(cli::joinWords(*words))) == *words);
        // A line that asks a query, however quoted, is owed its answer line.
        const commands::CommandRow *row =
            words->isEmpty() ? nullptr : commands::findCommand(words->constFirst());
        FUZZ_CHECK(cli::isQueryLine(line) == (row && !row->valueNames.isEmpty()));
        const auto read = cli::readCommands(*words);
        for (const cli::Command &command : std::get_if<QList<cli::Command>>(&read)
                                               ? std::get<QList<cli::Command>>(read)
                                               : QList<cli::Command>())
            FUZZ_CHECK(command.frame.startsWith('\x02') && command.frame.endsWith('\r')
                       && isOneAsciiLine(cli::jsonSent(1, command)));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    checkWords(input.text());
    return 0;
}
