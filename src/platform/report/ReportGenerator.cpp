#include "platform/report/ReportGenerator.h"

#include "platform/engine/Dataset.h"
#include "platform/report/BandedReport.h"
#include "platform/report/ReportBand.h"
#include "platform/report/ReportItem.h"
#include "platform/report/ReportUnits.h"

#include <QPointer>

namespace {

using ReportUnits::dotsToMm;
using ReportUnits::mmToDots;

// Heights closer than this count as equal: a band that fits to a rounding error fits.
constexpr qreal kSlack = 0.5;

QRectF toMm(const QRectF &dots)
{
    return QRectF(dotsToMm(dots.left()), dotsToMm(dots.top()), dotsToMm(dots.width()),
                  dotsToMm(dots.height()));
}

// The report walks its dataset without the user seeing it: controls stay quiet, and the record
// the user was on is current again afterwards, whatever happens in between.
class DatasetPosition
{
public:
    explicit DatasetPosition(Dataset *dataset)
        : m_dataset(dataset)
    {
        if (!m_dataset)
            return;
        m_dataset->disableControls();
        if (m_dataset->isActive())
            m_recNo = m_dataset->recNo();
    }
    ~DatasetPosition()
    {
        if (!m_dataset)
            return;
        try {
            if (m_dataset->isActive() && m_recNo > 0 && m_dataset->recNo() != m_recNo)
                m_dataset->setRecNo(m_recNo);
        } catch (...) {
            // Going back only re-reads what was read a moment ago; a failure here must not hide
            // the run's own error, and leaves the dataset on a valid record anyway.
        }
        m_dataset->enableControls();
    }
    DatasetPosition(const DatasetPosition &) = delete;
    DatasetPosition &operator=(const DatasetPosition &) = delete;

private:
    QPointer<Dataset> m_dataset;
    int m_recNo = 0;
};

} // namespace

ReportGenerator::ReportGenerator(BandedReport &report)
    : m_report(report)
    , m_document(report.pageSize(), report.orientation())
{
    const QSizeF page = report.pageSizeMm();
    const QMarginsF margins = report.margins();
    m_pageHeight = mmToDots(page.height());
    m_left = mmToDots(margins.left());
    m_top = mmToDots(margins.top());
    m_bottom = mmToDots(page.height() - margins.bottom());
    m_bandWidth = mmToDots(report.bandWidthMm());
}

ReportGenerator::~ReportGenerator()
{
    if (m_painter.isActive())
        m_painter.end();
    m_report.setPageNumber(0);
}

ReportDocument ReportGenerator::run()
{
    bool print = true;
    if (m_report.beforePrint())
        m_report.beforePrint()(m_report, print);
    // The hook may have named the run after its records.
    m_document.setTitle(m_report.title());
    m_document.setCreator(m_report.creator());
    if (!print)
        return m_document;

    Dataset *dataset = m_report.dataset();
    DatasetPosition position(dataset);
    bool hasRecords = true;
    if (dataset) {
        hasRecords = false;
        if (dataset->isActive()) {
            dataset->first();
            hasRecords = !dataset->eof();
        }
    }
    if (!hasRecords && !m_report.printIfEmpty())
        return m_document;

    beginPage();
    for (ReportBand *band : m_report.bands(ReportBand::Kind::Title))
        printChain(band);
    for (ReportBand *band : m_report.bands(ReportBand::Kind::ColumnHeader))
        printChain(band);
    m_repeatColumnHeaders = true;
    const QList<ReportBand *> details = m_report.bands(ReportBand::Kind::Detail);
    if (!dataset) {
        for (ReportBand *band : details)
            printChain(band);
    } else if (hasRecords) {
        while (!dataset->eof()) {
            for (ReportBand *band : details)
                printChain(band);
            dataset->next();
        }
    }
    for (ReportBand *band : m_report.bands(ReportBand::Kind::Summary))
        printChain(band);
    finishPage(true);
    return m_document;
}

void ReportGenerator::beginPage()
{
    ++m_page;
    m_report.setPageNumber(m_page);
    m_picture = QPicture();
    m_painter.begin(&m_picture);
    m_painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing
                             | QPainter::SmoothPixmapTransform);
    m_pageOpen = true;
    m_y = m_top;
    if (m_page > 1 || m_report.pageHeaderOnFirstPage()) {
        for (ReportBand *band : m_report.bands(ReportBand::Kind::PageHeader))
            printFixedChain(band);
    }
    if (m_repeatColumnHeaders) {
        for (ReportBand *band : m_report.bands(ReportBand::Kind::ColumnHeader))
            printFixedChain(band);
    }
    m_pageFresh = true;
}

bool ReportGenerator::footerOnThisPage() const
{
    return m_page > 1 || m_report.pageFooterOnFirstPage();
}

qreal ReportGenerator::footerHeight() const
{
    qreal height = 0;
    for (ReportBand *band : m_report.bands(ReportBand::Kind::PageFooter)) {
        if (band->isEnabled())
            height += mmToDots(band->height());
    }
    return height;
}

void ReportGenerator::finishPage(bool last)
{
    if (!m_pageOpen)
        return;
    if (footerOnThisPage() && (!last || m_report.pageFooterOnLastPage())) {
        const QList<ReportBand *> footers = m_report.bands(ReportBand::Kind::PageFooter);
        m_y = m_bottom - footerHeight();
        for (ReportBand *band : footers) {
            runBand(*band, [this](ReportBand &b) {
                const qreal height = prepareBand(b);
                paintSlice(b, m_y, 0, height, true, true);
                m_y += mmToDots(b.height());
            });
        }
    }
    m_painter.end();
    m_document.appendPage(m_picture);
    m_pageOpen = false;
}

void ReportGenerator::newPage()
{
    finishPage(false);
    beginPage();
}

qreal ReportGenerator::bottomLimit() const
{
    // Whether the last page will want its footer is not known while it fills: room is kept.
    return footerOnThisPage() ? m_bottom - footerHeight() : m_bottom;
}

template<typename Print> void ReportGenerator::runBand(ReportBand &band, Print print)
{
    if (!band.isEnabled())
        return;
    bool printIt = true;
    if (band.beforePrint())
        band.beforePrint()(band, printIt);
    if (printIt)
        print(band);
    if (band.afterPrint())
        band.afterPrint()(band, printIt);
}

void ReportGenerator::printChain(ReportBand *band)
{
    for (ReportBand *b = band; b; b = b->childBand())
        runBand(*b, [this](ReportBand &b) { placeFlowing(b); });
}

void ReportGenerator::printFixedChain(ReportBand *band)
{
    for (ReportBand *b = band; b; b = b->childBand()) {
        runBand(*b, [this](ReportBand &b) {
            const qreal height = prepareBand(b);
            paintSlice(b, m_y, 0, height, true, true);
            m_y += height;
        });
    }
}

qreal ReportGenerator::prepareBand(ReportBand &band)
{
    const qreal design = mmToDots(band.height());
    qreal height = design;
    for (ReportItem *item : band.items()) {
        if (!item->isEnabled())
            continue;
        item->prepare(*this);
        // A stretched item pushes the band's bottom down by as much as it grew.
        if (item->stretch()) {
            const qreal grown = item->printRect().height() - item->designRect().height();
            if (grown > 0)
                height = qMax(height, design + grown);
        }
    }
    return height;
}

void ReportGenerator::placeFlowing(ReportBand &band)
{
    // The fit is decided on the band's own height, before its items are measured, so that the
    // items (and the labels' hooks) see the page the band will start on.
    if (m_y + mmToDots(band.height()) > bottomLimit() + kSlack && !m_pageFresh)
        newPage();
    const qreal height = prepareBand(band);
    qreal from = 0;
    bool first = true;
    for (;;) {
        const qreal space = bottomLimit() - m_y;
        if (height - from <= space + kSlack) {
            paintSlice(band, m_y, from, height, first, true);
            m_y += height - from;
            m_pageFresh = false;
            return;
        }
        qreal cut = findCut(band, from, from + space);
        if (cut <= from + kSlack) {
            if (!m_pageFresh) {
                newPage();
                continue;
            }
            // Not even one line fits on an empty page: cut where the page ends.
            cut = from + qMax(space, mmToDots(10));
        }
        paintSlice(band, m_y, from, cut, first, false);
        newPage();
        from = cut;
        first = false;
    }
}

qreal ReportGenerator::findCut(ReportBand &band, qreal from, qreal limit) const
{
    qreal y = limit;
    const QList<ReportItem *> items = band.items();
    // Moving the cut above one item may put it inside another; a few passes settle it.
    for (int pass = 0; pass < 16; ++pass) {
        const qreal before = y;
        for (ReportItem *item : items) {
            if (!item->isEnabled())
                continue;
            const QRectF r = item->printRect();
            if (r.top() >= y || r.bottom() <= y + kSlack)
                continue;
            if (item->canSplit())
                y = qMin(y, item->breakAtOrAbove(y));
            else if (r.top() >= from)
                y = qMin(y, r.top());
        }
        if (y == before)
            break;
    }
    return qMax(y, from);
}

void ReportGenerator::paintSlice(ReportBand &band, qreal pageY, qreal from, qreal to, bool first,
                                 bool last)
{
    const QRectF onPage(m_left, pageY, m_bandWidth, to - from);
    m_document.addBand({ m_page - 1, band.objectName(), toMm(onPage) });
    m_bandOriginY = pageY - from;
    m_painter.save();
    m_painter.translate(m_left, m_bandOriginY);
    for (ReportItem *item : band.items()) {
        if (!item->isEnabled())
            continue;
        const QRectF r = item->printRect();
        if (item->canSplit()) {
            if (r.bottom() > from && r.top() < to)
                item->paint(*this, m_painter, from, to);
        } else if (r.top() >= from - kSlack && (r.top() < to - kSlack || last)) {
            item->paint(*this, m_painter, from, to);
        }
    }
    m_painter.restore();
    Qt::Edges omitted;
    if (!first)
        omitted |= Qt::TopEdge;
    if (!last)
        omitted |= Qt::BottomEdge;
    band.frame().draw(m_painter, onPage, omitted);
}

void ReportGenerator::recordText(const ReportItem &item, const QRectF &rect, const QString &text,
                                 const QRectF &textRect)
{
    const QPointF origin(m_left, m_bandOriginY);
    m_document.addText({ m_page - 1, item.objectName(), toMm(rect.translated(origin)), text,
                         toMm((textRect.isNull() ? rect : textRect).translated(origin)) });
}
