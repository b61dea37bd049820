#include "app/Main.h"

#include "app/MenuShortcuts.h"
#include "app/Startup.h"
#include "app/acerca.h"
#include "data/DM.h"
#include "workspace/FindingsPage.h"
#include "workspace/FormatToolBar.h"
#include "workspace/GridPages.h"
#include "reports/ExamReport.h"
#include "reports/StatisticsPage.h"
#include "search/Pesq.h"
#include "search/Pesqt2.h"
#include "search/UnitConc.h"
#include "search/frase.h"
#include "platform/report/BandedReport.h"
#include "workspace/MeasurementsPage.h"
#include "workspace/WallMotionPage.h"
#include "workspace/PatientHeader.h"
#include "platform/engine/Guard.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"
#include "platform/widgets/Clock.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DateEdit.h"
#include "platform/widgets/DBRichEdit.h"
#include "platform/widgets/Dialogs.h"
#include "platform/widgets/DrawnIcon.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPrintDialog>
#include <QPrinter>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QTextCharFormat>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

TMainForm *MainForm = nullptr;

namespace {
const char *const kTag = "tag";

// The tool bar images, drawn rather than loaded so that they stay crisp at 16 x 16.
QIcon magnifierIcon()
{
    return drawnIcon([](QPainter &p) {
        p.setPen(QPen(QColor(0x20, 0x40, 0x80), 1.6));
        p.setBrush(QColor(0xc8, 0xe0, 0xff));
        p.drawEllipse(QPointF(6.5, 6.5), 4.5, 4.5);
        p.setPen(QPen(QColor(0x60, 0x40, 0x20), 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(10, 10), QPointF(14.5, 14.5));
    });
}

QIcon printerIcon()
{
    return drawnIcon([](QPainter &p) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5)); // paper in
        p.setBrush(QColor(0x90, 0x90, 0x90));
        p.drawRoundedRect(QRectF(1.5, 6.5, 13, 6), 1, 1);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 10.5, 7, 4)); // paper out
        p.setPen(QPen(QColor(0x00, 0xa0, 0x00), 1));
        p.drawPoint(QPointF(12.5, 8.5));
    });
}

QIcon binocularsIcon()
{
    return drawnIcon([](QPainter &p) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(0x40, 0x40, 0x40));
        p.drawRect(QRectF(3.5, 2.5, 3, 5));
        p.drawRect(QRectF(9.5, 2.5, 3, 5));
        p.drawRect(QRectF(6.5, 5.5, 3, 3));
        p.setBrush(QColor(0x80, 0xb0, 0xe0));
        p.drawEllipse(QPointF(4.5, 11), 3.5, 3.5);
        p.drawEllipse(QPointF(11.5, 11), 3.5, 3.5);
    });
}

QIcon previewIcon()
{
    return drawnIcon([](QPainter &p) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 0.5, 10, 13));
        p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
        for (double y = 3.5; y < 12; y += 2)
            p.drawLine(QPointF(3, y), QPointF(10, y));
        p.setPen(QPen(QColor(0x20, 0x40, 0x80), 1.4));
        p.setBrush(QColor(0xc8, 0xe0, 0xff, 0xc0));
        p.drawEllipse(QPointF(9.5, 9.5), 3.2, 3.2);
        p.setPen(QPen(QColor(0x60, 0x40, 0x20), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(12, 12), QPointF(15, 15));
    });
}

QIcon calendarIcon()
{
    return drawnIcon([](QPainter &p) {
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 2.5, 13, 12));
        p.setBrush(QColor(0xc0, 0x20, 0x20));
        p.drawRect(QRectF(1.5, 2.5, 13, 3));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x40, 0x40, 0x40));
        for (int row = 0; row < 3; ++row) {
            for (int col = 0; col < 4; ++col)
                p.drawRect(QRectF(3 + col * 3, 7 + row * 2.5, 2, 1.5));
        }
        p.setPen(QPen(Qt::black, 1));
        p.drawLine(QPointF(4.5, 1), QPointF(4.5, 4));
        p.drawLine(QPointF(11.5, 1), QPointF(11.5, 4));
    });
}

QWidget *makePage(const QString &name)
{
    auto *page = new QWidget;
    page->setObjectName(name);
    return page;
}

QTabWidget *makePageControl(const QString &name, QWidget *parent)
{
    auto *control = new QTabWidget(parent);
    control->setObjectName(name);
    control->setTabPosition(QTabWidget::West);
    control->setFocusPolicy(Qt::NoFocus);
    control->tabBar()->setFocusPolicy(Qt::NoFocus);
    control->tabBar()->setAttribute(Qt::WA_Hover);
    // Every tab stays in reach: where the side is too short for all captions they shorten
    // rather than scroll out of sight behind arrow buttons.
    control->setUsesScrollButtons(false);
    control->setElideMode(Qt::ElideRight);
    // Narrow padding fits the five captions beside the findings; the look keeps the page shown
    // and the tab under the mouse apart.
    control->tabBar()->setStyleSheet(
        u"QTabBar::tab { padding: 3px 1px; border: 1px solid #a0a0a0; background: #dcdcdc; }"
        "QTabBar::tab:selected { background: #ffffff; border-right: none; }"
        "QTabBar::tab:hover:!selected { background: #eef4fc; }"_s);
    return control;
}
} // namespace

TMainForm::TMainForm(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(u"MainForm"_s);
    setWindowTitle(u"Taluvo - Merindal - ver. 2.6.8.0 (stand alone)"_s);
    // Pixel sizes, not points, so the layout does not grow with the system font; where the first
    // face is missing, one of similar width keeps the captions unclipped.
    QFont font;
    font.setFamilies({ u"MS Sans Serif"_s, u"Arial"_s, u"Liberation Sans"_s });
    font.setPixelSize(11);
    setFont(font);

    createImages();
    createToolBar();
    createPages();
    createStatusLine();
    createMenus();
    resize(707, 555);

    TDataModule1::bindWhenLoaded(this, [this](TDataModule1 &dm) {
        ExamReport1 = new ExamReport(dm, this);
        QuickRep1 = ExamReport1->QuickRep1;
        DBNavigator1->setDataSource(dm.DataSourcePac);
        dm.setMainWindowCallbacks(this);
    });
}

TMainForm::~TMainForm()
{
    // The about window is a top-level window of its own; it does not outlive the application.
    if (m_acerca) {
        m_acerca->disconnect(this);
        std::unique_ptr<TFormAcerca> leftover(m_acerca.data());
    }
    if (MainForm == this)
        MainForm = nullptr;
}

int TMainForm::tagOf(const QObject *object)
{
    return object ? object->property(kTag).toInt() : 0;
}

void TMainForm::createImages()
{
    ImageList1
        = { magnifierIcon(), printerIcon(), binocularsIcon(), previewIcon(), calendarIcon() };
}

QToolButton *TMainForm::addToolButton(const QString &name, const QString &caption,
                                      const QString &hint, int image)
{
    auto *button = new QToolButton(ToolBar1);
    button->setObjectName(name);
    button->setText(caption);
    button->setToolTip(hint);
    button->setStatusTip(hint);
    button->setIcon(ImageList1.at(image));
    button->setIconSize(QSize(16, 16));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setFixedSize(68, 36);
    button->setFocusPolicy(Qt::NoFocus);
    ToolBar1->addWidget(button);
    return button;
}

QWidget *TMainForm::addGap(const QString &name, int width, bool divider)
{
    QWidget *gap = nullptr;
    if (divider) {
        auto *frame = new QFrame(ToolBar1);
        frame->setFrameShape(QFrame::VLine);
        frame->setFrameShadow(QFrame::Sunken);
        gap = frame;
    } else {
        gap = new QWidget(ToolBar1);
    }
    gap->setObjectName(name);
    gap->setFixedSize(width, 36);
    ToolBar1->addWidget(gap);
    return gap;
}

void TMainForm::createToolBar()
{
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(u"ToolBar1"_s);
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setFixedHeight(39);
    // Items sit at their own widths, as laid out; the style's spacing would push the navigator
    // into the overflow menu.
    ToolBar1->setContentsMargins(0, 0, 0, 0);
    ToolBar1->layout()->setSpacing(0);
    ToolBar1->layout()->setContentsMargins(0, 0, 0, 0);
    ToolBar1->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    ToolButton4 = addGap(u"ToolButton4"_s, 25, false);
    BotaoPsq = addToolButton(u"BotaoPsq"_s, u"pacientes"_s, u"pesquisa de paciente"_s, 0);
    BotaoPsq->setProperty(kTag, 10);
    ToolButton9 = addGap(u"ToolButton9"_s, 8, false);
    ToolButton5 = addToolButton(u"ToolButton5"_s, u"exames"_s, u"pesquisa por exames"_s, 4);
    ToolButton5->setProperty(kTag, 11);
    ToolButton1 = addGap(u"ToolButton1"_s, 8, false);
    ToolButton8
        = addToolButton(u"ToolButton8"_s, u"avançada"_s, u"pesquisa avançada de pacientes..."_s, 2);
    ToolButton3 = addGap(u"ToolButton3"_s, 20, true);
    BotaoPrn = addToolButton(u"BotaoPrn"_s, u"imprimir"_s, u"imprimir relatório"_s, 1);
    ToolButton6
        = addToolButton(u"ToolButton6"_s, u"pré-visualisar"_s, u"pré-visualisar relatório"_s, 3);
    ToolButton2 = addGap(u"ToolButton2"_s, 8, false);

    DBNavigator1 = new DBNavigator(ToolBar1);
    DBNavigator1->setObjectName(u"DBNavigator1"_s);
    DBNavigator1->setFixedSize(273, 36);
    DBNavigator1->setFlat(true);
    DBNavigator1->setVisibleButtons({ DBNavigator::First, DBNavigator::Prior, DBNavigator::Next,
                                      DBNavigator::Last, DBNavigator::Insert, DBNavigator::Post,
                                      DBNavigator::Cancel });
    DBNavigator1->setHints({ u"Primeiro Paciente"_s, u"Paciente Anterior"_s, u"Próximo Paciente"_s,
                             u"Último Paciente"_s, u"Novo Paciente"_s, u"Apagar Paciente"_s,
                             u"Editar Paciente"_s, u"Gravar Paciente"_s, u"Cancelar Paciente"_s,
                             u"Actualizar Pacientes"_s });
    ToolBar1->addWidget(DBNavigator1);
    ToolButton7 = addGap(u"ToolButton7"_s, 14, true);

    connect(BotaoPsq, &QToolButton::clicked, this,
            [this] { guard([this] { BotaoPsqClick(BotaoPsq); }); });
    connect(ToolButton5, &QToolButton::clicked, this,
            [this] { guard([this] { BotaoPsqClick(ToolButton5); }); });
    connect(ToolButton8, &QToolButton::clicked, this,
            [this] { guard([this] { ToolButton8Click(); }); });
    connect(BotaoPrn, &QToolButton::clicked, this,
            [this] { guard([this] { BotaoPrnClick(BotaoPrn); }); });
    connect(ToolButton6, &QToolButton::clicked, this,
            [this] { guard([this] { BotaoPrnClick(ToolButton6); }); });
    connect(DBNavigator1, &DBNavigator::clicked, this,
            [this](DBNavigator::Button button) { guard([&] { DBNavigator1Click(button); }); });
}

void TMainForm::createPages()
{
    PageControl1 = makePageControl(u"PageControl1"_s, this);
    TabSheet1 = makePage(u"TabSheet1"_s);
    TabSheet2 = makePage(u"TabSheet2"_s);
    TabSheet11 = makePage(u"TabSheet11"_s);
    PageControl1->addTab(TabSheet1, u"Pacientes"_s);
    PageControl1->addTab(TabSheet2, u"Imagens"_s);
    PageControl1->addTab(TabSheet11, u"Estatística de Exames"_s);
    setCentralWidget(PageControl1);

    auto *patientLayout = new QVBoxLayout(TabSheet1);
    patientLayout->setContentsMargins(0, 0, 0, 0);
    patientLayout->setSpacing(0);
    HeaderArea = new QWidget(TabSheet1);
    HeaderArea->setObjectName(u"HeaderArea"_s);
    HeaderArea->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto *headerLayout = new QVBoxLayout(HeaderArea);
    headerLayout->setContentsMargins(0, 0, 0, 0);
    PatientHeader1 = new PatientHeader(HeaderArea);
    headerLayout->addWidget(PatientHeader1);
    PatientHeader1->onLabel70Click = [this] { Label70Click(); };
    patientLayout->addWidget(HeaderArea);
    PageControl2 = makePageControl(u"PageControl2"_s, TabSheet1);
    patientLayout->addWidget(PageControl2, 1);
    TabSheet4 = makePage(u"TabSheet4"_s);
    TabSheet5 = makePage(u"TabSheet5"_s);
    TabSheet7 = makePage(u"TabSheet7"_s);
    TabSheet6 = makePage(u"TabSheet6"_s);
    TabSheet8 = makePage(u"TabSheet8"_s);
    PageControl2->addTab(TabSheet4, u"Valores"_s);
    PageControl2->addTab(TabSheet5, u"Resultados"_s);
    PageControl2->addTab(TabSheet7, u"Conclusões"_s);
    PageControl2->addTab(TabSheet6, u"Grelha"_s);
    PageControl2->addTab(TabSheet8, u"Frases"_s);
    auto *valuesLayout = new QVBoxLayout(TabSheet4);
    valuesLayout->setContentsMargins(0, 0, 0, 0);
    MeasurementsPage1 = new MeasurementsPage(TabSheet4);
    valuesLayout->addWidget(MeasurementsPage1);
    auto *findingsLayout = new QVBoxLayout(TabSheet5);
    findingsLayout->setContentsMargins(0, 0, 0, 0);
    FindingsPage1 = new FindingsPage(TabSheet5);
    findingsLayout->addWidget(FindingsPage1);
    auto *imagesLayout = new QVBoxLayout(TabSheet2);
    imagesLayout->setContentsMargins(0, 0, 0, 0);
    WallMotionPage1 = new WallMotionPage(TabSheet2);
    imagesLayout->addWidget(WallMotionPage1);
    createEditors();
    createGrids();
    PageControl1->setCurrentIndex(0);
    PageControl2->setCurrentIndex(0);

    // Only a page the user picks by its tab runs the change reaction; the page is switched first
    // so that the reaction sees the new one.
    connect(PageControl2->tabBar(), &QTabBar::tabBarClicked, this, [this](int index) {
        if (index < 0 || index == PageControl2->currentIndex()
            || !PageControl2->isTabEnabled(index))
            return;
        PageControl2->setCurrentIndex(index);
        guard([this] { PageControl2Change(); });
    });

    auto *statisticsLayout = new QVBoxLayout(TabSheet11);
    statisticsLayout->setContentsMargins(0, 0, 0, 0);
    StatisticsPage1 = new StatisticsPage(TabSheet11);
    statisticsLayout->addWidget(StatisticsPage1);
    Data1 = StatisticsPage1->Data1;
    Data2 = StatisticsPage1->Data2;
}

void TMainForm::createStatusLine()
{
    StatusLine = new QStatusBar(this);
    StatusLine->setObjectName(u"StatusLine"_s);
    StatusLine->setFixedHeight(23);
    StatusLine->setSizeGripEnabled(false);
    setStatusBar(StatusLine);
    const struct
    {
        int width;
        Qt::Alignment alignment;
        QString text;
    } panels[] = {
        { 350, Qt::AlignLeft, QString() },
        { 140, Qt::AlignHCenter, u"Relatório Ecocardiográfico"_s },
        { 110, Qt::AlignHCenter, u"Cardiologia"_s },
        { 90, Qt::AlignLeft, u"versão 2.6.5.0"_s },
    };
    for (const auto &panel : panels) {
        auto *label = new QLabel(panel.text, StatusLine);
        label->setObjectName(u"StatusPanel%1"_s.arg(m_panels.size()));
        label->setFixedWidth(panel.width);
        label->setAlignment(panel.alignment | Qt::AlignVCenter);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        StatusLine->addWidget(label);
        m_panels.append(label);
    }
}

QAction *TMainForm::addItem(QMenu *menu, const QString &name, const QString &caption,
                            const QKeySequence &shortcut, int tag)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(name);
    action->setShortcut(shortcut);
    if (tag != 0)
        action->setProperty(kTag, tag);
    return action;
}

QAction *TMainForm::addSeparator(QMenu *menu, const QString &name)
{
    QAction *separator = menu->addSeparator();
    separator->setObjectName(name);
    return separator;
}

void TMainForm::createMenus()
{
    MainMenu = menuBar();
    MainMenu->setObjectName(u"MainMenu"_s);

    Accoes1 = MainMenu->addMenu(u"&Acções"_s);
    FileNewItem = addItem(Accoes1, u"FileNewItem"_s, u"&Pesquisar Pacientes"_s,
                          QKeySequence(Qt::CTRL | Qt::Key_F));
    FileNewItem->setStatusTip(u"Pesquisar Paciente"_s);
    PesquisarExamespordia1
        = addItem(Accoes1, u"PesquisarExamespordia1"_s, u"Pesquisar Exames por &Dia"_s,
                  QKeySequence(Qt::CTRL | Qt::Key_D));
    N1 = addSeparator(Accoes1, u"N1"_s);
    NovoPaciente1 = addItem(Accoes1, u"NovoPaciente1"_s, u"&Novo Paciente"_s,
                            QKeySequence(Qt::CTRL | Qt::Key_N));
    NovoPaciente1->setEnabled(false);
    NovoExame1
        = addItem(Accoes1, u"NovoExame1"_s, u"Novo &Exame"_s, QKeySequence(Qt::CTRL | Qt::Key_E));
    FileOpenItem = addSeparator(Accoes1, u"FileOpenItem"_s);
    FilePrintItem
        = addItem(Accoes1, u"FilePrintItem"_s, u"&Imprimir"_s, QKeySequence(Qt::CTRL | Qt::Key_P));
    FilePrintItem->setStatusTip(u"Imprimir Relatório"_s);
    VerAntes1 = addItem(Accoes1, u"VerAntes1"_s, u"Ver Antes"_s);
    FilePrintSetupItem = addItem(Accoes1, u"FilePrintSetupItem"_s, u"C&onfig. Impressora"_s);
    FilePrintSetupItem->setStatusTip(u"Configurar a Impressora"_s);
    N4 = addSeparator(Accoes1, u"N4"_s);
    FileExitItem = addItem(Accoes1, u"FileExitItem"_s, u"&Saír"_s);
    FileExitItem->setStatusTip(u"Exit this application"_s);

    Ver1 = MainMenu->addMenu(u"&Ver"_s);
    Pacientes1 = addItem(Ver1, u"Pacientes1"_s, u"&Pacientes"_s);
    Pacientes1->setProperty(kTag, 0);
    N8 = addSeparator(Ver1, u"N8"_s);
    Frases1 = addItem(Ver1, u"Frases1"_s, u"&Frases"_s, QKeySequence(Qt::Key_F5), 1);
    Concluses1 = addItem(Ver1, u"Concluses1"_s, u"&Conclusões"_s, QKeySequence(Qt::Key_F8), 2);
    N5 = addSeparator(Ver1, u"N5"_s);
    Valores1 = addItem(Ver1, u"Valores1"_s, u"&Valores"_s, {}, 1);
    Resultados1 = addItem(Ver1, u"Resultados1"_s, u"&Resultados"_s, {}, 2);
    Concluses2 = addItem(Ver1, u"Concluses2"_s, u"C&onclusões"_s, {}, 3);
    N6 = addSeparator(Ver1, u"N6"_s);
    Grelhadeexamesdopaciente1
        = addItem(Ver1, u"Grelhadeexamesdopaciente1"_s, u"&Grelha de exames do paciente"_s);
    N7 = addSeparator(Ver1, u"N7"_s);
    GerirFrases1 = addItem(Ver1, u"GerirFrases1"_s, u"G&erir Frases"_s, {}, 5);

    // Items of the bar itself: a click runs them, there is no menu to open.
    Imagens1 = MainMenu->addAction(u"I&magens"_s);
    Imagens1->setObjectName(u"Imagens1"_s);
    Imagens1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    Imagens1->setProperty(kTag, 1);
    Mapas1 = MainMenu->addAction(u"Estatísticas"_s);
    Mapas1->setObjectName(u"Mapas1"_s);
    Mapas1->setProperty(kTag, 2);

    Ajuda1 = MainMenu->addMenu(u"Aju&da"_s);
    Acercade1 = addItem(Ajuda1, u"Acercade1"_s, u"A&cerca de..."_s);
    N3 = addSeparator(Ajuda1, u"N3"_s);
    Ajuda2 = addItem(Ajuda1, u"Ajuda2"_s, u"&Ajuda"_s);
    Ajuda2->setEnabled(false);
    // The secondary windows share the keys as they are made (shareMenuShortcuts).
    m_menuShortcuts = new MenuShortcuts(MainMenu, this);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(u"PopupMenu1"_s);
    inserirFrases1 = addItem(PopupMenu1, u"inserirFrases1"_s, u"Inserir Frase"_s, {}, 1);
    PopupMenu1->addSeparator();
    InserirConcluses1 = addItem(PopupMenu1, u"InserirConcluses1"_s, u"Inserir Conclusão"_s, {}, 2);

    // The actions behind the items reach the data layer: each runs through guard().
    const auto on = [this](QAction *action, auto handler) {
        connect(action, &QAction::triggered, this,
                [this, action, handler] { guard([this, action, handler] { handler(action); }); });
    };
    on(FileNewItem, [this](QObject *) { FileNewItemClick(); });
    on(PesquisarExamespordia1, [this](QObject *) { PesquisarExamespordia1Click(); });
    on(NovoExame1, [this](QObject *) { NovoExame1Click(); });
    on(FilePrintItem, [this](QObject *) { FilePrintItemClick(); });
    on(VerAntes1, [this](QObject *) { VerAntes1Click(); });
    on(FilePrintSetupItem, [this](QObject *) { FilePrintSetupItemClick(); });
    on(FileExitItem, [this](QObject *) { FileExitItemClick(); });
    for (QAction *item : { Pacientes1, Imagens1, Mapas1 })
        on(item, [this](QObject *sender) { Pacientes1Click(sender); });
    for (QAction *item : { Frases1, Concluses1, inserirFrases1, InserirConcluses1 })
        on(item, [this](QObject *sender) { inserirFrases1Click(sender); });
    for (QAction *item : { Valores1, Resultados1, Concluses2, GerirFrases1 })
        on(item, [this](QObject *sender) { Valores1Click(sender); });
    on(Grelhadeexamesdopaciente1, [this](QObject *) { Label70Click(); });
    on(Acercade1, [this](QObject *) { Acercade1Click(); });
    on(Ajuda2, [this](QObject *) { Ajuda2Click(); });
}

void TMainForm::FormCreate()
{
    // Hints of the other windows show in this status line too.
    qApp->installEventFilter(this);
    const QDate today = Clock::instance().today();
    Data1->setDate(QDate(today.year(), 1, 1));
    Data2->setDate(QDate(today.year(), 12, 31));
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TMainForm::ShowHint(const QString &hint)
{
    m_panels.at(0)->setText(hint);
}

bool TMainForm::event(QEvent *event)
{
    // The status line keeps its panels; the hint goes to panel 0 instead of covering them.
    if (event->type() == QEvent::StatusTip) {
        ShowHint(static_cast<QStatusTipEvent *>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

bool TMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::StatusTip) {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->window() != this)
            ShowHint(static_cast<QStatusTipEvent *>(event)->tip());
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::shareMenuShortcuts(QWidget *window)
{
    m_menuShortcuts->share(window);
}

void TMainForm::Pacientes1Click(QObject *Sender)
{
    PageControl1->setCurrentIndex(tagOf(Sender));
}

void TMainForm::Valores1Click(QObject *Sender)
{
    PageControl2->setCurrentIndex(tagOf(Sender) - 1);
}

void TMainForm::Acercade1Click()
{
    Acercade1->setEnabled(false);
    auto *about = new TFormAcerca;
    about->setAttribute(Qt::WA_DeleteOnClose);
    connect(about, &QObject::destroyed, this, [this] { Acercade1->setEnabled(true); });
    m_acerca = about;
    FormAcerca = about;
    about->show();
}

void TMainForm::Ajuda2Click()
{
    const QString file = QDir(QCoreApplication::applicationDirPath()).filePath(Startup::helpFile());
    QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

void TMainForm::FileExitItemClick()
{
    close();
}

void TMainForm::FileNewItemClick()
{
    BotaoPsqClick(BotaoPsq);
}

void TMainForm::PesquisarExamespordia1Click()
{
    BotaoPsqClick(ToolButton5);
}

void TMainForm::BotaoPsqClick(QObject *Sender)
{
    if (FormT2Pesq)
        FormT2Pesq->showFromMainWindow(tagOf(Sender));
}

void TMainForm::ToolButton8Click()
{
    showAdvancedSearch();
}

void TMainForm::BotaoPrnClick(QObject *Sender)
{
    if (!QuickRep1)
        return;
    if (Sender && Sender->objectName() == u"BotaoPrn"_s) {
        // Printing with no printer at all would otherwise do nothing without a word.
        if (!QuickRep1->canPrint()) {
            Dialogs::instance().message(u"Não existe nenhuma impressora instalada."_s);
            return;
        }
        QString error;
        if (!QuickRep1->print(&error) && !error.isEmpty())
            Dialogs::instance().applicationError(error);
        return;
    }
    QuickRep1->preview();
}

void TMainForm::FilePrintItemClick()
{
    BotaoPrnClick(BotaoPrn);
}

void TMainForm::VerAntes1Click()
{
    BotaoPrnClick(ToolButton6);
}

void TMainForm::FilePrintSetupItemClick()
{
    // The report keeps its own printer; the answer changes nothing here.
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    dialog.exec();
}

void TMainForm::NovoExame1Click()
{
    PatientHeader1->NovoExame1Click();
}

void TMainForm::Label70Click()
{
    PageControl2->setCurrentWidget(TabSheet6);
    PageControl2Change();
}

void TMainForm::inserirFrases1Click(QObject *Sender)
{
    // The exam lock's refusal ends the request here, silently: its message has been shown.
    if (QApplication::activeWindow() == this)
        examNavigatorEdit();
    QWidget *window = nullptr;
    switch (tagOf(Sender)) {
    case 1:
        window = Form1;
        break;
    case 2:
        window = FormConc;
        break;
    default:
        return;
    }
    if (!window)
        return;
    window->show();
    window->raise();
    window->activateWindow();
}

void TMainForm::PageControl2Change()
{
    if (PageControl2->currentWidget() == TabSheet7)
        Editor->setFocus(Qt::OtherFocusReason);
    else if (PageControl2->currentWidget() == TabSheet6 && DataModule1)
        ActualizaQuery(DataModule1->QueryGrelha);
}

void TMainForm::ActualizaQuery(Query *query)
{
    query->close();
    query->param(0).setAsInteger(DataModule1->TablePac->fieldByName(u"NF"_s)->asInteger());
    query->open();
}

void TMainForm::DBGrid2DblClick(QObject *)
{
    TDataModule1 &dm = *DataModule1;
    Query &history = *dm.QueryGrelha;
    const QVariant exam = history.isActive() && !history.isEmpty()
        ? history.fieldByName(u"CodigoExame"_s)->asVariant()
        : QVariant();
    dm.TableEco->checkBrowseMode();
    if (!exam.isValid() || !dm.TableEco->locate(u"CodigoExame"_s, exam))
        Dialogs::instance().message(u"Exame não encontrado..."_s);
}

void TMainForm::createGrids()
{
    DBGrid2 = new DBGrid(TabSheet6);
    GridPages::setUpExamHistory(*DBGrid2);
    auto *historyLayout = new QVBoxLayout(TabSheet6);
    historyLayout->setContentsMargins(0, 0, 0, 0);
    historyLayout->addWidget(DBGrid2);
    connect(DBGrid2, &DBGrid::rowDoubleClicked, this,
            [this] { guard([this] { DBGrid2DblClick(DBGrid2); }); });

    DBGrid1 = new DBGrid(TabSheet8);
    GridPages::setUpPhrases(*DBGrid1);
    auto *phraseLayout = new QVBoxLayout(TabSheet8);
    phraseLayout->setContentsMargins(0, 0, 0, 0);
    phraseLayout->addWidget(DBGrid1);

    TDataModule1::bindWhenLoaded(this, [this](TDataModule1 &dm) {
        DBGrid2->setDataSource(dm.DataSourceGrelha);
        DBGrid1->setDataSource(dm.DataSourceFr);
    });
}

void TMainForm::createEditors()
{
    ToolBar2 = new FormatToolBar(u"ToolBar2"_s,
                                 { u"ToolButton10"_s, u"ToolButton12"_s, u"ToolButton14"_s }, 1,
                                 false, TabSheet7);
    Editor = new DBRichEdit(TabSheet7);
    Editor->setObjectName(u"Editor"_s);
    QFont editorFont(u"Arial"_s);
    editorFont.setPixelSize(13);
    Editor->setFont(editorFont);
    Editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette palette = Editor->palette();
    palette.setColor(QPalette::Base, QColor(0xFF, 0xFF, 0xBD));
    palette.setColor(QPalette::Text, Qt::black);
    Editor->setPalette(palette);
    const QString hint = u"Botão da Direita para frases/conclusões"_s;
    Editor->setToolTip(hint);
    Editor->setStatusTip(hint);
    Editor->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Editor, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenu1->popup(Editor->mapToGlobal(at)); });
    auto *layout = new QVBoxLayout(TabSheet7);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar2);
    layout->addWidget(Editor, 1);

    Editor1 = FindingsPage1->Editor1;
    Editor2 = FindingsPage1->Editor2;
    ImageList2 = FormatToolBar::images();
    QToolButton **const buttons[]
        = { &ToolButton10, &ToolButton12, &ToolButton14, &ToolButton17, &ToolButton19,
            &ToolButton21, &ToolButton24, &ToolButton26, &ToolButton28 };
    const QList<QToolButton *> made = ToolBar2->buttons() + FindingsPage1->ToolBar3->buttons()
        + FindingsPage1->ToolBar4->buttons();
    for (int i = 0; i < made.size(); ++i) {
        QToolButton *button = made.at(i);
        *buttons[i] = button;
        connect(button, &QToolButton::clicked, this,
                [this, button] { guard([&] { ToolButton10Click(button); }); });
    }

    QFont format(u"Arial"_s);
    format.setPixelSize(13);
    for (FormatFont *holder : { &FontDialog1, &FontDialog2, &FontDialog3 })
        *holder = { format, QGuiApplication::palette().color(QPalette::WindowText) };

    TDataModule1::bindWhenLoaded(this, [this](TDataModule1 &dm) {
        Editor->setDataSource(dm.DataSourceEco);
        Editor->setDataField(u"Eco1"_s);
    });
}

void TMainForm::ToolButton10Click(QObject *Sender)
{
    const int tag = tagOf(Sender);
    if (tag < 1 || tag > 9)
        return;
    FormatFont *const fonts[] = { &FontDialog1, &FontDialog2, &FontDialog3 };
    DBRichEdit *const editors[] = { Editor, Editor1, Editor2 };
    FormatFont &format = *fonts[(tag - 1) / 3];
    DBRichEdit *editor = editors[(tag - 1) / 3];
    auto *button = qobject_cast<QToolButton *>(Sender);
    const bool down = button && button->isChecked();
    switch ((tag - 1) % 3) {
    case 0:
        format.font.setBold(down);
        break;
    case 1:
        format.font.setUnderline(down);
        break;
    default:
        format.font.setItalic(down);
        break;
    }
    // A browsed exam's text is read-only: the font remembers the style, the record gets nothing.
    if (editor->isReadOnly())
        return;
    QTextCharFormat whole;
    whole.setFont(format.font, QTextCharFormat::FontPropertiesAll);
    whole.setForeground(format.colour);
    editor->setCurrentCharFormat(whole);
}

void TMainForm::DBNavigator1Click(DBNavigator::Button Button)
{
    PatientHeader1->DBNavigator1Click(Button);
}

void TMainForm::examNavigatorEdit()
{
    // Not guarded: the exam lock's refusal must reach the rule that asked.
    PatientHeader1->DBNavigator2->btnClick(DBNavigator::Edit);
}

// The formatting tool bars arrive with the rich-text editors.
void TMainForm::ResetFormatButtons()
{
    for (QToolButton *button :
         { ToolButton10, ToolButton12, ToolButton14, ToolButton17, ToolButton19, ToolButton21,
           ToolButton24, ToolButton26, ToolButton28 })
        button->setChecked(false);
}

bool TMainForm::gridPageShown() const
{
    return PageControl2->currentWidget() == TabSheet6;
}

bool TMainForm::confirmClose()
{
    if (!DataModule1)
        return true;
    TDataModule1 &dm = *DataModule1;
    const QList<Dataset *> records { dm.TableIMG, dm.TableEco, dm.TablePac };
    // Text still in a control counts as a change: have it written first.
    for (Dataset *d : records) {
        if (d->isActive() && d->isEditing())
            d->updateRecord();
    }
    bool changed = false;
    for (Dataset *d : records)
        changed = changed || (d->isActive() && d->isEditing() && d->isModified());
    if (!changed)
        return true;
    switch (Dialogs::instance().askYesNoCancel(QStringLiteral("Gravar as alterações?"))) {
    case Dialogs::Answer::Yes:
        // The exam's post runs its rules and takes its scores along; the patient follows.
        for (Dataset *d :
             { static_cast<Dataset *>(dm.TableEco), static_cast<Dataset *>(dm.TablePac),
               static_cast<Dataset *>(dm.TableIMG) }) {
            if (d->isActive() && d->isEditing())
                d->post();
        }
        return true;
    case Dialogs::Answer::No:
        for (Dataset *d :
             { static_cast<Dataset *>(dm.TableEco), static_cast<Dataset *>(dm.TableIMG),
               static_cast<Dataset *>(dm.TablePac) }) {
            if (d->isActive() && d->isEditing())
                d->cancel();
        }
        return true;
    case Dialogs::Answer::Cancel:
        break;
    }
    return false;
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    bool mayClose = false;
    // A failed post keeps the window open; guard has shown why.
    guard([&] { mayClose = confirmClose(); });
    if (!mayClose) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT closed();
}
