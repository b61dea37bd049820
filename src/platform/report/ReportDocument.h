#pragma once

#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QPicture>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <functional>

class QImage;
class QPainter;
class QPagedPaintDevice;
class QPrinter;

// A generated report: its pages as display lists (one QPicture per page, drawn in dots with the
// origin at the paper's top-left corner, ReportUnits) and the page size. Alongside the pictures it
// keeps a log of what was printed where (bands and texts, in millimetres from the paper's corner)
// so that layouts can be checked without reading pixels.
//
// A value type: copies share the pictures. Every output (printer, PDF, image, the preview) replays
// the same pictures. Failures are reported by the return value and an error text; nothing throws.
class ReportDocument
{
public:
    // One band as it landed on a page; a band cut by a page break has one record per piece.
    struct BandRecord
    {
        int page = 0; // 0-based
        QString band; // the band's object name
        QRectF rectMm;
        bool operator==(const BandRecord &o) const
        {
            return page == o.page && band == o.band && rectMm == o.rectMm;
        }
    };
    // One printed text: a label, field or system-data text as printed (after hooks, masks and
    // clipping), or the lines of a rich-text item that landed on the page, joined by '\n'.
    // rectMm is the item's box; textMm where the whole text lies, which reaches outside the box
    // where the box cut it.
    struct TextRecord
    {
        int page = 0; // 0-based
        QString item; // the item's object name
        QRectF rectMm;
        QString text;
        QRectF textMm;
        [[nodiscard]] bool isCut() const;
        bool operator==(const TextRecord &o) const
        {
            return page == o.page && item == o.item && rectMm == o.rectMm && text == o.text
                && textMm == o.textMm;
        }
    };

    ReportDocument();
    ReportDocument(const QPageSize &pageSize, QPageLayout::Orientation orientation);

    [[nodiscard]] const QPageSize &pageSize() const { return m_pageSize; }
    [[nodiscard]] QPageLayout::Orientation orientation() const { return m_orientation; }
    // The paper as it lies: width and height swapped for landscape.
    [[nodiscard]] QSizeF pageSizeMm() const;
    // The document information a PDF carries (and the print job's name).
    [[nodiscard]] QString title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    [[nodiscard]] QString creator() const { return m_creator; }
    void setCreator(const QString &creator) { m_creator = creator; }

    [[nodiscard]] int pageCount() const { return int(m_pages.size()); }
    [[nodiscard]] bool isEmpty() const { return m_pages.isEmpty(); }
    [[nodiscard]] const QPicture &page(int index) const { return m_pages.at(index); }
    void appendPage(const QPicture &picture) { m_pages.append(picture); }

    [[nodiscard]] const QList<BandRecord> &bands() const { return m_bands; }
    [[nodiscard]] const QList<TextRecord> &texts() const { return m_texts; }
    void addBand(const BandRecord &record) { m_bands.append(record); }
    void addText(const TextRecord &record) { m_texts.append(record); }
    // Convenience for checks: the texts of one page, or of one item, in printing order.
    [[nodiscard]] QStringList pageTexts(int page) const;
    [[nodiscard]] QStringList itemTexts(const QString &item) const;
    [[nodiscard]] QStringList pageBands(int page) const;

    // Draws page index scaled into target (in the painter's coordinates), keeping its proportions
    // when target has them.
    void render(QPainter &painter, int index, const QRectF &target) const;
    // Page index on white at dotsPerInch.
    [[nodiscard]] QImage toImage(int index, qreal dotsPerInch) const;

    // Sends the pages to printer at the paper size and orientation of the report, within the page
    // range chosen on the printer (1-based, as print dialogs count), copies repeated here when the
    // printer cannot make them itself. progress, when given, hears each page before it prints.
    // A printer that writes PDF writes PDF/A-1b with the title and creator, as exportPdf() does.
    bool print(QPrinter &printer, const std::function<void(int page, int count)> &progress = {},
               QString *error = nullptr) const;
    // A PDF/A-1b file, so that it can be archived as a record: the pages as vectors, the text as
    // text in embedded fonts, the title and creator in its document information. The file is
    // readable by its owner only.
    bool exportPdf(const QString &path, QString *error = nullptr) const;

    // The document's own file format: a versioned QDataStream of the page size, the pictures and
    // the records, written atomically and readable by its owner only.
    bool save(const QString &path, QString *error = nullptr) const;
    bool load(const QString &path, QString *error = nullptr);

private:
    void paintPages(QPainter &painter, QPagedPaintDevice &device, int from, int to,
                    const std::function<void(int, int)> &progress) const;

    QPageSize m_pageSize;
    QPageLayout::Orientation m_orientation = QPageLayout::Portrait;
    QString m_title;
    QString m_creator;
    QList<QPicture> m_pages;
    QList<BandRecord> m_bands;
    QList<TextRecord> m_texts;
};
