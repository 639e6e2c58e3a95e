#include "Companion.h"

#include "Answers.h"
#include "AvailablePorts.h"
#include "ControlPictures.h"
#include "PortNumber.h"
#include "PortOpening.h"
#include "QueryExchange.h"

#include <QCoreApplication>

namespace {

using Clock = std::chrono::steady_clock;
using cli::ExitStatus;

// Thrown where an end request comes through; the run closes the port and ends.
struct EndRequested {
};

// Thrown where standard output takes nothing: the answers would be lost.
struct OutputLost {
};

std::chrono::microseconds leftUntil(Clock::time_point deadline)
{
    return std::max(std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()),
                    std::chrono::microseconds(0));
}

// A query's wait without an event loop: it sleeps on the device until input
// comes, the time is up, an end request comes or the device goes.
class DeviceWait : public ExchangeWait
{
public:
    DeviceWait(SerialLink &link, CompanionConsole &console)
        : m_link(link)
        , m_console(console)
    {
    }

    void yield(Clock::time_point until) override
    {
        const bool arrived = m_link.waitForArrivingInput(leftUntil(until));
        if (m_console.endRequested())
            throw EndRequested();
        // Woken early with nothing to read: the device may have hung up.
        if (!arrived && leftUntil(until).count() > 0 && m_link.noticeDeviceGone())
            throw SerialError(SerialError::Kind::WaitAbandoned, {});
    }

private:
    SerialLink &m_link;
    CompanionConsole &m_console;
};

// A line that is no command, as a message quotes it: its start only.
QString shortened(const QByteArray &line)
{
    constexpr qsizetype kMaxQuoted = 60;
    const QString text = QString::fromUtf8(line).trimmed();
    return text.size() <= kMaxQuoted ? text : text.left(kMaxQuoted) + QChar(0x2026);
}

} // namespace

Companion::Companion(cli::Invocation invocation, CompanionConsole &console)
    : m_invocation(std::move(invocation))
    , m_console(console)
    , m_exchange(m_link, m_invocation.timeout)
{
    QObject::connect(&m_link, &SerialLink::deviceLost,
                     [this](const SerialError &error) { m_lostDevice = error; });
}

ExitStatus Companion::run()
{
    try {
        switch (m_invocation.action) {
        case cli::Invocation::Action::Help:
            return say(m_invocation.text);
        case cli::Invocation::Action::Version:
            return say(QStringLiteral("tq905 %1\n").arg(QCoreApplication::applicationVersion()));
        case cli::Invocation::Action::List:
            return say(availablePortsSummary() + u'\n');
        case cli::Invocation::Action::Refuse:
            return refuse();
        case cli::Invocation::Action::Run:
            break;
        }
        ExitStatus status = open();
        if (status == ExitStatus::Done)
            status = runOnPort();
        leaveLine();
        return status;
    } catch (const EndRequested &) {
        m_link.setPortOpen(false); // its lock file goes with it; an owed reply stays
        m_console.endAsRequested();
    }
}

ExitStatus Companion::runOnPort()
{
    try {
        return m_invocation.session ? runSession() : runCommands();
    } catch (const OutputLost &) {
        m_console.write(CompanionConsole::Stream::Errors,
                        "tq905: standard output cannot be written: "
                            + terminalText(m_console.writeFailure()).toUtf8() + '\n');
        return ExitStatus::OutputFailed;
    }
}

ExitStatus Companion::say(const QString &text)
{
    print(CompanionConsole::Stream::Output, text.toUtf8());
    return ExitStatus::Done;
}

ExitStatus Companion::refuse()
{
    QString complaint = m_invocation.text;
    if (complaint.endsWith(u'.'))
        complaint.chop(1);
    return fail(ExitStatus::NotUnderstood, std::nullopt, {}, {},
                complaint + QStringLiteral(". tq905 --help lists the options and commands."),
                Naming::ByComplaint);
}

ExitStatus Companion::open()
{
    QString portText;
    if (m_invocation.devicePath) {
        m_link.setDeviceResolver([path = *m_invocation.devicePath](int) { return path; });
        portText = QStringLiteral("1"); // any number selects the device
    } else {
        portText = *m_invocation.portText;
    }
    // A request to end comes through the waits of a network port's connect.
    m_link.setOpeningYield([this] {
        if (m_console.endRequested())
            throw EndRequested();
    });
    try {
        openAsSet(m_link, portText);
        return ExitStatus::Done;
    } catch (const SerialError &error) {
        using Kind = SerialError::Kind;
        // Any number that selects no device is as wrong as a word here.
        const bool notAPort = error.kind() == Kind::NotAPortNumber
                              || error.kind() == Kind::PortNumberOutOfRange
                              || error.kind() == Kind::UnmappedPortNumber;
        const bool understood = !notAPort && error.kind() != Kind::BadAddress;
        return fail(understood ? ExitStatus::CannotOpen : ExitStatus::NotUnderstood, std::nullopt,
                    {}, {},
                    messageOf(notAPort ? SerialError(Kind::NotAPortNumber, portText) : error),
                    Naming::ByComplaint);
    }
}

// A failing command ends the run there, as a handler stops at its failing step.
ExitStatus Companion::runCommands()
{
    for (const cli::Command &command : m_invocation.commands) {
        if (m_console.endRequested())
            throw EndRequested();
        const ExitStatus status = runOne(command, std::nullopt);
        if (status != ExitStatus::Done)
            return status;
    }
    return ExitStatus::Done;
}

// A line that fails is told and the session goes on, unless the device has gone.
ExitStatus Companion::runSession()
{
    ExitStatus worst = ExitStatus::Done;
    QByteArray line;
    for (int number = 1;; ++number) {
        const CompanionConsole::Read read = m_console.readLine(line);
        if (read == CompanionConsole::Read::End)
            return worst;
        if (read == CompanionConsole::Read::Interrupted || m_console.endRequested())
            throw EndRequested();
        std::variant<std::monostate, cli::Command, cli::Complaint> parsed;
        if (read == CompanionConsole::Read::TooLong)
            parsed = QStringLiteral("the line is longer than %1 bytes")
                         .arg(CompanionConsole::kMaxLineBytes);
        else
            parsed = cli::readLine(QString::fromUtf8(line));
        ExitStatus status = ExitStatus::Done;
        if (const auto *complaint = std::get_if<cli::Complaint>(&parsed)) {
            if (cli::isQueryLine(QString::fromUtf8(line)))
                answerNothing();
            status = fail(ExitStatus::NotUnderstood, number, shortened(line), {}, *complaint,
                          Naming::ByComplaint);
        } else if (const auto *command = std::get_if<cli::Command>(&parsed))
            status = runOne(*command, number);
        worst = cli::worse(worst, status);
        if (status == ExitStatus::DeviceGone)
            return worst;
    }
}

// Output commands go at once, also while a reply owed to an earlier query may
// still come.
ExitStatus Companion::runOne(const cli::Command &command, std::optional<int> line)
{
    try {
        if (command.replyLength > 0)
            return runQuery(command, line);
        send(command.frame);
        if (m_invocation.json)
            print(CompanionConsole::Stream::Output, cli::jsonSent(line, command));
        return ExitStatus::Done;
    } catch (const SerialError &error) {
        if (command.replyLength > 0)
            answerNothing();
        if (m_link.portOpen()) // the line did not take the frame
            return fail(ExitStatus::NoReply, line, command.text, command.frame, messageOf(error));
        return fail(ExitStatus::DeviceGone, line, command.text, command.frame, lostDeviceMessage());
    }
}

// After a reply lost, the query waits until it has come or its time is over.
// Its time (--json's ms) runs from the discard of stale input to the reply in
// hand, without that wait.
ExitStatus Companion::runQuery(const cli::Command &command, std::optional<int> line)
{
    DeviceWait wait(m_link, m_console);
    m_exchange.awaitTurn(wait);
    const Clock::time_point started = Clock::now();
    m_exchange.start(command.frame, wait, [this](const QByteArray &frame) { send(frame); });
    const Clock::time_point deadline = Clock::now() + m_invocation.timeout;
    const std::optional<QByteArray> body = m_exchange.receive(
        command.replyLength, wait, [deadline] { return Clock::now() >= deadline; }, deadline);
    if (!body) {
        answerNothing();
        return fail(ExitStatus::NoReply, line, command.text, command.frame,
                    QStringLiteral("Receive ERR"));
    }
    print(CompanionConsole::Stream::Output,
          m_invocation.json ? cli::jsonReply(line, command, *body, Clock::now() - started)
                            : cli::textAnswer(command, *body));
    return ExitStatus::Done;
}

// A reply waited for in vain may still come; taken here, the next program on
// the port cannot take it for its own. A device gone has nothing more to give.
void Companion::leaveLine()
{
    try {
        DeviceWait wait(m_link, m_console);
        m_exchange.awaitTurn(wait);
    } catch (const SerialError &) {
    }
    m_link.setPortOpen(false);
}

// Output the line does not take at once is sent before the next step, since no
// event loop will send it later.
void Companion::send(const QByteArray &frame)
{
    m_link.setOutput(frame);
    if (m_link.sendQueuedOutput(m_invocation.timeout))
        return;
    if (m_console.endRequested())
        throw EndRequested();
    if (m_link.noticeDeviceGone())
        throw SerialError(SerialError::Kind::WaitAbandoned, {});
    const QString fate = m_link.discardOutput()
                             ? QStringLiteral("it has been dropped, with what the line still "
                                              "held of the commands before it")
                             : QStringLiteral("it is still queued and goes out when the line "
                                              "takes it");
    throw SerialError(SerialError::Kind::OutputStalled,
                      QStringLiteral("the frame was not taken within %1 ms; %2")
                          .arg(m_invocation.timeout.count())
                          .arg(fate),
                      m_link.commPort(), m_link.devicePath());
}

// An empty answer keeps a reader of one line a query in step, as the panel
// empties its result boxes; with --json the error object is the line.
void Companion::answerNothing()
{
    if (!m_invocation.json)
        print(CompanionConsole::Stream::Output, "\n");
}

ExitStatus Companion::fail(ExitStatus status, std::optional<int> line, const QString &commandText,
                           const QByteArray &frame, const QString &message, Naming naming)
{
    QString where = line ? QStringLiteral("line %1: ").arg(*line) : QString();
    if (naming == Naming::ByCommand)
        where += commandText + QStringLiteral(": ");
    print(CompanionConsole::Stream::Errors,
          "tq905: " + terminalText(where + message).toUtf8() + '\n');
    if (m_invocation.json)
        print(CompanionConsole::Stream::Output, cli::jsonError(line, commandText, frame, message));
    return status;
}

// tq905 tells a failure on one line, in the words of its command line: the
// port number or the device's path it was given, and trying again.
QString Companion::messageOf(const SerialError &error) const
{
    const bool byPath = m_invocation.devicePath.has_value();
    return error.operatorMessage({QStringLiteral("try again"),
                                  portNumbersText(),
                                  portNumbersText(),
                                  byPath ? QStringLiteral("path") : QStringLiteral("port number"),
                                  {},
                                  QStringLiteral(" "),
                                  false,
                                  byPath});
}

// The link tells of a lost device through the event loop; none runs here, so
// what it has posted is delivered now.
QString Companion::lostDeviceMessage()
{
    QCoreApplication::sendPostedEvents(&m_link, QEvent::MetaCall);
    return messageOf(m_lostDevice.value_or(
        SerialError(SerialError::Kind::DeviceLost, {}, m_link.commPort(), m_link.devicePath())));
}

// An error that cannot be told is let go: there is nowhere else to tell it.
void Companion::print(CompanionConsole::Stream stream, const QByteArray &bytes)
{
    switch (m_console.write(stream, bytes)) {
    case CompanionConsole::Written::Done:
        return;
    case CompanionConsole::Written::EndRequested:
        throw EndRequested();
    case CompanionConsole::Written::Failed:
        if (stream == CompanionConsole::Stream::Output)
            throw OutputLost();
        return;
    }
}
