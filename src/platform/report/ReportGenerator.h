#pragma once

#include "platform/report/ReportDocument.h"

#include <QPainter>
#include <QPicture>
#include <QRectF>

class BandedReport;
class ReportBand;
class ReportItem;

// One run of a report: walks the bands over the dataset and fills the pages (the rules are in
// BandedReport). Made by BandedReport::generate() for a single run; items ask it for the page
// number and the band width, and log what they printed through it.
class ReportGenerator
{
public:
    explicit ReportGenerator(BandedReport &report);
    ~ReportGenerator();
    ReportGenerator(const ReportGenerator &) = delete;
    ReportGenerator &operator=(const ReportGenerator &) = delete;

    [[nodiscard]] ReportDocument run();

    [[nodiscard]] int pageNumber() const { return m_page; }
    [[nodiscard]] qreal bandWidth() const { return m_bandWidth; }
    // rect (the item's box) and textRect (where its whole text lies; the box when not given) in
    // dots, in the coordinates of the band being painted.
    void recordText(const ReportItem &item, const QRectF &rect, const QString &text,
                    const QRectF &textRect = QRectF());

private:
    void beginPage();
    void finishPage(bool last);
    void newPage();
    // A band and its child chain in the flow of the page, with page breaks.
    void printChain(ReportBand *band);
    // A band and its child chain at the current height, never breaking (headers).
    void printFixedChain(ReportBand *band);
    // Runs the hooks around print; print places the band when the hook lets it.
    template<typename Print> void runBand(ReportBand &band, Print print);
    void placeFlowing(ReportBand &band);
    // Prepares the band's items and returns the band's height in dots for this printing.
    qreal prepareBand(ReportBand &band);
    qreal findCut(ReportBand &band, qreal from, qreal limit) const;
    void paintSlice(ReportBand &band, qreal pageY, qreal from, qreal to, bool first, bool last);
    [[nodiscard]] qreal bottomLimit() const;
    [[nodiscard]] bool footerOnThisPage() const;
    [[nodiscard]] qreal footerHeight() const; // dots, the enabled footer bands together

    BandedReport &m_report;
    ReportDocument m_document;
    QPicture m_picture;
    QPainter m_painter;
    int m_page = 0;
    bool m_pageOpen = false;
    bool m_pageFresh = true; // nothing but headers on the page yet
    bool m_repeatColumnHeaders = false;
    qreal m_y = 0; // dots from the paper's top edge
    qreal m_pageHeight = 0;
    qreal m_left = 0;
    qreal m_top = 0;
    qreal m_bottom = 0;
    qreal m_bandWidth = 0;
    qreal m_bandOriginY = 0; // page height of the painted band's top, as if it were not cut
};
