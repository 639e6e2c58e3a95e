#pragma once

#include "BoardWindow.h"
#include "TQ905Panel.h"
#include "VirtualBoard.h"

#include <QObject>

// The panel and a virtual board in one process. Whatever port number the panel
// accepts opens the board's pseudo-terminal; closing the panel closes the board's
// window too, so the demo ends with the panel.
class Demo : public QObject
{
    Q_OBJECT

public:
    Demo();

    VirtualBoard &board() { return m_board; }
    TQ905Panel &panel() { return m_panel; }

    // Both windows, the board's to the right of the panel.
    void show();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    VirtualBoard m_board;
    TQ905Panel m_panel;
    BoardWindow m_boardWindow{m_board};
};
