// N is COMN for 1 ... 256, and the devices Qt lists (\\.\COMN) count as theirs.
#include "PortNumberRows.h"

std::vector<PortNumberRow> portNumberRows()
{
    return {
        {"0", 0, ""},
        {"1", 1, "COM1"},
        {"12", 12, "COM12"},
        {"256", 256, "COM256"},
        {"257", 257, ""},
        {"device namespace", 3, "\\\\.\\COM3", true},
        {"lower case", 5, "com5", true},
        {"no number for COM03", 0, "COM03"},
        {"no number for COM257", 0, "COM257"},
    };
}
