// tq905 run as a script runs it, against the virtual board on a real
// pseudo-terminal: the frames it sends are the panel's, its answers, its exit
// statuses, and how it ends on a signal or when the device goes.
#include "AvailablePorts.h"
#include "ComPortOption.h"
#include "CommandTable.h"
#include "CommandWords.h"
#include "FarEnd.h"
#include "FrameParser.h"
#include "HostileServer.h"
#include "OutputCommands.h"
#include "PtyPair.h"
#include "Queries.h"
#include "Ser2net.h"
#include "SerialLink.h"
#include "SilentPort.h"
#include "SocketDevice.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>

using namespace std::chrono_literals;

constexpr bool kPeakMemoryChecked = TQ905_PEAK_MEMORY_CHECKED;

Q_DECLARE_METATYPE(Ser2net::Accepter)

namespace {

// A headless board reporting port A 5A and AD2 2A7.
struct Board {
    explicit Board(const QString &options = {})
    {
        process.start(TQ905_BOARD,
                      QStringList{"--headless", "--trace", "--port-a", "5A", "--analog", "2=2A7"}
                          + options.split(u' ', Qt::SkipEmptyParts));
        process.waitForReadyRead(5000);
        device = QString::fromLocal8Bit(process.readLine().trimmed());
    }
    ~Board() { process.kill(), process.waitForFinished(); }
    // What its trace says it read since the last call ("bit 3 on|read ports"), once quiet.
    QString framesRead()
    {
        while (process.waitForReadyRead(150)) { }
        const QString trace = QString::fromLatin1(process.readAllStandardOutput());
        return trace.split(u'\n').filter(QRegularExpression("^< ")).join(u'|').remove("< ");
    }
    // Whether its trace says, within 5 s, that it read this one frame.
    bool hasRead(const QString &frame)
    {
        QString read;
        for (const QDeadlineTimer deadline(5000); read.isEmpty() && !deadline.hasExpired();)
            read = framesRead();
        return read == frame;
    }
    // Another test's program that had the same pseudo-terminal number may have
    // left its lock; only the PID in it tells whose it is.
    bool lockedBy(qint64 pid) const
    {
        QFile lock(lockFilePath(device));
        return lock.open(QIODevice::ReadOnly) && lock.readAll().trimmed().toLongLong() == pid;
    }
    QProcess process;
    QString device;
};

struct Run {
    int status;
    QString out; // the times of --json as 0
    QString err;
    qint64 ms;
};

Run runTq905(const QString &arguments, const QString &device, const QByteArray &input = {})
{
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(TQ905, arguments.split(u' ').replaceInStrings("DEVICE", device));
    process.write(input);
    process.closeWriteChannel();
    // The event loop runs meanwhile, for a far end of the test's own.
    QEventLoop untilFinished;
    QObject::connect(&process, &QProcess::finished, &untilFinished, &QEventLoop::quit);
    QTimer::singleShot(20000, &untilFinished, &QEventLoop::quit);
    if (process.state() != QProcess::NotRunning)
        untilFinished.exec();
    const QRegularExpression time(QStringLiteral("\"ms\":[0-9]+\\.[0-9]{3}"));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLatin1(process.readAllStandardOutput()).replace(time, "\"ms\":0"),
            QString::fromUtf8(process.readAllStandardError()), clock.elapsed()};
}

// Between tq905 and an RFC 2217 server: passes the bytes both ways, but once
// told to hold, keeps what the server sends until the client's next PURGE-DATA
// has gone on to the server; bytes the server sent before it purged then reach
// the client after the client's own discard.
class PurgeHoldingProxy : public QObject
{
public:
    explicit PurgeHoldingProxy(quint16 serverPort)
    {
        m_listener.listen(QHostAddress::LocalHost);
        connect(&m_listener, &QTcpServer::newConnection, this, [this, serverPort] {
            m_client = m_listener.nextPendingConnection();
            m_server.connectToHost(QHostAddress::LocalHost, serverPort);
            connect(m_client, &QTcpSocket::readyRead, this, [this] {
                const QByteArray bytes = m_client->readAll();
                m_server.write(bytes);
                m_fromClient += bytes;
                if (m_holding && m_fromClient.contains(comport::purgeReceiveRequest())) {
                    m_server.flush();
                    m_holding = false;
                    m_client->write(std::exchange(m_held, {}));
                }
            });
        });
        connect(&m_server, &QTcpSocket::readyRead, this, [this] {
            m_held += m_server.readAll();
            if (!m_holding)
                m_client->write(std::exchange(m_held, {}));
        });
    }

    void hold() { m_holding = true, m_fromClient.clear(); }
    const QByteArray &held() const { return m_held; }
    QString url() const
    {
        return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_listener.serverPort());
    }

private:
    QTcpServer m_listener;
    QTcpSocket *m_client = nullptr;
    QTcpSocket m_server;
    QByteArray m_fromClient;
    QByteArray m_held;
    bool m_holding = false;
};

// tq905 as a child of this process's own, so that wait4 gives its peak memory;
// a session whose one line, "in", is written once `ready` says so. SIGTERM goes
// `termAfter` after that, where given.
struct Measured {
    int status = -1; // 128 + the signal for an end by a signal
    qint64 ms = 0;   // from `ready` (-1: never ready), or from the SIGTERM
    qint64 peakKiB = 0;
    QString err;
    bool terminated = false; // a SIGTERM was sent: it did not end on its own first
};

Measured runTq905Measured(const QString &url, int timeoutMs, const std::function<bool()> &ready,
                          std::optional<std::chrono::milliseconds> termAfter)
{
    int input[2], errors[2];
    if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(errors, O_CLOEXEC | O_NONBLOCK) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
    const QByteArray timeout = QByteArray::number(timeoutMs), device = url.toUtf8();
    const char *argv[] = {TQ905,         "--timeout", timeout.data(), "--device",
                          device.data(), "-",         nullptr};
    pid_t pid = -1;
    ::posix_spawn(&pid, TQ905, &actions, nullptr, const_cast<char **>(argv), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]), ::close(errors[1]);
    QElapsedTimer clock; // from `ready`, then from the SIGTERM
    int status = 0;
    bool terminated = false;
    rusage usage{};
    while (::wait4(pid, &status, WNOHANG, &usage) == 0) {
        if (!clock.isValid() && ready()) {
            clock.start();
            [[maybe_unused]] const ssize_t written = ::write(input[1], "in\n", 3);
            ::close(std::exchange(input[1], -1));
        }
        if (termAfter && clock.isValid() && clock.elapsed() >= termAfter->count()) {
            ::kill(pid, SIGTERM), termAfter.reset();
            clock.start(), terminated = true;
        }
        QTest::qWait(2);
    }
    char buffer[4096];
    const ssize_t told = ::read(errors[0], buffer, sizeof buffer);
    ::close(input[1]), ::close(errors[0]);
    return {WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status),
            clock.isValid() ? clock.elapsed() : -1, usage.ru_maxrss,
            QString::fromUtf8(buffer, std::max<ssize_t>(told, 0)), terminated};
}

bool matchesWhole(const QString &pattern, const QString &text)
{
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern),
                              QRegularExpression::DotMatchesEverythingOption)
        .match(text)
        .hasMatch();
}

} // namespace

class CompanionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Every row of the command table against the board's reading of frames: at
    // both edges of its arguments a command's frame is that command, and one past
    // an edge is refused before anything is sent.
    void commandTableIsTheBoards()
    {
        const QMap<QString, QString> boardSays{
            {"bit", "bit "},          {"out", "port B "},   {"tris", "direction "}, {"pwm", "PWM"},
            {"bz", "buzzer length "}, {"in", "read ports"}, {"ad", "read channel "}};
        const auto edge = [](const commands::Argument &argument, int which) -> QString {
            if (!argument.choices.isEmpty())
                return which == 0 ? argument.choices.first() : argument.choices.last();
            if (argument.highest >= 0)
                return QString::number(which == 0 ? 0 : argument.highest);
            return "5A";
        };
        for (const commands::CommandRow &row : commands::commandTable()) {
            QVERIFY2(boardSays.contains(row.word), qPrintable(row.word));
            for (int which : {0, 1}) {
                QStringList words{row.word};
                for (const commands::Argument &argument : row.arguments)
                    words << edge(argument, which);
                const auto read = cli::readCommands(words);
                QVERIFY2(std::holds_alternative<QList<cli::Command>>(read),
                         qPrintable(words.join(' ')));
                const QByteArray frame = std::get<QList<cli::Command>>(read).first().frame;
                const auto parsed = frame::parseCommand(frame.mid(1, frame.size() - 2));
                QVERIFY2(parsed, frame.constData());
                const QString said = frame::describeCommand(*parsed);
                QVERIFY2(said.startsWith(boardSays[row.word]), qPrintable(said));
                for (const QString &word : words.mid(1))
                    QVERIFY2(said.contains(word), qPrintable(said + " lacks " + word));
                for (qsizetype i = 0; i < row.arguments.size() && which == 1; ++i) {
                    const commands::Argument &argument = row.arguments[i];
                    QStringList past = words;
                    if (argument.highest >= 0 || argument.choices.value(0) == "0")
                        past[i + 1] = QString::number(past[i + 1].toInt() + 1);
                    else if (!argument.choices.isEmpty())
                        past[i + 1] += "x";
                    else
                        continue; // any text goes
                    QVERIFY2(std::holds_alternative<cli::Complaint>(cli::readCommands(past)),
                             qPrintable(past.join(' ')));
                }
            }
        }
    }

    void outcomes_data()
    {
        QTest::addColumn<QString>("boardOptions");
        QTest::addColumn<QString>("arguments"); // DEVICE: the board's
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err"); // a regular expression, matched whole
        QTest::addColumn<QString>("framesRead");
        QTest::addColumn<int>("waitMs"); // the time-out that runs out
        const auto row = [](const char *name, const char *board, const char *arguments,
                            const QByteArray &input, int status, const QString &out,
                            const char *err, const char *frames, int waitMs = 0) {
            QTest::newRow(name) << board << arguments << input << status << out << err << frames
                                << waitMs;
        };
        // Then as long again for a late reply, so that the next run does not take it.
        row("no reply: 3 s, nothing sent after it", "--fault no-reply",
            "--device DEVICE out 11 in out 22", "", 1, "\n", "tq905: in: Receive ERR\n",
            "port B 0x11|read ports", 6000);
        row("a bad command: nothing sent", "", "--device DEVICE out 11 pwm 0 1024", "", 2, "",
            "tq905: \"pwm 0 1024\" is not understood; .*\n", "");
        row("an escape sequence is no port number, and is shown plainly", "", "--port \x1b[2J in",
            "", 2, "",
            "tq905: Port \"\\\\x1B\\[2J\": this is not a port number\\. The port numbers are "
            "[^\n]+\n",
            "");
        row("97 is no port number either", "", "--port 97 in", "", 2, "",
            "tq905: Port \"97\": this is not a port number\\.[^\n]+\n", "");
        row("no such device", "", "--device /dev/ttyUSB-none in", "", 3, "",
            "tq905: /dev/ttyUSB-none: no such device\\. Check that the board is plugged in and "
            "that the path is right\\.[^\n]*\n",
            "");
        row("--timeout 0", "", "--timeout 0 --device DEVICE in", "", 2, "",
            "tq905: --timeout wants one number of milliseconds from 1, not \"0\"\\. .*", "");
        row("a second --device", "", "--device DEVICE --device DEVICE in", "", 2, "",
            "tq905: give one --port N or one --device PATH, not more\\. .*", "");
        row("an option after a command, told with --json too", "",
            "--json --device DEVICE in --timeout 5", "", 2,
            "{\"error\":\"\\\"--timeout\\\" is an option; options come before the commands. tq905 "
            "--help lists the options and commands.\"}\n",
            "tq905: \"--timeout\" is an option; options come before the commands\\. [^\n]+\n", "");
        row("--list: the port box's tool tip", "", "--list", "", 0, availablePortsSummary() + "\n",
            "", "");
        row("session: many lines, one answer a query line", "", "--device DEVICE -",
            "# port B\r\n\r\nout 3C\r\n" + QByteArray("in\n").repeated(50) + "out 11 in\n" + "in "
                + QByteArray(65995, 'x') + "\nad 4\nad 2\n",
            2, QString("5A 3C\n").repeated(50) + "\n\n2A7\n",
            "tq905: line 54: \"out 11 in\" is more than one command; a line holds one\n"
            "tq905: line 55: the line is longer than 65536 bytes\n"
            "tq905: line 56: \"ad 4\" is not understood; write ad 0\\|1\\|2\\|3\n",
            qPrintable("port B 0x3C" + QString("|read ports").repeated(50) + "|read channel 2"));
        row("session --json", "", "--json --device DEVICE -",
            "out 3C\nin\nad 9\n" + QByteArray(66000, 'y') + '\n', 2,
            "{\"line\":1,\"command\":\"out 3C\",\"frame\":\"\\u0002O3C\\u000d\"}\n"
            "{\"line\":2,\"command\":\"in\",\"frame\":\"\\u0002I\\u000d\",\"reply\":"
            "\"I5A3C\\u000d\","
            "\"values\":{\"portA\":\"5A\",\"portB\":\"3C\"},\"ms\":0}\n{\"line\":3,\"command\":"
            "\"ad 9\",\"error\":\"\\\"ad 9\\\" is not understood; write ad 0|1|2|3\"}\n"
            "{\"line\":4,\"command\":\""
                + QString(60, 'y')
                + "\\u2026\",\"error\":\"the line is "
                  "longer than 65536 bytes\"}\n",
            "tq905: line 3: \"ad 9\" is not understood; write ad 0\\|1\\|2\\|3\n"
            "tq905: line 4: the line is longer than 65536 bytes\n",
            "port B 0x3C|read ports");
        row("session: no reply, the session goes on", "--fault short",
            "--timeout 300 --device DEVICE -", "in\nout 22\n", 1, "\n",
            "tq905: line 1: in: Receive ERR\n", "read ports|port B 0x22", 300);
        row("session: the device vanishes", "--fault vanish", "--device DEVICE -",
            "out 11\nin\nout 22\n", 4, "\n",
            "tq905: line 2: in: /dev/pts/[0-9]+: the device has gone away \\(unplugged\\?\\)\\. "
            "The port "
            "is closed; plug the board in again and try again\\. System: "
            "Input/output error\n",
            "port B 0x11|read ports");
    }

    void outcomes()
    {
        QFETCH(QString, boardOptions);
        QFETCH(QString, arguments);
        QFETCH(QByteArray, input);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QFETCH(QString, framesRead);
        QFETCH(int, waitMs);
        Board board(boardOptions);
        const Run run = runTq905(arguments, board.device, input);
        QCOMPARE(run.status, status);
        QCOMPARE(run.out, out);
        QVERIFY2(matchesWhole(err, run.err), qPrintable(run.err));
        QCOMPARE(board.framesRead(), framesRead);
        QVERIFY2(run.ms >= waitMs && run.ms < waitMs + 1500, qPrintable(QString::number(run.ms)));
    }

    void farEndsOfTheProtocolText_data()
    {
        QTest::addColumn<int>("lost");   // the query whose reply never comes; 0: none
        QTest::addColumn<int>("lateMs"); // the first reply's delay
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::addColumn<int>("earliestMs");
        QTest::addColumn<int>("latestMs");
        QTest::newRow("bodies that begin and end as the board likes")
            << 0 << 0 << "--device DEVICE in ad 2" << QByteArray() << 0 << "5A 3C\n2A7\n"
            << "" << 0 << 1000;
        // The next line waits out the lost reply's time (as long as the
        // time-out), then has its own answer.
        QTest::newRow("one reply lost in a session: its line alone fails")
            << 3 << 0 << "--timeout 300 --device DEVICE -" << QByteArray("in\n").repeated(8) << 1
            << "11 3C\n12 3C\n\n14 3C\n15 3C\n16 3C\n17 3C\n18 3C\n"
            << "tq905: line 3: in: Receive ERR\n"
            << 600 << 1500;
        // ... or less, when the lost reply comes within that time.
        QTest::newRow("a late reply: the next line goes when it has come")
            << 0 << 600 << "--timeout 500 --device DEVICE -" << QByteArray("in\nin\n") << 1
            << "\n12 3C\n"
            << "tq905: line 1: in: Receive ERR\n"
            << 600 << 950;
    }

    // Each body is the reply's bytes after its STX, whatever they hold; which
    // query a reply answers follows from order and time.
    void farEndsOfTheProtocolText()
    {
        QFETCH(int, lost);
        QFETCH(int, lateMs);
        QFETCH(QString, arguments);
        QFETCH(QByteArray, input);
        PtyPair line;
        const bool numbered = lost > 0 || lateMs > 0;
        FarEnd board(line, [&](int query, const QByteArray &body) -> QByteArray {
            const QByteArray reply = !numbered
                                         ? QByteArray(body == "I" ? "\002x5A3Cy" : "\002c2A7e")
                                         : "\002I" + QByteArray::number(10 + query) + "3C\r";
            if (query == 1 && lateMs > 0) {
                QTimer::singleShot(lateMs, Qt::PreciseTimer, [&line, reply] { line.write(reply); });
                return {};
            }
            return query == lost ? QByteArray() : reply;
        });
        const Run run = runTq905(arguments, line.devicePath(), input);
        QTEST(run.status, "status");
        QTEST(run.out, "out");
        QTEST(run.err, "err");
        QFETCH(int, earliestMs);
        QFETCH(int, latestMs);
        QVERIFY2(run.ms >= earliestMs && run.ms <= latestMs, qPrintable(QString::number(run.ms)));
    }

    void outputAndDescriptors_data()
    {
        QTest::addColumn<QString>("arguments"); // DEVICE: the far end's
        QTest::addColumn<QString>("closed");    // the descriptors closed at the start
        QTest::addColumn<bool>("toFullDisk");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QByteArray>("sent");
        const QString full = "tq905: standard output cannot be written: No space left on device\n";
        QTest::newRow("an empty answer to a full disk")
            << "--timeout 100 --device DEVICE in"
            << "" << true << 5 << full << QByteArray("\2I\r");
        QTest::newRow("--json to a full disk") << "--json --device DEVICE out 3"
                                               << "" << true << 5 << full << QByteArray("\2O03\r");
        QTest::newRow("standard output closed")
            << "--json --device DEVICE out 3"
            << "1" << false << 5
            << "tq905: standard output cannot be written: it was closed when tq905 started\n"
            << QByteArray("\2O03\r");
        QTest::newRow("standard input closed: the session has no lines")
            << "--device DEVICE -"
            << "0" << false << 0 << "" << QByteArray();
        QTest::newRow("all three closed: the device takes none of their numbers")
            << "--timeout 100 --device DEVICE in"
            << "012" << false << 5 << "" << QByteArray("\2I\r");
    }

    // Output that is lost is a failure, and closed descriptors are nobody's.
    void outputAndDescriptors()
    {
        QFETCH(QString, arguments);
        QFETCH(QString, closed);
        QFETCH(bool, toFullDisk);
        QFETCH(int, status);
        QFETCH(QString, err);
        QFETCH(QByteArray, sent);
        PtyPair far;
        QProcess process;
        if (toFullDisk)
            process.setStandardOutputFile("/dev/full");
        process.setChildProcessModifier([closed] {
            for (const QChar fd : closed)
                ::close(fd.digitValue());
        });
        process.start(TQ905, arguments.split(u' ').replaceInStrings("DEVICE", far.devicePath()));
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), status);
        QCOMPARE(QString::fromUtf8(process.readAllStandardError()), err);
        QCOMPARE(far.readQuiet(50ms), sent);
    }

    // More than the line holds waits until the far end reads it, none of it lost.
    void aBurstArrivesWhole()
    {
        PtyPair far;
        QProcess process;
        process.start(TQ905, {"--device", far.devicePath(), "-"});
        process.write(QByteArray("out 11\n").repeated(8000));
        process.closeWriteChannel();
        QTest::qWait(300);
        QByteArray received;
        while (process.state() == QProcess::Running)
            received += far.readQuiet(20ms);
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(received + far.readQuiet(50ms), QByteArray("\002O11\r").repeated(8000));
    }

    // A far end that stops reading for a while: a frame told as dropped never
    // arrives, and what arrives is in order.
    void aFrameToldDroppedNeverArrives()
    {
        PtyPair far;
        QProcess process;
        process.start(TQ905, {"--timeout", "200", "--device", far.devicePath(), "-"});
        constexpr int kLines = 20000;
        for (int i = 0; i < kLines; ++i)
            process.write(QStringLiteral("bz %1 %2\n")
                              .arg(i >> 8, 2, 16, QChar(u'0'))
                              .arg(i & 0xFF, 2, 16, QChar(u'0'))
                              .toLatin1());
        process.closeWriteChannel();
        // Each failure is told with its line number, then why on a line of its own.
        const QString why("System: the frame was not taken within 200 ms; it has been dropped");
        QString told;
        QTRY_VERIFY_WITH_TIMEOUT((told += process.readAllStandardError()).count(why) >= 3, 20000);
        QByteArray received;
        while (process.state() == QProcess::Running)
            received += far.readQuiet(20ms);
        received += far.readQuiet(50ms);
        told += process.readAllStandardError();
        QCOMPARE(process.exitCode(), 1);
        QList<int> droppedLines;
        QRegularExpressionMatchIterator lines =
            QRegularExpression("^tq905: line ([0-9]+): bz ", QRegularExpression::MultilineOption)
                .globalMatch(told);
        while (lines.hasNext())
            droppedLines << lines.next().captured(1).toInt() - 1;
        QCOMPARE(told.count(why), droppedLines.size());
        int last = -1;
        for (const QByteArray &frame : received.split('\002')) {
            if (frame.size() != 6 || !frame.endsWith('\r'))
                continue; // cut by a drop
            const int i = frame.mid(1, 4).toInt(nullptr, 16);
            QVERIFY2(i > last && !droppedLines.contains(i), frame.constData());
            last = i;
        }
        QCOMPARE(last, kLines - 1);
    }

    void endsOnASignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("how");
        QTest::newRow("SIGINT in a wait") << SIGINT << "wait";
        QTest::newRow("SIGTERM in a wait") << SIGTERM << "wait";
        QTest::newRow("SIGTERM while a lost reply may still come") << SIGTERM << "owed";
        QTest::newRow("SIGHUP on idle input") << SIGHUP << "idle";
        QTest::newRow("SIGHUP ignored at the start stays so") << SIGHUP << "ignored";
        QTest::newRow("SIGPIPE: the reader of its answers has gone") << SIGPIPE << "reader gone";
    }

    // At once, by the signal, the port closed and its lock file gone, also where the
    // signal was blocked when it started.
    void endsOnASignal()
    {
        QFETCH(int, signal);
        QFETCH(QString, how);
        Board board("--fault no-reply");
        const bool ignored = how == u"ignored";
        const bool readerGone = how == u"reader gone";
        QProcess process;
        process.setChildProcessModifier([=] {
            ::signal(signal, ignored ? SIG_IGN : SIG_DFL);
            sigset_t blocked; // as some supervisors start a program
            ::sigemptyset(&blocked);
            ::sigaddset(&blocked, signal);
            ::sigprocmask(SIG_BLOCK, &blocked, nullptr);
            int output[2];
            if (readerGone && ::pipe(output) == 0)
                ::close(output[0]), ::dup2(output[1], STDOUT_FILENO);
        });
        const bool session = how == u"idle" || readerGone;
        const QString timeout = how == u"owed" ? "500" : "1000";
        process.start(TQ905, {"--json", "--timeout", timeout, "--device", board.device,
                              session ? "-" : "in"});
        process.write(readerGone ? "in\n" : "");
        QTRY_VERIFY(board.lockedBy(process.processId()));
        if (how == u"idle")
            QCOMPARE(board.framesRead(), QString());
        else
            QVERIFY(board.hasRead("read ports"));
        if (how == u"owed") // past the time-out, in the wait for the reply before ending
            QTest::qWait(500);
        QVERIFY(process.processId() > 0); // kill(0) would end the test
        QElapsedTimer clock;
        clock.start();
        if (!readerGone)
            ::kill(static_cast<pid_t>(process.processId()), signal);
        QVERIFY(process.waitForFinished(5000));
        QVERIFY2(readerGone || clock.elapsed() < (ignored ? 2500 : 100),
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(process.exitStatus() == QProcess::CrashExit ? process.exitCode() : 0,
                 ignored ? 0 : signal);
        QVERIFY(!QFile::exists(lockFilePath(board.device)));
    }

    void theNextProgramGetsThePortOrIsToldWhoHasIt_data()
    {
        QTest::addColumn<QString>("holder"); // what holds the board's device while tq905 runs
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err"); // matched whole; PID: the holder's, DEVICE: the board's
        const QString inUse = "tq905: DEVICE: the device is in use by another program\\. Close "
                              "that program and try again\\. It is process PID ";
        QTest::newRow("nothing: three runs in a row, each answered") << "" << 0 << "";
        QTest::newRow("a session of tq905, by its lock file")
            << "session" << 3
            << inUse + "\\(tq905\\), which holds the lock file /run/lock/LCK\\.\\.pts_[0-9]+\\.\n";
        QTest::newRow("a program that only reserves it (TIOCEXCL)")
            << "reserving" << 3 << inUse + "\\(tst_companion\\), which has the device open\\.\n";
        QTest::newRow("a reservation left by a program killed by a signal")
            << "killed" << 3
            << "tq905: DEVICE: the device is reserved for one program, but no program that you can "
               "see holds it\\. A program ended by a signal cannot give the reservation back, "
               "and a pseudo-terminal keeps it until the program at its other end closes it\\. "
               "Restart process PID \\(tq905-board\\), then open the port again\\. System: Device "
               "or "
               "resource busy\n";
    }

    // Root may open a reserved device, so the reservations are tried as an ordinary user.
    void theNextProgramGetsThePortOrIsToldWhoHasIt()
    {
        QFETCH(QString, holder);
        QFETCH(int, status);
        QFETCH(QString, err);
        if (::geteuid() == 0 && (holder == "reserving" || holder == "killed"))
            QSKIP("root opens a reserved device all the same");
        Board board;
        qint64 pid = board.process.processId();
        QProcess session;
        pid_t reserver = -1;
        // A stopped reserver would keep the test's output open after a failure.
        const auto endReserver = qScopeGuard([&] {
            if (reserver > 0)
                ::kill(reserver, SIGKILL), ::waitpid(reserver, nullptr, 0);
        });
        if (holder == "session") {
            session.start(TQ905, {"--device", board.device, "-"});
            QTRY_VERIFY(board.lockedBy(session.processId()));
            pid = session.processId();
        } else if (!holder.isEmpty()) {
            reserver = ::fork();
            if (reserver == 0) {
                ::ioctl(::open(qPrintable(board.device), O_RDWR | O_NOCTTY), TIOCEXCL);
                ::raise(holder == "killed" ? SIGKILL : SIGSTOP);
            }
            ::waitpid(reserver, nullptr, WUNTRACED);
            pid = holder == "killed" ? pid : reserver;
        }
        err.replace("DEVICE", board.device).replace("PID", QString::number(pid));
        for (int run = 0; run < 3; ++run) {
            const Run tq905 = runTq905("--device DEVICE in", board.device);
            QCOMPARE(tq905.status, status);
            QCOMPARE(tq905.out, status == 0 ? "5A 00\n" : "");
            QVERIFY2(matchesWhole(err, tq905.err), qPrintable(tq905.err));
        }
        session.kill(), session.waitForFinished();
    }

    // Boards on another machine: tq905 through a real ser2net.

    void networkPortPassesEveryByteAndSetsTheLine_data()
    {
        QTest::addColumn<Ser2net::Accepter>("accepter");
        QTest::newRow("rfc2217://") << Ser2net::Accepter::Rfc2217;
        QTest::newRow("socket://") << Ser2net::Accepter::RawTcp;
    }
    // A 0xFF byte each way, and over RFC 2217 the panel's 9600 8N1 on the device.
    void networkPortPassesEveryByteAndSetsTheLine()
    {
        QFETCH(Ser2net::Accepter, accepter);
        requireSer2net();
        PtyPair far;
        Ser2net server(far.devicePath(), accepter);
        QProcess process;
        process.start(TQ905, {"--json", "--device", server.url(), "out", "ÿ", "in"});
        const QByteArray frames = output::portOutputFrame(u"ÿ") + query::portQuery().frame;
        QByteArray received;
        for (int i = 0; i < 100 && received.size() < frames.size(); ++i)
            received += far.readQuiet(20ms);
        QCOMPARE(received.toHex(' '), frames.toHex(' '));
        // Read while connected: ser2net gives the line back as it found it on closing.
        if (accepter == Ser2net::Accepter::Rfc2217) {
            termios line{}; // ser2net's own would be 1200 7E2 (Ser2net.h)
            QCOMPARE(::tcgetattr(far.deviceFd(), &line), 0);
            QCOMPARE(::cfgetospeed(&line), speed_t(B9600));
            QCOMPARE(line.c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t(CS8));
        }
        far.write("\x02I\xFF"
                  "A\xFF\xFF\r");
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), 0);
        const QJsonDocument answer =
            QJsonDocument::fromJson(process.readAllStandardOutput().split('\n').value(1));
        QCOMPARE(answer["reply"].toString(), QString::fromLatin1("I\xFF"
                                                                 "A\xFF\xFF\r"));
    }

    // What tq905 tells an RFC 2217 server, byte for byte, when the server agrees
    // to COM-PORT-OPTION and BINARY, asks for an option nobody wants and
    // acknowledges no request (the port opens once the agreement's time, here
    // 0.2 s, has passed): the opening, the refusal, the line settings, RTS, then
    // each query's purge and its frame, and DTR and RTS on at the close. The
    // first frame waits for the purge's confirmation; the server found not to
    // confirm, the second does not.
    void rfc2217RequestsOnTheWire()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QProcess process;
        process.start(
            TQ905, {"--timeout", "100", "--device",
                    QString("rfc2217://127.0.0.1:%1?timeout=0.2").arg(server.serverPort()), "-"});
        process.write("in\nin\n");
        process.closeWriteChannel();
        QVERIFY(process.waitForBytesWritten(5000));
        QVERIFY(server.waitForNewConnection(5000));
        QTcpSocket *client = server.nextPendingConnection();
        // DO COM-PORT-OPTION, DO TERMINAL-TYPE, DO BINARY, WILL BINARY
        client->write(QByteArray::fromHex("fffd2cfffd18fffd00fffb00"));
        const QList<QByteArray> marks{comport::purgeReceiveRequest(), query::portQuery().frame};
        QByteArray received;
        QList<qint64> markedMs; // when each purge and each frame came, in turn
        QElapsedTimer clock;
        clock.start();
        qsizetype searched = 0;
        while (client->waitForReadyRead(1000)) {
            received += client->readAll();
            for (qsizetype found;
                 markedMs.size() < 4
                 && (found = received.indexOf(marks[markedMs.size() % 2], searched)) >= 0;) {
                searched = found + marks[markedMs.size() % 2].size();
                markedMs << clock.elapsed();
            }
        }
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), 1); // Receive ERR
        const QByteArray query = comport::purgeReceiveRequest() + query::portQuery().frame;
        const QByteArray expected = QByteArray::fromHex("fffb00fffb03fffb2cfffd00fffd03fffc18")
                                    + comport::lineSettingsRequests(LineSettings{})
                                    + comport::requestToSendRequest(true) + query + query
                                    + comport::controlLinesAtCloseRequests();
        QCOMPARE(received.toHex(' '), expected.toHex(' '));
        QCOMPARE(markedMs.size(), 4);
        QVERIFY2(markedMs[1] - markedMs[0] >= 450,
                 qPrintable(QString::number(markedMs[1] - markedMs[0])));
        QVERIFY2(markedMs[3] - markedMs[2] < 250,
                 qPrintable(QString::number(markedMs[3] - markedMs[2])));
    }

    // The discard before a query is exact over RFC 2217: what the server sent
    // before it dropped its input is stale, however late it reaches tq905.
    void rfc2217DiscardIsExact()
    {
        requireSer2net();
        PtyPair line;
        FarEnd board(line, [](int query, const QByteArray &) {
            return "\002I" + QByteArray::number(10 + query) + "3C\r";
        });
        Ser2net server(line.devicePath(), Ser2net::Accepter::Rfc2217, false);
        PurgeHoldingProxy proxy(server.port());
        QProcess process;
        process.start(TQ905, {"--device", proxy.url(), "-"});
        process.write("out 11\n");
        QTRY_VERIFY(board.bodies.contains("O11"));
        proxy.hold();
        line.write("\002I993C\r"); // a reply nobody asked for
        QTRY_COMPARE(proxy.held(), QByteArray("\002I993C\r"));
        process.write("in\n");
        process.closeWriteChannel();
        QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 10000);
        QCOMPARE(process.readAllStandardOutput(), QByteArray("11 3C\n"));
        QCOMPARE(process.exitCode(), 0);
    }

    void rfc2217AgreementIsChecked_data()
    {
        QTest::addColumn<QByteArray>("agreement"); // sent at once
        QTest::addColumn<QByteArray>("answers");   // sent once the line settings are asked
        QTest::addColumn<QString>("told");
        const QByteArray comPort = QByteArray::fromHex("fffd2c");
        const QByteArray binary = QByteArray::fromHex("fffd00fffb00");
        const auto answer = [](const char *hex) {
            return QByteArray::fromHex("fffa2c") + QByteArray::fromHex(hex) + "\xFF\xF0";
        };
        QTest::newRow("BINARY refused") << comPort + QByteArray::fromHex("fffc00") << QByteArray()
                                        << "the server refused BINARY";
        QTest::newRow("another baud rate")
            << comPort + binary
            << answer("65000004b0") + answer("6608") + answer("6701") + answer("6801")
            << "the server does not set the line as asked. Check the server's settings for "
               "127.0.0.1:[0-9]+\\. System: the baud rate: 9600 asked, 1200 answered";
    }
    // Refused with the setting and the server's value named, before anything is sent.
    void rfc2217AgreementIsChecked()
    {
        QFETCH(QByteArray, agreement);
        QFETCH(QByteArray, answers);
        QFETCH(QString, told);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        QByteArray received;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            QTcpSocket *client = server.nextPendingConnection();
            client->write(agreement);
            connect(client, &QTcpSocket::readyRead, client, [&, client] {
                received += client->readAll();
                if (received.contains(comport::lineSettingsRequests(LineSettings{})))
                    client->write(std::exchange(answers, {}));
            });
        });
        const Run run = runTq905(
            QStringLiteral("--device rfc2217://127.0.0.1:%1 in").arg(server.serverPort()), {});
        QCOMPARE(run.status, 3);
        QVERIFY2(QRegularExpression(told).match(run.err).hasMatch(), qPrintable(run.err));
        QVERIFY(!received.contains(query::portQuery().frame));
    }

    // A server that takes nothing more is given up once the queue passes its
    // cap, told as the device gone in words of its own.
    void aServerThatReadsNothingIsGivenUp()
    {
        const SilentPort server(SilentPort::Connects::AndNothingMore);
        SocketDevice device(SerialLink::kReadBufferBytes, SerialLink::kMaxPendingOutputBytes);
        QVERIFY(!device.open(QStringLiteral("socket://127.0.0.1:%1").arg(server.port()), {}));
        QSignalSpy lost(&device, &LinkDevice::lost);
        for (int i = 0; i < 100000 && device.isOpen(); ++i)
            device.write(QByteArray(4096, 'x'));
        QCOMPARE(lost.size(), 1);
        QCOMPARE(device.lossKind(), SerialError::Kind::ServerNotReading);
    }

    void networkOutcomes_data()
    {
        QTest::addColumn<QString>("serve"); // rfc2217, socket, unanswering, or nothing listening
        QTest::addColumn<QString>("arguments"); // URL: rfc2217:// (socket:// for socket)
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err"); // a regular expression, matched whole
        const auto row = [](const char *name, const char *serve, const char *arguments, int status,
                            const char *err) {
            QTest::newRow(name) << serve << arguments << status << err;
        };
        row("nothing listening", "", "--device URL in", 3,
            "tq905: rfc2217://127.0.0.1:[0-9]+: the connection was refused: nothing listens "
            "on that port\\. Check that ser2net runs on 127.0.0.1 and serves port "
            "[0-9]+\\. System: .*");
        row("a host that does not answer", "unanswering", "--device URL in", 3,
            "tq905: rfc2217://127.0.0.1:[0-9]+: the host does not answer \\(down, or a firewall "
            "drops the connection\\)\\. Check that 127\\.0\\.0\\.1 is up and that no firewall is "
            "in the way\\. System: no answer within 5 s\n");
        row("a plain TCP port asked for RFC 2217", "socket", "--device rfc2217://URL in", 3,
            "tq905: rfc2217://127.0.0.1:[0-9]+: the server does not speak RFC 2217\\. "
            "Check that 127.0.0.1:[0-9]+ is an RFC 2217 port .*");
        row("an address without a port", "rfc2217", "--device rfc2217://127.0.0.1 in", 2,
            "tq905: \"rfc2217://127.0.0.1\" is not understood: there is no port: .*\n");
    }
    void networkOutcomes()
    {
        QFETCH(QString, serve);
        QFETCH(QString, arguments);
        requireSer2net();
        Board board;
        std::optional<Ser2net> server;
        std::optional<SilentPort> unanswering;
        QString url = QStringLiteral("rfc2217://127.0.0.1:%1").arg(Ser2net::freePort());
        if (serve == u"unanswering") {
            unanswering.emplace(SilentPort::Connects::Never);
            url = QStringLiteral("rfc2217://127.0.0.1:%1").arg(unanswering->port());
        } else if (!serve.isEmpty()) {
            server.emplace(board.device, serve == u"rfc2217" ? Ser2net::Accepter::Rfc2217
                                                             : Ser2net::Accepter::RawTcp);
            url = server->url();
        }
        arguments.replace("rfc2217://URL", url.replace("socket://", "rfc2217://"));
        const Run run = runTq905(arguments.replace("URL", url), board.device);
        QTEST(run.status, "status");
        QCOMPARE(run.out, QString());
        QFETCH(QString, err);
        QVERIFY2(matchesWhole(err, run.err), qPrintable(run.err));
    }

    void ser2netGoneEndsTheRun_data()
    {
        QTest::addColumn<bool>("inAWait"); // else between the lines of a session
        QTest::newRow("in the wait for a reply") << true;
        QTest::newRow("between session lines") << false;
    }
    // At once, told once, exit 4, as for an unplugged adapter.
    void ser2netGoneEndsTheRun()
    {
        QFETCH(bool, inAWait);
        requireSer2net();
        Board board(inAWait ? "--fault no-reply" : "");
        Ser2net server(board.device, Ser2net::Accepter::Rfc2217);
        QProcess process;
        process.start(TQ905, {"--device", server.url(), inAWait ? "in" : "-"});
        if (!inAWait) {
            process.write("in\n");
            QVERIFY(process.waitForReadyRead(5000));
        }
        QVERIFY(board.hasRead("read ports"));
        QElapsedTimer clock;
        clock.start();
        server.kill();
        process.write("in\n");
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(5000));
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(process.exitCode(), 4);
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(err.count("closed the connection") == 1
                     && err.contains(server.url() + ": the server closed the connection")
                     && err.contains("check that ser2net still runs there")
                     && !err.contains("unplugged"),
                 qPrintable(err));
    }

    void endsOnASignalWhileOpening_data() { addSilentServerRows(); }
    // A server that does not answer holds back no request to end.
    void endsOnASignalWhileOpening()
    {
        QFETCH(SilentPort::Connects, connects);
        QFETCH(QString, scheme);
        const SilentPort port(connects);
        QVERIFY(port.port() != 0);
        QProcess process;
        process.start(
            TQ905,
            {"--device", QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(port.port()), "in"});
        QVERIFY(process.waitForStarted());
        QVERIFY(!process.waitForFinished(300));
        QElapsedTimer clock;
        clock.start();
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        QVERIFY(process.waitForFinished(5000));
        QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(process.exitStatus(), QProcess::CrashExit);
        QCOMPARE(process.exitCode(), SIGTERM);
    }

    // A name service that never answers: the open gives up within its 5 s (and
    // the program's start), not when the lookup does; a SIGTERM ends it at once.
    void aHostLookupHoldsNothingBack()
    {
        const std::optional<QString> wrong = ownnetwork::run([] {
            const QString url = QStringLiteral("socket://board.example:2001");
            const Measured given = runTq905Measured(url, 500, [] { return true; }, {});
            const Measured terminated = runTq905Measured(
                url, 500, [] { return true; }, 300ms);
            if (given.status != 3 || given.ms > 6000 || !given.err.contains("name service")
                || terminated.status != 128 + SIGTERM || terminated.ms > 100)
                return QStringLiteral("%1 after %2 ms (%3), and %4 ms after SIGTERM")
                    .arg(given.status)
                    .arg(given.ms)
                    .arg(given.err)
                    .arg(terminated.ms);
            return QString();
        });
        if (!wrong)
            QSKIP("no network namespace may be made here");
        QVERIFY2(wrong->isEmpty(), qPrintable(*wrong));
    }

    // A name whose first address does not answer is reached on its second.
    void everyAddressOfANameIsTried()
    {
        const std::optional<QString> wrong = ownnetwork::run(
            [] {
                const SilentPort silent(SilentPort::Connects::Never);
                const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                sockaddr_in second = {};
                second.sin_family = AF_INET;
                second.sin_port = htons(silent.port());
                second.sin_addr.s_addr = htonl(INADDR_LOOPBACK + 1);
                if (::bind(listener, reinterpret_cast<sockaddr *>(&second), sizeof second) != 0
                    || ::listen(listener, 8) != 0)
                    return QStringLiteral("no server on 127.0.0.2");
                const Measured run =
                    runTq905Measured(QStringLiteral("socket://twohomed:%1").arg(silent.port()), 100,
                                     [] { return true; }, {});
                ::close(listener);
                return run.status == 1 && run.err.contains("Receive ERR") && run.ms < 5000
                           ? QString()
                           : QStringLiteral("%1 after %2 ms: %3")
                                 .arg(run.status)
                                 .arg(run.ms)
                                 .arg(run.err);
            },
            "127.0.0.1 twohomed\n127.0.0.2 twohomed\n");
        if (!wrong)
            QSKIP("no network namespace may be made here");
        QVERIFY2(wrong->isEmpty(), qPrintable(*wrong));
    }

    void hostileServers_data() { addHostileServerRows(); }
    // Bounded whatever the server does: the time-out plus the late window plus
    // 250 ms (and the 500 ms a discard waits for a confirmation that does not
    // come; an open: the agreement's 3 s plus 250 ms), under 64 MiB, and a
    // SIGTERM in the middle of it ends tq905 within 100 ms.
    void hostileServers()
    {
        QFETCH(Hostile, hostile);
        if (const char *why = runsElsewhere(hostile))
            QSKIP(why);
        if (hostile == Hostile::Busy)
            requireSer2net();
        for (const bool terminated : {false, true}) {
            const std::optional<QString> wrong =
                hostile == Hostile::Vanishes
                    ? ownnetwork::run([terminated] { return hostileRun(terminated); })
                    : hostileRun(terminated);
            if (!wrong)
                QSKIP("no network namespace may be made here");
            QVERIFY2(wrong->isEmpty(), qPrintable(*wrong));
        }
    }

private:
    // One run of a row of hostileServers, in the network it is given; what went wrong.
    static QString hostileRun(bool terminated)
    {
        QFETCH(Hostile, hostile);
        QFETCH(QString, scheme);
        QFETCH(QString, told);
        QFETCH(int, status);
        const int timeoutMs = hostile == Hostile::Vanishes ? 3000 : 500;
        const int unconfirmedMs = scheme == u"rfc2217" ? 500 : 0;
        const int boundMs =
            hostile == Hostile::TalksFirst ? 3000 + 250 : 2 * timeoutMs + unconfirmedMs + 250;
        HostileScene scene(hostile, scheme);
        const Measured run = runTq905Measured(
            scene.url(), timeoutMs, [&] { return scene.started(); },
            terminated ? std::optional(100ms) : std::nullopt);
        QString wrong;
        if (run.ms > (run.terminated ? 100 : boundMs))
            wrong += QStringLiteral("ended after %1 ms; ").arg(run.ms);
        if (run.status != status && !(run.terminated && run.status == 128 + SIGTERM))
            wrong += QStringLiteral("status %1; ").arg(run.status);
        if (!run.terminated && !run.err.contains(told))
            wrong += QStringLiteral("told \"%1\"; ").arg(run.err);
        if (kPeakMemoryChecked && run.peakKiB >= 64LL * 1024)
            wrong += QStringLiteral("peak memory %1 KiB; ").arg(run.peakKiB);
        return wrong;
    }

    static void requireSer2net()
    {
        if (!Ser2net::available())
            QSKIP("no ser2net (Debian's ser2net package)");
    }
};

QTEST_GUILESS_MAIN(CompanionTest)
#include "tst_companion.moc"
