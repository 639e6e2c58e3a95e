#pragma once

#include <QtGlobal>

#include <windows.h>

#include <chrono>

// The processor time this process has used so far, user and kernel.
inline std::chrono::milliseconds processorTimeUsed()
{
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME &time) {
        return (static_cast<qint64>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return std::chrono::milliseconds((ticks(kernel) + ticks(user)) / 10000); // 100 ns ticks
}

// Cancels every read this process has outstanding on a character device, as a
// driver that gives up its requests does; true when there was one to cancel.
inline bool abortPendingReads()
{
    constexpr ULONG_PTR kHandleValues = 0x10000;
    bool cancelled = false;
    for (ULONG_PTR value = 4; value < kHandleValues; value += 4) {
        // NOLINTNEXTLINE(performance-no-int-to-ptr): a handle is a number the system gave
        const auto handle = reinterpret_cast<HANDLE>(value);
        if (::GetFileType(handle) == FILE_TYPE_CHAR && ::CancelIoEx(handle, nullptr))
            cancelled = true;
    }
    return cancelled;
}
