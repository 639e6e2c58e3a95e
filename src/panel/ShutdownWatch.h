#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <memory>
#include <optional>

class TQ905Panel;

// Ends the program the way the window's close control does (unload, port
// closed, exit code 0) when it is asked to end from outside the window:
// SIGTERM, SIGINT or SIGHUP, or the window destroyed by another X client. Where
// Qt ends the process by itself (the X connection lost), the port is still
// closed on the way out, so its lock file goes too. (The session's end needs
// nothing here: Qt closes every window on the session manager's Quit.) One per
// program; create it after the panel.
class ShutdownWatch : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit ShutdownWatch(TQ905Panel &panel);
    ~ShutdownWatch() override;
    ShutdownWatch(const ShutdownWatch &) = delete;
    ShutdownWatch &operator=(const ShutdownWatch &) = delete;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    void installSignalHandlers();
    void onSignalByte();

    TQ905Panel &m_panel;
    std::unique_ptr<QSocketNotifier> m_signalNotifier;
    // SIGTERM, SIGINT, SIGHUP: what was there before, where this replaced it.
    std::array<std::optional<struct sigaction>, 3> m_previousActions;
};
