#include "PanelHarness.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

PanelHarness::PanelHarness()
{
    for (int number : {2, 3, 4, 5})
        m_boards[number] = std::make_unique<PtyPair>();
    link().setDeviceResolver([this](int number) -> std::optional<QString> {
        const auto board = m_boards.find(number);
        if (board == m_boards.end())
            return std::nullopt;
        return board->second->devicePath();
    });
    m_panel.setMessagePresenter([this](const TQ905Panel::Message &message) {
        messages << message;
        if (onMessage)
            onMessage(message);
    });
}

void PanelHarness::click(const char *buttonName)
{
    control<QAbstractButton>(buttonName)->click();
}

QString PanelHarness::text(const char *controlName) const
{
    QWidget *widget = control(controlName);
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    if (auto *combo = qobject_cast<QComboBox *>(widget))
        return combo->currentText();
    return qobject_cast<QLineEdit *>(widget)->text();
}

void PanelHarness::setText(const char *controlName, const QString &text)
{
    QWidget *widget = control(controlName);
    if (auto *combo = qobject_cast<QComboBox *>(widget))
        combo->setEditText(text);
    else
        qobject_cast<QLineEdit *>(widget)->setText(text);
}

void PanelHarness::openPort(const QString &portText)
{
    setText("COMNOcmb", portText);
    click("COMset");
}

QColor PanelHarness::indicator() const
{
    return control("Shape1")->property("fillColor").value<QColor>();
}

QStringList takeMessages(PanelHarness &harness)
{
    QStringList texts;
    for (const TQ905Panel::Message &message : std::exchange(harness.messages, {}))
        texts << message.text;
    return texts;
}
