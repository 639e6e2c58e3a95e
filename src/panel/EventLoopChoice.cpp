#include "EventLoopChoice.h"

#include <QByteArray>
#include <QtGlobal>

void chooseEventLoop()
{
    // Qt's own UNIX dispatcher makes one poll() a pass where the glib one makes
    // a prepare, query, poll, check and dispatch round over its sources.
    qputenv("QT_NO_GLIB", QByteArrayLiteral("1"));
}
