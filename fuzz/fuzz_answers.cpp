// tq905's answers for a reply body of any bytes, for every query of the command
// table: the plain text is one line of printable ASCII whose values, split at
// its blanks and with their \xNN read back, are exactly the bytes of the body's
// fields; every --json line is one line of JSON whose strings give back exactly
// the reply, the values, and any command text and error.
#include "Answers.h"
#include "CommandTable.h"
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

// The line as JSON, or an empty object where it is none.
QJsonObject jsonOf(const QByteArray &line)
{
    FUZZ_CHECK(isOneAsciiLine(line));
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    FUZZ_CHECK(error.error == QJsonParseError::NoError && document.isObject());
    return document.object();
}

// A JSON string that stands for bytes: every character one byte.
QByteArray bytesOf(const QJsonValue &value)
{
    const QString text = value.toString();
    FUZZ_CHECK(value.isString() && std::all_of(text.begin(), text.end(), [](QChar c) {
                   return c.unicode() <= 0xFF;
               }));
    return text.toLatin1();
}

QByteArray unescaped(const QByteArray &value)
{
    static const QRegularExpression escape(QStringLiteral("^\\\\x[0-9A-F]{2}"));
    QByteArray bytes;
    for (qsizetype at = 0; at < value.size();) {
        if (value[at] != '\\') {
            bytes += value[at++];
            continue;
        }
        FUZZ_CHECK(escape.match(QString::fromLatin1(value.mid(at, 4))).hasMatch());
        bytes += static_cast<char>(value.mid(at + 2, 2).toInt(nullptr, 16));
        at += 4;
    }
    return bytes;
}

void checkReply(const cli::Command &query, const QByteArray &body)
{
    QList<QByteArray> fields;
    for (const query::BodyField field : query.fields)
        fields << body.mid(field.start - 1, field.length);

    const QByteArray text = cli::textAnswer(query, body);
    FUZZ_CHECK(isOneAsciiLine(text));
    const QList<QByteArray> values = text.chopped(1).split(' ');
    FUZZ_CHECK(values.size() == fields.size());
    for (qsizetype i = 0; i < fields.size(); ++i)
        FUZZ_CHECK(unescaped(values[i]) == fields[i]);

    const QJsonObject reply =
        jsonOf(cli::jsonReply(3, query, body, std::chrono::microseconds(1500)));
    FUZZ_CHECK(bytesOf(reply[u"reply"]) == body && bytesOf(reply[u"frame"]) == query.frame);
    FUZZ_CHECK(reply[u"line"].toInt() == 3 && reply[u"ms"].toDouble() == 1.5);
    const QJsonObject named = reply[u"values"].toObject();
    FUZZ_CHECK(named.size() == fields.size());
    for (qsizetype i = 0; i < fields.size(); ++i)
        FUZZ_CHECK(bytesOf(named[query.valueNames[i]]) == fields[i]);
}

void checkError(const QString &commandText, const QByteArray &frame, const QString &error)
{
    const QJsonObject object = jsonOf(cli::jsonError(std::nullopt, commandText, frame, error));
    FUZZ_CHECK(object[u"command"].toString() == commandText);
    FUZZ_CHECK(object[u"error"].toString() == error && !object.contains(u"line"));
    FUZZ_CHECK(frame.isEmpty() ? !object.contains(u"frame") : bytesOf(object[u"frame"]) == frame);
}

// Every query of the table, with its arguments' first choices.
QList<cli::Command> queries()
{
    QList<cli::Command> all;
    for (const commands::CommandRow &row : commands::commandTable()) {
        for (const QString &choice :
             row.arguments.isEmpty() ? QStringList{QString()} : row.arguments[0].choices) {
            const QStringList words =
                choice.isNull() ? QStringList{row.word} : QStringList{row.word, choice};
            const auto read = cli::readCommands(words);
            if (const auto *commands = std::get_if<QList<cli::Command>>(&read);
                commands && commands->constFirst().replyLength > 0)
                all << commands->constFirst();
        }
    }
    return all;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QList<cli::Command> kQueries = queries();
    fuzz::Input input(data, size);
    const cli::Command &query = kQueries[input.intIn(0, static_cast<int>(kQueries.size()) - 1)];
    const QByteArray body = input.take(input.intIn(0, 12));
    checkReply(query, body);
    // What tq905 quotes comes from UTF-8 (a line) or the locale (its arguments).
    checkError(QString::fromUtf8(input.take(static_cast<qsizetype>(size))), body,
               QString::fromLatin1(body));
    return 0;
}
