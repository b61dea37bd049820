#include "platform/report/ReportPageView.h"

#include "platform/report/ReportUnits.h"

#include <QPaintEvent>
#include <QPainter>

ReportPageView::ReportPageView(QWidget *parent)
    : QWidget(parent)
{
    setAutoFillBackground(false);
}

ReportPageView::~ReportPageView() = default;

void ReportPageView::setDocument(const ReportDocument &document)
{
    m_document = document;
    m_page = 0;
    m_cache = QImage();
    m_cachePage = -1;
    updateGeometry();
    resize(sizeHint());
    update();
}

void ReportPageView::setPage(int page)
{
    if (page == m_page || page < 0 || page >= m_document.pageCount())
        return;
    m_page = page;
    update();
}

void ReportPageView::setPixelsPerMm(qreal scale)
{
    scale = qBound<qreal>(0.05, scale, 10);
    if (qFuzzyCompare(scale, m_pixelsPerMm))
        return;
    m_pixelsPerMm = scale;
    m_cache = QImage();
    updateGeometry();
    resize(sizeHint());
    update();
}

QSize ReportPageView::pageSizePixels() const
{
    const QSizeF mm = m_document.pageSizeMm();
    return QSize(qRound(mm.width() * m_pixelsPerMm), qRound(mm.height() * m_pixelsPerMm));
}

QSize ReportPageView::sizeHint() const
{
    return pageSizePixels() + QSize(2 * kMargin, 2 * kMargin);
}

void ReportPageView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(128, 128, 128));
    if (m_document.isEmpty())
        return;
    const QSize size = pageSizePixels();
    const QRect target(QPoint(qMax(kMargin, (width() - size.width()) / 2), kMargin), size);
    const qreal ratio = devicePixelRatioF();
    if (m_cache.isNull() || m_cachePage != m_page) {
        const qreal dpi = m_pixelsPerMm * ReportUnits::kMmPerInch * ratio;
        m_cache = m_document.toImage(m_page, dpi);
        m_cache.setDevicePixelRatio(ratio);
        m_cachePage = m_page;
    }
    painter.fillRect(target.translated(3, 3), QColor(64, 64, 64));
    painter.drawImage(target, m_cache);
}
