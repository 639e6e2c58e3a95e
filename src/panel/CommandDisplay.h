#pragma once

#include <QLabel>

// The command display. Its text is the exact frame or reply, control characters
// included; on screen each control character is drawn as its Unicode control
// picture (STX as U+2402, CR as U+240D) so the operator sees the whole frame.
class CommandDisplay : public QLabel
{
    Q_OBJECT

public:
    explicit CommandDisplay(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

// The text with every C0 control character and DEL replaced by its control picture.
QString withControlPictures(const QString &text);
