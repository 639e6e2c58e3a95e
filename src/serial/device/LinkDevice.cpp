#include "LinkDevice.h"

#include <algorithm>

void LinkDevice::fail(const QString &detail)
{
    if (!isOpen())
        return;
    close();
    Q_EMIT lost(detail);
}

std::chrono::microseconds LinkDevice::nextSlice(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    return std::clamp<std::chrono::microseconds>(left, {}, kOpeningSlice);
}

void LinkDevice::yieldWhileOpening() const
{
    if (m_openingYield)
        m_openingYield();
}
