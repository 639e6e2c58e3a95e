#include "CommandDisplay.h"

#include <QAccessibleWidget>
#include <QPainter>
#include <QStyle>

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
    style()->drawItemText(&painter, contentsRect(), static_cast<int>(alignment()), palette(),
                          isEnabled(), withControlPictures(text()), foregroundRole());
}
