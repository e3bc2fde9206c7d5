#include "lamp.h"

#include <QPainter>

Lamp::Lamp(QWidget *parent) : QWidget(parent)
{
    setFixedSize(sizeHint());
}

void Lamp::setOn(bool on)
{
    if (on == m_on)
        return;
    m_on = on;
    update();
    emit toggled(on);
}

void Lamp::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colour = m_on ? QColor(0x22, 0xb1, 0x4c) : QColor(0xd0, 0x21, 0x21);
    QRadialGradient shine(QPointF(width() * 0.35, height() * 0.35), width() * 0.7);
    shine.setColorAt(0, colour.lighter(170));
    shine.setColorAt(1, colour);
    p.setPen(QPen(colour.darker(160), 1));
    p.setBrush(shine);
    p.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
}
