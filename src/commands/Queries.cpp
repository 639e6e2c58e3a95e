#include "Queries.h"

#include "CommandFrame.h"

namespace query {

QuerySpec portQuery()
{
    return {frame::commandFrame("I"), 7, {{2, 2}, {4, 2}}};
}

QuerySpec channelQuery(int channel)
{
    return {frame::commandFrame('A' + QByteArray::number(channel)), 6, {{2, 3}}};
}

QString bodyField(const QString &text, BodyField field)
{
    if (field.start < 1 || field.length < 0)
        return {};
    return text.mid(field.start - 1, field.length);
}

} // namespace query
