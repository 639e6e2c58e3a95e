// convertPortNumber against an independent reading of the text: ASCII blanks
// around a sign, ASCII digits and at most one point, rounded half to even by
// long double where that is exact.
#include "FuzzInput.h"
#include "PortNumber.h"

#include <QRegularExpression>

#include <cmath>
#include <string>

namespace {

// The text without the ASCII blanks around it, if it is a plain decimal number.
std::optional<std::string> plainNumber(const QString &text)
{
    static const QRegularExpression number(
        QStringLiteral("^[ \\t-\\r]*([+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+))[ \\t-\\r]*$"));
    const QRegularExpressionMatch match = number.match(text);
    return match.hasMatch() ? std::optional(match.captured(1).toStdString()) : std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    const QString text = input.text();
    const std::optional<qint16> result = convertPortNumber(text);
    const QByteArray detail = "text " + fuzz::show(text) + " gave "
                              + (result ? QByteArray::number(*result) : QByteArray("no number"));
    FUZZ_CHECK(convertPortNumber(QStringLiteral(" \t") + text + QStringLiteral("  ")) == result,
               detail + " but differently with blanks around it");
    const std::optional<std::string> core = plainNumber(text);
    FUZZ_CHECK(core || !result, detail + " though it is no number");
    if (!core)
        return 0;

    const long double value = std::strtold(core->c_str(), nullptr);
    const std::size_t point = core->find('.');
    const std::size_t lastFractionDigit =
        point == std::string::npos ? point : core->find_last_not_of('0');
    // Up to twelve digits of fraction a long double holds to far better than the
    // distance to the nearest half, so its rounding is exact.
    if (lastFractionDigit == std::string::npos || lastFractionDigit <= point + 12) {
        const long double rounded = std::nearbyintl(value); // to nearest, ties to even
        if (rounded < -32768.0L || rounded > 32767.0L)
            FUZZ_CHECK(!result, detail + " for a number outside -32768 ... 32767");
        else
            FUZZ_CHECK(result && *result == static_cast<qint16>(rounded),
                       detail + ", not " + QByteArray::number(static_cast<int>(rounded)));
    } else if (std::fabs(value) < 32767.0L) {
        FUZZ_CHECK(result && std::fabs(static_cast<long double>(*result) - value) <= 0.5L,
                   detail + ", not a neighbour");
    }
    return 0;
}
