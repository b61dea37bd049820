#include "workspace/WallMotionPage.h"

#include "data/DM.h"
#include "platform/engine/Dataset.h"
#include "platform/engine/Field.h"
#include "platform/engine/Guard.h"
#include "platform/widgets/DBEdit.h"
#include "platform/widgets/DBNavigator.h"
#include "platform/widgets/Dialogs.h"
#include "platform/widgets/NumberFormat.h"
#include "workspace/SegmentViews.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace {
const QColor kBoxBackground(0x00, 0x40, 0x80);
const QColor kFocusedBackground(0xFF, 0xFF, 0xBD);
const QColor kNavy(0x00, 0x00, 0x80);
const QColor kSilver(0xC0, 0xC0, 0xC0);

constexpr int kSegments = 16;
constexpr int kHighestScore = 5;
// What a score the range rule refuses becomes.
constexpr int kNormalScore = 1;

// The drawings' top-left corners on the page, in view order.
const QPoint kImageOrigins[] = { { 11, 2 }, { 11, 210 }, { 428, 4 }, { 428, 211 } };

// One score box in tab order: its name, column and place on the page, beside its segment's label.
struct Box
{
    const char *name;
    int segment;
    QPoint at;
};
const Box kBoxes[] = {
    { "DBEdit23", 11, { 37, 32 } },   { "DBEdit24", 13, { 181, 43 } },
    { "DBEdit27", 8, { 192, 105 } },  { "DBEdit28", 3, { 189, 149 } },
    { "DBEdit26", 5, { 85, 179 } },   { "DBEdit25", 10, { 16, 99 } },
    { "DBEdit29", 14, { 45, 247 } },  { "DBEdit32", 12, { 164, 249 } },
    { "DBEdit33", 7, { 180, 303 } },  { "DBEdit34", 2, { 176, 361 } },
    { "DBEdit31", 4, { 35, 355 } },   { "DBEdit30", 9, { 27, 302 } },
    { "DBEdit35", 6, { 450, 32 } },   { "DBEdit38", 1, { 580, 46 } },
    { "DBEdit37", 16, { 576, 160 } }, { "DBEdit36", 15, { 464, 178 } },
    { "DBEdit43", 6, { 535, 240 } },  { "DBEdit42", 7, { 599, 299 } },
    { "DBEdit41", 8, { 594, 382 } },  { "DBEdit40", 9, { 540, 382 } },
    { "DBEdit39", 10, { 436, 294 } },
};
const QSize kBoxSize(17, 21);

const char *const kLegend[] = { "0 = hiperquinético", "1 = normal",       "2 = hipoquinético",
                                "3 = acinético",      "4 = disquinético", "5 = aneurismático" };

// One view drawing, scaled to the widget.
class ViewImage : public QWidget
{
public:
    ViewImage(SegmentView view, QWidget *parent)
        : QWidget(parent)
        , m_view(view)
    { }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        SegmentViews::paint(painter, m_view, QRectF(rect()));
    }

private:
    SegmentView m_view;
};

void setColours(QWidget *widget, const QColor &background, const QColor &text)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::WindowText, text);
    widget->setPalette(palette);
}

QLabel *caption(QWidget *parent, const QString &name, const QString &text, QPoint at)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->move(at);
    label->adjustSize();
    return label;
}

QLabel *heading(QWidget *parent, const QString &name, const QString &text, QPoint at)
{
    QLabel *label = caption(parent, name, text, at);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    label->adjustSize();
    return label;
}

QFrame *bevel(QWidget *parent, const QString &name, const QRect &area)
{
    auto *frame = new QFrame(parent);
    frame->setObjectName(name);
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    frame->setGeometry(area);
    return frame;
}

// The index: the mean of the sixteen scores of the box's row, a null counting 0.
QString scoreIndex(const Dataset &row)
{
    qint64 sum = 0;
    for (int segment = 1; segment <= kSegments; ++segment) {
        const Field *score = row.findField(u"C%1"_s.arg(segment));
        if (score && !score->isNull())
            sum += score->asInteger();
    }
    return formatFloat(u"###.#"_s, double(sum) / kSegments);
}
} // namespace

WallMotionPage::WallMotionPage(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(u"WallMotionPage"_s);
    setMinimumSize(630, 415);

    QWidget **const images[] = { &Image1, &Image2, &Image3, &Image4 };
    QFrame **const frames[] = { &Frame1, &Frame2, &Frame3, &Frame4 };
    for (int i = 0; i < 4; ++i) {
        const QString number = QString::number(i + 1);
        // The outline first, so the drawing lies over its white inside.
        auto *frame = new QFrame(this);
        frame->setObjectName(u"Frame"_s + number);
        frame->setFrameStyle(QFrame::Box | QFrame::Plain);
        frame->setLineWidth(1);
        frame->setAutoFillBackground(true);
        setColours(frame, Qt::white, Qt::black);
        frame->setGeometry(QRect(kImageOrigins[i] - QPoint(1, 1), QSize(202, 202)));
        *frames[i] = frame;
        auto *image = new ViewImage(SegmentView(i), this);
        image->setObjectName(u"Image"_s + number);
        image->setGeometry(
            QRect(kImageOrigins[i], QSize(SegmentViews::kSize, SegmentViews::kSize)));
        *images[i] = image;
    }

    Bevel1 = bevel(this, u"Bevel1"_s, QRect(232, 8, 176, 113));
    LabelExame = heading(this, u"LabelExame"_s, u"Exame"_s, { 296, 16 });
    LabelData = caption(this, u"LabelData"_s, u"Data: "_s, { 264, 60 });
    DBEdit44 = new DBEdit(this);
    DBEdit44->setObjectName(u"DBEdit44"_s);
    DBEdit44->setGeometry(304, 62, 65, 19);
    DBEdit44->setFrame(false);
    DBEdit44->setDataReadOnly(true);
    DBEdit44->setFocusPolicy(Qt::ClickFocus);
    DBEdit44->setAutoFillBackground(true);
    setColours(DBEdit44, kSilver, Qt::black);

    Bevel2 = bevel(this, u"Bevel2"_s, QRect(232, 136, 176, 145));
    LabelScores = heading(this, u"LabelScores"_s, u"Scores"_s, { 296, 144 });
    for (int i = 0; i < 6; ++i) {
        const QPoint at(i == 5 ? 265 : 264, 176 + 16 * i);
        LegendLabels << caption(this, u"LabelScore%1"_s.arg(i), QString::fromUtf8(kLegend[i]), at);
    }

    Bevel3 = bevel(this, u"Bevel3"_s, QRect(232, 296, 176, 81));
    LabelTotalScore = heading(this, u"LabelTotalScore"_s, u"Total Score"_s, { 285, 304 });
    Label46 = new QLabel(u"0.0"_s, this);
    Label46->setObjectName(u"Label46"_s);
    Label46->setGeometry(280, 335, 81, 24);
    Label46->setAlignment(Qt::AlignCenter);
    setColours(Label46, palette().color(QPalette::Window), kNavy);
    QFont indexFont = Label46->font();
    indexFont.setPixelSize(19);
    Label46->setFont(indexFont);

    DBNavigator3 = new DBNavigator(this);
    DBNavigator3->setObjectName(u"DBNavigator3"_s);
    DBNavigator3->setVisibleButtons(
        { DBNavigator::First, DBNavigator::Prior, DBNavigator::Next, DBNavigator::Last });
    DBNavigator3->setHints(
        { u"Primeiro Exame"_s, u"Exame Anterior"_s, u"Próximo Exame"_s, u"Último Exame"_s });
    DBNavigator3->setFlat(true);
    DBNavigator3->setGeometry(232, 390, 176, 22);

    DBEdit **const named[]
        = { &DBEdit23, &DBEdit24, &DBEdit25, &DBEdit26, &DBEdit27, &DBEdit28, &DBEdit29,
            &DBEdit30, &DBEdit31, &DBEdit32, &DBEdit33, &DBEdit34, &DBEdit35, &DBEdit36,
            &DBEdit37, &DBEdit38, &DBEdit39, &DBEdit40, &DBEdit41, &DBEdit42, &DBEdit43 };
    QFont boxFont = font();
    boxFont.setPixelSize(11);
    boxFont.setBold(true);
    for (const Box &place : kBoxes) {
        auto *box = new DBEdit(this);
        const QString name = QString::fromLatin1(place.name);
        box->setObjectName(name);
        box->setFrame(false);
        box->setMaxLength(1);
        box->setAlignment(Qt::AlignCenter);
        box->setFont(boxFont);
        box->setTextMargins(0, 0, 0, 0);
        box->setAutoFillBackground(true);
        setColours(box, kBoxBackground, Qt::white);
        box->setProperty("segment", place.segment);
        box->setGeometry(QRect(place.at, kBoxSize));
        *named[name.mid(6).toInt() - 23] = box;
        m_boxes << box;

        connect(box, &DBEdit::changed, this, [this, box] { guard([&] { DBEdit23Change(box); }); });
        connect(box, &DBEdit::entered, box, [box] { guard([&] { DBEdit23Enter(box); }); });
        connect(box, &DBEdit::exited, box, [box] { guard([&] { DBEdit23Exit(box); }); });
    }
    for (int i = 1; i < m_boxes.size(); ++i)
        QWidget::setTabOrder(m_boxes.at(i - 1), m_boxes.at(i));
    // The drawings and boxes overlap their frames: keep the boxes on top.
    for (DBEdit *box : m_boxes)
        box->raise();

    TDataModule1::bindWhenLoaded(this, [this](TDataModule1 &dm) { bind(dm); });
}

WallMotionPage::~WallMotionPage() = default;

void WallMotionPage::bind(TDataModule1 &dm)
{
    DBEdit44->setDataSource(dm.DataSourceEco);
    DBEdit44->setDataField(u"DataExame"_s);
    DBNavigator3->setDataSource(dm.DataSourceEco);
    for (DBEdit *box : m_boxes) {
        box->setDataSource(dm.DataSourceIMG);
        box->setDataField(u"C%1"_s.arg(box->property("segment").toInt()));
    }
}

void WallMotionPage::DBEdit23Change(QObject *Sender)
{
    auto *box = qobject_cast<DBEdit *>(Sender);
    Field *score = box ? box->field() : nullptr;
    if (!score)
        return;
    Dataset *row = score->dataset();
    // Only a row being edited takes the correction; a row merely shown keeps what it holds.
    if (row->isEditing() && !score->isNull() && score->asInteger() > kHighestScore) {
        Dialogs::instance().beep();
        score->setAsInteger(kNormalScore);
    }
    Label46->setText(scoreIndex(*row));
}

void WallMotionPage::DBEdit23Enter(QObject *Sender)
{
    if (auto *box = qobject_cast<QWidget *>(Sender))
        setColours(box, kFocusedBackground, kNavy);
}

void WallMotionPage::DBEdit23Exit(QObject *Sender)
{
    if (auto *box = qobject_cast<QWidget *>(Sender))
        setColours(box, kBoxBackground, Qt::white);
}
