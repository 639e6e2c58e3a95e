#pragma once

#include "PtyPair.h"
#include "TQ905Panel.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <stdexcept>

// A panel on the offscreen platform whose port numbers 2 to 5 are real
// pseudo-terminals, and whose message boxes are recorded and closed at once,
// as an operator pressing OK would.
class PanelHarness
{
public:
    PanelHarness();

    TQ905Panel &panel() { return m_panel; }
    SerialLink &link() { return m_panel.serialLink(); }
    PtyPair &board(int portNumber = 3) { return *m_boards.at(portNumber); }

    template <typename T = QWidget>
    T *control(const char *name) const
    {
        T *found = m_panel.findChild<T *>(QString::fromLatin1(name));
        if (!found)
            throw std::invalid_argument(name);
        return found;
    }
    void click(const char *buttonName);
    // The text a label, text box or the port box shows; setText changes it.
    QString text(const char *controlName) const;
    void setText(const char *controlName, const QString &text);
    // Presses "SET" with the given number in the port box.
    void openPort(const QString &portText = QStringLiteral("3"));
    QColor indicator() const;

    QList<TQ905Panel::Message> messages;
    // Runs while each message is shown, before it is closed.
    std::function<void(const TQ905Panel::Message &)> onMessage;

private:
    std::map<int, std::unique_ptr<PtyPair>> m_boards;
    TQ905Panel m_panel;
};

// The texts of the messages shown so far, which are then forgotten.
QStringList takeMessages(PanelHarness &harness);
