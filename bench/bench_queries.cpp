// Reports what a query costs the panel over a pseudo-terminal: the CPU time the
// process spends in a reply wait that times out, and the time from the press of
// "IN" to the filled result boxes when the far end answers at once.
#include "PanelHarness.h"
#include "ScriptedFarEnd.h"

#include <QApplication>
#include <QElapsedTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace std::chrono_literals;

namespace {

double cpuMilliseconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * (values.size() - 1))];
}

void timeOutCost(int repeats)
{
    PanelHarness harness;
    ScriptedFarEnd board(harness.board());
    harness.openPort();
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer wall;
        wall.start();
        const double before = cpuMilliseconds();
        harness.click("INcmd");
        std::printf("time-out wait: %.0f ms wall, %.1f ms CPU\n", double(wall.elapsed()),
                    cpuMilliseconds() - before);
    }
}

void roundTrip(int queries)
{
    PanelHarness harness;
    ScriptedFarEnd board(harness.board());
    board.answerWith({{0ms, "\x02" "X0F3CY"}});
    harness.openPort();
    std::vector<double> micros;
    for (int i = 0; i < queries; ++i) {
        harness.setText("INdataB", QString());
        QElapsedTimer clock;
        clock.start();
        harness.click("INcmd");
        micros.push_back(clock.nsecsElapsed() / 1e3);
        if (harness.text("INdataB") != u"3C" || !harness.messages().isEmpty()) {
            std::printf("query %d failed\n", i);
            return;
        }
    }
    std::printf("IN round trip over %d queries: median %.0f us, p99 %.0f us\n", queries,
                percentile(micros, 0.5), percentile(micros, 0.99));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    timeOutCost(3);
    roundTrip(200);
    return 0;
}
