#include "ui/QvMarks.h"

#include <QPainter>
#include <QPainterPath>
#include <QRectF>

TQvMarkColours TQvMarks::Colours(EQvMark mark)
{
    switch (mark) {
    case MARK_DONE:
        return {QColor(30, 130, 60), QColor(18, 90, 40), QColor(226, 244, 230)};
    case MARK_WARNING:
        return {QColor(235, 165, 20), QColor(130, 80, 0), QColor(253, 241, 212)};
    case MARK_ERROR:
        return {QColor(200, 35, 45), QColor(165, 20, 30), QColor(252, 228, 228)};
    case MARK_RUNNING:
        return {QColor(30, 110, 200), QColor(20, 60, 120), QColor(228, 238, 250)};
    case MARK_NONE:
        break;
    }
    return {QColor(), QColor(0, 0, 0), QColor(255, 255, 255)};
}

void TQvMarks::Paint(QPainter& p, const QRectF& rect, EQvMark mark)
{
    if (mark == MARK_NONE)
        return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = qMin(rect.width(), rect.height());
    const QRectF r(rect.center().x() - s / 2, rect.center().y() - s / 2, s, s);
    auto at = [&](qreal x, qreal y) { return QPointF(r.left() + x * s, r.top() + y * s); };
    const QColor fill = Colours(mark).Sign;
    const QPen stroke(Qt::white, s * 0.14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);

    switch (mark) {
    case MARK_DONE:
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawEllipse(r);
        p.setPen(stroke);
        p.drawPolyline(QPolygonF({at(0.27, 0.52), at(0.44, 0.69), at(0.74, 0.33)}));
        break;
    case MARK_ERROR:
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawEllipse(r);
        p.setPen(stroke);
        p.drawLine(at(0.32, 0.32), at(0.68, 0.68));
        p.drawLine(at(0.68, 0.32), at(0.32, 0.68));
        break;
    case MARK_WARNING: {
        QPainterPath triangle;
        triangle.moveTo(at(0.5, 0.04));
        triangle.lineTo(at(0.97, 0.92));
        triangle.lineTo(at(0.03, 0.92));
        triangle.closeSubpath();
        p.setPen(QPen(fill.darker(130), s * 0.05, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(fill);
        p.drawPath(triangle);
        const QColor ink(60, 40, 0);
        p.setPen(QPen(ink, s * 0.13, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(at(0.5, 0.35), at(0.5, 0.62));
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawEllipse(at(0.5, 0.78), s * 0.07, s * 0.07);
        break;
    }
    case MARK_RUNNING:
        p.setPen(QPen(fill, s * 0.12));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(r.adjusted(s * 0.08, s * 0.08, -s * 0.08, -s * 0.08));
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawEllipse(r.center(), s * 0.17, s * 0.17);
        break;
    case MARK_NONE:
        break;
    }
    p.restore();
}
