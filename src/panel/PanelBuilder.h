#pragma once

class QWidget;

// Creates every control of the panel's table as a child of `window` (or of the
// frame named as its container), at its place, with its text, font and focus,
// and chains the focusable ones in the table's tab order.
void buildPanelControls(QWidget *window);
