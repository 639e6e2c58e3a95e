// Three ranges of 32 devices: ttyS, ttyUSB, ttyACM.
#include "PortNumberRows.h"

std::vector<PortNumberRow> portNumberRows()
{
    return {
        {"0", 0, ""},
        {"1", 1, "/dev/ttyS0"},
        {"32", 32, "/dev/ttyS31"},
        {"33", 33, "/dev/ttyUSB0"},
        {"64", 64, "/dev/ttyUSB31"},
        {"65", 65, "/dev/ttyACM0"},
        {"96", 96, "/dev/ttyACM31"},
        {"97", 97, ""},
        {"no number for ttyS01", 0, "/dev/ttyS01"},
        {"no number for ttyS32", 0, "/dev/ttyS32"},
    };
}
