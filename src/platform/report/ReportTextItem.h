#pragma once

#include "platform/report/ReportItem.h"

#include <QFont>
#include <QString>

// An item that prints one text: the common part of labels, data fields and system data. The text
// starts at the top of its box. A fixed box narrower than its text cuts the text at its edge;
// with stretch on, the text wraps at the box's width (an auto-sized one at the band's right
// edge) and the box grows downward instead. Line breaks in the text start new lines.
class ReportTextItem : public ReportItem
{
    Q_OBJECT

public:
    ~ReportTextItem() override;

protected:
    explicit ReportTextItem(ReportBand *band);

    // This printing's text; called once per printing, before the item is measured.
    [[nodiscard]] virtual QString printText(ReportGenerator &generator) = 0;

    void prepare(ReportGenerator &generator) override;
    void paint(ReportGenerator &generator, QPainter &painter, qreal from, qreal to) override;

private:
    [[nodiscard]] int textFlags() const;

    QString m_text;
    QFont m_pageFont;
};
