#include "platform/report/ReportTextItem.h"

#include "platform/report/ReportFonts.h"
#include "platform/report/ReportGenerator.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace {

struct Span
{
    int first = 0;
    int count = 0;
    qreal x = 0; // where the kept characters start, relative to where the line starts
};

// The characters of line that show at least in part between 0 and width when the line starts at
// start: those wholly outside a fixed box are left out, so the page holds what the reader sees.
Span visibleSpan(const QString &line, const QFontMetricsF &metrics, qreal start, qreal width)
{
    Span span;
    int first = -1;
    int last = -1;
    qreal firstX = 0;
    qreal x = start;
    for (int i = 0; i < line.size();) {
        const int length = line.at(i).isHighSurrogate() && i + 1 < line.size() ? 2 : 1;
        const qreal next = start + metrics.horizontalAdvance(line.left(i + length));
        if (next > 0 && x < width) {
            if (first < 0) {
                first = i;
                firstX = x - start;
            }
            last = i + length;
        }
        x = next;
        i += length;
    }
    if (first >= 0) {
        span.first = first;
        span.count = last - first;
        span.x = firstX;
    }
    return span;
}

qreal widestLine(const QFontMetricsF &metrics, const QString &text)
{
    qreal width = 0;
    for (const QString &line : text.split(QLatin1Char('\n')))
        width = qMax(width, metrics.horizontalAdvance(line));
    return width;
}

} // namespace

ReportTextItem::ReportTextItem(ReportBand *band)
    : ReportItem(band)
{ }

ReportTextItem::~ReportTextItem() = default;

int ReportTextItem::textFlags() const
{
    switch (alignment()) {
    case Alignment::Right:
        return Qt::AlignRight | Qt::AlignTop;
    case Alignment::Center:
    case Alignment::CenterOnBand:
        return Qt::AlignHCenter | Qt::AlignTop;
    case Alignment::Left:
        break;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

void ReportTextItem::prepare(ReportGenerator &generator)
{
    m_text = printText(generator);
    m_pageFont = ReportFonts::forPage(font());
    const QFontMetricsF metrics(m_pageFont);
    const QRectF design = designRect();
    const qreal bandWidth = generator.bandWidth();

    qreal width = design.width();
    if (autoSize()) {
        width = std::ceil(widestLine(metrics, m_text));
        if (stretch())
            width = qMin(width, qMax<qreal>(1, bandWidth - design.left()));
    }
    qreal left = design.left();
    switch (alignment()) {
    case Alignment::Left:
        break;
    case Alignment::Right:
        if (autoSize())
            left = design.right() - width;
        break;
    case Alignment::Center:
        if (autoSize())
            left = design.center().x() - width / 2;
        break;
    case Alignment::CenterOnBand:
        left = (bandWidth - width) / 2;
        break;
    }
    qreal height = design.height() > 0 ? design.height() : std::ceil(metrics.height());
    if (stretch() && !m_text.isEmpty()) {
        const QRectF needed = metrics.boundingRect(QRectF(0, 0, width, 1e7),
                                                   textFlags() | Qt::TextWordWrap, m_text);
        height = qMax(height, std::ceil(needed.height()));
    }
    setPrintRect(QRectF(left, design.top(), width, height));
}

void ReportTextItem::paint(ReportGenerator &generator, QPainter &painter, qreal, qreal)
{
    const QRectF rect = printRect();
    paintBox(painter, rect);
    if (m_text.isEmpty() || rect.width() <= 0) {
        generator.recordText(*this, rect, QString(), QRectF(rect.topLeft(), QSizeF(0, 0)));
        return;
    }
    painter.save();
    painter.setFont(m_pageFont);
    painter.setPen(textColor());
    const QFontMetricsF metrics(m_pageFont);
    if (!autoSize())
        painter.setClipRect(rect, Qt::IntersectClip);
    if (stretch()) {
        painter.drawText(rect, textFlags() | Qt::TextWordWrap, m_text);
        // Wrapping breaks between words only: a word wider than the box still reaches out of it.
        generator.recordText(*this, rect, m_text,
                             metrics.boundingRect(rect, textFlags() | Qt::TextWordWrap, m_text));
    } else {
        QRectF whole;
        QStringList printed;
        qreal baseline = rect.top() + metrics.ascent();
        for (const QString &line : m_text.split(QLatin1Char('\n'))) {
            const qreal lineWidth = metrics.horizontalAdvance(line);
            qreal start = 0;
            if (textFlags() & Qt::AlignRight)
                start = rect.width() - lineWidth;
            else if (textFlags() & Qt::AlignHCenter)
                start = (rect.width() - lineWidth) / 2;
            whole |= QRectF(rect.left() + start, baseline - metrics.ascent(), lineWidth,
                            metrics.height());
            if (autoSize()) {
                painter.drawText(QPointF(rect.left() + start, baseline), line);
                printed.append(line);
            } else {
                const Span span = visibleSpan(line, metrics, start, rect.width());
                const QString part = line.mid(span.first, span.count);
                if (!part.isEmpty())
                    painter.drawText(QPointF(rect.left() + start + span.x, baseline), part);
                printed.append(part);
            }
            baseline += metrics.lineSpacing();
        }
        generator.recordText(*this, rect, printed.join(QLatin1Char('\n')), whole);
    }
    painter.restore();
}
