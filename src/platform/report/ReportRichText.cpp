#include "platform/report/ReportRichText.h"

#include "platform/engine/Dataset.h"
#include "platform/engine/Field.h"
#include "platform/report/ReportFonts.h"
#include "platform/report/ReportGenerator.h"
#include "platform/report/ReportUnits.h"
#include "platform/richtext/RichText.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <cmath>

namespace {

// Point sizes become dot sizes, so that the page pictures replay at the same size on any device
// and in any later session (see ReportUnits).
QTextCharFormat pageFormat(QTextCharFormat format)
{
    if (format.hasProperty(QTextFormat::FontPointSize)) {
        const qreal points = format.doubleProperty(QTextFormat::FontPointSize);
        format.clearProperty(QTextFormat::FontPointSize);
        format.setProperty(QTextFormat::FontPixelSize,
                           qMax(1, qRound(points * ReportUnits::kDotsPerPoint)));
    }
    format.setFontHintingPreference(QFont::PreferNoHinting);
    return format;
}

void useDotFonts(QTextDocument &document)
{
    struct Run
    {
        int position;
        int length;
        QTextCharFormat format;
    };
    QVector<Run> runs;
    QVector<QPair<int, QTextCharFormat>> blocks;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        blocks.append({ block.position(), pageFormat(block.charFormat()) });
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid())
                runs.append(
                    { fragment.position(), fragment.length(), pageFormat(fragment.charFormat()) });
        }
    }
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (const auto &[position, format] : blocks) {
        cursor.setPosition(position);
        cursor.setBlockCharFormat(format);
    }
    for (const Run &run : runs) {
        cursor.setPosition(run.position);
        cursor.setPosition(run.position + run.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(run.format);
    }
    cursor.endEditBlock();
}

} // namespace

ReportRichText::ReportRichText(ReportBand *band, Dataset *dataset, const QString &fieldName)
    : ReportItem(band)
    , m_dataset(dataset)
    , m_fieldName(fieldName)
{
    setStretch(true);
}

ReportRichText::~ReportRichText() = default;

QString ReportRichText::storedValue() const
{
    if (!m_dataset)
        return m_text;
    if (!m_dataset->isActive())
        return QString();
    const Field *field = m_dataset->fieldByName(m_fieldName);
    return field->isNull() ? QString() : field->asString();
}

void ReportRichText::prepare(ReportGenerator &)
{
    const QRectF design = designRect();
    m_document = std::make_unique<QTextDocument>();
    m_document->documentLayout()->setPaintDevice(ReportUnits::metricsDevice());
    m_document->setDocumentMargin(0);
    m_document->setUndoRedoEnabled(false);
    m_document->setDefaultFont(ReportFonts::forPage(font()));
    const QString stored = storedValue();
    if (!stored.isEmpty()) {
        RichText::load(*m_document, stored);
        useDotFonts(*m_document);
    }
    m_document->setTextWidth(design.width());

    m_lines.clear();
    qreal contentHeight = 0;
    if (!m_document->isEmpty()) {
        // The layout runs lazily; asking for the size finishes it, so every line has its place.
        contentHeight = std::ceil(m_document->size().height());
        for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next()) {
            const QTextLayout *layout = block.layout();
            const QString text = block.text();
            for (int i = 0; i < layout->lineCount(); ++i) {
                const QTextLine line = layout->lineAt(i);
                const qreal top = layout->position().y() + line.y();
                m_lines.append(
                    { top, top + line.height(), text.mid(line.textStart(), line.textLength()) });
            }
        }
    }
    qreal height = design.height();
    if (stretch())
        height = qMax(height, contentHeight);
    setPrintRect(QRectF(design.left(), design.top(), design.width(), height));
}

qreal ReportRichText::breakAtOrAbove(qreal y) const
{
    const QRectF rect = printRect();
    const qreal limit = y - rect.top() + 0.01;
    qreal best = 0;
    for (const Line &line : m_lines) {
        if (line.bottom > limit)
            break;
        best = line.bottom;
    }
    return rect.top() + best;
}

void ReportRichText::paint(ReportGenerator &generator, QPainter &painter, qreal from, qreal to)
{
    const QRectF rect = printRect();
    const qreal top = qMax(from, rect.top());
    const qreal bottom = qMin(to, rect.bottom());
    if (bottom <= top)
        return;
    const QRectF piece(rect.left(), top, rect.width(), bottom - top);
    Qt::Edges omitted;
    if (top > rect.top())
        omitted |= Qt::TopEdge;
    if (bottom < rect.bottom())
        omitted |= Qt::BottomEdge;
    paintBox(painter, piece, omitted);

    const qreal docTop = top - rect.top();
    const qreal docBottom = bottom - rect.top();
    painter.save();
    painter.setClipRect(piece, Qt::IntersectClip);
    painter.translate(rect.topLeft());
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(0, docTop, rect.width(), docBottom - docTop);
    context.palette.setColor(QPalette::Text, textColor());
    m_document->documentLayout()->draw(&painter, context);
    painter.restore();

    QStringList printed;
    for (const Line &line : m_lines) {
        if (line.top >= docTop - 0.5 && line.bottom <= docBottom + 0.5)
            printed.append(line.text);
    }
    if (!printed.isEmpty())
        generator.recordText(*this, piece, printed.join(QLatin1Char('\n')));
}
