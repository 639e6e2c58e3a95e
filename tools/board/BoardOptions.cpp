#include "BoardOptions.h"

#include <QCommandLineParser>

#include <cstdio>

namespace boardoptions {

namespace {

using Fault = VirtualBoard::Fault;

const QString kFault = QStringLiteral("fault");
const QString kDelay = QStringLiteral("delay");
const QString kGap = QStringLiteral("gap");
const QString kPaced = QStringLiteral("paced");
const QString kPortA = QStringLiteral("port-a");
const QString kAnalog = QStringLiteral("analog");
const QString kTrace = QStringLiteral("trace");

std::optional<int> hexNumber(const QString &text, int maximum)
{
    bool ok = false;
    const int value = text.toInt(&ok, 16);
    if (!ok || value < 0 || value > maximum)
        return std::nullopt;
    return value;
}

std::optional<int> milliseconds(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 0)
        return std::nullopt;
    return value;
}

void printLine(const QByteArray &line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

const QList<FaultName> &faultNames()
{
    static const QList<FaultName> names{
        {Fault::None, "none", "No fault"},
        {Fault::NoReply, "no-reply", "No replies"},
        {Fault::DelayedReply, "delay", "Replies late"},
        {Fault::SplitReply, "split", "Replies byte by byte"},
        {Fault::GarbageFirst, "garbage", "Noise before STX"},
        {Fault::ShortBody, "short", "Reply one short"},
        {Fault::VanishOnQuery, "vanish", "Vanish on next query"},
    };
    return names;
}

std::optional<VirtualBoard::Fault> faultFromName(const QString &name)
{
    for (const FaultName &entry : faultNames()) {
        if (name == QLatin1String(entry.name))
            return entry.fault;
    }
    return std::nullopt;
}

void addTo(QCommandLineParser &parser)
{
    QStringList names;
    for (const FaultName &entry : faultNames())
        names << QString::fromLatin1(entry.name);
    parser.addOptions({
        {kFault, QStringLiteral("Misbehave on the line: %1.").arg(names.join(u", ")),
         QStringLiteral("fault")},
        {kDelay,
         QStringLiteral("How late a late reply comes (default %1).")
             .arg(VirtualBoard::kDefaultReplyDelay.count()),
         QStringLiteral("ms")},
        {kGap,
         QStringLiteral("The gap between the bytes of a split reply (default %1).")
             .arg(VirtualBoard::kDefaultSplitGap.count()),
         QStringLiteral("ms")},
        {kPaced, QStringLiteral("Send at the 9600-baud byte time.")},
        {kPortA, QStringLiteral("The port A value the board reports (00 ... FF)."),
         QStringLiteral("hex")},
        {kAnalog, QStringLiteral("An analog value the board reports, e.g. 2=3FF; repeatable."),
         QStringLiteral("channel=hex")},
        {kTrace, QStringLiteral("Print every frame and reply on stdout.")},
    });
}

std::optional<QString> apply(const QCommandLineParser &parser, VirtualBoard &board)
{
    if (parser.isSet(kFault)) {
        const std::optional<Fault> fault = faultFromName(parser.value(kFault));
        if (!fault)
            return QStringLiteral("unknown fault \"%1\"").arg(parser.value(kFault));
        board.setFault(*fault);
    }
    if (parser.isSet(kDelay)) {
        const std::optional<int> ms = milliseconds(parser.value(kDelay));
        if (!ms)
            return QStringLiteral("--delay wants milliseconds, not \"%1\"")
                .arg(parser.value(kDelay));
        board.setReplyDelay(std::chrono::milliseconds(*ms));
    }
    if (parser.isSet(kGap)) {
        const std::optional<int> ms = milliseconds(parser.value(kGap));
        if (!ms)
            return QStringLiteral("--gap wants milliseconds, not \"%1\"").arg(parser.value(kGap));
        board.setSplitGap(std::chrono::milliseconds(*ms));
    }
    board.setPaced(parser.isSet(kPaced));
    if (parser.isSet(kPortA)) {
        const std::optional<int> value = hexNumber(parser.value(kPortA), 0xFF);
        if (!value)
            return QStringLiteral("--port-a wants 00 ... FF, not \"%1\"").arg(parser.value(kPortA));
        board.setPortA(static_cast<quint8>(*value));
    }
    for (const QString &setting : parser.values(kAnalog)) {
        const QStringList parts = setting.split(u'=');
        const std::optional<int> channel =
            parts.size() == 2 ? hexNumber(parts[0], 3) : std::nullopt;
        const std::optional<int> value =
            parts.size() == 2 ? hexNumber(parts[1], VirtualBoard::kMaxAnalogValue) : std::nullopt;
        if (!channel || !value)
            return QStringLiteral("--analog wants 0 ... 3=000 ... 3FF, not \"%1\"").arg(setting);
        board.setAnalogValue(*channel, *value);
    }
    if (parser.isSet(kTrace))
        traceOnStdout(board);
    return std::nullopt;
}

QString printable(const QByteArray &bytes)
{
    QString shown;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F)
            shown +=
                QStringLiteral("\\x") + QString::number(u, 16).toUpper().rightJustified(2, u'0');
        else
            shown += QLatin1Char(c);
    }
    return shown;
}

void traceOnStdout(VirtualBoard &board)
{
    QObject::connect(&board, &VirtualBoard::commandReceived, &board,
                     [](const frame::Command &command) {
                         printLine("< " + frame::describeCommand(command).toLatin1());
                     });
    QObject::connect(&board, &VirtualBoard::frameIgnored, &board, [](const QByteArray &body) {
        printLine("< ignored " + printable(body).toLatin1());
    });
    QObject::connect(&board, &VirtualBoard::replyQueued, &board, [](const QByteArray &bytes) {
        printLine("> " + printable(bytes).toLatin1());
    });
    QObject::connect(&board, &VirtualBoard::openChanged, &board, [&board](bool open) {
        printLine(open ? "plugged in " + board.devicePath().toLocal8Bit() : QByteArray("vanished"));
    });
}

} // namespace boardoptions
