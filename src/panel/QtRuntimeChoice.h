#pragma once

// Picks how Qt runs the program's event loop and paints its window; call it
// before the QApplication is made. A query passes through the event loop and
// usually a repaint before its reply is read, so their cost is part of every
// round trip to the board.
void chooseQtRuntime();
