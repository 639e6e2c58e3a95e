#include "Demo.h"

#include <QEvent>

namespace {
constexpr int kWindowGap = 16;
} // namespace

Demo::Demo()
{
    m_panel.serialLink().setDeviceResolver([this](int) -> std::optional<QString> {
        if (m_board.devicePath().isEmpty())
            return std::nullopt;
        // After an unplug this is the old path, so "SET" fails as on a missing device.
        return m_board.devicePath();
    });
    m_panel.installEventFilter(this);
}

void Demo::show()
{
    m_panel.show();
    const QRect panelFrame = m_panel.frameGeometry();
    m_boardWindow.move(panelFrame.right() + kWindowGap, panelFrame.top());
    m_boardWindow.show();
}

bool Demo::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_panel && event->type() == QEvent::Close)
        m_boardWindow.close();
    return QObject::eventFilter(watched, event);
}
