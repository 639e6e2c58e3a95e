#include "Companion.h"

#include "Answers.h"
#include "PortOpening.h"
#include "QueryExchange.h"

#include <QCoreApplication>

namespace {

using Clock = std::chrono::steady_clock;
using cli::ExitStatus;

// Thrown where an end request comes through; the run closes the port and ends.
struct EndRequested {
};

std::chrono::microseconds leftUntil(Clock::time_point deadline)
{
    return std::max(std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()),
                    std::chrono::microseconds(0));
}

// The reply receiver's source without an event loop: it sleeps on the device
// until input comes, the time is up, an end request comes or the device goes.
class DeviceReplySource : public LinkReplySource
{
public:
    DeviceReplySource(SerialLink &link, CompanionConsole &console,
                      std::chrono::milliseconds timeout)
        : LinkReplySource(link)
        , m_console(console)
        , m_deadline(Clock::now() + timeout)
    {
    }

    void yield(bool starved) override
    {
        const std::chrono::microseconds left = starved ? leftUntil(m_deadline) : decltype(left)(0);
        const bool arrived = m_link.waitForArrivingInput(left);
        if (m_console.endRequested())
            throw EndRequested();
        // Woken early with nothing to read: the device may have hung up.
        if (!arrived && leftUntil(m_deadline).count() > 0 && m_link.noticeDeviceGone())
            throw SerialError(SerialError::Kind::WaitAbandoned, {});
    }

    bool timedOut() override { return Clock::now() >= m_deadline; }

private:
    CompanionConsole &m_console;
    const Clock::time_point m_deadline;
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
{
    QObject::connect(&m_link, &SerialLink::deviceLost,
                     [this](const SerialError &error) { m_lostDevice = error; });
}

ExitStatus Companion::run()
{
    try {
        ExitStatus status = open();
        if (status == ExitStatus::Done)
            status = m_invocation.session ? runSession() : runCommands();
        takeOwedReplies();
        m_link.setPortOpen(false);
        return status;
    } catch (const EndRequested &) {
        m_link.setPortOpen(false); // its lock file goes with it
        m_console.endAsRequested();
    }
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
    try {
        openAsSet(m_link, portText);
        return ExitStatus::Done;
    } catch (const SerialError &error) {
        print(CompanionConsole::Stream::Errors, "tq905: " + messageOf(error).toUtf8() + '\n');
        return error.kind() == SerialError::Kind::NotAPortNumber ? ExitStatus::NotUnderstood
                                                                 : ExitStatus::CannotOpen;
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
        if (const auto *complaint = std::get_if<cli::Complaint>(&parsed))
            status = fail(ExitStatus::NotUnderstood, number, shortened(line), {}, *complaint,
                          Naming::ByComplaint);
        else if (const auto *command = std::get_if<cli::Command>(&parsed))
            status = runOne(*command, number);
        worst = cli::worse(worst, status);
        if (status == ExitStatus::DeviceGone)
            return worst;
    }
}

ExitStatus Companion::runOne(const cli::Command &command, std::optional<int> line)
{
    const Clock::time_point started = Clock::now();
    try {
        if (command.replyLength == 0) {
            send(command.frame);
            if (m_invocation.json)
                print(CompanionConsole::Stream::Output, cli::jsonSent(line, command));
            return ExitStatus::Done;
        }
        QueryExchange query(m_link, command.frame, command.replyLength, m_invocation.timeout);
        query.start([this](const QByteArray &frame) { send(frame); });
        DeviceReplySource source(m_link, m_console, m_invocation.timeout);
        const std::optional<QByteArray> body = query.finish(source);
        if (!body) {
            // An empty answer keeps a reader of one line a query in step, as the
            // panel empties its result boxes.
            if (!m_invocation.json)
                print(CompanionConsole::Stream::Output, "\n");
            return fail(ExitStatus::NoReply, line, command.text, command.frame,
                        QStringLiteral("Receive ERR"));
        }
        print(CompanionConsole::Stream::Output,
              m_invocation.json ? cli::jsonReply(line, command, *body, Clock::now() - started)
                                : cli::textAnswer(command, *body));
        return ExitStatus::Done;
    } catch (const SerialError &error) {
        if (m_link.portOpen()) // the line did not take the frame
            return fail(ExitStatus::NoReply, line, command.text, command.frame, messageOf(error));
        return fail(ExitStatus::DeviceGone, line, command.text, command.frame, lostDeviceMessage());
    }
}

// A reply waited for in vain may still come; taken here, the next program on
// the port cannot take it for its own.
void Companion::takeOwedReplies()
{
    while (m_link.portOpen()) {
        const std::optional<Clock::time_point> until = m_link.outstandingReplies().owedUntil();
        if (!until)
            return;
        const bool arrived = m_link.waitForArrivingInput(leftUntil(*until));
        if (m_console.endRequested())
            throw EndRequested();
        if (!arrived && (leftUntil(*until).count() == 0 || m_link.noticeDeviceGone()))
            return;
        QueryExchange::dropStaleInput(m_link);
    }
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

ExitStatus Companion::fail(ExitStatus status, std::optional<int> line, const QString &commandText,
                           const QByteArray &frame, const QString &message, Naming naming)
{
    QString where = line ? QStringLiteral("line %1: ").arg(*line) : QString();
    if (naming == Naming::ByCommand)
        where += commandText + QStringLiteral(": ");
    print(CompanionConsole::Stream::Errors,
          QStringLiteral("tq905: %1%2\n").arg(where, message).toUtf8());
    if (m_invocation.json)
        print(CompanionConsole::Stream::Output, cli::jsonError(line, commandText, frame, message));
    return status;
}

// A device named on the command line has no port number to speak of.
QString Companion::messageOf(const SerialError &error) const
{
    if (!m_invocation.devicePath)
        return error.operatorMessage();
    return SerialError(error.kind(), error.detail(), std::nullopt, error.devicePath(),
                       error.advice())
        .operatorMessage();
}

// The link tells of a lost device through the event loop; none runs here, so
// what it has posted is delivered now.
QString Companion::lostDeviceMessage()
{
    QCoreApplication::sendPostedEvents(&m_link, QEvent::MetaCall);
    return messageOf(m_lostDevice.value_or(
        SerialError(SerialError::Kind::DeviceLost, {}, m_link.commPort(), m_link.devicePath())));
}

void Companion::print(CompanionConsole::Stream stream, const QByteArray &bytes)
{
    if (!m_console.write(stream, bytes))
        throw EndRequested();
}
