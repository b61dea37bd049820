#include "platform/report/ReportItem.h"

#include "platform/report/BandedReport.h"
#include "platform/report/ReportBand.h"
#include "platform/report/ReportUnits.h"

#include <QPainter>

ReportItem::ReportItem(ReportBand *band)
    : QObject(band)
    , m_band(band)
{
    Q_ASSERT(band);
    band->m_items.append(this);
}

ReportItem::~ReportItem() = default;

QFont ReportItem::font() const
{
    if (m_font)
        return *m_font;
    return m_band->report()->font();
}

QRectF ReportItem::designRect() const
{
    using ReportUnits::mmToDots;
    return QRectF(mmToDots(m_geometry.left()), mmToDots(m_geometry.top()),
                  mmToDots(m_geometry.width()), mmToDots(m_geometry.height()));
}

void ReportItem::paintBox(QPainter &painter, const QRectF &rect, Qt::Edges omitted) const
{
    if (!m_transparent && m_color.isValid() && !rect.isEmpty())
        painter.fillRect(rect, m_color);
    m_frame.draw(painter, rect, omitted);
}
