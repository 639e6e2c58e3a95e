#pragma once

#include <vector>

// A row of the port-number suite: a number and the device it selects. An empty
// device: the number selects none. Number 0 with a device: the device has no
// number. An alias is another spelling of the number's device, which gives the
// number but is not what the number gives.
struct PortNumberRow {
    const char *name;
    int number;
    const char *device;
    bool alias = false;
};

// The platform's rows (PortNumberRows_*.cpp): the edges of its ranges.
std::vector<PortNumberRow> portNumberRows();
