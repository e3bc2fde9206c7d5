#include "picture.h"

#include <QPainter>
#include <QPainterPath>

namespace {

const QColor signYellow(0xff, 0xc8, 0x00);
const QColor ink(0x1a, 0x1a, 0x1a);

// A roof sign filling `box`: a trapezoid lit yellow with "TAXI" on it, standing on its foot.
void drawRoofSign(QPainter &p, const QRectF &box, bool withText)
{
    const qreal footHeight = box.height() * 0.18;
    const QRectF body(box.left(), box.top(), box.width(), box.height() - footHeight);
    const qreal inset = body.width() * 0.12;

    QPainterPath sign;
    sign.moveTo(body.left() + inset, body.top());
    sign.lineTo(body.right() - inset, body.top());
    sign.lineTo(body.right(), body.bottom());
    sign.lineTo(body.left(), body.bottom());
    sign.closeSubpath();

    QLinearGradient lit(body.topLeft(), body.bottomLeft());
    lit.setColorAt(0, signYellow.lighter(130));
    lit.setColorAt(1, signYellow);
    p.setPen(QPen(ink, qMax<qreal>(1, box.width() / 60), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(lit);
    p.drawPath(sign);

    p.setBrush(ink);
    p.drawRoundedRect(QRectF(box.left() + inset / 2, body.bottom(), box.width() - inset, footHeight), footHeight / 3,
                      footHeight / 3);

    if (withText) {
        QFont font(QStringLiteral("Sans Serif"));
        font.setBold(true);
        font.setPixelSize(int(body.height() * 0.55));
        font.setLetterSpacing(QFont::PercentageSpacing, 115);
        p.setFont(font);
        p.setPen(ink);
        p.drawText(body, Qt::AlignCenter, QStringLiteral("TAXI"));
    }
}

} // namespace

SidePicture::SidePicture(QWidget *parent) : QWidget(parent)
{
    setFixedWidth(Width);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
}

void SidePicture::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();

    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0, QColor(0x0c, 0x25, 0x44));
    sky.setColorAt(1, QColor(0x2a, 0x63, 0x98));
    p.fillRect(r, sky);

    // The roof the sign stands on.
    const qreal roofTop = r.height() * 0.40;
    QPainterPath roof;
    roof.moveTo(r.left() - 10, r.height() * 0.52);
    roof.quadTo(r.center().x(), roofTop - 8, r.right() + 10, r.height() * 0.52);
    roof.lineTo(r.right() + 10, r.height() * 0.56);
    roof.quadTo(r.center().x(), roofTop + 8, r.left() - 10, r.height() * 0.56);
    roof.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x10, 0x10, 0x14));
    p.drawPath(roof);

    const QSizeF signSize(200, 92);
    drawRoofSign(p, QRectF(QPointF(r.center().x() - signSize.width() / 2, roofTop - signSize.height() + 2), signSize), true);

    QFont name(QStringLiteral("Sans Serif"));
    name.setBold(true);
    name.setPixelSize(30);
    p.setFont(name);
    p.setPen(Qt::white);
    const QRectF nameBox(r.left(), r.height() * 0.62, r.width(), 40);
    p.drawText(nameBox, Qt::AlignCenter, QStringLiteral("Ludor Korvan"));

    QFont tim = name;
    tim.setPixelSize(56);
    tim.setLetterSpacing(QFont::PercentageSpacing, 120);
    p.setFont(tim);
    p.setPen(signYellow);
    p.drawText(QRectF(r.left(), nameBox.bottom(), r.width(), 70), Qt::AlignCenter, QStringLiteral("TIM"));
}

QIcon applicationIcon()
{
    QIcon icon;
    for (const int size : { 16, 32, 64 }) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        drawRoofSign(p, QRectF(0, size * 0.2, size, size * 0.6), size >= 32);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
