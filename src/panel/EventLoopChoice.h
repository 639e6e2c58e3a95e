#pragma once

// Picks how Qt runs the program's event loop; call it before the QApplication
// is made. Every query passes through the loop several times, so its cost per
// pass is part of every round trip to the board.
void chooseEventLoop();
