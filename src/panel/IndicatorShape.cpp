#include "IndicatorShape.h"

#include <QPainter>

IndicatorShape::IndicatorShape(QWidget *parent)
    : QWidget(parent)
{
    describeFill();
}

void IndicatorShape::setFillColor(const QColor &color)
{
    if (color == m_fillColor)
        return;
    m_fillColor = color;
    describeFill();
    update();
}

// Green is the one colour of an open port, so a screen reader hears what a sighted
// operator sees.
void IndicatorShape::describeFill()
{
    setAccessibleDescription(m_fillColor == QColor(kOpenGreen)
                                 ? QStringLiteral("The port is open.")
                                 : QStringLiteral("The port is closed."));
}

void IndicatorShape::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.setBrush(m_fillColor);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
