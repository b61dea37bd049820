#include "reports/StatisticsPage.h"

#include "data/DM.h"
#include "platform/engine/Field.h"
#include "platform/engine/Guard.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"
#include "platform/widgets/DBLookupComboBox.h"
#include "platform/widgets/DateEdit.h"
#include "platform/widgets/Dialogs.h"
#include "platform/widgets/NumberFormat.h"
#include "platform/report/BandedReport.h"
#include "reports/MapaEcos.h"
#include "reports/SummaryReport.h"
#include "reports/UnitRepSS.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {
const QString kFigures = u"###,###,##0.00"_s;
const QColor kGrey(0x80, 0x80, 0x80);

template<class T> T *make(QWidget *parent, const QString &name, const QRect &at)
{
    auto *widget = new T(parent);
    widget->setObjectName(name);
    widget->setGeometry(at);
    return widget;
}

QLabel *label(QWidget *parent, const QString &name, const QString &text, QPoint at,
              const QColor &colour = Qt::black, bool bold = false)
{
    auto *widget = new QLabel(text, parent);
    widget->setObjectName(name);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
    if (bold) {
        QFont font = widget->font();
        font.setBold(true);
        widget->setFont(font);
    }
    widget->move(at);
    widget->adjustSize();
    return widget;
}

// One framed area: the outline, its grey caption and the rule between caption and controls.
void area(QWidget *parent, const QString &name, const QRect &frame, const QString &caption,
          QPoint captionAt)
{
    auto *box = make<QFrame>(parent, name, frame);
    box->setFrameStyle(QFrame::Box | QFrame::Sunken);
    QLabel *title = label(parent, name + u"Caption"_s, caption, captionAt, kGrey, true);
    title->lower();
    auto *rule
        = make<QFrame>(parent, name + u"Rule"_s, QRect(71, frame.top() + 4, 5, frame.height() - 8));
    rule->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    box->lower();
}

QIcon glyph(const QColor &colour, const std::function<void(QPainter &)> &draw)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour, 1.5));
    draw(painter);
    return QIcon(pixmap);
}

QIcon calculatorIcon()
{
    return glyph(Qt::darkBlue, [](QPainter &p) {
        p.drawRect(3, 1, 10, 14);
        p.drawRect(5, 3, 6, 3);
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col)
                p.drawPoint(5 + col * 3, 8 + row * 2);
    });
}

QIcon clearIcon()
{
    return glyph(Qt::darkRed, [](QPainter &p) {
        p.drawLine(4, 4, 12, 12);
        p.drawLine(12, 4, 4, 12);
    });
}

QIcon reportIcon()
{
    return glyph(Qt::black, [](QPainter &p) {
        p.drawRect(3, 1, 10, 14);
        for (int y = 4; y <= 12; y += 3)
            p.drawLine(5, y, 11, y);
    });
}
} // namespace

StatisticsPage::StatisticsPage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(u"StatisticsPage"_s);
    setMinimumSize(625, 440);

    area(this, u"FrameCriterios"_s, QRect(12, 15, 607, 57), u"critérios"_s, { 24, 38 });
    Label61 = label(this, u"Label61"_s, u"entre"_s, { 96, 38 });
    Data1 = make<DateEdit>(this, u"Data1"_s, QRect(134, 34, 89, 21));
    Label62 = label(this, u"Label62"_s, u"e"_s, { 239, 38 });
    Data2 = make<DateEdit>(this, u"Data2"_s, QRect(262, 34, 89, 21));

    area(this, u"FrameResultados"_s, QRect(12, 89, 607, 190), u"resultados"_s, { 19, 190 });
    Label64 = label(this, u"Label64"_s, u"médico:"_s, { 96, 100 });
    Label68 = label(this, u"Label68"_s, u"(desmarqe para global)"_s, { 138, 100 }, kGrey);
    DBLookupComboBox2
        = make<DBLookupComboBox>(this, u"DBLookupComboBox2"_s, QRect(96, 116, 217, 21));
    SpeedButton1 = make<QToolButton>(this, u"SpeedButton1"_s, QRect(316, 116, 23, 22));
    SpeedButton1->setIcon(clearIcon());
    SpeedButton1->setToolTip(u"limpar selecção"_s);
    SpeedButton1->setStatusTip(u"limpar selecção"_s);
    BitBtn1 = make<QPushButton>(this, u"BitBtn1"_s, QRect(494, 116, 103, 34));
    BitBtn1->setText(u"Calcular"_s);
    BitBtn1->setIcon(calculatorIcon());
    BitBtn1->setToolTip(u"Prima para calcular os valores..."_s);
    BitBtn1->setStatusTip(BitBtn1->toolTip());
    QFont calculate = BitBtn1->font();
    calculate.setBold(true);
    calculate.setPixelSize(13);
    BitBtn1->setFont(calculate);
    QPalette red = BitBtn1->palette();
    red.setColor(QPalette::ButtonText, Qt::red);
    BitBtn1->setPalette(red);

    const QString zero = formatFloat(kFigures, 0);
    Label53 = label(this, u"Label53"_s, u"Nº. de ECOs registados:"_s, { 96, 158 }, Qt::black, true);
    Label57 = label(this, u"Label57"_s, zero, { 242, 158 }, Qt::red, true);
    Label54
        = label(this, u"Label54"_s, u"Nº. de pacientes com ECO:"_s, { 96, 186 }, Qt::black, true);
    Label58 = label(this, u"Label58"_s, zero, { 260, 186 }, Qt::red, true);
    Label56 = label(this, u"Label56"_s, u"Média de ECOs por pacientes examinados:"_s, { 96, 214 },
                    Qt::black, true);
    Label60 = label(this, u"Label60"_s, zero, { 352, 214 }, Qt::red, true);
    Label55 = label(this, u"Label55"_s, u"Média de ECOs por pacientes na base de dados:"_s,
                    { 96, 242 }, Qt::black, true);
    Label59 = label(this, u"Label59"_s, zero, { 382, 242 }, Qt::red, true);

    area(this, u"FrameMapas"_s, QRect(12, 300, 607, 131), u"mapas"_s, { 27, 362 });
    BitBtn2 = make<QPushButton>(this, u"BitBtn2"_s, QRect(96, 319, 217, 25));
    BitBtn2->setText(u"mapa de ecos por médico"_s);
    CheckBox1 = make<QCheckBox>(this, u"CheckBox1"_s, QRect(336, 324, 199, 17));
    BitBtn3 = make<QPushButton>(this, u"BitBtn3"_s, QRect(96, 355, 217, 25));
    BitBtn3->setText(u"mapa de ecos por Sist. Saúde"_s);
    CheckBox2 = make<QCheckBox>(this, u"CheckBox2"_s, QRect(336, 360, 199, 17));
    BitBtn4 = make<QPushButton>(this, u"BitBtn4"_s, QRect(96, 391, 217, 25));
    BitBtn4->setText(u"... não usado"_s);
    BitBtn4->setEnabled(false);
    for (QPushButton *map : { BitBtn2, BitBtn3, BitBtn4 })
        map->setIcon(reportIcon());
    for (QCheckBox *types : { CheckBox1, CheckBox2 }) {
        types->setText(u"incluir contagem por tipo de relatório"_s);
        types->setChecked(true);
    }

    connect(BitBtn1, &QPushButton::clicked, this, [this] { guard([this] { BitBtn1Click(); }); });
    connect(SpeedButton1, &QToolButton::clicked, this,
            [this] { guard([this] { SpeedButton1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { guard([this] { BitBtn2Click(); }); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { guard([this] { BitBtn3Click(); }); });
    TDataModule1::bindWhenLoaded(this, [this](TDataModule1 &dm) { bind(dm); });
}

StatisticsPage::~StatisticsPage() = default;

void StatisticsPage::bind(TDataModule1 &dm)
{
    DBLookupComboBox2->setListSource(dm.DataSourceMed);
    DBLookupComboBox2->setKeyField(u"CODIGO"_s);
    DBLookupComboBox2->setListField(u"NOME"_s);
}

void StatisticsPage::BitBtn1Click()
{
    TDataModule1 &dm = *DataModule1;
    Query &query = *dm.QueryStat;
    query.close();
    query.setSql(QStringList());
    const QVariant doctor = DBLookupComboBox2->keyValue();
    const bool chosen = doctor.isValid() && !doctor.isNull() && doctor.toDouble() > 0;
    query.setSql(QStringList {
        chosen ? u"select count(*) from eco where dataexame >= :d1 and dataexame <= :d2  and "
                 "executor = :med group by codigopaciente"_s
               : u"select count(*) from eco where dataexame >= :d1 and dataexame <= :d2 group "
                 "by codigopaciente"_s });
    query.param(0).setAsDate(Data1->date());
    query.param(1).setAsDate(Data2->date());
    if (chosen)
        query.param(2).setValue(doctor);
    query.open();
    query.first();
    // An empty range keeps the figures shown.
    if (query.isEmpty())
        return;
    qint64 total = 0;
    qint64 patients = 0;
    while (!query.eof()) {
        total += query.field(0)->asInteger();
        ++patients;
        query.next();
    }
    Label57->setText(formatFloat(kFigures, double(total)));
    Label58->setText(formatFloat(kFigures, double(patients)));
    Label60->setText(formatFloat(kFigures, double(total) / double(patients)));
    const int registered = dm.TablePac->recordCount();
    // Exams whose patients are all gone leave nothing to divide by.
    Label59->setText(registered > 0 ? formatFloat(kFigures, double(total) / registered) : u"---"_s);
    for (QLabel *figure : { Label57, Label58, Label60, Label59 })
        figure->adjustSize();
    query.close();
}

void StatisticsPage::SpeedButton1Click()
{
    DBLookupComboBox2->setKeyValue(0);
}

bool StatisticsPage::openSummary(Summary summary, bool types, const QDate &from, const QDate &to)
{
    Query &query = *DataModule1->QueryStat;
    query.close();
    query.setSql(QStringList());
    QString sql;
    if (summary == Summary::ByDoctor) {
        sql = types ? u"select codigo, nome, modod, count(*) from medico join eco on codigo = "
                      "executor where dataexame >= :d1 and dataexame <= :d2 group by "
                      "executor,codigo,nome, modod"_s
                    : u"select codigo, nome, count(*) from medico join eco on codigo = executor "
                      "where dataexame >= :d1 and dataexame <= :d2 group by executor,codigo,nome"_s;
    } else {
        sql = types ? u"select sigla, entidade, modod, count(*) from bddid join convencao on "
                      "cast(bddid.benif as integer) = convencao.codigo join eco on nf = "
                      "codigopaciente where dataexame >= :d1 and dataexame <= :d2 group by "
                      "convencao.sigla, convencao.entidade, modod"_s
                    : u"select sigla, entidade, count(*) from bddid join convencao on "
                      "cast(bddid.benif as integer) = convencao.codigo join eco on nf = "
                      "codigopaciente where dataexame >= :d1 and dataexame <= :d2 group by "
                      "convencao.sigla, convencao.entidade"_s;
    }
    query.setSql(QStringList { sql });
    query.param(0).setAsDate(from);
    query.param(1).setAsDate(to);
    query.open();
    query.first();
    // Each summary tests for an empty result its own way; both mean the same here.
    const bool empty
        = summary == Summary::ByDoctor ? query.bof() && query.eof() : query.recordCount() == 0;
    if (empty)
        Dialogs::instance().message(u"Não há registos que obedeçam aos parâmetros pedidos."_s);
    return !empty;
}

void StatisticsPage::BitBtn2Click()
{
    if (openSummary(Summary::ByDoctor, CheckBox1->isChecked(), Data1->date(), Data2->date())
        && MapaEco)
        MapaEco->Report->QuickRep->preview();
}

void StatisticsPage::BitBtn3Click()
{
    if (openSummary(Summary::ByHealthSystem, CheckBox2->isChecked(), Data1->date(), Data2->date())
        && MapaSS)
        MapaSS->Report->QuickRep->preview();
}
