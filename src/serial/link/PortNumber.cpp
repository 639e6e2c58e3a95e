#include "PortNumber.h"

#include <QRegularExpression>

namespace {

// Rounds the decimal number whole.fraction (digit strings) half to even.
std::optional<long> roundHalfToEven(QString whole, const QString &fraction)
{
    while (whole.startsWith(u'0'))
        whole.remove(0, 1);
    if (whole.size() > 5)
        return std::nullopt; // far outside the 16-bit range, and too long for a long
    long value = whole.isEmpty() ? 0 : whole.toLong();
    if (fraction.isEmpty())
        return value;
    const QChar first = fraction.front();
    const bool tie =
        first == u'5' && !fraction.mid(1).contains(QRegularExpression(QStringLiteral("[1-9]")));
    if (first > u'5' || (first == u'5' && !tie) || (tie && value % 2 == 1))
        ++value;
    return value;
}

} // namespace

std::optional<qint16> convertPortNumber(const QString &text, PortTextFault *fault)
{
    static const QRegularExpression number(
        QStringLiteral(R"(^\s*([+-]?)([0-9]*)(?:\.([0-9]*))?\s*$)"));
    const auto refuse = [fault](PortTextFault reason) {
        if (fault)
            *fault = reason;
        return std::nullopt;
    };
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch() || (match.captured(2).isEmpty() && match.captured(3).isEmpty()))
        return refuse(PortTextFault::NotANumber);
    const std::optional<long> magnitude = roundHalfToEven(match.captured(2), match.captured(3));
    if (!magnitude)
        return refuse(PortTextFault::OutOfRange);
    const long value = match.captured(1) == u"-" ? -*magnitude : *magnitude;
    if (value < -32768 || value > 32767)
        return refuse(PortTextFault::OutOfRange);
    return static_cast<qint16>(value);
}
