#pragma once

#include "LinkDevice.h"

#include <QString>

#include <memory>

// The device kind that serves `address`, not yet open: a serial device of this
// computer, or a port another machine serves. A device whose queue is its own
// (a network port's) gives up past `maxQueuedBytes`.
std::unique_ptr<LinkDevice> makeLinkDevice(const QString &address, qint64 readBufferBytes,
                                           qint64 maxQueuedBytes);
