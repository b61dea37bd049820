#pragma once

#include "platform/engine/Dataset.h"
#include "platform/report/ReportBand.h"
#include "platform/report/ReportDocument.h"

#include <QFont>
#include <QList>
#include <QMarginsF>
#include <QObject>
#include <QPageLayout>
#include <QPageSize>
#include <QPointer>

#include <functional>
#include <memory>

class QPrinter;
class QWidget;

// A banded report definition and its outputs. The definition is a page (paper, orientation,
// margins in millimetres, one column), a dataset to iterate and bands of items; it lives as long
// as its owner and is generated anew for every output, from the records current at that moment.
//
// Generation (generate()):
//  1. The report's BeforePrint hook runs; clearing its flag ends the run with no pages.
//  2. The dataset goes to its first record. Without records nothing prints at all, unless
//     printIfEmpty is on (then every band but the detail bands prints once). Without a dataset
//     the detail bands print once.
//  3. Every page starts with the page header bands (the first page only if pageHeaderOnFirstPage)
//     and ends with the page footer bands at the bottom margin (the first page only if
//     pageFooterOnFirstPage, the last only if pageFooterOnLastPage). The title bands print once at
//     the start, then the column header bands, which also follow the page header on every later
//     page.
//  4. For each record, each detail band and then its child chain; after the last record, the
//     summary bands. A band that does not fit above the page footer starts a new page first.
//     Items that stretch grow the band; a grown band that no longer fits prints what fits and
//     continues at the top of the next page (after its page header and column header).
//  5. The dataset goes back to the record it was on, and its controls, quiet during the run,
//     are told once. Hooks may throw; the dataset is put back all the same and the error passes
//     to the caller (which, from a Qt slot, runs it under guard()).
//
// Outputs: print() to the kept printer or the system's default printer without a dialog;
// print(QPrinter &) to a given one; exportPdf() (PDF/A-1b, for archiving); preview(), whose printer
// set-up keeps its printer and choices with the report for later prints in the run. Texts are
// drawn as text in every output.
class BandedReport : public QObject
{
    Q_OBJECT

public:
    using BeforePrintHook = std::function<void(BandedReport &report, bool &print)>;

    explicit BandedReport(QObject *parent = nullptr);
    ~BandedReport() override;

    [[nodiscard]] const QPageSize &pageSize() const { return m_pageSize; }
    void setPageSize(const QPageSize &size) { m_pageSize = size; }
    [[nodiscard]] QPageLayout::Orientation orientation() const { return m_orientation; }
    void setOrientation(QPageLayout::Orientation orientation) { m_orientation = orientation; }
    // Left, top, right, bottom, in millimetres.
    [[nodiscard]] const QMarginsF &margins() const { return m_margins; }
    void setMargins(const QMarginsF &mm) { m_margins = mm; }
    // The paper as it lies, and the width every band has.
    [[nodiscard]] QSizeF pageSizeMm() const;
    [[nodiscard]] qreal bandWidthMm() const;

    // What a generated document says about itself: its title names the print job and, with the
    // creator, goes into the PDF's document information. The title is read after the report's
    // BeforePrint hook, which may set it from the records of the run.
    [[nodiscard]] const QString &title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    [[nodiscard]] const QString &creator() const { return m_creator; }
    void setCreator(const QString &creator) { m_creator = creator; }
    // The base font of items that have none of their own.
    [[nodiscard]] const QFont &font() const { return m_font; }
    void setFont(const QFont &font) { m_font = font; }

    [[nodiscard]] Dataset *dataset() const { return m_dataset; }
    void setDataset(Dataset *dataset) { m_dataset = dataset; }
    [[nodiscard]] bool pageHeaderOnFirstPage() const { return m_headerOnFirstPage; }
    void setPageHeaderOnFirstPage(bool on) { m_headerOnFirstPage = on; }
    [[nodiscard]] bool pageFooterOnLastPage() const { return m_footerOnLastPage; }
    void setPageFooterOnLastPage(bool on) { m_footerOnLastPage = on; }
    // Off: the first page has no footer and keeps the footer's room for its own bands, so a
    // report that fits on one page prints as if it had no footer.
    [[nodiscard]] bool pageFooterOnFirstPage() const { return m_footerOnFirstPage; }
    void setPageFooterOnFirstPage(bool on) { m_footerOnFirstPage = on; }
    [[nodiscard]] bool printIfEmpty() const { return m_printIfEmpty; }
    void setPrintIfEmpty(bool on) { m_printIfEmpty = on; }
    void setBeforePrint(BeforePrintHook hook) { m_beforePrint = std::move(hook); }
    [[nodiscard]] const BeforePrintHook &beforePrint() const { return m_beforePrint; }

    // A new band of kind (use ReportBand::addChildBand for child bands). Bands of the same kind
    // print in the order they were added.
    ReportBand *addBand(ReportBand::Kind kind, qreal heightMm, const QString &name = QString());
    [[nodiscard]] QList<ReportBand *> bands() const;
    [[nodiscard]] QList<ReportBand *> bands(ReportBand::Kind kind) const;
    [[nodiscard]] ReportBand *band(const QString &name) const;

    // While generating: the page being filled, from 1. 0 otherwise.
    [[nodiscard]] int pageNumber() const { return m_pageNumber; }
    [[nodiscard]] bool isGenerating() const { return m_generating; }

    // Throws what the hooks throw; a run asked for while one is going on gives no pages.
    [[nodiscard]] ReportDocument generate();

    // Is any printer installed? Without one, and with no printer kept from a set-up, print()
    // does nothing and says so by returning false.
    [[nodiscard]] static bool hasPrinter();
    [[nodiscard]] bool canPrint() const { return m_printer || hasPrinter(); }
    // Generates and prints with no dialog, showing progress, to the kept printer or else the
    // default one. False when there is no printer or the printer failed.
    bool print(QString *error = nullptr);
    // Prints a generated document the same way (the preview prints a loaded one like this).
    bool printDocument(const ReportDocument &document, QString *error = nullptr);
    // Generates and prints to printer, which takes the report's paper and orientation.
    bool print(QPrinter &printer, QString *error = nullptr);
    // Generates and writes a PDF/A-1b file with the run's title and the creator (an empty run
    // writes one blank page).
    bool exportPdf(const QString &path, QString *error = nullptr);

    // The print dialog for printer, copies, orientation and page range, on the printer the report
    // keeps from then on; a chosen orientation becomes the report's. True when confirmed.
    bool setupPrinter(QWidget *parent = nullptr);
    // The kept printer: made (on the default printer) and kept by the first call.
    [[nodiscard]] QPrinter &printer();
    [[nodiscard]] bool hasKeptPrinter() const { return bool(m_printer); }

    // Generates and shows the pages in a preview window; returns when the window closes, the
    // other windows staying usable meanwhile. An empty run opens no window.
    void preview();

private:
    friend class ReportGenerator;
    void setPageNumber(int page) { m_pageNumber = page; }

    QPageSize m_pageSize;
    QPageLayout::Orientation m_orientation = QPageLayout::Portrait;
    QMarginsF m_margins { 10, 10, 10, 10 };
    QString m_title;
    QString m_creator;
    QFont m_font;
    QPointer<Dataset> m_dataset;
    bool m_headerOnFirstPage = true;
    bool m_footerOnLastPage = true;
    bool m_footerOnFirstPage = true;
    bool m_printIfEmpty = false;
    BeforePrintHook m_beforePrint;
    QList<QPointer<ReportBand>> m_bands;
    std::unique_ptr<QPrinter> m_printer;
    int m_pageNumber = 0;
    bool m_generating = false;
};
