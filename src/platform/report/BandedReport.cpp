#include "platform/report/BandedReport.h"

#include "platform/report/ReportFonts.h"
#include "platform/report/ReportGenerator.h"
#include "platform/report/ReportPreview.h"

#include <QApplication>
#include <QEventLoop>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QScopedValueRollback>

BandedReport::BandedReport(QObject *parent)
    : QObject(parent)
    , m_pageSize(QPageSize::A4)
    , m_font(QStringLiteral("Arial"), 10)
{
    ReportFonts::installSubstitutions();
}

BandedReport::~BandedReport() = default;

QSizeF BandedReport::pageSizeMm() const
{
    const QSizeF size = m_pageSize.size(QPageSize::Millimeter);
    return m_orientation == QPageLayout::Landscape ? size.transposed() : size;
}

qreal BandedReport::bandWidthMm() const
{
    return pageSizeMm().width() - m_margins.left() - m_margins.right();
}

ReportBand *BandedReport::addBand(ReportBand::Kind kind, qreal heightMm, const QString &name)
{
    auto *band = new ReportBand(this, kind, heightMm);
    band->setObjectName(name);
    m_bands.append(band);
    return band;
}

QList<ReportBand *> BandedReport::bands() const
{
    QList<ReportBand *> result;
    for (const QPointer<ReportBand> &band : m_bands) {
        if (band)
            result.append(band);
    }
    return result;
}

QList<ReportBand *> BandedReport::bands(ReportBand::Kind kind) const
{
    QList<ReportBand *> result;
    for (const QPointer<ReportBand> &band : m_bands) {
        if (band && band->kind() == kind)
            result.append(band);
    }
    return result;
}

ReportBand *BandedReport::band(const QString &name) const
{
    for (const QPointer<ReportBand> &band : m_bands) {
        if (band && band->objectName() == name)
            return band;
    }
    return nullptr;
}

ReportDocument BandedReport::generate()
{
    if (m_generating)
        return ReportDocument(m_pageSize, m_orientation);
    QScopedValueRollback<bool> generating(m_generating, true);
    ReportGenerator generator(*this);
    return generator.run();
}

bool BandedReport::hasPrinter()
{
    return !QPrinterInfo::availablePrinterNames().isEmpty();
}

bool BandedReport::print(QString *error)
{
    if (!canPrint()) {
        if (error)
            *error = QStringLiteral("No printer is installed");
        return false;
    }
    return printDocument(generate(), error);
}

bool BandedReport::printDocument(const ReportDocument &document, QString *error)
{
    if (!canPrint()) {
        if (error)
            *error = QStringLiteral("No printer is installed");
        return false;
    }
    if (document.isEmpty())
        return true;
    std::unique_ptr<QPrinter> defaultPrinter;
    QPrinter *target = m_printer.get();
    if (!target) {
        defaultPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
        target = defaultPrinter.get();
    }
    std::unique_ptr<QProgressDialog> progress;
    if (qobject_cast<QApplication *>(QCoreApplication::instance())) {
        progress = std::make_unique<QProgressDialog>();
        progress->setWindowTitle(document.title());
        progress->setLabelText(QStringLiteral("A imprimir…"));
        progress->setCancelButton(nullptr);
        progress->setRange(0, document.pageCount());
        progress->setMinimumDuration(0);
    }
    return document.print(
        *target,
        [&progress](int page, int) {
            if (progress)
                progress->setValue(page);
        },
        error);
}

bool BandedReport::print(QPrinter &printer, QString *error)
{
    return generate().print(printer, {}, error);
}

bool BandedReport::exportPdf(const QString &path, QString *error)
{
    return generate().exportPdf(path, error);
}

QPrinter &BandedReport::printer()
{
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        m_printer->setPageLayout(QPageLayout(m_pageSize, m_orientation, QMarginsF()));
    }
    return *m_printer;
}

bool BandedReport::setupPrinter(QWidget *parent)
{
    const bool hadPrinter = bool(m_printer);
    QPrinter &target = printer();
    target.setPageOrientation(m_orientation);
    QPrintDialog dialog(&target, parent);
    // The paper is the report's; the dialog offers printer, copies, orientation and pages.
    dialog.setOptions(QAbstractPrintDialog::PrintPageRange | QAbstractPrintDialog::PrintToFile);
    if (dialog.exec() != QDialog::Accepted) {
        // Nothing was chosen: printing keeps going to the default printer.
        if (!hadPrinter)
            m_printer.reset();
        return false;
    }
    m_orientation = target.pageLayout().orientation();
    return true;
}

void BandedReport::preview()
{
    const ReportDocument document = generate();
    if (document.isEmpty())
        return;
    QPointer<ReportPreview> window = new ReportPreview(this, document);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QEventLoop loop;
    connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    window->show();
    loop.exec();
    // The loop also ends when the application quits; the window then goes with the rest.
    if (window)
        window->deleteLater();
}
