#include "platform/report/ReportFrame.h"

#include "platform/report/ReportUnits.h"

#include <QPainter>
#include <QPen>

void ReportFrame::draw(QPainter &painter, const QRectF &rect, Qt::Edges omitted) const
{
    const Qt::Edges sides = m_sides & ~omitted;
    if (sides == Qt::Edges() || rect.isEmpty())
        return;
    const qreal w = qMax<qreal>(1, ReportUnits::mmToDots(m_widthMm));
    const QRectF r = rect.adjusted(w / 2, w / 2, -w / 2, -w / 2);
    painter.save();
    QPen pen(m_color, w);
    pen.setCapStyle(Qt::SquareCap);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    if (sides == ReportFrame::allSides()) {
        painter.drawRect(r);
    } else {
        if (sides & Qt::TopEdge)
            painter.drawLine(r.topLeft(), r.topRight());
        if (sides & Qt::BottomEdge)
            painter.drawLine(r.bottomLeft(), r.bottomRight());
        if (sides & Qt::LeftEdge)
            painter.drawLine(r.topLeft(), r.bottomLeft());
        if (sides & Qt::RightEdge)
            painter.drawLine(r.topRight(), r.bottomRight());
    }
    painter.restore();
}
