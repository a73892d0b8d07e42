#include "ui/QvPictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

namespace {
const QColor kDeep(8, 46, 92);
const QColor kSea(30, 144, 255);
const QColor kFoam(225, 240, 255);
const QColor kSignal(255, 196, 60);
} // namespace

void TQvPictures::PaintEmblem(QPainter& p, const QRectF& rect)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = qMin(rect.width(), rect.height());
    const QRectF r(rect.center().x() - s / 2, rect.center().y() - s / 2, s, s);
    auto at = [&](qreal x, qreal y) { return QPointF(r.left() + x * s, r.top() + y * s); };

    // Badge: deep water darkening towards the floor.
    QRadialGradient water(at(0.5, 0.3), s * 0.7);
    water.setColorAt(0.0, kSea);
    water.setColorAt(1.0, kDeep);
    p.setPen(Qt::NoPen);
    p.setBrush(water);
    p.drawEllipse(r.adjusted(s * 0.02, s * 0.02, -s * 0.02, -s * 0.02));

    // Acoustic rings rising from the beacon.
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        const qreal radius = s * (0.16 + 0.11 * i);
        QPen pen(kFoam, s * 0.035, Qt::SolidLine, Qt::RoundCap);
        QColor c = kFoam;
        c.setAlphaF(1.0 - 0.25 * i);
        pen.setColor(c);
        p.setPen(pen);
        const QPointF centre = at(0.5, 0.56);
        p.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), 35 * 16, 110 * 16);
    }

    // Sea floor.
    QPainterPath floor;
    floor.moveTo(at(0.08, 0.78));
    floor.cubicTo(at(0.3, 0.72), at(0.6, 0.84), at(0.92, 0.76));
    floor.lineTo(at(0.8, 0.95));
    floor.lineTo(at(0.2, 0.95));
    floor.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(196, 170, 120));
    p.setClipPath([&] {
        QPainterPath clip;
        clip.addEllipse(r.adjusted(s * 0.02, s * 0.02, -s * 0.02, -s * 0.02));
        return clip;
    }());
    p.drawPath(floor);
    p.setClipping(false);

    // The beacon: a rounded cylinder with a signal light.
    const QRectF body(at(0.42, 0.52), at(0.58, 0.8));
    QLinearGradient metal(body.topLeft(), body.topRight());
    metal.setColorAt(0.0, QColor(150, 160, 170));
    metal.setColorAt(0.5, QColor(240, 244, 248));
    metal.setColorAt(1.0, QColor(120, 130, 140));
    p.setBrush(metal);
    p.setPen(QPen(kDeep, s * 0.015));
    p.drawRoundedRect(body, s * 0.04, s * 0.04);
    p.setPen(Qt::NoPen);
    p.setBrush(kSignal);
    p.drawEllipse(QRectF(at(0.465, 0.47), at(0.535, 0.54)));

    // Rim.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kFoam, s * 0.03));
    p.drawEllipse(r.adjusted(s * 0.03, s * 0.03, -s * 0.03, -s * 0.03));
    p.restore();
}

void TQvPictures::PaintBanner(QPainter& p, const QRectF& rect)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(rect);
    QLinearGradient water(rect.topLeft(), rect.bottomLeft());
    water.setColorAt(0.0, QColor(210, 232, 255));
    water.setColorAt(1.0, QColor(120, 180, 240));
    p.fillRect(rect, water);

    // Two wave lines across the full width.
    const qreal h = rect.height();
    for (int line = 0; line < 2; ++line) {
        QPainterPath wave;
        const qreal y = rect.top() + h * (0.35 + 0.3 * line);
        const qreal step = h * 1.2;
        wave.moveTo(rect.left(), y);
        for (qreal x = rect.left(); x < rect.right(); x += step)
            wave.cubicTo(QPointF(x + step * 0.25, y - h * 0.12), QPointF(x + step * 0.75, y + h * 0.12),
                         QPointF(x + step, y));
        QColor c = line == 0 ? QColor(255, 255, 255, 170) : QColor(30, 144, 255, 110);
        p.setPen(QPen(c, h * 0.05));
        p.setBrush(Qt::NoBrush);
        p.drawPath(wave);
    }

    // Faint rings spreading from the left, as from a beacon below the frame.
    const QPointF source(rect.left() + h * 0.9, rect.bottom() + h * 0.3);
    for (int i = 1; i <= 4; ++i) {
        const qreal radius = h * 0.45 * i;
        p.setPen(QPen(QColor(8, 46, 92, 120 - 22 * i), h * 0.04));
        p.drawEllipse(source, radius, radius);
    }
    p.restore();
}

QIcon TQvPictures::AppIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pix(size, size);
        pix.fill(Qt::transparent);
        QPainter p(&pix);
        PaintEmblem(p, QRectF(0, 0, size, size));
        p.end();
        icon.addPixmap(pix);
    }
    return icon;
}

TQvPictureBox::TQvPictureBox(EQvPicture picture, QWidget* parent)
    : QWidget(parent)
    , fPicture(picture)
{
}

void TQvPictureBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (fPicture == PIC_EMBLEM)
        TQvPictures::PaintEmblem(p, rect());
    else
        TQvPictures::PaintBanner(p, rect());
}
