#include "search/Pesqt2.h"

#include "app/Main.h"
#include "data/DM.h"
#include "platform/engine/DataSource.h"
#include "platform/engine/Field.h"
#include "platform/engine/FormatSettings.h"
#include "platform/engine/Guard.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"
#include "platform/widgets/Clock.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DateEdit.h"
#include "platform/widgets/DrawnIcon.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QValidator>

#include <functional>
#include <utility>

using namespace Qt::StringLiterals;

TFormT2Pesq *FormT2Pesq = nullptr;

namespace {
const QColor kGrey(0x80, 0x80, 0x80);
const QColor kSilver(0xC0, 0xC0, 0xC0);

QFont windowFont()
{
    // Where the first face is missing, one of similar width keeps the captions unclipped.
    QFont font;
    font.setFamilies({ u"MS Sans Serif"_s, u"Arial"_s, u"Liberation Sans"_s });
    font.setPixelSize(11);
    return font;
}

QFont smallFont(int pixels)
{
    QFont font;
    font.setFamilies({ u"Small Fonts"_s, u"DejaVu Sans Condensed"_s, u"Liberation Sans"_s });
    font.setPixelSize(pixels);
    return font;
}

// Every typed letter in upper case; one character for one, so the caret stays where it was.
class UpperCaseValidator : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString &input, int &) const override
    {
        for (QChar &c : input)
            c = c.toUpper();
        return Acceptable;
    }
};

QIcon checkIcon()
{
    return drawnIcon([](QPainter &p) {
        p.setPen(QPen(QColor(0x00, 0x80, 0x00), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({ QPointF(2.5, 8.5), QPointF(6.5, 12.5), QPointF(13.5, 3.5) }));
    });
}

QIcon crossIcon()
{
    return drawnIcon([](QPainter &p) {
        p.setPen(QPen(QColor(0xC0, 0x00, 0x00), 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
        p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
    });
}

QIcon refreshIcon()
{
    return drawnIcon([](QPainter &p) {
        p.setPen(QPen(QColor(0x20, 0x60, 0x20), 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(2.5, 2.5, 11, 11), 30 * 16, 280 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x20, 0x60, 0x20));
        p.drawPolygon(QPolygonF({ QPointF(10.5, 0.5), QPointF(15.5, 4.5), QPointF(9.5, 7.0) }));
    });
}

QLabel *caption(QWidget *parent, const QString &name, const QString &text, const QPoint &at)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kGrey);
    label->setPalette(palette);
    label->adjustSize();
    label->move(at);
    return label;
}

void setHint(QWidget *widget, const QString &hint)
{
    widget->setToolTip(hint);
    widget->setStatusTip(hint);
}

// Whole rows selected, the selection still showing while the focus is elsewhere, no editing.
void setUpBrowseGrid(DBGrid &grid, DBGrid::Options options)
{
    grid.setOptions(options);
    grid.setReadOnly(true);
    grid.setSelectionBehavior(QAbstractItemView::SelectRows);
    grid.setEditTriggers(QAbstractItemView::NoEditTriggers);
    QPalette palette = grid.palette();
    for (const QPalette::ColorRole role : { QPalette::Highlight, QPalette::HighlightedText })
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    grid.setPalette(palette);
}
} // namespace

TFormT2Pesq::TFormT2Pesq(QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(u"FormT2Pesq"_s);
    setWindowTitle(u"Pesquisa..."_s);
    setFont(windowFont());
    // A secondary window: it never keeps the application running.
    setAttribute(Qt::WA_QuitOnClose, false);
    // Ctrl+E, F5 and the other keys of the main menu work here too.
    if (MainForm)
        MainForm->shareMenuShortcuts(this);
    setFixedSize(425, 319);
    move(107, 58);

    TablePesq = new Table(this);
    TablePesq->setObjectName(u"TablePesq"_s);
    TablePesq->setDatabaseName(u"BDC"_s);
    TablePesq->setTableName(u"Bddid.DB"_s);
    TablePesq->setIndexName(u"BDDIDEX_NO"_s);
    TablePesq->setReadOnly(true);
    TablePesqNF = TablePesq->addField(u"NF"_s, FieldType::AutoInc);
    TablePesqNF->setVisible(false);
    TablePesqNOME = TablePesq->addField(u"NOME"_s, FieldType::String, 50);
    TablePesqNOME->setDisplayWidth(60);
    DataSourcePesq = new DataSource(this);
    DataSourcePesq->setObjectName(u"DataSourcePesq"_s);
    DataSourcePesq->setDataset(TablePesq);

    QueryPesq1 = new Query(this);
    QueryPesq1->setObjectName(u"QueryPesq1"_s);
    QueryPesq1->setDatabaseName(u"BDC"_s);
    QueryPesq1->setCachedUpdates(true);
    // Every exam whose patient exists, also one without a performing doctor (the right join).
    // The engine runs the right join as "eco left join medico", which follows the exam date's
    // index. The list is read by window along that index: exams of one day newest first, in
    // the order the index holds them, so a day is found by a seek and scrolling reads a page.
    QueryPesq1->setSql(
        QStringList { u"select dataexame, codigoexame, nf, bddid.nome,  medico.nome, medico "_s,
                      u"from medico right join eco on medico.codigo = executor, bddid"_s,
                      u"where nf = eco.codigopaciente"_s, u"order by dataexame desc"_s });
    QueryPesq1->setSortKeys({ u"eco.dataexame"_s, u"eco.rowid"_s }, /*descending*/ true);
    QueryPesq1dataexame = QueryPesq1->addField(u"dataexame"_s, FieldType::Date);
    QueryPesq1codigoexame = QueryPesq1->addField(u"codigoexame"_s, FieldType::DateTime);
    QueryPesq1codigoexame->setVisible(false);
    QueryPesq1nf = QueryPesq1->addField(u"nf"_s, FieldType::Integer);
    QueryPesq1nf->setVisible(false);
    QueryPesq1nome = QueryPesq1->addField(u"nome"_s, FieldType::String, 50);
    // The doctor's name: the second column called "nome".
    QueryPesq1nome_1 = QueryPesq1->addField(u"nome_1"_s, FieldType::String, 50);
    QueryPesq1medico = QueryPesq1->addField(u"medico"_s, FieldType::String, 60);
    DataSourcePesq1 = new DataSource(this);
    DataSourcePesq1->setObjectName(u"DataSourcePesq1"_s);
    DataSourcePesq1->setDataset(QueryPesq1);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(u"PageControl1"_s);
    PageControl1->setGeometry(6, 6, 415, 277);
    createPatientPage();
    createExamPage();
    createButtons();
    setTabOrder(Edit1, DBGrid1);
    setTabOrder(DBGrid1, Data);
    setTabOrder(Data, DBGrid2);
    setTabOrder(DBGrid2, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
}

TFormT2Pesq::~TFormT2Pesq()
{
    // Closed here, while the logical database they read is still connected.
    QueryPesq1->close();
    TablePesq->close();
    if (FormT2Pesq == this)
        FormT2Pesq = nullptr;
}

void TFormT2Pesq::createPatientPage()
{
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(u"TabSheet1"_s);
    PageControl1->addTab(TabSheet1, u"pacientes"_s);

    Label1 = caption(TabSheet1, u"Label1"_s, u"nome:"_s, { 8, 12 });
    Edit1 = new QLineEdit(TabSheet1);
    Edit1->setObjectName(u"Edit1"_s);
    Edit1->setGeometry(48, 8, 345, 21);
    Edit1->setValidator(new UpperCaseValidator(Edit1));
    QPalette palette = Edit1->palette();
    palette.setColor(QPalette::Base, QColor(0xCA, 0xEE, 0xFF));
    Edit1->setPalette(palette);
    connect(Edit1, &QLineEdit::textChanged, this, [this] { guard([this] { Edit1Change(); }); });

    DBGrid1 = new DBGrid(TabSheet1);
    DBGrid1->setObjectName(u"DBGrid1"_s);
    DBGrid1->setGeometry(8, 36, 385, 201);
    DBGrid1->setColumns({ DBGridColumn(u"NOME"_s) });
    setUpBrowseGrid(*DBGrid1, DBGrid::ColumnLines | DBGrid::RowLines | DBGrid::ResizeColumns);
    DBGrid1->setDataSource(DataSourcePesq);
    connect(DBGrid1, &DBGrid::rowDoubleClicked, this,
            [this] { guard([this] { DBGrid1DblClick(); }); });
}

void TFormT2Pesq::createExamPage()
{
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(u"TabSheet2"_s);
    PageControl1->addTab(TabSheet2, u"exames"_s);

    Label2 = caption(TabSheet2, u"Label2"_s, u"selecção de data:"_s, { 5, 16 });
    Data = new DateEdit(TabSheet2);
    Data->setObjectName(u"Data"_s);
    Data->setGeometry(114, 12, 223, 21);
    Data->setDisplayFormat(FormatSettings::current().longDateFormat());
    connect(Data, &DateEdit::dateChanged, this, [this] { guard([this] { DataChange(); }); });

    SpeedButton1 = new QToolButton(TabSheet2);
    SpeedButton1->setObjectName(u"SpeedButton1"_s);
    SpeedButton1->setGeometry(374, 11, 23, 22);
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    SpeedButton1->setIcon(refreshIcon());
    setHint(SpeedButton1, u"Actualizar..."_s);
    connect(SpeedButton1, &QToolButton::clicked, this,
            [this] { guard([this] { SpeedButton1Click(); }); });

    DBGrid2 = new DBGrid(TabSheet2);
    DBGrid2->setObjectName(u"DBGrid2"_s);
    DBGrid2->setGeometry(0, 42, 407, 207);
    // The face standing in for "Small Fonts" is wider: the date column grows to show it whole.
    const QString sampleDate
        = QDate(2024, 12, 31).toString(FormatSettings::current().shortDateFormat());
    const int dateWidth = qMax(49, QFontMetrics(smallFont(9)).horizontalAdvance(sampleDate) + 8);
    DBGrid2->setColumns({
        DBGridColumn(u"dataexame"_s, u"dt. exame"_s, dateWidth)
            .setColor(QColor(0xFF, 0xFF, 0x00))
            .setTitleBackground(kSilver),
        DBGridColumn(u"nome"_s, u"paciente"_s, 183)
            .setTitleAlignment(Qt::AlignHCenter)
            .setColor(QColor(0xE6, 0xE6, 0xE6)),
        DBGridColumn(u"nome_1"_s, u"executado por..."_s, 109).setFont(smallFont(8)),
        DBGridColumn(u"medico"_s, u"pedido por..."_s, 135),
    });
    setUpBrowseGrid(
        *DBGrid2, DBGrid::Titles | DBGrid::ColumnLines | DBGrid::RowLines | DBGrid::ResizeColumns);
    // Small cells under titles in the window's face.
    DBGrid2->setFont(smallFont(9));
    DBGrid2->horizontalHeader()->setFont(windowFont());
    DBGrid2->verticalHeader()->setDefaultSectionSize(DBGrid2->fontMetrics().height() + 4);
    DBGrid2->setDataSource(DataSourcePesq1);
    connect(DBGrid2, &DBGrid::rowDoubleClicked, this,
            [this] { guard([this] { DBGrid1DblClick(); }); });

    m_tidy = new QTimer(this);
    m_tidy->setSingleShot(true);
    m_tidy->setInterval(0);
    connect(m_tidy, &QTimer::timeout, this, [this] { guard([this] { tidyExamList(); }); });
    const auto tidyLater = [this] { m_tidy->start(); };
    connect(DBGrid2->verticalScrollBar(), &QScrollBar::valueChanged, this, tidyLater);
    connect(DBGrid2->verticalScrollBar(), &QScrollBar::rangeChanged, this, tidyLater);
    QueryPesq1->hooks().afterScroll = [tidyLater](Dataset &) { tidyLater(); };
}

void TFormT2Pesq::createButtons()
{
    BitBtn1 = new QPushButton(checkIcon(), u"Selecionar"_s, this);
    BitBtn1->setObjectName(u"BitBtn1"_s);
    BitBtn1->setGeometry(224, 290, 91, 25);
    setHint(BitBtn1, u"Usa o registo selecionado..."_s);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { guard([this] { BitBtn1Click(); }); });

    BitBtn2 = new QPushButton(crossIcon(), u"Cancelar"_s, this);
    BitBtn2->setObjectName(u"BitBtn2"_s);
    BitBtn2->setGeometry(328, 290, 91, 25);
    setHint(BitBtn2, u"Volta para o mesmo registo..."_s);
    connect(BitBtn2, &QPushButton::clicked, this, [this] { guard([this] { BitBtn2Click(); }); });
}

void TFormT2Pesq::load()
{
    TablePesq->open();
    QueryPesq1->open();
    FormCreate();
}

void TFormT2Pesq::showFromMainWindow(int tag)
{
    if (tag == PatientsTag)
        PageControl1->setCurrentWidget(TabSheet1);
    else if (tag == ExamsTag)
        PageControl1->setCurrentWidget(TabSheet2);
    // The page's search box takes the keys, so the user can type at once.
    if (PageControl1->currentWidget() == TabSheet1)
        Edit1->setFocus(Qt::OtherFocusReason);
    else
        Data->setFocus(Qt::OtherFocusReason);
    show();
    raise();
    activateWindow();
}

void TFormT2Pesq::FormCreate()
{
    // Setting the day is not picking one: no jump.
    const QSignalBlocker quiet(Data);
    Data->setDate(Clock::instance().today());
}

void TFormT2Pesq::FormActivate()
{
    TablePesq->refresh();
    if (PageControl1->currentWidget() == TabSheet2) {
        QueryPesq1->close();
        QueryPesq1->open();
    }
}

void TFormT2Pesq::Edit1Change()
{
    const QString name = Edit1->text();
    if (name.isEmpty()) {
        TablePesq->first();
        return;
    }
    TablePesq->locate(u"NOME"_s, name, { /*caseInsensitive*/ true, /*partialKey*/ true });
}

void TFormT2Pesq::DataChange()
{
    Query &list = *QueryPesq1;
    if (!list.isActive())
        return;
    const QDate day = Data->date();
    const int column = QueryPesq1dataexame->index();
    // Newest first: the day's first row is the first one not later than the day, found with the
    // date's index; a page of rows above it is read too, for the grid to scroll back into.
    list.seek({ day },
              [&](const DatasetRow &row) { return row.values[column].toDate() == day; },
              /*before*/ 64);
}

void TFormT2Pesq::SpeedButton1Click()
{
    QueryPesq1->close();
    QueryPesq1->open();
}

void TFormT2Pesq::tidyExamList()
{
    Query &list = *QueryPesq1;
    if (!list.isActive() || list.rowCount() == 0)
        return;
    const QAbstractItemModel *model = DBGrid2->model();
    const int rows = model->rowCount();
    int top = DBGrid2->rowAt(0);
    if (top < 0)
        top = 0;
    int bottom = DBGrid2->rowAt(DBGrid2->viewport()->height() - 1);
    if (bottom < 0)
        bottom = rows - 1;
    int shift = 0;
    // Keeps a few pages above what is shown, so the grid scrolls up without waiting.
    constexpr int Margin = 64;
    constexpr int Page = 256;
    if (qMin(top, qMax(list.currentPosition(), 0)) < Margin && list.canFetchPrior())
        shift = list.fetchPrior(Page);
    if (list.rowCount() > ExamRowsHeld) {
        // Kept: what is shown and the current row with a margin; when the current row is far
        // away it moves to the first row shown, which the grid highlights.
        const int first = top + shift;
        const int last = bottom + shift;
        const int current = list.currentPosition();
        int from = first - 4 * Page;
        int to = last + 4 * Page;
        if (current >= 0 && qMax(to, current) - qMin(from, current) < ExamRowsHeld / 2) {
            from = qMin(from, current - Page);
            to = qMax(to, current + Page);
        } else if (current >= 0 && (current < from || current > to)) {
            list.setRecNo(first + 1);
        }
        shift -= list.keepRows(from, to);
    }
    if (shift != 0)
        DBGrid2->scrollTo(model->index(qBound(0, top + shift, model->rowCount() - 1), 0),
                          QAbstractItemView::PositionAtTop);
}

bool TFormT2Pesq::findExamPatient()
{
    if (!QueryPesq1->isActive() || QueryPesq1->isEmpty())
        return false;
    const qint64 patient = QueryPesq1nf->asInteger();
    if (TablePesq->locate(u"NF"_s, patient))
        return true;
    // Registered since the patients were last read, from another workstation.
    TablePesq->refresh();
    return TablePesq->locate(u"NF"_s, patient);
}

void TFormT2Pesq::BitBtn1Click()
{
    TDataModule1 &dm = *DataModule1;
    if (PageControl1->currentWidget() == TabSheet2) {
        // Without a row, or with a patient no longer registered, the main window keeps what it
        // shows: moving it to whichever patient the other page stands on would show a patient
        // nobody chose.
        if (findExamPatient()) {
            const QVariant exam = QueryPesq1codigoexame->asVariant();
            // Leaving the main window's patient posts its pending changes, or fails here and
            // keeps this window open.
            dm.TablePac->gotoCurrent(*TablePesq);
            dm.TableEco->locate(u"CodigoExame"_s, exam);
        }
    } else if (TablePesq->isActive() && !TablePesq->isEmpty()) {
        dm.TablePac->gotoCurrent(*TablePesq);
    }
    close();
}

void TFormT2Pesq::BitBtn2Click()
{
    close();
}

bool TFormT2Pesq::Edit1KeyPress(int key)
{
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    BitBtn1Click();
    return true;
}

void TFormT2Pesq::DBGrid1DblClick()
{
    BitBtn1Click();
}

bool TFormT2Pesq::event(QEvent *event)
{
    const bool done = QWidget::event(event);
    if (event->type() == QEvent::WindowDeactivate) {
        // A message box over this window (a rule's warning while "Selecionar" posts) is not
        // another window the user went to: coming back from it re-reads nothing.
        const QWidget *now = QApplication::activeWindow();
        m_coveredByBox = now && now != this && now->isModal();
    } else if (event->type() == QEvent::WindowActivate) {
        if (!std::exchange(m_coveredByBox, false))
            guard([this] { FormActivate(); });
    }
    return done;
}

void TFormT2Pesq::keyPressEvent(QKeyEvent *event)
{
    // Keys that the name box, the grids and "Selecionar" leave unused arrive here.
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    const int key = event->key();
    if (plain && key == Qt::Key_Escape) {
        BitBtn2->click();
        event->accept();
        return;
    }
    if (plain && (key == Qt::Key_Return || key == Qt::Key_Enter) && focusWidget() == BitBtn2) {
        // Enter presses a focused "Cancelar", not "Selecionar".
        BitBtn2->click();
        event->accept();
        return;
    }
    if (plain) {
        bool taken = false;
        guard([&] { taken = Edit1KeyPress(key); });
        if (taken || key == Qt::Key_Return || key == Qt::Key_Enter) {
            event->accept();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}
