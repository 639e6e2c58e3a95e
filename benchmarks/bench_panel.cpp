// Drives a real TQ905Panel against a board on DEVICE (port number 3 is
// mapped to it) and prints raw figures for ./bench to summarise.
//
//   bench_panel roundtrip DEVICE COUNT WARMUP GAP_MS [--hidden]
//       One line per query: nanoseconds from the press of "IN" to the filled
//       result boxes. The board must report port A 5A; port B is set to 3C here.
//       --hidden leaves the window unshown, so nothing is repainted: the
//       difference is what the repaints inside a query cost.
//   bench_panel timeout DEVICE REPEATS
//       For a board that does not answer: lines "panel CPU_MS WALL_MS" for the
//       panel's own wait, "naive CPU_MS WALL_MS" for a loop that processes
//       events without ever sleeping, and "idle CPU_MS WALL_MS" for the same
//       three seconds with no query at all, in turn.
#include "QtRuntimeChoice.h"
#include "Queries.h"
#include "QueryExchange.h"
#include "TQ905Panel.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

double cpuMilliseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

template <typename T>
T &child(TQ905Panel &panel, const char *name)
{
    T *found = panel.findChild<T *>(QString::fromLatin1(name));
    if (!found)
        throw std::runtime_error(std::string("the panel has no control ") + name);
    return *found;
}

// Lets the event loop run for a while, as it does between an operator's presses.
// (processEvents() with a time limit would spin: it drops WaitForMoreEvents.)
void idle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

class Bench
{
public:
    explicit Bench(const QString &device, bool shown = true)
    {
        m_panel.serialLink().setDeviceResolver([device](int number) -> std::optional<QString> {
            if (number != 3)
                return std::nullopt;
            return device;
        });
        m_panel.setMessagePresenter([this](const TQ905Panel::Message &message) {
            ++m_messages;
            m_lastMessage = message.text;
        });
        if (shown)
            m_panel.show();
        idle(200);
        child<QComboBox>(m_panel, "COMNOcmb").setEditText(QStringLiteral("3"));
        press("COMset");
        requireNoMessage("SET");
    }

    TQ905Panel &panel() { return m_panel; }
    int messages() const { return m_messages; }

    void press(const char *button) { child<QPushButton>(m_panel, button).click(); }

    void requireNoMessage(const char *what)
    {
        if (m_messages == 0)
            return;
        std::fprintf(stderr, "bench_panel: %s: %s\n", what, qPrintable(m_lastMessage));
        std::exit(1);
    }

private:
    TQ905Panel m_panel;
    int m_messages = 0;
    QString m_lastMessage;
};

int roundTrip(const QString &device, int count, int warmup, int gapMs, bool shown)
{
    Bench bench(device, shown);
    auto &portA = child<QLineEdit>(bench.panel(), "INdataA");
    auto &portB = child<QLineEdit>(bench.panel(), "INdataB");
    child<QLineEdit>(bench.panel(), "Pdata").setText(QStringLiteral("3C"));
    bench.press("PORTout");
    auto &inButton = child<QPushButton>(bench.panel(), "INcmd");
    for (int i = 0; i < warmup + count; ++i) {
        // Cleared and repainted before the press, so only the query's own repaints count.
        portA.clear();
        portB.clear();
        idle(gapMs);
        QElapsedTimer clock;
        clock.start();
        inButton.click(); // found before the clock starts: an operator does not search
        const qint64 nanoseconds = clock.nsecsElapsed();
        bench.requireNoMessage("IN");
        if (portA.text() != u"5A" || portB.text() != u"3C") {
            std::fprintf(stderr, "bench_panel: query %d read %s %s, not 5A 3C\n", i,
                         qPrintable(portA.text()), qPrintable(portB.text()));
            return 1;
        }
        if (i >= warmup)
            std::printf("%lld\n", static_cast<long long>(nanoseconds));
    }
    return 0;
}

// The query exchange with the simplest yield there is: process whatever is
// pending and come straight back, never waiting for the next event.
class BusyWait : public ExchangeWait
{
public:
    void yield(Clock::time_point) override { QCoreApplication::processEvents(); }
};

void busyWait(TQ905Panel &panel)
{
    // Its own 100 ms tick and countdown of 30, as the panel's.
    qint16 countdown = TQ905Panel::kReplyTicks;
    QTimer tick;
    tick.setInterval(TQ905Panel::kTickInterval);
    QObject::connect(&tick, &QTimer::timeout, [&countdown] {
        if (countdown != 0)
            --countdown;
    });
    tick.start();
    SerialLink &link = panel.serialLink();
    const query::QuerySpec spec = query::portQuery();
    QueryExchange exchange(link, TQ905Panel::kLateReplyWindow);
    BusyWait wait;
    exchange.start(spec.frame, wait, [&link](const QByteArray &frame) { link.setOutput(frame); });
    if (exchange.receive(spec.replyLength, wait, [&countdown] { return countdown == 0; })) {
        std::fprintf(stderr, "bench_panel: the board answered; it should not\n");
        std::exit(1);
    }
}

int timeOutCost(const QString &device, int repeats)
{
    Bench bench(device);
    for (int i = 0; i < repeats; ++i) {
        for (const char *kind : {"panel", "naive", "idle"}) {
            const int messagesBefore = bench.messages();
            QElapsedTimer wall;
            wall.start();
            const double cpuBefore = cpuMilliseconds();
            if (kind == std::string_view("panel"))
                bench.press("INcmd");
            else if (kind == std::string_view("naive"))
                busyWait(bench.panel());
            else
                idle(TQ905Panel::kReplyTicks * int(TQ905Panel::kTickInterval.count()));
            const double cpu = cpuMilliseconds() - cpuBefore;
            const double wallMs = wall.nsecsElapsed() / 1e6;
            if (kind == std::string_view("panel") && bench.messages() != messagesBefore + 1) {
                std::fprintf(stderr, "bench_panel: the panel's wait did not time out\n");
                return 1;
            }
            std::printf("%s %.2f %.1f\n", kind, cpu, wallMs);
            std::fflush(stdout);
            idle(300);
        }
    }
    return 0;
}

int usage()
{
    std::fputs("usage: bench_panel roundtrip DEVICE COUNT WARMUP GAP_MS [--hidden]\n"
               "       bench_panel timeout DEVICE REPEATS\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    chooseQtRuntime(); // as the program does
    QApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const bool hidden = args.size() == 7 && args[6] == u"--hidden";
    try {
        if ((args.size() == 6 || hidden) && args[1] == u"roundtrip")
            return roundTrip(args[2], args[3].toInt(), args[4].toInt(), args[5].toInt(), !hidden);
        if (args.size() == 4 && args[1] == u"timeout")
            return timeOutCost(args[2], args[3].toInt());
    } catch (const std::exception &failure) {
        std::fprintf(stderr, "bench_panel: %s\n", failure.what());
        return 1;
    }
    return usage();
}
