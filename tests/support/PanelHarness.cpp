#include "PanelHarness.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <stdexcept>

PanelHarness::PanelHarness()
{
    for (int number : {2, 3, 4, 5})
        m_boards[number] = std::make_unique<PtyPair>();
    m_panel.serialLink().setDeviceResolver([this](int number) -> std::optional<QString> {
        const auto board = m_boards.find(number);
        if (board == m_boards.end())
            return std::nullopt;
        return board->second->devicePath();
    });
    m_panel.setMessagePresenter(
        [this](const TQ905Panel::Message &message) { m_messages << message; });
}

void PanelHarness::click(const char *buttonName)
{
    auto *button = control<QAbstractButton>(buttonName);
    if (!button)
        throw std::invalid_argument(buttonName);
    button->click();
}

QString PanelHarness::text(const char *controlName) const
{
    if (auto *label = control<QLabel>(controlName))
        return label->text();
    if (auto *box = control<QLineEdit>(controlName))
        return box->text();
    if (auto *combo = control<QComboBox>(controlName))
        return combo->currentText();
    throw std::invalid_argument(controlName);
}

void PanelHarness::setText(const char *controlName, const QString &text)
{
    if (auto *combo = control<QComboBox>(controlName)) {
        combo->setEditText(text);
        return;
    }
    auto *box = control<QLineEdit>(controlName);
    if (!box)
        throw std::invalid_argument(controlName);
    box->setText(text);
}

void PanelHarness::openPort(const QString &portText)
{
    setText("COMNOcmb", portText);
    click("COMset");
}

QList<TQ905Panel::Message> PanelHarness::takeMessages()
{
    return std::exchange(m_messages, {});
}
