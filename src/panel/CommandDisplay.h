#pragma once

#include "ControlPictures.h"

#include <QLabel>

// The command display. Its text is the exact frame or reply, control characters
// included; on screen each control character is drawn as its Unicode control
// picture (STX as U+2402, CR as U+240D) so the operator sees the whole frame, and
// a screen reader reads the frame with the control characters named.
class CommandDisplay : public QLabel
{
    Q_OBJECT

public:
    explicit CommandDisplay(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
