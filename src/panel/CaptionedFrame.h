#pragma once

#include <QGroupBox>

// A group box drawn with its caption set into the top edge of the frame line.
class CaptionedFrame : public QGroupBox
{
    Q_OBJECT

public:
    CaptionedFrame(const QString &caption, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
