#include "platform/report/ReportBand.h"

#include "platform/report/BandedReport.h"
#include "platform/report/ReportDataField.h"
#include "platform/report/ReportLabel.h"
#include "platform/report/ReportPicture.h"
#include "platform/report/ReportRichText.h"

namespace {

template<typename Item> Item *placed(Item *item, const QRectF &mm, const QString &name)
{
    item->setGeometry(mm);
    item->setObjectName(name);
    return item;
}

template<typename Item> Item *placedText(Item *item, const QRectF &mm, const QString &name)
{
    item->setAutoSize(mm.width() <= 0);
    return placed(item, mm, name);
}

} // namespace

ReportBand::ReportBand(BandedReport *report, Kind kind, qreal heightMm)
    : QObject(report)
    , m_report(report)
    , m_kind(kind)
    , m_height(heightMm)
{ }

ReportBand::~ReportBand() = default;

ReportBand *ReportBand::addChildBand(qreal heightMm, const QString &name)
{
    ReportBand *last = this;
    while (last->m_childBand)
        last = last->m_childBand;
    ReportBand *child = m_report->addBand(Kind::Child, heightMm, name);
    child->m_parentBand = last;
    last->m_childBand = child;
    return child;
}

QList<ReportItem *> ReportBand::items() const
{
    QList<ReportItem *> result;
    for (const QPointer<ReportItem> &item : m_items) {
        if (item)
            result.append(item);
    }
    return result;
}

ReportItem *ReportBand::item(const QString &name) const
{
    for (const QPointer<ReportItem> &item : m_items) {
        if (item && item->objectName() == name)
            return item;
    }
    return nullptr;
}

ReportLabel *ReportBand::addLabel(const QString &caption, const QRectF &mm, const QString &name)
{
    return placedText(new ReportLabel(this, caption), mm, name);
}

ReportDataField *ReportBand::addDataField(Dataset *dataset, const QString &fieldName,
                                          const QRectF &mm, const QString &name)
{
    return placedText(new ReportDataField(this, dataset, fieldName), mm, name);
}

ReportRichText *ReportBand::addRichText(Dataset *dataset, const QString &fieldName,
                                        const QRectF &mm, const QString &name)
{
    return placed(new ReportRichText(this, dataset, fieldName), mm, name);
}

ReportShape *ReportBand::addShape(ReportShape::Kind kind, const QRectF &mm, const QString &name)
{
    return placed(new ReportShape(this, kind), mm, name);
}

ReportPicture *ReportBand::addPicture(const QRectF &mm, const QString &name)
{
    return placed(new ReportPicture(this), mm, name);
}

ReportSystemData *ReportBand::addSystemData(ReportSystemData::Data data, const QRectF &mm,
                                            const QString &name)
{
    return placedText(new ReportSystemData(this, data), mm, name);
}
