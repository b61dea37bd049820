#include "platform/report/ReportPreview.h"

#include "platform/engine/Guard.h"
#include "platform/report/BandedReport.h"
#include "platform/report/ReportPageView.h"
#include "platform/widgets/Dialogs.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString &fileFilter()
{
    static const QString filter = QStringLiteral("Relatório (*.rep)");
    return filter;
}

const QString &saveFilter()
{
    static const QString filter = fileFilter() + QStringLiteral(";;PDF (*.pdf)");
    return filter;
}

bool isPdf(const QString &path)
{
    return QFileInfo(path).suffix().compare(QStringLiteral("pdf"), Qt::CaseInsensitive) == 0;
}

} // namespace

ReportPreview::ReportPreview(BandedReport *report, const ReportDocument &document, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_report(report)
    , m_view(new ReportPageView)
    , m_scroll(new QScrollArea(this))
    , m_pageLabel(new QLabel(this))
{
    setWindowTitle(document.title().isEmpty() ? QStringLiteral("Pré-visualizar")
                                              : document.title());
    auto *toolBar = new QToolBar(this);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    const auto icon = [this](const char *theme, QStyle::StandardPixmap fallback) {
        return QIcon::fromTheme(QLatin1String(theme), style()->standardIcon(fallback));
    };
    const auto addTo = [toolBar](QAction *action) { toolBar->addAction(action); };

    addTo(addCommand(QStringLiteral("print"), QStringLiteral("Imprimir"),
                     QStringLiteral("Imprimir"), QIcon::fromTheme(QStringLiteral("document-print")),
                     &ReportPreview::print));
    addTo(addCommand(QStringLiteral("setup"), QStringLiteral("Configurar impressora"),
                     QStringLiteral("Configurar impressora"),
                     QIcon::fromTheme(QStringLiteral("document-print-preview")),
                     &ReportPreview::setupPrinter));
    toolBar->addSeparator();
    auto *zoomGroup = new QActionGroup(this);
    for (QAction *zoom :
         { addCommand(QStringLiteral("zoomPage"), QStringLiteral("Ajustar à página"),
                      QStringLiteral("Ajustar à página"), QIcon(),
                      [this] { setZoom(Zoom::WholePage); }),
           addCommand(QStringLiteral("zoomActual"), QStringLiteral("100 %"),
                      QStringLiteral("100 %"), QIcon(), [this] { setZoom(Zoom::Actual); }),
           addCommand(QStringLiteral("zoomWidth"), QStringLiteral("Largura da página"),
                      QStringLiteral("Largura da página"), QIcon(),
                      [this] { setZoom(Zoom::PageWidth); }) }) {
        zoom->setCheckable(true);
        zoomGroup->addAction(zoom);
        addTo(zoom);
    }
    toolBar->addSeparator();
    addTo(addCommand(QStringLiteral("first"), QString(), QStringLiteral("Primeira página"),
                     icon("go-first", QStyle::SP_MediaSkipBackward), &ReportPreview::firstPage));
    addTo(addCommand(QStringLiteral("previous"), QString(), QStringLiteral("Página anterior"),
                     icon("go-previous", QStyle::SP_MediaSeekBackward),
                     &ReportPreview::previousPage));
    addTo(addCommand(QStringLiteral("next"), QString(), QStringLiteral("Página seguinte"),
                     icon("go-next", QStyle::SP_MediaSeekForward), &ReportPreview::nextPage));
    addTo(addCommand(QStringLiteral("last"), QString(), QStringLiteral("Última página"),
                     icon("go-last", QStyle::SP_MediaSkipForward), &ReportPreview::lastPage));
    // The page arrows show their hints as tool tips; their captions would crowd the bar.
    for (const char *name : { "first", "previous", "next", "last" }) {
        if (auto *button
            = qobject_cast<QToolButton *>(toolBar->widgetForAction(action(QLatin1String(name)))))
            button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
    toolBar->addSeparator();
    addTo(addCommand(QStringLiteral("save"), QStringLiteral("Guardar"), QStringLiteral("Guardar"),
                     icon("document-save", QStyle::SP_DialogSaveButton), &ReportPreview::save));
    addTo(addCommand(QStringLiteral("open"), QStringLiteral("Abrir"), QStringLiteral("Abrir"),
                     icon("document-open", QStyle::SP_DialogOpenButton), &ReportPreview::open));
    addTo(addCommand(QStringLiteral("close"), QStringLiteral("Fechar"), QStringLiteral("Fechar"),
                     icon("window-close", QStyle::SP_DialogCloseButton), [this] { close(); }));

    action(QStringLiteral("zoomPage"))->setChecked(true);

    m_scroll->setWidget(m_view);
    m_scroll->setWidgetResizable(false);
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scroll->setBackgroundRole(QPalette::Dark);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolBar);
    layout->addWidget(m_scroll, 1);
    layout->addWidget(m_pageLabel);
    m_pageLabel->setContentsMargins(6, 2, 6, 2);

    m_view->setDocument(document);
    resize(1000, 900);
    applyZoom();
    updateState();
}

ReportPreview::~ReportPreview() = default;

QAction *ReportPreview::addCommand(const QString &name, const QString &text, const QString &hint,
                                   const QIcon &icon, void (ReportPreview::*slot)())
{
    return addCommand(name, text, hint, icon, [this, slot] { (this->*slot)(); });
}

QAction *ReportPreview::addCommand(const QString &name, const QString &text, const QString &hint,
                                   const QIcon &icon, const std::function<void()> &run)
{
    auto *command = new QAction(icon, text.isEmpty() ? hint : text, this);
    command->setObjectName(name);
    command->setToolTip(hint);
    command->setStatusTip(hint);
    if (text.isEmpty())
        command->setIconText(hint);
    connect(command, &QAction::triggered, this, [run] { guard(run); });
    return command;
}

QAction *ReportPreview::action(const QString &name) const
{
    return findChild<QAction *>(name, Qt::FindDirectChildrenOnly);
}

const ReportDocument &ReportPreview::document() const
{
    return m_view->document();
}

int ReportPreview::currentPage() const
{
    return m_view->page();
}

void ReportPreview::setCurrentPage(int page)
{
    m_view->setPage(qBound(0, page, qMax(0, document().pageCount() - 1)));
    m_scroll->verticalScrollBar()->setValue(0);
    updateState();
}

void ReportPreview::firstPage()
{
    setCurrentPage(0);
}

void ReportPreview::previousPage()
{
    setCurrentPage(currentPage() - 1);
}

void ReportPreview::nextPage()
{
    setCurrentPage(currentPage() + 1);
}

void ReportPreview::lastPage()
{
    setCurrentPage(document().pageCount() - 1);
}

void ReportPreview::setZoom(Zoom zoom)
{
    m_zoom = zoom;
    const char *name = zoom == Zoom::WholePage ? "zoomPage"
        : zoom == Zoom::Actual                 ? "zoomActual"
                                               : "zoomWidth";
    action(QLatin1String(name))->setChecked(true);
    applyZoom();
}

qreal ReportPreview::pixelsPerMm() const
{
    return m_view->pixelsPerMm();
}

void ReportPreview::applyZoom()
{
    const QSizeF page = document().pageSizeMm();
    const QSize room = m_scroll->maximumViewportSize()
        - QSize(2 * ReportPageView::kMargin, 2 * ReportPageView::kMargin);
    qreal scale = logicalDpiX() / 25.4;
    switch (m_zoom) {
    case Zoom::Actual:
        break;
    case Zoom::WholePage:
        scale = qMin(room.width() / page.width(), room.height() / page.height());
        break;
    case Zoom::PageWidth: {
        // The page will be taller than the window, so leave room for the scroll bar.
        const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_scroll);
        scale = (room.width() - bar) / page.width();
        break;
    }
    }
    m_view->setPixelsPerMm(scale);
}

QString ReportPreview::pageCaption() const
{
    return QStringLiteral("Página %1 de %2").arg(currentPage() + 1).arg(document().pageCount());
}

void ReportPreview::updateState()
{
    const int count = document().pageCount();
    const int page = currentPage();
    action(QStringLiteral("first"))->setEnabled(page > 0);
    action(QStringLiteral("previous"))->setEnabled(page > 0);
    action(QStringLiteral("next"))->setEnabled(page + 1 < count);
    action(QStringLiteral("last"))->setEnabled(page + 1 < count);
    action(QStringLiteral("print"))->setEnabled(m_report && m_report->canPrint());
    action(QStringLiteral("setup"))->setEnabled(bool(m_report));
    m_pageLabel->setText(pageCaption());
}

void ReportPreview::print()
{
    if (!m_report)
        return;
    // The run the window shows may be out of date; a loaded report is printed as it was saved.
    if (m_loaded)
        m_report->printDocument(document());
    else
        m_report->print();
}

void ReportPreview::setupPrinter()
{
    if (m_report)
        m_report->setupPrinter(this);
    updateState();
}

bool ReportPreview::saveTo(const QString &path)
{
    if (isPdf(path) ? document().exportPdf(path) : document().save(path))
        return true;
    Dialogs::instance().message(QStringLiteral("Não foi possível guardar o relatório."));
    return false;
}

bool ReportPreview::openFrom(const QString &path)
{
    ReportDocument loaded;
    if (!loaded.load(path)) {
        Dialogs::instance().message(QStringLiteral("O ficheiro não contém um relatório."));
        return false;
    }
    m_loaded = true;
    m_view->setDocument(loaded);
    if (!loaded.title().isEmpty())
        setWindowTitle(loaded.title());
    applyZoom();
    updateState();
    return true;
}

void ReportPreview::save()
{
    QString chosen;
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Guardar"), QString(),
                                                saveFilter(), &chosen);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += chosen.endsWith(QStringLiteral("(*.pdf)")) ? QStringLiteral(".pdf")
                                                           : QStringLiteral(".rep");
    saveTo(path);
}

void ReportPreview::open()
{
    const QString path
        = QFileDialog::getOpenFileName(this, QStringLiteral("Abrir"), QString(), fileFilter());
    if (!path.isEmpty())
        openFrom(path);
}

void ReportPreview::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT closed();
}

void ReportPreview::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_zoom != Zoom::Actual)
        applyZoom();
}

void ReportPreview::keyPressEvent(QKeyEvent *event)
{
    guard([&] {
        switch (event->key()) {
        case Qt::Key_PageDown:
            nextPage();
            break;
        case Qt::Key_PageUp:
            previousPage();
            break;
        case Qt::Key_Home:
            if (event->modifiers() & Qt::ControlModifier)
                firstPage();
            break;
        case Qt::Key_End:
            if (event->modifiers() & Qt::ControlModifier)
                lastPage();
            break;
        case Qt::Key_Escape:
            close();
            break;
        default:
            QWidget::keyPressEvent(event);
            break;
        }
    });
}
