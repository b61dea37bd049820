#include "search/Pesq.h"

#include "app/Main.h"
#include "data/DM.h"
#include "platform/engine/Guard.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/Dialogs.h"
#include "platform/widgets/DrawnIcon.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScopeGuard>

using namespace Qt::StringLiterals;

TFormPesqAV *FormPesqAV = nullptr;

namespace {
const QString Head = u"select NF,NOME,MORADA,DNASC,NATUR,D1CONS,TELEF,PROF,ESTADO,RECOMEND,BENIFIC,"
                     u"IDADE,BENIF,CPOSTAL,CIDADE,SEXO,NCONTRIB,NCONS,PERUTENTE,CENTROS,NCENTROS "
                     u"from bddid where Upper(Cast(NF as char(10))) like '"_s;

const char *const Terms[] = {
    " or Upper(NOME) like ",
    " or Upper(MORADA) like ",
    " or Upper(Cast(DNASC as Char(10))) like ",
    " or Upper(NATUR) like ",
    " or Upper(Cast(D1CONS as Char(10))) like ",
    " or Upper(TELEF) like ",
    " or Upper(PROF) like ",
    " or Upper(ESTADO) like ",
    " or Upper(RECOMEND) like ",
    " or Upper(BENIFIC) like ",
    " or Upper(Cast(IDADE as Char(3))) like ",
    " or Upper(BENIF) like ",
    " or Upper(CPOSTAL) like ",
    " or Upper(CIDADE) like ",
    " or Upper(SEXO) like ",
    " or Upper(NCONTRIB) like ",
    " or Upper(Cast(NCONS as Char(3))) like ",
    " or Upper(Cast(PERUTENTE as Char(3))) like ",
    " or Upper(CENTROS) like ",
    " or Upper(NCENTROS) like ",
};

// The glyph of "Pesquisar...": a small magnifying glass.
QIcon searchGlyph()
{
    return drawnIcon([](QPainter &p) {
        p.setPen(QPen(QColor(0x8B, 0x5A, 0x2B), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(10.5, 10.5), QPointF(14, 14));
        p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1.5));
        p.setBrush(QColor(0xCF, 0xE6, 0xF7));
        p.drawEllipse(QPointF(6.5, 6.5), 4.8, 4.8);
    });
}

QLabel *label(QWidget *parent, const QString &name, const QString &caption, const QRect &geometry)
{
    auto *l = new QLabel(caption, parent);
    l->setObjectName(name);
    l->setGeometry(geometry);
    return l;
}
} // namespace

TFormPesqAV::TFormPesqAV(QWidget *parent)
    : QWidget(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                  | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(u"FormPesqAV"_s);
    setWindowTitle(u"Pesquisa Avançada"_s);
    // A secondary window: closing it never ends the application.
    setAttribute(Qt::WA_QuitOnClose, false);
    // Ctrl+E, F5 and the other keys of the main menu work here too.
    if (MainForm)
        MainForm->shareMenuShortcuts(this);
    QFont font;
    font.setFamilies({ u"MS Sans Serif"_s, u"Arial"_s, u"Liberation Sans"_s });
    font.setPixelSize(11);
    setFont(font);
    setFixedSize(437, 326);
    move(335, 137);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(u"Panel1"_s);
    Panel1->setGeometry(0, 0, 437, 112);
    Panel1->setFrameShape(QFrame::NoFrame);
    Panel1->setAutoFillBackground(true);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(white);

    Image1 = label(Panel1, u"Image1"_s, QString(), QRect(437 - 194, 0, 194, 112));
    const QPixmap picture(u":/lupa.jpg"_s);
    if (picture.isNull())
        qWarning("Pesquisa Avançada: the JPEG image plug-in could not read the picture");
    Image1->setPixmap(picture);

    Label2
        = label(Panel1, u"Label2"_s, u"Palavra / Frase a Pesquisar..."_s, QRect(16, 32, 200, 13));
    QFont bold = font;
    bold.setBold(true);
    Label2->setFont(bold);
    Label2->adjustSize();

    Edit1 = new QLineEdit(Panel1);
    Edit1->setObjectName(u"Edit1"_s);
    Edit1->setGeometry(16, 48, 307, 21);
    Edit1->installEventFilter(this);

    Label3 = label(Panel1, u"Label3"_s, u"Use o símbolo % para representar \"qualquer coisa\""_s,
                   QRect(16, 72, 300, 13));
    Label3->adjustSize();

    BitBtn1 = new QPushButton(searchGlyph(), u"Pesquisar..."_s, Panel1);
    BitBtn1->setObjectName(u"BitBtn1"_s);
    BitBtn1->setGeometry(232, 10, 91, 25);
    BitBtn1->setAutoDefault(false);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { guard([this] { BitBtn1Click(); }); });

    Label1 = label(this, u"Label1"_s, u"  Resultados da Pesquisa..."_s, QRect(0, 112, 438, 17));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label1->setAutoFillBackground(true);
    QPalette grey = Label1->palette();
    grey.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    grey.setColor(QPalette::WindowText, Qt::white);
    Label1->setPalette(grey);

    DBGrid1 = new DBGrid(this);
    DBGrid1->setObjectName(u"DBGrid1"_s);
    DBGrid1->setGeometry(0, 128, 437, 198);
    DBGrid1->setOptions(DBGrid::Titles | DBGrid::ColumnLines | DBGrid::ResizeColumns);
    DBGrid1->setReadOnly(true);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    // The chosen row stays marked while the user works in the main window.
    QPalette rows = DBGrid1->palette();
    for (QPalette::ColorRole role : { QPalette::Highlight, QPalette::HighlightedText })
        rows.setColor(QPalette::Inactive, role, rows.color(QPalette::Active, role));
    DBGrid1->setPalette(rows);
    const QString hint = u"Duplo-CLique para selecionar paciente..."_s;
    DBGrid1->setToolTip(hint);
    DBGrid1->setStatusTip(hint);
    connect(DBGrid1, &DBGrid::rowDoubleClicked, this,
            [this] { guard([this] { DBGrid1DblClick(); }); });

    setTabOrder(Edit1, BitBtn1);
    setTabOrder(BitBtn1, DBGrid1);
    Edit1->setFocus();

    TDataModule1::bindWhenLoaded(
        this, [this](TDataModule1 &dm) { DBGrid1->setDataSource(dm.DataSourcePesqAV); });
}

TFormPesqAV::~TFormPesqAV()
{
    if (FormPesqAV == this)
        FormPesqAV = nullptr;
}

QString TFormPesqAV::searchStatement(const QString &typed)
{
    QString pattern;
    pattern.reserve(typed.size() + 2);
    pattern += QLatin1Char('%');
    for (QChar c : typed) {
        if (c >= u'a' && c <= u'z')
            pattern += QChar(c.unicode() - 0x20);
        else if (c == u'\'')
            pattern += u"''"_s; // a quote is text, never the end of the literal
        else if (c.isNull())
            continue; // SQLite would end the statement there: a pasted NUL is left out
        else
            pattern += c;
    }
    pattern += QLatin1Char('%');

    QString sql;
    sql.reserve(Head.size() + 21 * (pattern.size() + 48));
    sql += Head + pattern + QLatin1Char('\'');
    for (const char *term : Terms)
        sql += QLatin1String(term) + QLatin1Char('\'') + pattern + QLatin1Char('\'');
    return sql;
}

void TFormPesqAV::BitBtn1Click()
{
    BitBtn1->setEnabled(false);
    // Shown disabled now: nothing is painted while the query runs.
    BitBtn1->repaint();
    const auto enableAgain = qScopeGuard([this] { BitBtn1->setEnabled(true); });
    if (!DataModule1)
        return;
    Query &query = *DataModule1->QueryPesqAv;
    query.close();
    query.clearSql();
    query.addSql(searchStatement(Edit1->text()));
    query.open();
    Dialogs::instance().beep();
}

bool TFormPesqAV::Edit1KeyPress(int key)
{
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    BitBtn1->click();
    return true;
}

bool TFormPesqAV::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() & ~Qt::KeypadModifier)
            return QWidget::eventFilter(watched, event);
        return Edit1KeyPress(key->key());
    }
    return QWidget::eventFilter(watched, event);
}

void TFormPesqAV::DBGrid1DblClick()
{
    if (!DataModule1)
        return;
    Query &result = *DataModule1->QueryPesqAv;
    if (!result.isActive() || result.isEmpty())
        return;
    // A patient deleted since the search is simply not found.
    DataModule1->TablePac->locate(u"NF"_s, result.field(0)->asVariant(),
                                  LocateOptions { true, true });
}

void showAdvancedSearch()
{
    if (!FormPesqAV)
        return;
    FormPesqAV->show();
    FormPesqAV->raise();
    FormPesqAV->activateWindow();
}
