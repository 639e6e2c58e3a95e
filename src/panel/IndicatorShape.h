#pragma once

#include <QColor>
#include <QWidget>

// A box filled solid with one colour: the panel's connection indicator.
class IndicatorShape : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor fillColor READ fillColor WRITE setFillColor)

public:
    static constexpr QRgb kIdleGrey = qRgb(192, 192, 192);
    static constexpr QRgb kOpenGreen = qRgb(0, 255, 0);

    explicit IndicatorShape(QWidget *parent = nullptr);

    QColor fillColor() const { return m_fillColor; }
    void setFillColor(const QColor &color);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void describeFill();

    QColor m_fillColor = QColor(kIdleGrey);
};
