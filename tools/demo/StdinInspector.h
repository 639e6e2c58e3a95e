#pragma once

#include <QByteArray>
#include <QObject>

class QSocketNotifier;
class QWidget;

// A test hook of the demo, off unless --inspect is given: each line "dump" on
// stdin prints one line "dump {...}" on stdout, a JSON object with every panel
// control (name, class, global geometry, text, and the indicator's colour) and
// every visible top-level window (title, geometry, and a message box's text).
// End-to-end tests read the panel back this way while driving it with real
// X input.
class StdinInspector : public QObject
{
    Q_OBJECT

public:
    explicit StdinInspector(const QWidget &panel, QObject *parent = nullptr);

private:
    void onReadable();
    void handleLine(const QByteArray &line);
    QByteArray dump() const;

    const QWidget &m_panel;
    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_pending;
};
