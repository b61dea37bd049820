#include "platform/report/ReportShape.h"

#include "platform/report/ReportUnits.h"

#include <QPainter>
#include <QPen>

ReportShape::ReportShape(ReportBand *band, Kind kind)
    : ReportItem(band)
    , m_kind(kind)
{ }

ReportShape::~ReportShape() = default;

void ReportShape::prepare(ReportGenerator &)
{
    setPrintRect(designRect());
}

void ReportShape::paint(ReportGenerator &, QPainter &painter, qreal, qreal)
{
    const QRectF rect = printRect();
    const qreal w = qMax<qreal>(1, ReportUnits::mmToDots(m_penWidthMm));
    painter.save();
    QPen pen(m_penColor, w);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::MiterJoin);
    switch (m_kind) {
    case Kind::Rectangle: {
        const QRectF inner = rect.adjusted(w / 2, w / 2, -w / 2, -w / 2);
        painter.setPen(m_penColor.isValid() ? pen : QPen(Qt::NoPen));
        painter.setBrush(isTransparent() || !color().isValid() ? QBrush(Qt::NoBrush)
                                                               : QBrush(color()));
        painter.drawRect(inner);
        break;
    }
    case Kind::VerticalLine:
        painter.setPen(pen);
        painter.drawLine(QPointF(rect.center().x(), rect.top()),
                         QPointF(rect.center().x(), rect.bottom()));
        break;
    case Kind::HorizontalLine:
        painter.setPen(pen);
        painter.drawLine(QPointF(rect.left(), rect.center().y()),
                         QPointF(rect.right(), rect.center().y()));
        break;
    }
    painter.restore();
    frame().draw(painter, rect);
}
