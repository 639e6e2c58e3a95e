#include "QtRuntimeChoice.h"

#include <QByteArray>
#include <QtGlobal>

void chooseQtRuntime()
{
    // Qt's own UNIX dispatcher makes one poll() a pass where the glib one makes
    // a prepare, query, poll, check and dispatch round over its sources.
    qputenv("QT_NO_GLIB", QByteArrayLiteral("1"));
    // With shared memory the X backing store waits for a round trip to the X
    // server before it paints over an area it flushed before; every query's
    // repaint of the command display does. The panel's repaints are a few small
    // boxes, cheaper to send than to wait for.
    qputenv("QT_XCB_NO_MITSHM", QByteArrayLiteral("1"));
}
