#pragma once

#include "platform/report/ReportDocument.h"

#include <QImage>
#include <QWidget>

// One page of a generated report drawn on screen at a given scale (screen pixels per millimetre),
// on a grey surround. The page is rendered once per page and scale and kept as an image.
class ReportPageView : public QWidget
{
    Q_OBJECT

public:
    explicit ReportPageView(QWidget *parent = nullptr);
    ~ReportPageView() override;

    void setDocument(const ReportDocument &document);
    [[nodiscard]] const ReportDocument &document() const { return m_document; }
    [[nodiscard]] int page() const { return m_page; }
    void setPage(int page);
    [[nodiscard]] qreal pixelsPerMm() const { return m_pixelsPerMm; }
    void setPixelsPerMm(qreal scale);

    [[nodiscard]] QSize sizeHint() const override;
    // Space left around the page.
    static constexpr int kMargin = 12;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    [[nodiscard]] QSize pageSizePixels() const;

    ReportDocument m_document;
    int m_page = 0;
    qreal m_pixelsPerMm = 1;
    QImage m_cache;
    int m_cachePage = -1;
};
