#include "workspace/FindingsPage.h"

#include "data/DM.h"
#include "platform/widgets/DBCheckBox.h"
#include "platform/widgets/DBRichEdit.h"
#include "workspace/FormatToolBar.h"
#include "workspace/PatientHeader.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {
const int kKineticsPage = 2;

// The line that joins "Muito" to the two lines it qualifies, open towards them.
class Bracket : public QWidget
{
public:
    explicit Bracket(QWidget *parent)
        : QWidget(parent)
    {
        setFixedWidth(8);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        const int top = height() / 4;
        const int bottom = height() - height() / 4;
        painter.drawLine(2, top, 2, bottom);
        painter.drawLine(2, top, width() - 1, top);
        painter.drawLine(2, bottom, width() - 1, bottom);
        painter.drawLine(0, height() / 2, 2, height() / 2);
    }
};

template<class T> T *make(QWidget *parent, const QString &name)
{
    auto *widget = new T(parent);
    widget->setObjectName(name);
    return widget;
}

QLabel *caption(QWidget *parent, const QString &name, const QString &text)
{
    auto *label = make<QLabel>(parent, name);
    label->setText(text);
    return label;
}

DBCheckBox *box(QWidget *parent, const QString &name, const QString &text = {})
{
    auto *check = make<DBCheckBox>(parent, name);
    check->setText(text);
    return check;
}

QFrame *frame(QWidget *parent, const QString &name)
{
    auto *panel = make<QFrame>(parent, name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return panel;
}

void setHint(QWidget *widget, const QString &hint)
{
    widget->setToolTip(hint);
    widget->setStatusTip(hint);
}

const QColor kLightYellow(0xFF, 0xFF, 0xBD);

// An observations editor: the page's font, Tab moving on, a vertical scroll bar.
DBRichEdit *observations(QWidget *parent, const QString &name)
{
    auto *editor = make<DBRichEdit>(parent, name);
    editor->setTabChangesFocus(true);
    editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette palette = editor->palette();
    palette.setColor(QPalette::Base, kLightYellow);
    palette.setColor(QPalette::Text, Qt::black);
    editor->setPalette(palette);
    editor->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    return editor;
}
} // namespace

FindingsPage::FindingsPage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(u"FindingsPage"_s);
    PageControl3 = make<QTabWidget>(this, u"PageControl3"_s);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PageControl3);
    createSegmentsPage();
    createValvesPage();
    createKineticsPage();
    PageControl3->addTab(TabSheet3, u"Ord. Segm. / Diam. Cav."_s);
    PageControl3->addTab(TabSheet9, u"Válv. Cardiacas"_s);
    PageControl3->addTab(TabSheet10, u"Cin. Ventr. / Pericárdio / A.S.Disq."_s);
    PageControl3->setCurrentIndex(kKineticsPage);
    arrangeTabOrder();

    for (DBCheckBox *check : checkBoxes())
        PatientHeader::attachFocusHighlight(check);
    PatientHeader::attachFocusHighlight(Editor1);
    PatientHeader::attachFocusHighlight(Editor2);
    TDataModule1::bindWhenLoaded(this, [this](TDataModule1 &dm) { bind(dm); });
}

FindingsPage::~FindingsPage() = default;

void FindingsPage::createSegmentsPage()
{
    TabSheet3 = make<QWidget>(this, u"TabSheet3"_s);
    QWidget *page = TabSheet3;
    LabelOrdSeg = caption(page, u"LabelOrdSeg"_s, u"Ordenamento Segmentar:"_s);
    DBCheckBox1 = box(page, u"DBCheckBox1"_s);
    ToolBar3 = new FormatToolBar(
        u"ToolBar3"_s, { u"ToolButton17"_s, u"ToolButton19"_s, u"ToolButton21"_s }, 4, true, page);
    Editor1 = observations(page, u"Editor1"_s);

    PanelCavidades = frame(page, u"PanelCavidades"_s);
    LabelCavidades
        = caption(PanelCavidades, u"LabelCavidades"_s, u"Diâmetro das Cavidades Cardíacas:"_s);
    DBCheckBox2 = box(PanelCavidades, u"DBCheckBox2"_s, u"Normais"_s);
    LabelDilatacao = caption(PanelCavidades, u"LabelDilatacao"_s, u"Dilatação:"_s);
    DBCheckBox3 = box(PanelCavidades, u"DBCheckBox3"_s, u"AE"_s);
    DBCheckBox4 = box(PanelCavidades, u"DBCheckBox4"_s, u"AD"_s);
    DBCheckBox5 = box(PanelCavidades, u"DBCheckBox5"_s, u"VD"_s);
    DBCheckBox6 = box(PanelCavidades, u"DBCheckBox6"_s, u"VE"_s);
    auto *bottom = new QHBoxLayout(PanelCavidades);
    bottom->setContentsMargins(8, 4, 8, 4);
    bottom->setSpacing(10);
    bottom->addWidget(LabelCavidades);
    bottom->addWidget(DBCheckBox2);
    bottom->addSpacing(16);
    bottom->addWidget(LabelDilatacao);
    for (DBCheckBox *check : { DBCheckBox3, DBCheckBox4, DBCheckBox5, DBCheckBox6 })
        bottom->addWidget(check);
    bottom->addStretch(1);

    auto *top = new QHBoxLayout;
    top->setSpacing(6);
    top->addWidget(LabelOrdSeg, 0, Qt::AlignTop);
    top->addWidget(DBCheckBox1, 0, Qt::AlignTop);
    auto *observationsColumn = new QVBoxLayout;
    observationsColumn->setSpacing(0);
    observationsColumn->addWidget(ToolBar3, 0, Qt::AlignLeft);
    observationsColumn->addWidget(Editor1, 1);
    top->addLayout(observationsColumn, 1);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(top, 1);
    layout->addWidget(PanelCavidades);
}

void FindingsPage::createValvesPage()
{
    TabSheet9 = make<QWidget>(this, u"TabSheet9"_s);
    QWidget *page = TabSheet9;
    LabelValvulas = caption(page, u"LabelValvulas"_s, u"Válvulas Cardíacas:"_s);
    DBCheckBox7 = box(page, u"DBCheckBox7"_s, u"Normais"_s);
    setHint(DBCheckBox7, u"Desmarque se ANORMAIS"_s);
    Bevel1 = make<QFrame>(page, u"Bevel1"_s);
    Bevel1->setFrameStyle(QFrame::VLine | QFrame::Sunken);

    PanelValvulas = frame(page, u"PanelValvulas"_s);
    QWidget *grid = PanelValvulas;
    LabelEstrutura = caption(grid, u"LabelEstrutura"_s, u"Estrutura :"_s);
    LabelMotilidade = caption(grid, u"LabelMotilidade"_s, u"Motilidade :"_s);
    LabelMitral = caption(grid, u"LabelMitral"_s, u"Mitral"_s);
    LabelAortica = caption(grid, u"LabelAortica"_s, u"Aórtica"_s);
    LabelPulmonar = caption(grid, u"LabelPulmonar"_s, u"Pulmonar"_s);
    LabelTricuspide = caption(grid, u"LabelTricuspide"_s, u"Tricúspide"_s);
    DBCheckBox8 = box(grid, u"DBCheckBox8"_s);
    DBCheckBox22 = box(grid, u"DBCheckBox22"_s);
    DBCheckBox9 = box(grid, u"DBCheckBox9"_s);
    DBCheckBox25 = box(grid, u"DBCheckBox25"_s);
    DBCheckBox10 = box(grid, u"DBCheckBox10"_s);
    DBCheckBox26 = box(grid, u"DBCheckBox26"_s);
    DBCheckBox11 = box(grid, u"DBCheckBox11"_s);
    DBCheckBox27 = box(grid, u"DBCheckBox27"_s);
    // Only the mitral structure's hint is in capitals.
    setHint(DBCheckBox8, u"Marque se ANORMAL"_s);
    for (DBCheckBox *check : { DBCheckBox22, DBCheckBox9, DBCheckBox25, DBCheckBox10, DBCheckBox26,
                               DBCheckBox11, DBCheckBox27 })
        setHint(check, u"Marque se Anormal"_s);

    // Structure above, motility below, the valve names between the two rows.
    auto *cells = new QGridLayout(grid);
    cells->setContentsMargins(8, 4, 8, 4);
    cells->setHorizontalSpacing(16);
    cells->setVerticalSpacing(2);
    cells->addWidget(LabelEstrutura, 0, 0);
    cells->addWidget(LabelMotilidade, 2, 0);
    const QList<QLabel *> valves { LabelMitral, LabelAortica, LabelPulmonar, LabelTricuspide };
    const QList<DBCheckBox *> structure { DBCheckBox8, DBCheckBox9, DBCheckBox10, DBCheckBox11 };
    const QList<DBCheckBox *> motility { DBCheckBox22, DBCheckBox25, DBCheckBox26, DBCheckBox27 };
    for (int i = 0; i < valves.size(); ++i) {
        cells->addWidget(structure.at(i), 0, i + 1, Qt::AlignCenter);
        cells->addWidget(valves.at(i), 1, i + 1, Qt::AlignCenter);
        cells->addWidget(motility.at(i), 2, i + 1, Qt::AlignCenter);
    }

    Editor2 = observations(page, u"Editor2"_s);
    ToolBar4 = new FormatToolBar(
        u"ToolBar4"_s, { u"ToolButton24"_s, u"ToolButton26"_s, u"ToolButton28"_s }, 7, true, page);

    auto *left = new QVBoxLayout;
    left->addWidget(LabelValvulas);
    left->addWidget(DBCheckBox7);
    left->addStretch(1);
    left->addWidget(ToolBar4);
    auto *right = new QVBoxLayout;
    right->addWidget(PanelValvulas, 0, Qt::AlignLeft);
    right->addWidget(Editor2, 1);
    auto *layout = new QHBoxLayout(page);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(left);
    layout->addWidget(Bevel1);
    layout->addLayout(right, 1);
}

void FindingsPage::createKineticsPage()
{
    TabSheet10 = make<QWidget>(this, u"TabSheet10"_s);
    QWidget *page = TabSheet10;

    PanelCinetica = frame(page, u"PanelCinetica"_s);
    LabelCinetica = caption(PanelCinetica, u"LabelCinetica"_s, u"Cinética Ventricular:"_s);
    DBCheckBox13 = box(PanelCinetica, u"DBCheckBox13"_s, u"Normal"_s);
    DBCheckBox14 = box(PanelCinetica, u"DBCheckBox14"_s, u"Deprimida"_s);
    DBCheckBox15 = box(PanelCinetica, u"DBCheckBox15"_s, u"Muito"_s);
    DBCheckBox16 = box(PanelCinetica, u"DBCheckBox16"_s, u"Comprometida"_s);
    // "Muito" qualifies either line, so it sits between them with a bracket to both.
    auto *kinetics = new QGridLayout(PanelCinetica);
    kinetics->setContentsMargins(8, 4, 8, 4);
    kinetics->setVerticalSpacing(2);
    kinetics->addWidget(LabelCinetica, 0, 0, 1, 3);
    kinetics->addWidget(DBCheckBox13, 1, 0, 1, 3);
    kinetics->addWidget(DBCheckBox15, 2, 0, 2, 1);
    kinetics->addWidget(new Bracket(PanelCinetica), 2, 1, 2, 1);
    kinetics->addWidget(DBCheckBox14, 2, 2);
    kinetics->addWidget(DBCheckBox16, 3, 2);
    kinetics->setColumnStretch(2, 1);
    kinetics->setRowStretch(4, 1);

    PanelPericardio = frame(page, u"PanelPericardio"_s);
    LabelPericardio = caption(PanelPericardio, u"LabelPericardio"_s, u"Pericárdio:"_s);
    DBCheckBox18 = box(PanelPericardio, u"DBCheckBox18"_s, u"Normal"_s);
    LabelDerrame = caption(PanelPericardio, u"LabelDerrame"_s, u"Derrame:"_s);
    DBCheckBox19 = box(PanelPericardio, u"DBCheckBox19"_s, u"Pequeno"_s);
    DBCheckBox20 = box(PanelPericardio, u"DBCheckBox20"_s, u"Médio"_s);
    DBCheckBox21 = box(PanelPericardio, u"DBCheckBox21"_s, u"Grande"_s);
    auto *pericardium = new QGridLayout(PanelPericardio);
    pericardium->setContentsMargins(8, 4, 8, 4);
    pericardium->setVerticalSpacing(2);
    pericardium->addWidget(LabelPericardio, 0, 0);
    pericardium->addWidget(DBCheckBox18, 0, 1);
    pericardium->addWidget(LabelDerrame, 1, 0, Qt::AlignTop);
    pericardium->addWidget(DBCheckBox19, 1, 1);
    pericardium->addWidget(DBCheckBox20, 2, 1);
    pericardium->addWidget(DBCheckBox21, 3, 1);
    pericardium->setColumnStretch(1, 1);
    pericardium->setRowStretch(4, 1);

    DBCheckBox17 = box(page, u"DBCheckBox17"_s, u"Áreas Segmentares Disquinéticas"_s);
    LabelScores
        = caption(page, u"LabelScores"_s,
                  u"seleccione se pretende visualizar as imagens de 'scores' no relatório"_s);
    LabelScores->setWordWrap(true);
    QPalette red = LabelScores->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    LabelScores->setPalette(red);
    QFont small = LabelScores->font();
    if (small.pixelSize() > 0)
        small.setPixelSize(qMax(1, small.pixelSize() * 4 / 5));
    else
        small.setPointSizeF(small.pointSizeF() * 0.8);
    LabelScores->setFont(small);
    // Narrow enough that the note wraps over two lines under its box.
    LabelScores->setMaximumWidth(LabelScores->fontMetrics().horizontalAdvance(LabelScores->text())
                                 * 6 / 10);

    DBCheckBox23 = box(page, u"DBCheckBox23"_s, u"Ecocardiograma Normal"_s);
    QPalette face = DBCheckBox23->palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    DBCheckBox23->setPalette(face);
    DBCheckBox23->setAutoFillBackground(true);

    auto *layout = new QGridLayout(page);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setHorizontalSpacing(12);
    layout->addWidget(PanelCinetica, 0, 0);
    layout->addWidget(PanelPericardio, 0, 1);
    auto *asd = new QVBoxLayout;
    asd->setSpacing(0);
    asd->addWidget(DBCheckBox17);
    asd->addWidget(LabelScores);
    layout->addLayout(asd, 1, 0, Qt::AlignTop | Qt::AlignLeft);
    layout->addWidget(DBCheckBox23, 1, 1, Qt::AlignTop | Qt::AlignLeft);
    layout->setRowStretch(2, 1);
    layout->setColumnStretch(2, 1);
}

QList<DBCheckBox *> FindingsPage::checkBoxes() const
{
    return { DBCheckBox1,  DBCheckBox2,  DBCheckBox3,  DBCheckBox4,  DBCheckBox5,
             DBCheckBox6,  DBCheckBox7,  DBCheckBox8,  DBCheckBox22, DBCheckBox9,
             DBCheckBox25, DBCheckBox10, DBCheckBox26, DBCheckBox11, DBCheckBox27,
             DBCheckBox13, DBCheckBox14, DBCheckBox15, DBCheckBox16, DBCheckBox18,
             DBCheckBox19, DBCheckBox20, DBCheckBox21, DBCheckBox17, DBCheckBox23 };
}

void FindingsPage::arrangeTabOrder()
{
    // Each sub-page has its own chain.
    const QList<QList<QWidget *>> chains {
        { DBCheckBox1, Editor1, DBCheckBox2, DBCheckBox3, DBCheckBox4, DBCheckBox5, DBCheckBox6 },
        { DBCheckBox7, DBCheckBox8, DBCheckBox22, DBCheckBox9, DBCheckBox25, DBCheckBox10,
          DBCheckBox26, DBCheckBox11, DBCheckBox27, Editor2 },
        { DBCheckBox13, DBCheckBox14, DBCheckBox15, DBCheckBox16, DBCheckBox18, DBCheckBox19,
          DBCheckBox20, DBCheckBox21, DBCheckBox17, DBCheckBox23 },
    };
    for (const QList<QWidget *> &chain : chains)
        for (int i = 1; i < chain.size(); ++i)
            QWidget::setTabOrder(chain.at(i - 1), chain.at(i));
}

void FindingsPage::bind(TDataModule1 &dm)
{
    // Same order as checkBoxes().
    const QString fields[]
        = { u"OrdSeg"_s, u"Dcc"_s,  u"Dccae"_s, u"Dccad"_s, u"Dccvd"_s, u"Dccve"_s, u"Vcn"_s,
            u"Vceem"_s,  u"Vcmm"_s, u"Vceea"_s, u"Vcma"_s,  u"Vceep"_s, u"Vcmp"_s,  u"Vceet"_s,
            u"VcmT"_s,   u"Cvn"_s,  u"Cvd"_s,   u"Cvm"_s,   u"Cvc"_s,   u"Pn"_s,    u"Pdp"_s,
            u"Pdm"_s,    u"Pdg"_s,  u"Asd"_s,   u"Econ"_s };
    const QList<DBCheckBox *> all = checkBoxes();
    for (int i = 0; i < all.size(); ++i) {
        all.at(i)->setDataSource(dm.DataSourceEco);
        all.at(i)->setDataField(fields[i]);
    }
    Editor1->setDataSource(dm.DataSourceEco);
    Editor1->setDataField(u"OrdSeg1"_s);
    Editor2->setDataSource(dm.DataSourceEco);
    Editor2->setDataField(u"Vc1"_s);
}
