#include "CommandDisplay.h"

#include <QPainter>
#include <QStyle>

namespace {
constexpr char16_t kFirstControlPicture = 0x2400;
constexpr char16_t kDeletePicture = 0x2421;
} // namespace

QString withControlPictures(const QString &text)
{
    QString shown = text;
    for (QChar &c : shown) {
        if (c.unicode() < 0x20)
            c = QChar(kFirstControlPicture + c.unicode());
        else if (c.unicode() == 0x7F)
            c = QChar(kDeletePicture);
    }
    return shown;
}

CommandDisplay::CommandDisplay(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    // Laid out again on every frame and reply; ASCII and control pictures need no
    // shaping. The rest of the font comes from the window as before.
    QFont noShaping;
    noShaping.setStyleStrategy(QFont::PreferNoShaping);
    setFont(noShaping);
}

void CommandDisplay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), static_cast<int>(alignment()), palette(),
                          isEnabled(), withControlPictures(text()), foregroundRole());
}
