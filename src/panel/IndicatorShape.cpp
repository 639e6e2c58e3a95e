#include "IndicatorShape.h"

#include <QPainter>

IndicatorShape::IndicatorShape(QWidget *parent)
    : QWidget(parent)
{
}

void IndicatorShape::setFillColor(const QColor &color)
{
    if (color == m_fillColor)
        return;
    m_fillColor = color;
    update();
}

void IndicatorShape::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.setBrush(m_fillColor);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
