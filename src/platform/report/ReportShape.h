#pragma once

#include "platform/report/ReportItem.h"

// A rectangle or a line. The rectangle is filled with the item's colour (unless transparent) and
// outlined with the pen inside its box; a vertical line runs down the middle of its box from top
// to bottom (give it no width to draw it at its left), a horizontal one across the middle.
class ReportShape : public ReportItem
{
    Q_OBJECT

public:
    enum class Kind { Rectangle, VerticalLine, HorizontalLine };

    explicit ReportShape(ReportBand *band, Kind kind = Kind::Rectangle);
    ~ReportShape() override;

    [[nodiscard]] Kind kind() const { return m_kind; }
    void setKind(Kind kind) { m_kind = kind; }
    [[nodiscard]] const QColor &penColor() const { return m_penColor; }
    void setPenColor(const QColor &color) { m_penColor = color; }
    [[nodiscard]] qreal penWidthMm() const { return m_penWidthMm; }
    void setPenWidthMm(qreal width) { m_penWidthMm = width; }

protected:
    void prepare(ReportGenerator &generator) override;
    void paint(ReportGenerator &generator, QPainter &painter, qreal from, qreal to) override;

private:
    Kind m_kind;
    QColor m_penColor = Qt::black;
    qreal m_penWidthMm = 0.2;
};
