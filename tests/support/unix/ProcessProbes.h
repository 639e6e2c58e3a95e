#pragma once

#include <sys/resource.h>

#include <chrono>

// The processor time this process has used so far, user and system.
inline std::chrono::milliseconds processorTimeUsed()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto of = [](const timeval &time) {
        return std::chrono::seconds(time.tv_sec) + std::chrono::microseconds(time.tv_usec);
    };
    return std::chrono::duration_cast<std::chrono::milliseconds>(of(usage.ru_utime)
                                                                 + of(usage.ru_stime));
}

// A read here is no request that a driver could give up: nothing to cancel.
inline bool abortPendingReads()
{
    return false;
}
