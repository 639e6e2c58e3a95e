#include "EndSignals_unix.h"

#include <poll.h>
#include <pthread.h>

std::vector<int> endSignals()
{
    return {SIGINT, SIGTERM, SIGHUP};
}

std::vector<TakenSignal> takeSignalsNotIgnored(const std::vector<int> &signals,
                                               const struct sigaction &action)
{
    std::vector<TakenSignal> taken;
    for (const int signal : signals) {
        struct sigaction previous = {};
        ::sigaction(signal, nullptr, &previous);
        if (previous.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signal, &action, nullptr);
        taken.push_back({signal, previous});
    }
    return taken;
}

sigset_t maskLettingThrough(const std::vector<int> &signals)
{
    sigset_t mask;
    ::pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    for (const int signal : signals)
        ::sigdelset(&mask, signal);
    return mask;
}

short pollLettingEndSignalsThrough(int fd, short events, std::chrono::microseconds limit)
{
    sigset_t letThrough;
    if (limit.count() > 0)
        letThrough = maskLettingThrough(endSignals());
    pollfd polled{fd, events, 0};
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit);
    const timespec timeout{seconds.count(), std::chrono::nanoseconds(limit - seconds).count()};
    if (::ppoll(&polled, 1, &timeout, limit.count() > 0 ? &letThrough : nullptr) != 1)
        return 0;
    return polled.revents;
}
