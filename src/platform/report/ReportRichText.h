#pragma once

#include "platform/engine/Dataset.h"
#include "platform/report/ReportItem.h"

#include <QPointer>
#include <QVector>

#include <memory>

class QTextDocument;

// Rich text from a memo field (RTF, or plain text from before the memo was rich) laid out within
// the item's width; the item's font is the default for text that names none. With stretch on
// (the default) the item grows downward with its content and may be cut across pages between two
// lines; with it off, the text is clipped to the box. Without a dataset the item prints its own
// text, given the same way as a stored memo.
class ReportRichText : public ReportItem
{
    Q_OBJECT

public:
    explicit ReportRichText(ReportBand *band, Dataset *dataset = nullptr,
                            const QString &fieldName = QString());
    ~ReportRichText() override;

    [[nodiscard]] Dataset *dataset() const { return m_dataset; }
    void setDataset(Dataset *dataset) { m_dataset = dataset; }
    [[nodiscard]] const QString &fieldName() const { return m_fieldName; }
    void setFieldName(const QString &name) { m_fieldName = name; }
    [[nodiscard]] const QString &text() const { return m_text; }
    void setText(const QString &stored) { m_text = stored; }

protected:
    void prepare(ReportGenerator &generator) override;
    void paint(ReportGenerator &generator, QPainter &painter, qreal from, qreal to) override;
    [[nodiscard]] bool canSplit() const override { return stretch(); }
    [[nodiscard]] qreal breakAtOrAbove(qreal y) const override;

private:
    struct Line
    {
        qreal top;
        qreal bottom;
        QString text;
    };

    [[nodiscard]] QString storedValue() const;

    QPointer<Dataset> m_dataset;
    QString m_fieldName;
    QString m_text;
    std::unique_ptr<QTextDocument> m_document;
    QVector<Line> m_lines; // in document coordinates, top to bottom
};
