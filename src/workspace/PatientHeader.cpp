#include "workspace/PatientHeader.h"

#include "data/DM.h"
#include "platform/engine/Guard.h"
#include "platform/widgets/DBCheckBox.h"
#include "platform/widgets/DBRichEdit.h"
#include "platform/widgets/DBComboBox.h"
#include "platform/widgets/DBEdit.h"
#include "platform/widgets/DBLookupComboBox.h"
#include "platform/widgets/Dialogs.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {
const QColor kSilver(0xC0, 0xC0, 0xC0);
const QColor kLightYellow(0xFF, 0xFF, 0xBD);
const QColor kLookupYellow(0xFF, 0xFF, 0x79);
const QColor kNavy(0x00, 0x00, 0x80);
const QColor kMaroon(0x80, 0x00, 0x00);

const int kTagClearDoctor = 10071;
const int kTagClearTechnician = 10072;

QString onlyWhileEditing()
{
    return u"Operação permitida só em modo de Edição/Inserção"_s;
}

void setColours(QWidget *control, const QColor &base, const QColor &text)
{
    QPalette palette = control->palette();
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::Text, text);
    control->setPalette(palette);
}

void setTextColour(QWidget *control, const QColor &text)
{
    QPalette palette = control->palette();
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::ButtonText, text);
    control->setPalette(palette);
}

void setBackground(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void setHint(QWidget *widget, const QString &hint)
{
    widget->setToolTip(hint);
    widget->setStatusTip(hint);
}

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

QLabel *unit(QWidget *parent, const QString &name, const QString &text)
{
    QLabel *label = caption(parent, name, text);
    QFont font = label->font();
    // The main window sizes its font in pixels; a smaller unit caption follows suit.
    if (font.pixelSize() > 0)
        font.setPixelSize(qMax(1, font.pixelSize() * 4 / 5));
    else
        font.setPointSizeF(font.pointSizeF() * 0.8);
    label->setFont(font);
    return label;
}

DBEdit *edit(QWidget *parent, const QString &name, const QColor &base, const QColor &text)
{
    auto *control = make<DBEdit>(parent, name);
    setColours(control, base, text);
    return control;
}

// The red "x" in its small frame that clears a lookup box.
QLabel *clearMark(QWidget *parent, const QString &name, int tag, const QString &hint)
{
    QLabel *label = caption(parent, name, u"x"_s);
    label->setProperty("tag", tag);
    label->setAlignment(Qt::AlignCenter);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setFixedSize(16, 18);
    setTextColour(label, Qt::red);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    setHint(label, hint);
    return label;
}
} // namespace

PatientHeader::PatientHeader(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(u"PatientHeader"_s);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    createPersonalBox();
    createClinicalBox();
    layout->addWidget(GroupBox1);
    layout->addWidget(GroupBox2);
    arrangeTabOrder();

    for (QWidget *control : { static_cast<QWidget *>(DBEdit8), static_cast<QWidget *>(DBComboBox1),
                              static_cast<QWidget *>(DBEdit7), static_cast<QWidget *>(DBComboBox2),
                              static_cast<QWidget *>(DBEdit45) })
        attachFocusHighlight(control);
    for (QLabel *label : { Label63, Label70, Label71, Label72 })
        label->installEventFilter(this);

    // The data module is made after the main window; the controls bind when it loads.
    TDataModule1::bindWhenLoaded(this, [this](TDataModule1 &dm) { bind(dm); });
}

PatientHeader::~PatientHeader() = default;

void PatientHeader::createPersonalBox()
{
    GroupBox1 = make<QGroupBox>(this, u"GroupBox1"_s);
    GroupBox1->setTitle(u"Informação Pessoal"_s);
    setBackground(GroupBox1, kSilver);
    QWidget *box = GroupBox1;

    LabelNome = caption(box, u"LabelNome"_s, u"Nome"_s);
    DBEdit1 = edit(box, u"DBEdit1"_s, Qt::white, Qt::black);
    DBEdit1->setCharCase(DBEdit::CharCase::Upper);
    DBEdit1->setMinimumWidth(150);

    const QString codeHint = u"Código do Paciente para o Ecocardiógrafo"_s;
    LabelCod = caption(box, u"LabelCod"_s, u"Cód."_s);
    setHint(LabelCod, codeHint);
    DBEdit2 = edit(box, u"DBEdit2"_s, Qt::black, Qt::white);
    DBEdit2->setDataReadOnly(true);
    DBEdit2->setReadOnly(true);
    DBEdit2->setFocusPolicy(Qt::ClickFocus);
    DBEdit2->setFixedWidth(60);
    setHint(DBEdit2, codeHint);

    LabelDtNasc = caption(box, u"LabelDtNasc"_s, u"Dt. Nasc."_s);
    DBEdit3 = edit(box, u"DBEdit3"_s, Qt::white, Qt::black);
    DBEdit3->setFixedWidth(80);

    LabelIdade = caption(box, u"LabelIdade"_s, u"Idade"_s);
    DBEdit4 = edit(box, u"DBEdit4"_s, Qt::white, Qt::black);
    DBEdit4->setFocusPolicy(Qt::ClickFocus); // filled when an exam is created
    DBEdit4->setFixedWidth(40);

    LabelPeso = caption(box, u"LabelPeso"_s, u"Peso"_s);
    DBEdit5 = edit(box, u"DBEdit5"_s, Qt::white, Qt::black);
    DBEdit5->setFixedWidth(45);
    LabelKg = unit(box, u"LabelKg"_s, u"Kg."_s);

    LabelAltura = caption(box, u"LabelAltura"_s, u"Altura"_s);
    DBEdit6 = edit(box, u"DBEdit6"_s, Qt::white, Qt::black);
    DBEdit6->setFixedWidth(45);
    LabelCm = unit(box, u"LabelCm"_s, u"Cm."_s);

    LabelSistSaude = caption(box, u"LabelSistSaude"_s, u"Sist. Saúde"_s);
    DBLookupComboBox3 = make<DBLookupComboBox>(box, u"DBLookupComboBox3"_s);
    DBLookupComboBox3->setMaxVisibleItems(20);
    DBLookupComboBox3->setMinimumWidth(100);

    // One row of captions above one row of fields; the unit texts sit right of their edits.
    auto *grid = new QGridLayout(box);
    grid->setContentsMargins(6, 2, 6, 4);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(1);
    const QList<QPair<QLabel *, QWidget *>> columns {
        { LabelNome, DBEdit1 },
        { LabelCod, DBEdit2 },
        { LabelDtNasc, DBEdit3 },
        { LabelIdade, DBEdit4 },
        { LabelPeso, DBEdit5 },
        { LabelAltura, DBEdit6 },
        { LabelSistSaude, DBLookupComboBox3 },
    };
    int column = 0;
    for (const auto &[label, control] : columns) {
        grid->addWidget(label, 0, column);
        if (control == DBEdit5 || control == DBEdit6) {
            auto *withUnit = new QHBoxLayout;
            withUnit->setSpacing(2);
            withUnit->addWidget(control);
            withUnit->addWidget(control == DBEdit5 ? LabelKg : LabelCm, 0, Qt::AlignBottom);
            grid->addLayout(withUnit, 1, column);
        } else {
            grid->addWidget(control, 1, column);
        }
        ++column;
    }
    grid->setColumnStretch(0, 1);
}

void PatientHeader::createClinicalBox()
{
    GroupBox2 = make<QGroupBox>(this, u"GroupBox2"_s);
    GroupBox2->setTitle(u"Informação Clínica"_s);
    QWidget *box = GroupBox2;

    LabelDtExame = caption(box, u"LabelDtExame"_s, u"Dt. Exame:"_s);
    DBEdit8 = edit(box, u"DBEdit8"_s, kLightYellow, Qt::black);
    DBEdit8->setFixedWidth(90);

    DBComboBox1 = make<DBComboBox>(box, u"DBComboBox1"_s);
    DBComboBox1->addItems({ u"Modo M e Bidimensional"_s, u"Modo M e Bidimensional com Doppler"_s,
                            u"Modo M e Bid. / Doppler: Pulsado, Contínuo, Côr"_s,
                            u"Doppler : Pulsado + Contínuo + Côr"_s });
    DBComboBox1->setMaxVisibleItems(3);
    // The longest type would otherwise set the width of the whole left block.
    DBComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    DBComboBox1->setMinimumContentsLength(16);
    setColours(DBComboBox1, kLightYellow, Qt::black);
    LabelTipo = caption(box, u"LabelTipo"_s, u"<Tipo"_s);

    LabelPedido = caption(box, u"LabelPedido"_s, u"Pedido:"_s);
    DBEdit7 = edit(box, u"DBEdit7"_s, kLightYellow, Qt::black);
    DBEdit7->setCharCase(DBEdit::CharCase::Upper);

    LabelMedico = caption(box, u"LabelMedico"_s, u"Médico:"_s);
    DBLookupComboBox1 = make<DBLookupComboBox>(box, u"DBLookupComboBox1"_s);
    DBLookupComboBox1->setMaxVisibleItems(7);
    Label71 = clearMark(box, u"Label71"_s, kTagClearDoctor, u"limpar médico"_s);

    LabelTecnico = caption(box, u"LabelTecnico"_s, u"Técnico:"_s);
    DBLookupComboBox4 = make<DBLookupComboBox>(box, u"DBLookupComboBox4"_s);
    DBLookupComboBox4->setMaxVisibleItems(7);
    Label72 = clearMark(box, u"Label72"_s, kTagClearTechnician, u"limpar técnico"_s);
    for (DBLookupComboBox *lookup : { DBLookupComboBox1, DBLookupComboBox4 }) {
        QPalette palette = lookup->palette();
        palette.setColor(QPalette::Base, kLookupYellow);
        palette.setColor(QPalette::Button, kLookupYellow);
        lookup->setPalette(palette);
    }

    // The strip with its "(grelha)" link laid over the right end, the navigator below it.
    PanelExames = make<QFrame>(box, u"PanelExames"_s);
    PanelExames->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Label63 = caption(PanelExames, u"Label63"_s, u"exames do paciente seleccionado"_s);
    Label63->setAlignment(Qt::AlignCenter);
    setBackground(Label63, kSilver);
    setTextColour(Label63, Qt::black);
    QFont bold = Label63->font();
    bold.setBold(true);
    Label63->setFont(bold);
    Label63->setCursor(Qt::PointingHandCursor);
    Label70 = caption(Label63, u"Label70"_s, u"(grelha)"_s);
    setTextColour(Label70, kLightYellow);
    Label70->setCursor(Qt::PointingHandCursor);
    auto *strip = new QHBoxLayout(Label63);
    strip->setContentsMargins(0, 0, 4, 0);
    strip->addStretch(1);
    strip->addWidget(Label70);

    DBNavigator2 = make<DBNavigator>(PanelExames, u"DBNavigator2"_s);
    DBNavigator2->setFlat(true);
    DBNavigator2->setFocusPolicy(Qt::NoFocus);
    DBNavigator2->setVisibleButtons({ DBNavigator::Prior, DBNavigator::Next, DBNavigator::Insert,
                                      DBNavigator::Delete, DBNavigator::Edit, DBNavigator::Post,
                                      DBNavigator::Cancel });
    DBNavigator2->setHints({ u"Primeiro Exame"_s, u"Exame Anterior"_s, u"Próximo Exame"_s,
                             u"Último Exame"_s, u"Novo Exame"_s, u"Apagar Exame"_s,
                             u"Editar Exame"_s, u"Gravar Exame"_s, u"Cancelar Exame"_s,
                             u"Actualizar Exame"_s });
    auto *panel = new QVBoxLayout(PanelExames);
    panel->setContentsMargins(2, 2, 2, 2);
    panel->setSpacing(1);
    panel->addWidget(Label63);
    panel->addWidget(DBNavigator2);

    LabelQualidade = caption(box, u"LabelQualidade"_s, u"Qualidade Técnica do Exame:"_s);
    DBComboBox2 = make<DBComboBox>(box, u"DBComboBox2"_s);
    DBComboBox2->addItems({ u"Boa"_s, u"Regular"_s, u"Má"_s });
    DBComboBox2->setMaxVisibleItems(3);
    setColours(DBComboBox2, kLightYellow, Qt::black);

    LabelInfoClinica = caption(box, u"LabelInfoClinica"_s, u"Informação Clínica :"_s);
    DBEdit45 = edit(box, u"DBEdit45"_s, kLightYellow, Qt::black);

    // Left block: a caption left of each control, the clear marks and "<Tipo" to the right.
    auto *left = new QGridLayout;
    left->setHorizontalSpacing(4);
    left->setVerticalSpacing(2);
    left->addWidget(LabelDtExame, 0, 0);
    left->addWidget(DBEdit8, 0, 1, Qt::AlignLeft);
    left->addWidget(DBComboBox1, 1, 1);
    left->addWidget(LabelTipo, 1, 2);
    left->addWidget(LabelPedido, 2, 0);
    left->addWidget(DBEdit7, 2, 1);
    left->addWidget(LabelMedico, 3, 0);
    left->addWidget(DBLookupComboBox1, 3, 1);
    left->addWidget(Label71, 3, 2, Qt::AlignLeft);
    left->addWidget(LabelTecnico, 4, 0);
    left->addWidget(DBLookupComboBox4, 4, 1);
    left->addWidget(Label72, 4, 2, Qt::AlignLeft);
    left->setColumnStretch(1, 1);

    auto *right = new QGridLayout;
    right->setHorizontalSpacing(4);
    right->setVerticalSpacing(2);
    right->addWidget(PanelExames, 0, 0, 1, 2);
    right->addWidget(LabelQualidade, 1, 0);
    right->addWidget(DBComboBox2, 1, 1);
    right->addWidget(LabelInfoClinica, 2, 0);
    right->addWidget(DBEdit45, 2, 1);
    right->setColumnStretch(1, 1);
    right->setRowStretch(3, 1);

    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(6, 2, 6, 4);
    row->setSpacing(12);
    row->addLayout(left, 1);
    row->addLayout(right, 1);
}

void PatientHeader::arrangeTabOrder()
{
    const QList<QWidget *> order {
        DBEdit1,     DBEdit3, DBLookupComboBox3, DBEdit5,           DBEdit6,     DBEdit8,
        DBComboBox1, DBEdit7, DBLookupComboBox1, DBLookupComboBox4, DBComboBox2, DBEdit45
    };
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
}

void PatientHeader::bind(TDataModule1 &dm)
{
    const auto bindEdit = [](DBEdit *control, DataSource *source, const QString &field) {
        control->setDataSource(source);
        control->setDataField(field);
    };
    bindEdit(DBEdit1, dm.DataSourcePac, u"NOME"_s);
    bindEdit(DBEdit2, dm.DataSourcePac, u"NF"_s);
    bindEdit(DBEdit3, dm.DataSourcePac, u"DNASC"_s);
    bindEdit(DBEdit4, dm.DataSourceEco, u"Idade"_s);
    bindEdit(DBEdit5, dm.DataSourceEco, u"Peso"_s);
    bindEdit(DBEdit6, dm.DataSourceEco, u"Altura"_s);
    bindEdit(DBEdit8, dm.DataSourceEco, u"DataExame"_s);
    bindEdit(DBEdit7, dm.DataSourceEco, u"Medico"_s);
    bindEdit(DBEdit45, dm.DataSourceEco, u"InfoCl"_s);

    DBComboBox1->setDataSource(dm.DataSourceEco);
    DBComboBox1->setDataField(u"ModoD"_s);
    DBComboBox2->setDataSource(dm.DataSourceEco);
    DBComboBox2->setDataField(u"Qte"_s);

    const auto bindLookup = [](DBLookupComboBox *control, DataSource *source, const QString &field,
                               DataSource *list, const QString &listField) {
        control->setDataSource(source);
        control->setDataField(field);
        control->setListSource(list);
        control->setKeyField(u"CODIGO"_s);
        control->setListField(listField);
    };
    bindLookup(DBLookupComboBox3, dm.DataSourcePac, u"BENIF"_s, dm.DataSourceSS, u"SIGLA"_s);
    bindLookup(DBLookupComboBox1, dm.DataSourceEco, u"Executor"_s, dm.DataSourceMed, u"NOME"_s);
    bindLookup(DBLookupComboBox4, dm.DataSourceEco, u"tecnico"_s, dm.DataSourceMed1, u"NOME"_s);

    DBNavigator2->setDataSource(dm.DataSourceEco);
}

void PatientHeader::DBEdit1Enter(QObject *Sender)
{
    auto *control = qobject_cast<QWidget *>(Sender);
    if (qobject_cast<DBEdit *>(Sender) || qobject_cast<DBComboBox *>(Sender))
        setColours(control, Qt::white, kNavy);
    else if (qobject_cast<DBCheckBox *>(Sender))
        setTextColour(control, kMaroon);
}

void PatientHeader::DBEdit1Exit(QObject *Sender)
{
    auto *control = qobject_cast<QWidget *>(Sender);
    if (qobject_cast<DBEdit *>(Sender) || qobject_cast<DBComboBox *>(Sender))
        setColours(control, kLightYellow, Qt::black);
    else if (qobject_cast<DBCheckBox *>(Sender))
        setTextColour(control, Qt::black);
}

void PatientHeader::attachFocusHighlight(QWidget *control)
{
    const auto enter = [control] { guard([control] { DBEdit1Enter(control); }); };
    const auto exit = [control] { guard([control] { DBEdit1Exit(control); }); };
    if (auto *edit = qobject_cast<DBEdit *>(control)) {
        connect(edit, &DBEdit::entered, edit, enter);
        connect(edit, &DBEdit::exited, edit, exit);
    } else if (auto *combo = qobject_cast<DBComboBox *>(control)) {
        connect(combo, &DBComboBox::entered, combo, enter);
        connect(combo, &DBComboBox::exited, combo, exit);
    } else if (auto *check = qobject_cast<DBCheckBox *>(control)) {
        connect(check, &DBCheckBox::entered, check, enter);
        connect(check, &DBCheckBox::exited, check, exit);
    } else if (auto *editor = qobject_cast<DBRichEdit *>(control)) {
        connect(editor, &DBRichEdit::entered, editor, enter);
        connect(editor, &DBRichEdit::exited, editor, exit);
    }
}

void PatientHeader::DBNavigator1Click(DBNavigator::Button Button)
{
    if (Button == DBNavigator::Insert)
        DBEdit1->setFocus(Qt::OtherFocusReason);
}

void PatientHeader::NovoExame1Click()
{
    DBNavigator2->btnClick(DBNavigator::Insert);
}

void PatientHeader::Label71Click(QObject *Sender)
{
    if (!DataModule1)
        return;
    TDataModule1 &dm = *DataModule1;
    if (!dm.TableEco->isEditing()) {
        Dialogs::instance().message(onlyWhileEditing());
        return;
    }
    switch (Sender->property("tag").toInt()) {
    case kTagClearDoctor:
        dm.TableEcoExecutor->clear();
        break;
    case kTagClearTechnician:
        dm.TableEcotecnico->clear();
        break;
    default:
        break;
    }
}

void PatientHeader::Label70Click()
{
    if (onLabel70Click)
        onLabel70Click();
}

bool PatientHeader::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == Label71 || watched == Label72) {
            guard([this, watched] { Label71Click(watched); });
            return true;
        }
        if (watched == Label63 || watched == Label70) {
            guard([this] { Label70Click(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
