#include "ControlPictures.h"

#include <QStringList>

#include <array>
#include <utility>

namespace {

constexpr char16_t kFirstControlPicture = 0x2400;
constexpr char16_t kDeletePicture = 0x2421;
constexpr char16_t kDelete = 0x7F;

constexpr std::array<const char *, 0x20> kControlNames{
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == kDelete;
}

} // namespace

QString withControlPictures(const QString &text)
{
    QString shown = text;
    for (QChar &c : shown) {
        if (c.unicode() < 0x20)
            c = QChar(kFirstControlPicture + c.unicode());
        else if (c.unicode() == kDelete)
            c = QChar(kDeletePicture);
    }
    return shown;
}

QString withControlNames(const QString &text)
{
    QStringList words;
    QString plain;
    for (const QChar c : text) {
        if (!isControl(c)) {
            plain += c;
            continue;
        }
        if (!plain.isEmpty())
            words << std::exchange(plain, QString());
        words << QString::fromLatin1(c.unicode() == kDelete ? "DEL" : kControlNames[c.unicode()]);
    }
    if (!plain.isEmpty())
        words << plain;
    return words.join(u' ');
}
