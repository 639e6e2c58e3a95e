#pragma once

#include "PtyPair.h"
#include "TQ905Panel.h"

#include <QList>
#include <QString>

#include <map>
#include <memory>

class QAbstractButton;

// A panel on the offscreen platform whose port numbers 2 to 5 are real
// pseudo-terminals, and whose message boxes are recorded and closed at once,
// as an operator pressing OK would.
class PanelHarness
{
public:
    PanelHarness();

    TQ905Panel &panel() { return m_panel; }
    PtyPair &board(int portNumber = 3) { return *m_boards.at(portNumber); }

    template <typename T>
    T *control(const char *name) const
    {
        return m_panel.findChild<T *>(QString::fromLatin1(name));
    }
    void click(const char *buttonName);
    QString text(const char *controlName) const;
    void setText(const char *controlName, const QString &text);
    // Presses "SET" with the given number in the port box.
    void openPort(const QString &portText = QStringLiteral("3"));

    const QList<TQ905Panel::Message> &messages() const { return m_messages; }
    QList<TQ905Panel::Message> takeMessages();

private:
    std::map<int, std::unique_ptr<PtyPair>> m_boards;
    TQ905Panel m_panel;
    QList<TQ905Panel::Message> m_messages;
};
