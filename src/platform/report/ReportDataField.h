#pragma once

#include "platform/engine/Dataset.h"
#include "platform/report/ReportTextItem.h"

#include <QPointer>

class Field;

// The value of a field of a dataset's current record. A null value prints nothing (the box, its
// fill and frame still print). Otherwise the field's display text prints, or the value through the
// mask when there is one: date masks for date and date-time fields ("dd-mm-yyyy"; d, dd, ddd,
// dddd, m, mm, mmm, mmmm, yy, yyyy, h, hh, n, nn, s, ss, z, zzz; m right after an hour means
// minutes; quoted text is copied), number patterns for numeric fields (formatFloat).
// A field the dataset does not have fails with the engine's "Field 'X' not found".
class ReportDataField : public ReportTextItem
{
    Q_OBJECT

public:
    explicit ReportDataField(ReportBand *band, Dataset *dataset = nullptr,
                             const QString &fieldName = QString());
    ~ReportDataField() override;

    [[nodiscard]] Dataset *dataset() const { return m_dataset; }
    void setDataset(Dataset *dataset) { m_dataset = dataset; }
    [[nodiscard]] const QString &fieldName() const { return m_fieldName; }
    void setFieldName(const QString &name) { m_fieldName = name; }
    [[nodiscard]] const QString &mask() const { return m_mask; }
    void setMask(const QString &mask) { m_mask = mask; }

    // What the item prints for field's current value under mask.
    [[nodiscard]] static QString format(const Field &field, const QString &mask);
    [[nodiscard]] static QString formatDateTime(const QDateTime &value, const QString &mask);

protected:
    QString printText(ReportGenerator &generator) override;

private:
    QPointer<Dataset> m_dataset;
    QString m_fieldName;
    QString m_mask;
};
