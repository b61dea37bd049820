#include "platform/report/ReportPicture.h"

#include "platform/report/ReportUnits.h"

#include <QPainter>

ReportPicture::ReportPicture(ReportBand *band)
    : ReportItem(band)
{
    setTransparent(true);
}

ReportPicture::~ReportPicture() = default;

void ReportPicture::prepare(ReportGenerator &)
{
    setPrintRect(designRect());
}

void ReportPicture::paint(ReportGenerator &, QPainter &painter, qreal, qreal)
{
    const QRectF rect = printRect();
    paintBox(painter, rect);
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    if (m_paint) {
        m_paint(painter, rect);
    } else if (!m_image.isNull()) {
        QRectF target = rect;
        if (!m_scaleToBox) {
            const auto dpi = [](int dotsPerMetre) {
                return dotsPerMetre > 0 ? dotsPerMetre * ReportUnits::kMmPerInch / 1000 : 96.0;
            };
            target.setSize(QSizeF(m_image.width() / dpi(m_image.dotsPerMeterX()),
                                  m_image.height() / dpi(m_image.dotsPerMeterY()))
                           * ReportUnits::kDotsPerInch);
        }
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, m_image);
    }
    painter.restore();
}
