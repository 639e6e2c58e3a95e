#pragma once

#include "PtyPair.h"
#include "TQ905Panel.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include <sys/resource.h>

#include <functional>
#include <map>
#include <memory>

// The CPU time this process has used so far, user and system together.
inline std::chrono::microseconds processCpuTime()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return std::chrono::seconds(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + std::chrono::microseconds(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// The board's end of a pseudo-terminal, driven from the event loop so that it
// answers while the panel waits: each frame that arrives (up to CR) is recorded
// and handed to the script, whose writes go out at their delays after it.
class ScriptedFarEnd : public QObject
{
public:
    struct Write {
        std::chrono::milliseconds delay;
        QByteArray bytes;
    };
    using Script = std::function<QList<Write>(const QByteArray &frame)>;

    explicit ScriptedFarEnd(PtyPair &pty)
        : m_pty(pty)
        , m_notifier(pty.masterFd(), QSocketNotifier::Read)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, [this] { onReadable(); });
    }

    Script script;
    QList<QByteArray> frames;

    void answerEveryFrameWith(const QList<Write> &writes)
    {
        script = [writes](const QByteArray &) { return writes; };
    }

    void vanish()
    {
        m_notifier.setEnabled(false);
        m_pty.vanish();
    }

private:
    void onReadable()
    {
        char buffer[256];
        const ssize_t n = ::read(m_pty.masterFd(), buffer, sizeof buffer);
        if (n <= 0) {
            m_notifier.setEnabled(false); // hung up: the device side is closed for good
            return;
        }
        m_pending.append(buffer, n);
        for (qsizetype end; (end = m_pending.indexOf('\r')) >= 0;) {
            frames << m_pending.left(end + 1);
            m_pending.remove(0, end + 1);
            for (const Write &write : script ? script(frames.last()) : QList<Write>{})
                QTimer::singleShot(write.delay, this,
                                   [this, bytes = write.bytes] { m_pty.write(bytes); });
        }
    }

    PtyPair &m_pty;
    QSocketNotifier m_notifier;
    QByteArray m_pending;
};

// A panel on the offscreen platform whose port numbers 2 to 4 are real
// pseudo-terminals, and whose message boxes are recorded and closed at once,
// as an operator pressing OK would.
class PanelHarness
{
public:
    PanelHarness()
    {
        for (int number : {2, 3, 4})
            m_boards[number] = std::make_unique<PtyPair>();
        m_panel.serialLink().setDeviceResolver([this](int number) -> std::optional<QString> {
            const auto board = m_boards.find(number);
            return board == m_boards.end() ? std::nullopt
                                           : std::optional(board->second->devicePath());
        });
        m_panel.setMessagePresenter(
            [this](const TQ905Panel::Message &message) { messages << message.text; });
    }

    TQ905Panel &panel() { return m_panel; }
    PtyPair &board(int portNumber = 3) { return *m_boards.at(portNumber); }
    QStringList messages;

    template <typename T = QWidget>
    T *control(const char *name) const
    {
        T *control = m_panel.findChild<T *>(QString::fromLatin1(name));
        if (!control)
            throw std::invalid_argument(name);
        return control;
    }
    void click(const char *buttonName) { control<QAbstractButton>(buttonName)->click(); }
    // The text of a label or a text box.
    QString text(const char *name) const
    {
        auto *label = qobject_cast<QLabel *>(control(name));
        return label ? label->text() : control<QLineEdit>(name)->text();
    }
    void setText(const char *name, const QString &text) { control<QLineEdit>(name)->setText(text); }
    // Presses "SET" with the given number in the port box.
    void openPort(const QString &portText = QStringLiteral("3"))
    {
        control<QComboBox>("COMNOcmb")->setEditText(portText);
        click("COMset");
    }
    QColor indicator() const { return control("Shape1")->property("fillColor").value<QColor>(); }

private:
    std::map<int, std::unique_ptr<PtyPair>> m_boards;
    TQ905Panel m_panel;
};
