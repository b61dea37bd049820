#include "workspace/MeasurementsPage.h"

#include "data/DM.h"
#include "platform/widgets/DBEdit.h"
#include "workspace/PatientHeader.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace {
const QColor kLightYellow(0xFF, 0xFF, 0xBD);
const QColor kOlive(0x80, 0x80, 0x00);

// The thin line that joins a group caption to the rows it spans, open towards the rows.
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
        const int top = 4;
        const int bottom = height() - 5;
        painter.drawLine(2, top, 2, bottom);
        painter.drawLine(2, top, width() - 1, top);
        painter.drawLine(2, bottom, width() - 1, bottom);
    }
};

// One measurement row: where its captions go and what the normal column says.
struct Row
{
    QString group; // empty: no group caption
    int groupSpan;
    QString subGroup;
    int subGroupSpan;
    QString caption;
    QString field;
    QString control;
    QString normal;
};

// Left column then right column, each top to bottom.
const Row kRows[] = {
    { u"Ventrículo Direito (VD)"_s,
      1,
      {},
      0,
      u"Diástole"_s,
      u"Vd"_s,
      u"DBEdit9"_s,
      u"22 - 30 mm"_s },
    { u"Ventrículo Esquerdo (VE)"_s,
      2,
      {},
      0,
      u"Diástole"_s,
      u"Ved"_s,
      u"DBEdit10"_s,
      u"35 - 56 mm"_s },
    { {}, 0, {}, 0, u"Sístole"_s, u"Ves"_s, u"DBEdit11"_s, u"23 - 34 mm"_s },
    { {}, 0, {}, 0, u"Fracção de Encurtamento"_s, u"Fenc"_s, u"DBEdit12"_s, u"30 - 45 %"_s },
    { {}, 0, {}, 0, u"Fracção de Ejecção (FE)"_s, u"Fe"_s, u"DBEdit13"_s, u"> 55 %"_s },
    { {},
      0,
      {},
      0,
      u"Espessura da Parede Posterior (PP)"_s,
      u"Pp"_s,
      u"DBEdit14"_s,
      u"6.6 - 11"_s },
    { {}, 0, {}, 0, u"Septo Interv. (SIV)"_s, u"Siv"_s, u"DBEdit15"_s, u"6 - 10"_s },
    { {}, 0, {}, 0, u"Auricula Esquerda (AE)"_s, u"Ae"_s, u"DBEdit22"_s, u"19 - 40 mm"_s },

    { u"Aorta (AO)"_s, 1, {}, 0, u"Diâmetro"_s, u"Ao"_s, u"DBEdit16"_s, u"20 - 37 mm"_s },
    { u"Grad. VE/AO"_s, 2, {}, 0, u"máx."_s, u"Gradveaomax"_s, u"DBEdit17"_s, u"mmHg"_s },
    { {}, 0, {}, 0, u"médio"_s, u"Gradveaomin"_s, u"DBEdit18"_s, u"mmHg"_s },
    { u"Válvula Mitral"_s, 3, {}, 0, u"Área"_s, u"Areavm"_s, u"DBEdit19"_s, u"cm 2"_s },
    { {}, 0, u"Grad."_s, 2, u"máx."_s, u"VMGradMx"_s, u"DBEdit46"_s, u"mmHg"_s },
    { {}, 0, {}, 0, u"médio"_s, u"VMGradMd"_s, u"DBEdit47"_s, u"mmHg"_s },
    { u"Válvula Pulmonar"_s, 2, {}, 0, u"Tac"_s, u"Vptac"_s, u"DBEdit20"_s, u"> 100 ms"_s },
    { {}, 0, {}, 0, u"Tac/TEVD"_s, u"Vptactevd"_s, u"DBEdit21"_s, u"> 0.45 "_s },
};
constexpr int kRowsPerColumn = 8;

// Grid columns of one side.
enum Column {
    GroupCol,
    GroupBracketCol,
    SubGroupCol,
    SubBracketCol,
    CaptionCol,
    EditCol,
    NormalCol
};

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

QLabel *label(QWidget *parent, const QString &name, const QString &text, const QColor &colour)
{
    auto *widget = new QLabel(text, parent);
    widget->setObjectName(name);
    setTextColour(widget, colour);
    return widget;
}
} // namespace

MeasurementsPage::MeasurementsPage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(u"MeasurementsPage"_s);
    auto *columns = new QHBoxLayout(this);
    columns->setContentsMargins(4, 4, 4, 4);
    columns->setSpacing(12);

    QList<DBEdit *> made;
    for (int side = 0; side < 2; ++side) {
        auto *grid = new QGridLayout;
        grid->setHorizontalSpacing(3);
        grid->setVerticalSpacing(4);
        // Made before the texts it boxes, so they are drawn over it.
        auto *box = new QFrame(this);
        box->setObjectName(side == 0 ? u"PanelNormaisEsq"_s : u"PanelNormaisDir"_s);
        box->setFrameStyle(QFrame::Box | QFrame::Plain);
        grid->addWidget(box, 0, NormalCol, kRowsPerColumn + 1, 1);
        QLabel *heading = label(this, side == 0 ? u"LabelNormaisEsq"_s : u"LabelNormaisDir"_s,
                                u"Valores Normais"_s, kOlive);
        heading->setContentsMargins(3, 2, 3, 2);
        grid->addWidget(heading, 0, NormalCol);
        (side == 0 ? PanelNormaisEsq : PanelNormaisDir) = box;
        (side == 0 ? LabelNormaisEsq : LabelNormaisDir) = heading;

        int groupLeft = 0; // rows still under the last group caption
        for (int i = 0; i < kRowsPerColumn; ++i) {
            const int index = side * kRowsPerColumn + i;
            const Row &row = kRows[index];
            const int line = i + 1;
            const QString suffix = QString::number(index + 1);
            if (!row.group.isEmpty()) {
                groupLeft = row.groupSpan;
                QLabel *group = label(this, u"LabelGrupo"_s + suffix, row.group, Qt::black);
                group->setWordWrap(true);
                grid->addWidget(group, line, GroupCol, row.groupSpan, 1);
                if (row.groupSpan > 1)
                    grid->addWidget(new Bracket(this), line, GroupBracketCol, row.groupSpan, 1);
            }
            if (!row.subGroup.isEmpty()) {
                grid->addWidget(label(this, u"LabelSubGrupo"_s + suffix, row.subGroup, Qt::black),
                                line, SubGroupCol, row.subGroupSpan, 1);
                grid->addWidget(new Bracket(this), line, SubBracketCol, row.subGroupSpan, 1);
            }
            const bool grouped = groupLeft-- > 0;
            QLabel *caption = label(this, u"Label"_s + row.field, row.caption, Qt::black);
            if (grouped) {
                grid->addWidget(caption, line, CaptionCol);
            } else {
                // An ungrouped caption takes the group's place too; long ones wrap rather than
                // widen the page past the main window.
                caption->setWordWrap(true);
                grid->addWidget(caption, line, GroupCol, 1, CaptionCol - GroupCol + 1);
            }

            auto *edit = new DBEdit(this);
            edit->setObjectName(row.control);
            edit->setFrame(false);
            QPalette palette = edit->palette();
            palette.setColor(QPalette::Base, kLightYellow);
            palette.setColor(QPalette::Text, Qt::black);
            edit->setPalette(palette);
            edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(u"00000"_s) + 6);
            grid->addWidget(edit, line, EditCol);
            made << edit;

            QLabel *normal = label(this, u"LabelNormal"_s + row.field, row.normal, kOlive);
            normal->setContentsMargins(3, 0, 3, 0);
            grid->addWidget(normal, line, NormalCol);
        }
        grid->setRowStretch(kRowsPerColumn + 1, 1);
        grid->setColumnStretch(GroupCol, 1);
        // The left side has the longer captions; it takes the spare width first.
        columns->addLayout(grid, side == 0 ? 1 : 0);
    }

    DBEdit **const slots[] = { &DBEdit9,  &DBEdit10, &DBEdit11, &DBEdit12, &DBEdit13, &DBEdit14,
                               &DBEdit15, &DBEdit22, &DBEdit16, &DBEdit17, &DBEdit18, &DBEdit19,
                               &DBEdit46, &DBEdit47, &DBEdit20, &DBEdit21 };
    for (int i = 0; i < made.size(); ++i)
        *slots[i] = made.at(i);
    for (int i = 1; i < made.size(); ++i)
        QWidget::setTabOrder(made.at(i - 1), made.at(i));
    for (DBEdit *edit : made)
        PatientHeader::attachFocusHighlight(edit);

    TDataModule1::bindWhenLoaded(this, [this](TDataModule1 &dm) { bind(dm); });
}

MeasurementsPage::~MeasurementsPage() = default;

QList<DBEdit *> MeasurementsPage::edits() const
{
    return { DBEdit9,  DBEdit10, DBEdit11, DBEdit12, DBEdit13, DBEdit14, DBEdit15, DBEdit22,
             DBEdit16, DBEdit17, DBEdit18, DBEdit19, DBEdit46, DBEdit47, DBEdit20, DBEdit21 };
}

void MeasurementsPage::bind(TDataModule1 &dm)
{
    const QList<DBEdit *> all = edits();
    for (int i = 0; i < all.size(); ++i) {
        all.at(i)->setDataSource(dm.DataSourceEco);
        all.at(i)->setDataField(kRows[i].field);
    }
}
