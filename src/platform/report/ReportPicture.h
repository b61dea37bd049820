#pragma once

#include "platform/report/ReportItem.h"

#include <QImage>

#include <functional>

// A picture: an image, or a drawing made by a paint function at print time (vector art stays
// vector on the page and in the PDF). An image prints at its natural size (its own resolution,
// 96 dpi when it has none) from the box's top-left corner, or scaled to the box when asked; the
// box clips it. A paint function gets the painter (in dots) and the box to draw into.
class ReportPicture : public ReportItem
{
    Q_OBJECT

public:
    using PaintFunction = std::function<void(QPainter &painter, const QRectF &target)>;

    explicit ReportPicture(ReportBand *band);
    ~ReportPicture() override;

    [[nodiscard]] const QImage &image() const { return m_image; }
    void setImage(const QImage &image) { m_image = image; }
    void setPaintFunction(PaintFunction paint) { m_paint = std::move(paint); }
    [[nodiscard]] bool scaleToBox() const { return m_scaleToBox; }
    void setScaleToBox(bool scale) { m_scaleToBox = scale; }

protected:
    void prepare(ReportGenerator &generator) override;
    void paint(ReportGenerator &generator, QPainter &painter, qreal from, qreal to) override;

private:
    QImage m_image;
    PaintFunction m_paint;
    bool m_scaleToBox = false;
};
