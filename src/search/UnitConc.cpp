#include "search/UnitConc.h"

#include "app/Main.h"
#include "data/DM.h"
#include "platform/engine/DataSource.h"
#include "platform/engine/Guard.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DBNavigator.h"
#include "platform/widgets/DBRichEdit.h"
#include "platform/widgets/Dialogs.h"
#include "platform/widgets/DrawnIcon.h"

#include <QClipboard>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

TFormConc *FormConc = nullptr;

namespace {
// A page with a bent arrow leaving it: the text goes from here into the conclusion.
QIcon useGlyph()
{
    return drawnIcon([](QPainter &p) {
        p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 0.5, 9, 12));
        p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
        for (double y = 3.5; y < 11; y += 2)
            p.drawLine(QPointF(3.5, y), QPointF(8.5, y));
        p.setPen(QPen(QColor(0x00, 0x70, 0x00), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({ QPointF(7, 14), QPointF(13, 14), QPointF(13, 8) }));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x00, 0x70, 0x00));
        p.drawPolygon(QPolygonF({ QPointF(10, 9), QPointF(16, 9), QPointF(13, 5) }));
    });
}
} // namespace

TFormConc::TFormConc(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(u"FormConc"_s);
    setWindowTitle(u"Conclusões Standard"_s);
    setAttribute(Qt::WA_QuitOnClose, false);
    // Ctrl+E, F5 and the other keys of the main menu work here too.
    if (MainForm)
        MainForm->shareMenuShortcuts(this);
    QFont font;
    font.setFamilies({ u"MS Sans Serif"_s, u"Arial"_s, u"Liberation Sans"_s });
    font.setPixelSize(11);
    setFont(font);
    resize(502, 312);
    move(19, 25);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(u"Panel1"_s);
    Panel1->setFrameShape(QFrame::NoFrame);
    Panel1->setFixedHeight(103);

    DBGrid1 = new DBGrid(Panel1);
    DBGrid1->setObjectName(u"DBGrid1"_s);
    DBGrid1->setGeometry(2, 3, 334, 96);
    DBGrid1->setColumns({ DBGridColumn(u"Nome"_s, u"Tipo de Conclusão"_s, 300)
                              .setTitleAlignment(Qt::AlignHCenter) });
    DBGrid1->setOptions(DBGrid::Titles | DBGrid::Indicator | DBGrid::ColumnLines | DBGrid::RowLines
                        | DBGrid::ResizeColumns | DBGrid::TabMovesCells
                        | DBGrid::TabLeavesAtRowEnd);
    // Ctrl+Delete asks first, as the navigator's delete does.
    DBGrid1->setConfirmDelete(true);

    Label1 = new QLabel(
        u"Crie conclusões standard de modo a que as possa utilizar nas conclusões de relatórios."_s,
        Panel1);
    Label1->setObjectName(u"Label1"_s);
    Label1->setGeometry(342, 6, 145, 37);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    BitBtn1 = new QPushButton(useGlyph(), u"usar conclusão"_s, Panel1);
    BitBtn1->setObjectName(u"BitBtn1"_s);
    BitBtn1->setGeometry(341, 50, 149, 25);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { guard([this] { BitBtn1Click(); }); });

    DBNavigator1 = new DBNavigator(Panel1);
    DBNavigator1->setObjectName(u"DBNavigator1"_s);
    DBNavigator1->setGeometry(341, 80, 150, 18);
    DBNavigator1->setFlat(true);
    DBNavigator1->setVisibleButtons({ DBNavigator::Prior, DBNavigator::Next, DBNavigator::Insert,
                                      DBNavigator::Delete, DBNavigator::Post,
                                      DBNavigator::Cancel });
    QStringList hints = DBNavigator1->hints();
    hints[DBNavigator::Prior] = u"Registo "_s;
    hints[DBNavigator::Next] = u"Próximo "_s;
    hints[DBNavigator::Insert] = u"Novo "_s;
    hints[DBNavigator::Delete] = u"Apagar "_s;
    hints[DBNavigator::Post] = u"Gravar "_s;
    hints[DBNavigator::Cancel] = u"Cancelar "_s;
    DBNavigator1->setHints(hints);

    PreConclusao = new DBRichEdit(this);
    PreConclusao->setObjectName(u"PreConclusao"_s);
    PreConclusao->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    PreConclusao->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    // Tab leaves the list for the text of the conclusion it stands on.
    setTabOrder(DBGrid1, PreConclusao);
    setTabOrder(PreConclusao, BitBtn1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(PreConclusao, 1);

    TDataModule1::bindWhenLoaded(this, [this](TDataModule1 &dm) { bind(dm.DataSourceConc); });
}

void TFormConc::bind(DataSource *source)
{
    DBGrid1->setDataSource(source);
    DBNavigator1->setDataSource(source);
    PreConclusao->setDataSource(source);
    PreConclusao->setDataField(u"Descricao"_s);
}

TFormConc::~TFormConc()
{
    if (FormConc == this)
        FormConc = nullptr;
}

void TFormConc::BitBtn1Click()
{
    // What the box shows, unsaved changes too, without its formatting: the conclusion's own
    // format at the caret applies.
    QGuiApplication::clipboard()->setText(PreConclusao->toPlainText());
    // A browsed exam's editor is read-only and refuses the paste; the clipboard keeps the text.
    if (MainForm)
        MainForm->Editor->paste();
}
