// query::bodyField, the substring rule of the result boxes: the characters from
// the start position on, at most the given number, none where the text is shorter.
#include "FuzzInput.h"
#include "Queries.h"

#include <climits>

namespace {

// The rule character by character (start at least 1), in 64 bits so that no
// position overflows.
QString charactersFrom(const QString &text, qint64 start, qint64 length)
{
    QString result;
    const qint64 last = qMin<qint64>(start + length - 1, text.size());
    for (qint64 position = start; position <= last; ++position)
        result += text[static_cast<qsizetype>(position - 1)];
    return result;
}

int position(fuzz::Input &input)
{
    // Mostly small, now and then at the ends of the int range.
    switch (input.byte() % 8) {
    case 0:
        return INT_MIN;
    case 1:
        return INT_MAX;
    default:
        return input.intIn(-3, 300);
    }
}

void check(const QString &text, query::BodyField field)
{
    const QString result = query::bodyField(text, field);
    const QByteArray detail = "text " + fuzz::show(text) + " from "
                              + QByteArray::number(field.start) + " for "
                              + QByteArray::number(field.length) + " gave " + fuzz::show(result);
    FUZZ_CHECK(result.size() <= qMax(field.length, 0), detail);
    // Positions count from 1; what a start before that gives is not the rule's concern.
    if (field.start < 1 || field.length < 0)
        return;
    const QString expected = charactersFrom(text, field.start, field.length);
    FUZZ_CHECK(result == expected, detail + ", not " + fuzz::show(expected));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    const int start = position(input);
    const int length = position(input);
    const quint8 selector = input.byte();
    const QString text = fuzz::text(input.rest(), selector);
    check(text, {start, length});

    // A reply of the asked length fills every box of its query completely.
    const QList<query::QuerySpec> queries{query::portQuery(), query::channelQuery(0)};
    for (const query::QuerySpec &spec : queries) {
        const QString body = text.left(spec.replyLength - 1);
        for (const query::BodyField field : spec.fields) {
            check(body, field);
            if (body.size() == spec.replyLength - 1)
                FUZZ_CHECK(query::bodyField(body, field).size() == field.length,
                           "body " + fuzz::show(body) + " leaves a box short");
        }
    }
    return 0;
}
