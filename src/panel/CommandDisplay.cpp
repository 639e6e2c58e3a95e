#include "CommandDisplay.h"

#include <QAccessibleWidget>
#include <QPainter>
#include <QStyle>

#include <utility>

namespace {

// What a screen reader gets from the display: the frame or reply as its
// description, with the control characters named instead of drawn.
class CommandDisplayAccessible : public QAccessibleWidget
{
public:
    explicit CommandDisplayAccessible(CommandDisplay *display)
        : QAccessibleWidget(display, QAccessible::StaticText)
    {
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Description)
            return withControlNames(static_cast<const QLabel *>(widget())->text());
        return QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface *accessibleCommandDisplay(const QString &, QObject *object)
{
    auto *display = qobject_cast<CommandDisplay *>(object);
    return display ? new CommandDisplayAccessible(display) : nullptr;
}

} // namespace

CommandDisplay::CommandDisplay(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    // Laid out again on every frame and reply; ASCII and control pictures need no
    // shaping. The rest of the font comes from the window as before.
    QFont noShaping;
    noShaping.setStyleStrategy(QFont::PreferNoShaping);
    setFont(noShaping);
    [[maybe_unused]] static const bool factoryInstalled =
        (QAccessible::installFactory(accessibleCommandDisplay), true);
}

void CommandDisplay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QRect room = contentsRect();
    QString run; // drawn as text, up to the next code box
    for (const QChar c : text()) {
        if (!isInvisible(c.unicode())) {
            run += c;
            continue;
        }
        room.setLeft(room.left() + drawText(painter, room, std::exchange(run, QString())));
        room.setLeft(room.left() + drawCodeBox(painter, room, c));
    }
    drawText(painter, room, run);
}

// Returns the width taken.
int CommandDisplay::drawText(QPainter &painter, const QRect &room, const QString &text) const
{
    const QString pictured = withControlPictures(text);
    const int vertical = static_cast<int>(alignment() & Qt::AlignVertical_Mask);
    style()->drawItemText(&painter, room, Qt::AlignLeft | vertical, palette(), isEnabled(),
                          pictured, foregroundRole());
    return fontMetrics().horizontalAdvance(pictured);
}

// The hex value in a small box, with a pixel of room on either side so that
// boxes side by side stay apart. Returns the width taken.
int CommandDisplay::drawCodeBox(QPainter &painter, const QRect &room, QChar c) const
{
    QFont small = font();
    small.setPixelSize(qMax(6, fontInfo().pixelSize() * 2 / 3));
    const QFontMetrics smallMetrics(small);
    const QString code = QStringLiteral("%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
    QRect box(0, 0, smallMetrics.horizontalAdvance(code) + 4, smallMetrics.capHeight() + 5);
    box.moveCenter(QPoint(room.left() + 1 + box.width() / 2, room.center().y()));
    painter.save();
    painter.setFont(small);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.drawText(box, Qt::AlignCenter, code);
    painter.restore();
    return box.width() + 2;
}
