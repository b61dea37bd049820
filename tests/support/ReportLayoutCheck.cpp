#include "support/ReportLayoutCheck.h"

#include "platform/report/BandedReport.h"
#include "platform/report/ReportBand.h"
#include "platform/report/ReportDocument.h"
#include "platform/report/ReportItem.h"

#include <QHash>
#include <QSet>

using namespace Qt::StringLiterals;

QStringList hiddenTexts(const BandedReport &report, const ReportDocument &document)
{
    QStringList problems;
    const QList<ReportDocument::TextRecord> &texts = document.texts();
    QSet<QString> printed;
    for (const ReportDocument::TextRecord &text : texts)
        printed.insert(text.item);
    QHash<QString, const ReportItem *> items;
    for (const ReportBand *band : report.bands()) {
        for (const ReportItem *item : band->items()) {
            if (!printed.contains(item->objectName()))
                continue;
            if (items.contains(item->objectName()))
                problems << u"two items are named %1"_s.arg(item->objectName());
            items.insert(item->objectName(), item);
        }
    }
    // Boxes that only touch, to a rounding error, do not hide each other.
    constexpr qreal kTouch = 0.05;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const ReportDocument::TextRecord &text = texts.at(i);
        if (text.text.isEmpty())
            continue;
        const QString what = u"%1 \"%2\" (page %3)"_s.arg(text.item, text.text).arg(text.page + 1);
        if (text.isCut())
            problems << what + u" is cut by its box"_s;
        const QRectF inner = text.textMm.adjusted(kTouch, kTouch, -kTouch, -kTouch);
        for (qsizetype j = i + 1; j < texts.size(); ++j) {
            const ReportDocument::TextRecord &later = texts.at(j);
            if (later.page != text.page)
                continue;
            const ReportItem *item = items.value(later.item);
            const bool opaque = item && !item->isTransparent();
            if ((opaque && later.rectMm.intersects(inner))
                || (!later.text.isEmpty() && later.textMm.intersects(inner)))
                problems << what + u" is covered by "_s + later.item;
        }
    }
    return problems;
}
