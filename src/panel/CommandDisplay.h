#pragma once

#include "ControlPictures.h"

#include <QLabel>

// The command display. Its text is the exact frame or reply, control characters
// included. On screen every byte has a cell of its own, so what is shown has the
// length of what went on the line: each control character is drawn as its
// Unicode control picture (STX as U+2402, CR as U+240D), and each character that
// would draw nothing (C1 controls, the soft hyphen) as its hex value in a small
// box. A screen reader reads the frame with these characters named.
class CommandDisplay : public QLabel
{
    Q_OBJECT

public:
    explicit CommandDisplay(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int drawText(QPainter &painter, const QRect &room, const QString &text) const;
    int drawCodeBox(QPainter &painter, const QRect &room, QChar c) const;
};
