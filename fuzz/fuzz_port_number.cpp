// convertPortNumber against an independent reading of the text: ASCII blanks
// around a sign, ASCII digits and at most one point, rounded half to even by
// long double where that is exact.
#include "FuzzInput.h"
#include "PortNumber.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

// The text without the blanks around it, if it is a plain decimal number.
std::optional<std::string> plainNumber(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    std::string core;
    int digits = 0;
    int points = 0;
    for (qsizetype i = begin; i < end; ++i) {
        const QChar c = text[i];
        if (c >= u'0' && c <= u'9')
            ++digits;
        else if (c == u'.')
            ++points;
        else if (i != begin || (c != u'+' && c != u'-'))
            return std::nullopt;
        core += static_cast<char>(c.unicode());
    }
    if (digits == 0 || points > 1)
        return std::nullopt;
    return core;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    const quint8 selector = input.byte();
    const QString text = fuzz::text(input.rest(), selector);
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
