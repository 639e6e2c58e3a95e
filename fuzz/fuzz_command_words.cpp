// The command line's words and answers. The words of a line of standard input
// come back from joinWords, and a command read from them is one whole frame. For
// a reply body of any bytes, the plain text and the JSON line are one line of
// printable ASCII each and give back exactly the bytes the board sent.
#include "Answers.h"
#include "CommandWords.h"
#include "FuzzInput.h"

#include <QJsonDocument>
#include <QJsonObject>
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
        const auto read = cli::readCommands(*words);
        for (const cli::Command &command : std::get_if<QList<cli::Command>>(&read)
                                               ? std::get<QList<cli::Command>>(read)
                                               : QList<cli::Command>())
            FUZZ_CHECK(command.frame.startsWith('\x02') && command.frame.endsWith('\r')
                       && isOneAsciiLine(cli::jsonSent(1, command)));
    }
}

void checkAnswers(const QByteArray &body)
{
    const cli::Command in =
        std::get<QList<cli::Command>>(cli::readCommands({QStringLiteral("in")})).constFirst();
    QByteArray text = cli::textAnswer(in, body);
    FUZZ_CHECK(isOneAsciiLine(text));
    for (qsizetype at = text.indexOf("\\x"); at >= 0; at = text.indexOf("\\x", at + 1))
        text.replace(at, 4,
                     QByteArray(1, static_cast<char>(text.mid(at + 2, 2).toInt(nullptr, 16))));
    FUZZ_CHECK(text == body.mid(1, 2) + ' ' + body.mid(3, 2) + '\n');

    const QByteArray json = cli::jsonReply(7, in, body, std::chrono::microseconds(1500));
    FUZZ_CHECK(isOneAsciiLine(json));
    const QJsonObject object = QJsonDocument::fromJson(json).object();
    FUZZ_CHECK(object[u"reply"].toString() == QString::fromLatin1(body));
    FUZZ_CHECK(object[u"values"][u"portB"].toString() == QString::fromLatin1(body.mid(3, 2)));
    FUZZ_CHECK(object[u"line"].toInt() == 7 && object[u"ms"].toDouble() == 1.5);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    checkAnswers(QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    fuzz::Input input(data, size);
    checkWords(input.text());
    return 0;
}
