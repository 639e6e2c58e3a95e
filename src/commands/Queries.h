#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The input queries: the frame, the length of the reply (STX included) and the
// places in the reply body that go to the result boxes.
namespace query {

struct BodyField {
    int start; // counted from 1
    int length;
};

struct QuerySpec {
    QByteArray frame;
    int replyLength;
    QList<BodyField> fields;
};

QuerySpec portQuery();               // "I": ports A and B
QuerySpec channelQuery(int channel); // "A0" ... "A3"

// The characters of `text` from `field.start` on, at most `field.length` of them;
// empty where the text is shorter than the start.
QString bodyField(const QString &text, BodyField field);

} // namespace query
