#include "ControlPictures.h"

#include <QStringList>

#include <array>
#include <utility>

namespace {

constexpr char16_t kFirstControlPicture = 0x2400;
constexpr char16_t kDeletePicture = 0x2421;
constexpr char32_t kDelete = 0x7F;
constexpr char32_t kFirstC1 = 0x80;
constexpr char32_t kSoftHyphen = 0xAD;
constexpr char16_t kFirstStrongIsolate = 0x2068;
constexpr char16_t kPopDirectionalIsolate = 0x2069;

constexpr std::array<const char *, 0x20> kC0Names{
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

// Unicode's abbreviations for the C1 controls (NameAliases.txt).
constexpr std::array<const char *, 0x20> kC1Names{
    "PAD", "HOP", "BPH", "NBH", "IND", "NEL", "SSA", "ESA", "HTS", "HTJ", "VTS",
    "PLD", "PLU", "RI",  "SS2", "SS3", "DCS", "PU1", "PU2", "STS", "CCH", "MW",
    "SPA", "EPA", "SOS", "SGC", "SCI", "CSI", "ST",  "OSC", "PM",  "APC"};

bool hasPicture(char32_t c)
{
    return c < 0x20 || c == kDelete;
}

QChar picture(char32_t c)
{
    return QChar(c == kDelete ? kDeletePicture : char16_t(kFirstControlPicture + c));
}

// The name a screen reader says for a character of Latin-1 that draws nothing.
const char *controlName(char32_t c)
{
    if (c < 0x20)
        return kC0Names[c];
    if (c == kDelete)
        return "DEL";
    if (c >= kFirstC1 && c < kFirstC1 + kC1Names.size())
        return kC1Names[c - kFirstC1];
    return c == kSoftHyphen ? "SHY" : nullptr;
}

} // namespace

bool isInvisible(char32_t c)
{
    if (hasPicture(c))
        return false;
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

QString withControlPictures(const QString &text)
{
    QString shown = text;
    for (QChar &c : shown) {
        if (hasPicture(c.unicode()))
            c = picture(c.unicode());
    }
    return shown;
}

QString withControlNames(const QString &text)
{
    QStringList words;
    QString plain;
    for (const QChar c : text) {
        const char *name = controlName(c.unicode());
        if (!name) {
            plain += c;
            continue;
        }
        if (!plain.isEmpty())
            words << std::exchange(plain, QString());
        words << QString::fromLatin1(name);
    }
    if (!plain.isEmpty())
        words << plain;
    return words.join(u' ');
}

QString quotedText(const QString &text)
{
    QString quoted(kFirstStrongIsolate);
    for (const char32_t c : text.toUcs4()) {
        if (hasPicture(c))
            quoted += picture(c);
        else if (isInvisible(c))
            quoted += QStringLiteral("<U+%1>").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
        else
            quoted += QString::fromUcs4(&c, 1);
    }
    return quoted + QChar(kPopDirectionalIsolate);
}

QString terminalText(const QString &text)
{
    QString shown;
    for (const char32_t c : text.toUcs4()) {
        if (!hasPicture(c) && !isInvisible(c)) {
            shown += QString::fromUcs4(&c, 1);
            continue;
        }
        const QString code = QString::number(uint(c), 16).toUpper();
        shown += c <= 0xFF ? QStringLiteral("\\x") + code.rightJustified(2, u'0')
                           : QStringLiteral("\\u") + code.rightJustified(4, u'0');
    }
    return shown;
}
