// convertPortNumber against an independent reading of the text: ASCII blanks,
// a sign, ASCII digits and a fraction, rounded half to even by long double.
#include "FuzzInput.h"
#include "PortNumber.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

bool isAsciiBlank(char16_t c)
{
    return c == u' ' || (c >= u'\t' && c <= u'\r');
}

bool isAsciiDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

struct Reading {
    bool number = false;
    std::string core;       // sign, digits and point, blanks stripped
    int wholeDigits = 0;    // without leading zeros
    int fractionDigits = 0; // without trailing zeros
};

Reading readNumber(const QString &text)
{
    Reading reading;
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isAsciiBlank(text[begin].unicode()))
        ++begin;
    while (end > begin && isAsciiBlank(text[end - 1].unicode()))
        --end;
    qsizetype i = begin;
    if (i < end && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    const qsizetype wholeBegin = i;
    while (i < end && isAsciiDigit(text[i].unicode()))
        ++i;
    const qsizetype wholeEnd = i;
    qsizetype fractionBegin = i;
    qsizetype fractionEnd = i;
    if (i < end && text[i] == u'.') {
        fractionBegin = ++i;
        while (i < end && isAsciiDigit(text[i].unicode()))
            ++i;
        fractionEnd = i;
    }
    if (i != end || (wholeEnd == wholeBegin && fractionEnd == fractionBegin))
        return reading;
    reading.number = true;
    for (qsizetype k = begin; k < end; ++k)
        reading.core += static_cast<char>(text[k].unicode());
    qsizetype firstSignificant = wholeBegin;
    while (firstSignificant < wholeEnd && text[firstSignificant] == u'0')
        ++firstSignificant;
    reading.wholeDigits = static_cast<int>(wholeEnd - firstSignificant);
    qsizetype lastSignificant = fractionEnd;
    while (lastSignificant > fractionBegin && text[lastSignificant - 1] == u'0')
        --lastSignificant;
    reading.fractionDigits = static_cast<int>(lastSignificant - fractionBegin);
    return reading;
}

QByteArray describe(const QString &text, const std::optional<qint16> &result)
{
    return "text " + fuzz::show(text) + " gave "
           + (result ? QByteArray::number(*result) : QByteArray("no number"));
}

void check(const QString &text)
{
    const std::optional<qint16> result = convertPortNumber(text);
    const QByteArray detail = describe(text, result);

    FUZZ_CHECK(convertPortNumber(QStringLiteral(" \t") + text + QStringLiteral("  ")) == result,
               detail + " but differently with blanks around it");

    const Reading reading = readNumber(text);
    FUZZ_CHECK(reading.number || !result, detail + " though it is no number");
    if (!reading.number)
        return;

    const long double value = std::strtold(reading.core.c_str(), nullptr);
    // Six whole digits are beyond 32767 whatever the fraction.
    if (reading.wholeDigits > 5) {
        FUZZ_CHECK(!result, detail + " for a number beyond 16 bits");
        return;
    }
    // With five whole digits and twelve of fraction a long double holds the text
    // to far better than the distance to the nearest half, so its rounding is exact.
    if (reading.fractionDigits <= 12) {
        const long double rounded = std::nearbyintl(value); // to nearest, ties to even
        if (rounded < -32768.0L || rounded > 32767.0L) {
            FUZZ_CHECK(!result, detail + " for a number outside -32768 ... 32767");
        } else {
            FUZZ_CHECK(result && *result == static_cast<qint16>(rounded),
                       detail + ", not " + QByteArray::number(static_cast<int>(rounded)));
        }
        return;
    }
    // Longer fractions: the result is still one of the two neighbours.
    if (value > -32768.0L && value < 32767.0L)
        FUZZ_CHECK(result, detail + " for a number inside the 16-bit range");
    if (result)
        FUZZ_CHECK(std::fabs(static_cast<long double>(*result) - value) <= 0.5L,
                   detail + ", more than a half away");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input input(data, size);
    const quint8 selector = input.byte();
    check(fuzz::text(input.rest(), selector));
    return 0;
}
