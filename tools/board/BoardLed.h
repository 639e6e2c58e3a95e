#pragma once

#include <QColor>
#include <QWidget>

// One LED of the board: a lit or dark disc.
class BoardLed : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool lit READ isLit WRITE setLit)

public:
    explicit BoardLed(QWidget *parent = nullptr);

    bool isLit() const { return m_lit; }
    void setLit(bool lit);

    QSize sizeHint() const override { return {18, 18}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_lit = false;
};
