#pragma once

#include <QString>

class SerialLink;

// How "SET" opens a port, for the panel and the command line alike: a port that
// is open is closed, the port number is read from its text as the port box
// gives it (or the address of a port another machine serves), and the port is
// opened at 9600,N,8,1 with RTS raised and no receive notification, in that
// order. A failing step throws its SerialError and ends the sequence there.
void openAsSet(SerialLink &link, const QString &portText);
