#pragma once

#include "platform/report/ReportDocument.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class BandedReport;
class QAction;
class QLabel;
class QScrollArea;
class ReportPageView;

// The preview window of a generated report: zoom to the whole page, to 100 % or to the page's
// width; first, previous, next and last page; printer set-up and print (a new run of the report
// from the records current at that moment, printed without a dialog; a loaded report prints as
// it was saved); save a generated report (in its own format, to open again, or as PDF) and open
// one; close. Not modal. Errors go to the dialogs service; entries from Qt run under guard().
class ReportPreview : public QWidget
{
    Q_OBJECT

public:
    enum class Zoom { WholePage, Actual, PageWidth };

    ReportPreview(BandedReport *report, const ReportDocument &document, QWidget *parent = nullptr);
    ~ReportPreview() override;

    [[nodiscard]] const ReportDocument &document() const;
    [[nodiscard]] int currentPage() const; // 0-based
    void setCurrentPage(int page);
    [[nodiscard]] Zoom zoom() const { return m_zoom; }
    void setZoom(Zoom zoom);
    [[nodiscard]] qreal pixelsPerMm() const;
    [[nodiscard]] QString pageCaption() const;

    void firstPage();
    void previousPage();
    void nextPage();
    void lastPage();
    // Without a file dialog: what Save and Open do once they have a path. Save writes a PDF when
    // the path ends in ".pdf", else the report's own format. A failure shows a message and
    // returns false.
    bool saveTo(const QString &path);
    bool openFrom(const QString &path);

    // The window's commands by name: "print", "setup", "save", "open", "close", "zoomPage",
    // "zoomActual", "zoomWidth", "first", "previous", "next", "last".
    [[nodiscard]] QAction *action(const QString &name) const;

Q_SIGNALS:
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QAction *addCommand(const QString &name, const QString &text, const QString &hint,
                        const QIcon &icon, void (ReportPreview::*slot)());
    QAction *addCommand(const QString &name, const QString &text, const QString &hint,
                        const QIcon &icon, const std::function<void()> &run);
    void print();
    void setupPrinter();
    void save();
    void open();
    void applyZoom();
    void updateState();

    QPointer<BandedReport> m_report;
    bool m_loaded = false;
    Zoom m_zoom = Zoom::WholePage;
    ReportPageView *m_view;
    QScrollArea *m_scroll;
    QLabel *m_pageLabel;
};
