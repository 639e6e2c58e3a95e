#include "Answers.h"

#include "CommandFrame.h"

namespace cli {

namespace {

// A JSON object written member by member, in the order given.
class JsonObject
{
public:
    JsonObject &add(QByteArrayView key, const QByteArray &json)
    {
        m_text.append(m_text.isEmpty() ? "{\"" : ",\"").append(key).append("\":").append(json);
        return *this;
    }
    JsonObject &addString(QByteArrayView key, QStringView text)
    {
        return add(key, jsonString(text));
    }
    JsonObject &addLine(std::optional<int> line)
    {
        return line ? add("line", QByteArray::number(*line)) : *this;
    }
    QByteArray text() const { return (m_text.isEmpty() ? QByteArray("{") : m_text) + '}'; }
    QByteArray line() const { return text() + '\n'; }

private:
    QByteArray m_text;
};

QString valueOf(const Command &command, const QByteArray &body, qsizetype field)
{
    return query::bodyField(frame::lineText(body), command.fields[field]);
}

} // namespace

QByteArray plainText(QByteArrayView bytes)
{
    QByteArray text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte < 0x7F && byte != '\\')
            text += c;
        else
            text += "\\x" + QByteArray::number(byte, 16).toUpper().rightJustified(2, '0');
    }
    return text;
}

QByteArray jsonString(QStringView text)
{
    QByteArray json = "\"";
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\')
            json += '\\' + QByteArray(1, static_cast<char>(c.unicode()));
        else if (c.unicode() >= 0x20 && c.unicode() < 0x7F)
            json += static_cast<char>(c.unicode());
        else
            json += "\\u" + QByteArray::number(c.unicode(), 16).rightJustified(4, '0');
    }
    return json + '"';
}

QByteArray textAnswer(const Command &command, const QByteArray &body)
{
    QByteArrayList values;
    for (qsizetype i = 0; i < command.fields.size(); ++i)
        values << plainText(valueOf(command, body, i).toLatin1());
    return values.join(' ') + '\n';
}

QByteArray jsonSent(std::optional<int> line, const Command &command)
{
    return JsonObject()
        .addLine(line)
        .addString("command", command.text)
        .addString("frame", frame::lineText(command.frame))
        .line();
}

QByteArray jsonReply(std::optional<int> line, const Command &command, const QByteArray &body,
                     std::chrono::nanoseconds took)
{
    JsonObject values;
    for (qsizetype i = 0; i < command.fields.size(); ++i)
        values.addString(command.valueNames[i].toLatin1(), valueOf(command, body, i));
    return JsonObject()
        .addLine(line)
        .addString("command", command.text)
        .addString("frame", frame::lineText(command.frame))
        .addString("reply", frame::lineText(body))
        .add("values", values.text())
        .add("ms", QByteArray::number(static_cast<double>(took.count()) / 1e6, 'f', 3))
        .line();
}

QByteArray jsonError(std::optional<int> line, const QString &commandText, const QByteArray &frame,
                     const QString &error)
{
    JsonObject object;
    object.addLine(line);
    if (!commandText.isNull())
        object.addString("command", commandText);
    if (!frame.isEmpty())
        object.addString("frame", frame::lineText(frame));
    return object.addString("error", error).line();
}

} // namespace cli
