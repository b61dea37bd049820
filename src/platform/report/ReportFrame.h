#pragma once

#include <QColor>
#include <Qt>

class QPainter;
class QRectF;

// Lines drawn along some sides of a band or an item. The lines lie inside the rectangle, so a
// frame never reaches past what it frames.
class ReportFrame
{
public:
    ReportFrame() = default;
    explicit ReportFrame(Qt::Edges sides, const QColor &color = Qt::black, qreal widthMm = 0.2)
        : m_sides(sides)
        , m_color(color)
        , m_widthMm(widthMm)
    { }

    [[nodiscard]] static ReportFrame all() { return ReportFrame(allSides()); }
    [[nodiscard]] static Qt::Edges allSides()
    {
        return Qt::TopEdge | Qt::LeftEdge | Qt::RightEdge | Qt::BottomEdge;
    }

    [[nodiscard]] Qt::Edges sides() const { return m_sides; }
    void setSides(Qt::Edges sides) { m_sides = sides; }
    [[nodiscard]] const QColor &color() const { return m_color; }
    void setColor(const QColor &color) { m_color = color; }
    [[nodiscard]] qreal widthMm() const { return m_widthMm; }
    void setWidthMm(qreal width) { m_widthMm = width; }
    [[nodiscard]] bool isEmpty() const { return m_sides == Qt::Edges(); }

    // Draws the sides of rect (in dots) except those in omitted: a band cut by a page break has
    // no bottom line before the break and no top line after it.
    void draw(QPainter &painter, const QRectF &rect, Qt::Edges omitted = {}) const;

private:
    Qt::Edges m_sides;
    QColor m_color = Qt::black;
    qreal m_widthMm = 0.2;
};
