#include "CommandFrame.h"

namespace frame {

QByteArray commandFrame(QByteArrayView body)
{
    QByteArray frame;
    frame.reserve(body.size() + 2);
    frame.append(kStx).append(body).append(kCr);
    return frame;
}

QByteArray lastLineBytes(QStringView text, int count)
{
    QByteArray bytes;
    qsizetype end = text.size();
    while (bytes.size() < count && end > 0) {
        qsizetype start = end - 1;
        char32_t codePoint = text[start].unicode();
        if (text[start].isLowSurrogate() && start > 0 && text[start - 1].isHighSurrogate()) {
            --start;
            codePoint = QChar::surrogateToUcs4(text[start], text[start + 1]);
        }
        bytes.prepend(codePoint <= 0xFF ? static_cast<char>(codePoint) : '?');
        end = start;
    }
    return bytes;
}

QByteArray textField(QStringView text)
{
    return (QByteArray("0") + lastLineBytes(text, 2)).right(2);
}

QByteArray hexField(int value)
{
    return (QByteArray("000") + QByteArray::number(value, 16).toUpper()).right(3);
}

QString lineText(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes);
}

} // namespace frame
