#pragma once

#include "platform/report/ReportFrame.h"

#include <QColor>
#include <QFont>
#include <QObject>
#include <QRectF>

#include <optional>

class QPainter;
class ReportBand;
class ReportGenerator;

// Something printed in a band: the common placement and look of labels, fields, rich text,
// shapes, pictures and system data. Geometry is in millimetres from the band's top-left corner.
// An item belongs to its band (QObject child) and prints in the order it was created.
//
// Defaults follow the usual banded-report conventions: black text, left-aligned, on an opaque
// white box (set transparent to print over what lies below), no frame, one line, enabled.
//
// The report's generator drives an item through one printing: prepare() works out this printing's
// content and the rectangle it takes (which may be wider or taller than designed), paint() draws
// the part of it that falls between two heights of the band (all of it unless the band is cut by
// a page break). Only items that can split (rich text) are ever cut; others print whole.
class ReportItem : public QObject
{
    Q_OBJECT

public:
    enum class Alignment {
        Left,
        Right,
        Center,
        CenterOnBand, // the item is centred across the band's width, whatever its left
    };

    ~ReportItem() override;

    [[nodiscard]] ReportBand *band() const { return m_band; }

    [[nodiscard]] const QRectF &geometry() const { return m_geometry; }
    void setGeometry(const QRectF &mm) { m_geometry = mm; }
    void setPosition(const QPointF &mm) { m_geometry.moveTopLeft(mm); }
    void setSize(const QSizeF &mm) { m_geometry.setSize(mm); }

    // The item's own font, or else the report's base font.
    [[nodiscard]] QFont font() const;
    void setFont(const QFont &font) { m_font = font; }
    [[nodiscard]] bool hasOwnFont() const { return m_font.has_value(); }
    [[nodiscard]] const QColor &textColor() const { return m_textColor; }
    void setTextColor(const QColor &color) { m_textColor = color; }

    [[nodiscard]] Alignment alignment() const { return m_alignment; }
    void setAlignment(Alignment alignment) { m_alignment = alignment; }
    // The width follows the text: growing right from the left edge when left-aligned, left from
    // the right edge when right-aligned, both ways when centred.
    [[nodiscard]] bool autoSize() const { return m_autoSize; }
    void setAutoSize(bool autoSize) { m_autoSize = autoSize; }
    // The height grows downward to fit the content (text wraps at the width); the band grows with
    // it. A height of 0 or less is taken as one line of the font.
    [[nodiscard]] bool stretch() const { return m_stretch; }
    void setStretch(bool stretch) { m_stretch = stretch; }

    [[nodiscard]] const ReportFrame &frame() const { return m_frame; }
    void setFrame(const ReportFrame &frame) { m_frame = frame; }
    [[nodiscard]] const QColor &color() const { return m_color; }
    void setColor(const QColor &color) { m_color = color; }
    [[nodiscard]] bool isTransparent() const { return m_transparent; }
    void setTransparent(bool transparent) { m_transparent = transparent; }
    [[nodiscard]] bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }

protected:
    explicit ReportItem(ReportBand *band);

    friend class ReportGenerator;
    // Works out this printing and sets printRect() (dots, band coordinates).
    virtual void prepare(ReportGenerator &generator) = 0;
    // Draws the part of the item between from and to (dots, band coordinates); the painter's
    // origin is the band's top-left corner as if the band were not cut.
    virtual void paint(ReportGenerator &generator, QPainter &painter, qreal from, qreal to) = 0;
    [[nodiscard]] virtual bool canSplit() const { return false; }
    // For items that can split: the lowest height at or above y (band coordinates) where the item
    // may be cut; its top when none.
    [[nodiscard]] virtual qreal breakAtOrAbove(qreal y) const { return m_printRect.top(); }

    [[nodiscard]] const QRectF &printRect() const { return m_printRect; }
    void setPrintRect(const QRectF &dots) { m_printRect = dots; }
    // The designed geometry in dots.
    [[nodiscard]] QRectF designRect() const;
    // Fill (unless transparent) and frame of rect, leaving out the frame's sides in omitted.
    void paintBox(QPainter &painter, const QRectF &rect, Qt::Edges omitted = {}) const;

private:
    ReportBand *m_band;
    QRectF m_geometry;
    std::optional<QFont> m_font;
    QColor m_textColor = Qt::black;
    Alignment m_alignment = Alignment::Left;
    bool m_autoSize = false;
    bool m_stretch = false;
    ReportFrame m_frame;
    QColor m_color = Qt::white;
    bool m_transparent = false;
    bool m_enabled = true;
    QRectF m_printRect;
};
