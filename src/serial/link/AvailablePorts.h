#pragma once

#include <QString>

// A few lines for the operator: the serial devices present, each with the port
// number that selects it, its device path and, for USB adapters, what it is;
// then how a port on another machine is named.
QString availablePortsSummary();
