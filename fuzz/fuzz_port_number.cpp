// convertPortNumber against an independent reading of the text: ASCII blanks
// around a sign, ASCII digits and at most one point, rounded half to even by
// long double, and nothing outside -32768 ... 32767.
#include "FuzzInput.h"
#include "PortNumber.h"

#include <QRegularExpression>

#include <cmath>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    const QString text = input.text();
    const std::optional<qint16> result = convertPortNumber(text);
    static const QRegularExpression plainNumber(
        QStringLiteral("^[ \\t-\\r]*([+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+))[ \\t-\\r]*$"));
    const QRegularExpressionMatch match = plainNumber.match(text);
    FUZZ_CHECK(match.hasMatch() || !result);
    const std::string number = match.captured(1).toStdString();
    // Up to twelve digits of fraction a long double holds to far better than the
    // distance to the nearest half, so its rounding is exact; skip longer ones.
    const std::size_t point = number.find('.');
    if (!match.hasMatch()
        || (point != std::string::npos && number.find_last_not_of('0') > point + 12))
        return 0;
    const long double rounded = std::nearbyintl(std::strtold(number.c_str(), nullptr));
    FUZZ_CHECK(rounded >= -32768.0L && rounded <= 32767.0L ? result == static_cast<qint16>(rounded)
                                                           : !result);
    return 0;
}
