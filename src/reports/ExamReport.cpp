#include "reports/ExamReport.h"

#include "data/DM.h"
#include "platform/engine/Table.h"
#include "platform/report/BandedReport.h"
#include "platform/report/ReportBand.h"
#include "platform/report/ReportDataField.h"
#include "platform/report/ReportFonts.h"
#include "platform/report/ReportLabel.h"
#include "platform/report/ReportPicture.h"
#include "platform/report/ReportRichText.h"
#include "platform/report/ReportShape.h"
#include "platform/report/ReportSystemData.h"
#include "platform/report/ReportUnits.h"
#include "reports/DocumentInfo.h"
#include "reports/ExamReportRules.h"

#include <QFontMetricsF>
#include <QPainter>

using namespace Qt::StringLiterals;

namespace {
const QColor kGrey(223, 223, 223);
const QColor kGreyBorder(234, 234, 234);
// Items with no width of their own take the width of their text.
constexpr qreal kAuto = 0;
constexpr qreal kLine = 4.5;

QFont arial(qreal points, bool bold = false, bool italic = false)
{
    QFont font(u"Arial"_s);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

QFont smallFonts(qreal points, bool bold = false)
{
    QFont font(u"Small Fonts"_s);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

ReportLabel *label(ReportBand *band, const QString &name, const QString &caption, qreal left,
                   qreal top, const QFont &font, qreal width = kAuto, qreal height = kLine)
{
    ReportLabel *item = band->addLabel(caption, QRectF(left, top, width, height), name);
    item->setFont(font);
    item->setAutoSize(width == kAuto);
    return item;
}

// A caption whose right edge stays at right.
ReportLabel *rightLabel(ReportBand *band, const QString &name, const QString &caption, qreal right,
                        qreal top, const QFont &font)
{
    constexpr qreal kRoom = 40;
    ReportLabel *item = label(band, name, caption, right - kRoom, top, font, kRoom);
    item->setAlignment(ReportItem::Alignment::Right);
    item->setAutoSize(true);
    return item;
}

ReportDataField *field(ReportBand *band, const QString &name, Dataset *dataset,
                       const QString &fieldName, qreal left, qreal top, const QFont &font,
                       qreal width = kAuto, qreal height = kLine)
{
    ReportDataField *item
        = band->addDataField(dataset, fieldName, QRectF(left, top, width, height), name);
    item->setFont(font);
    item->setAutoSize(width == kAuto);
    return item;
}

void verticalLine(ReportBand *band, qreal x, qreal top, qreal bottom)
{
    band->addShape(ReportShape::Kind::VerticalLine, QRectF(x, top, 0, bottom - top));
}

// One measurement row: caption, value box and normal range or unit.
struct Measurement
{
    qreal top;
    const char *caption;
    const char *field;
    const char *normal;
};

// Where a score prints on the diagram, and on which side of it the segment's name stands: on the
// side of the segment, unless the segment lies beyond the score and the name fits only outside.
enum class NameSide { Left, Right };
struct ScorePlace
{
    int segment;
    SegmentView view;
    qreal left;
    qreal top;
    NameSide side;
};
constexpr SegmentView V1 = SegmentView::FourChamber;
constexpr SegmentView V2 = SegmentView::TwoChamber;
constexpr SegmentView V3 = SegmentView::LongAxis;
constexpr SegmentView V4 = SegmentView::ShortAxis;
constexpr NameSide L = NameSide::Left;
constexpr NameSide R = NameSide::Right;
const ScorePlace kScores[] = {
    { 1, V3, 130.4, 13.8, L }, { 2, V2, 90.5, 31.2, L },   { 3, V1, 46.0, 29.6, L },
    { 4, V2, 60.3, 31.2, R },  { 5, V1, 5.3, 38.9, R },    { 6, V3, 104.2, 13.8, L },
    { 6, V4, 162.2, 9.3, R },  { 7, V2, 91.5, 22.2, L },   { 7, V4, 174.9, 21.7, R },
    { 8, V1, 46.8, 22.5, L },  { 8, V4, 174.4, 33.9, L },  { 9, V2, 59.0, 22.2, R },
    { 9, V4, 157.4, 36.0, L }, { 10, V1, 4.8, 23.8, R },   { 10, V4, 140.0, 21.7, R },
    { 11, V1, 6.9, 10.1, R },  { 12, V2, 88.4, 10.6, L },  { 13, V1, 44.7, 10.6, L },
    { 14, V2, 64.6, 10.6, R }, { 15, V3, 101.3, 35.5, L }, { 16, V3, 115.6, 36.5, R },
};
// A name starts this far right of its score's left edge, or ends this far left of it: clear of
// the one-digit score. Its box is as wide as the name and a little more.
constexpr qreal kNameAfterScore = 2.05;
constexpr qreal kNameBeforeScore = 0.5;
constexpr qreal kNameSpare = 0.3;
constexpr qreal kNameHeight = 2.3; // one line, so that names one above the other do not overlap
constexpr qreal kLeaderGap = 0.3;
const QRectF kDiagram(4.2, 5.8, 180.2, 34.1);

// A segment's name on the diagram, where it prints.
struct SegmentName
{
    SegmentView view;
    int segment;
    QRectF boxMm; // in the band, the name's and its score's together
};

// Each view at its own proportions, as large as the scores around it allow. The right ventricle
// of the four-chamber and short-axis views would stand where the scores of the septum are, so
// those two views show the left ventricle alone.
const ExamReport::DiagramView kViews[] = {
    { V1, QRectF(4.872, 4.858, 199 * 0.195, 199 * 0.195), Surroundings::LeftOut },
    { V2, QRectF(56.805, 5.848, 199 * 0.19, 199 * 0.19), Surroundings::Drawn },
    { V3, QRectF(91.609, 3.732, 199 * 0.21, 199 * 0.21), Surroundings::Drawn },
    { V4, QRectF(135.55, -11.12, 199 * 0.27, 199 * 0.27), Surroundings::LeftOut },
};

void setBand(ReportBand &band, bool &print, const BandPrint &rule)
{
    print = rule.print;
    if (rule.heightMm)
        band.setHeight(*rule.heightMm);
}
} // namespace

ExamReport::ExamReport(TDataModule1 &dm, QObject *parent)
    : QObject(parent)
    , m_dm(dm)
{
    QuickRep1 = new BandedReport(this);
    QuickRep1->setObjectName(u"QuickRep1"_s);
    QuickRep1->setPageSize(QPageSize(QPageSize::A4));
    QuickRep1->setOrientation(QPageLayout::Portrait);
    QuickRep1->setMargins(QMarginsF(10, 30, 10, 10));
    QuickRep1->setFont(arial(10));
    QuickRep1->setDataset(dm.TableIMG);
    QuickRep1->setPageHeaderOnFirstPage(true);
    QuickRep1->setPageFooterOnFirstPage(false);
    QuickRep1->setPrintIfEmpty(false);
    QuickRep1->setCreator(DocumentInfo::creator());
    // Names the run after the patient and the day; it never cancels a run.
    QuickRep1->setBeforePrint([this](BandedReport &report, bool &) {
        report.setTitle(DocumentInfo::examTitle(m_dm.TablePacNOME->asString(),
                                                m_dm.TableEcoDataExame->asDateTime().date()));
    });

    createHeaderAndTitle();
    createMeasurements();
    createFindings();
    createDiagram();
    createSignatures();
}

ExamReport::~ExamReport() = default;

void ExamReport::createHeaderAndTitle()
{
    PageHeaderBand1 = QuickRep1->addBand(ReportBand::Kind::PageHeader, 11.4, u"PageHeaderBand1"_s);
    ReportLabel *heading = label(PageHeaderBand1, u"QRLabel2"_s, DocumentInfo::examHeading(), 0,
                                 2.1, arial(14), kAuto, 6.3);
    heading->setAlignment(ReportItem::Alignment::CenterOnBand);

    // A page that comes loose from the first must still say whose it is.
    PageFooterBand1 = QuickRep1->addBand(ReportBand::Kind::PageFooter, 4.5, u"PageFooterBand1"_s);
    field(PageFooterBand1, u"QRDBTextFooterName"_s, m_dm.TablePac, u"NOME"_s, 2.6, 0.5, arial(8),
          120.0, 3.5);
    ReportSystemData *page
        = PageFooterBand1->addSystemData(ReportSystemData::Data::PageNumber,
                                         QRectF(150.0, 0.5, 39.7, 3.5), u"QRSysDataFooterPage"_s);
    page->setPrefix(u"Pág. "_s);
    page->setAlignment(ReportItem::Alignment::Right);
    page->setFont(arial(8));

    TitleBand1 = QuickRep1->addBand(ReportBand::Kind::Title, 26.7, u"TitleBand1"_s);
    TitleBand1->setFrame(ReportFrame::all());
    ReportBand *t = TitleBand1;
    const QFont caption = arial(9, false, true);
    const QFont value = arial(9, true);
    Table *pac = m_dm.TablePac;
    Table *eco = m_dm.TableEco;
    label(t, u"QRLabel3"_s, u"Nome:"_s, 4.2, 2.1, caption);
    field(t, u"QRDBText1"_s, pac, u"NOME"_s, 16.9, 2.1, value, 84.9);
    // Right-aligned, the kind ends where it always did; its box starts clear of the name's.
    field(t, u"QRDBText5"_s, eco, u"ModoD"_s, 102.3, 2.1, value, 82.1)
        ->setAlignment(ReportItem::Alignment::Right);
    label(t, u"QRLabel6"_s, u"Data de Exame:"_s, 4.2, 8.5, caption);
    field(t, u"QRDBText3"_s, eco, u"DataExame"_s, 29.6, 8.5, value)->setMask(u"dd-mm-yyyy"_s);
    label(t, u"QRLabel9"_s, u"Peso:"_s, 147.4, 8.5, caption);
    field(t, u"QRDBText8"_s, eco, u"Peso"_s, 156.9, 8.5, value);
    // The caption ends clear of the value's box, which keeps its right edge.
    label(t, u"QRLabel10"_s, u"Altura:"_s, 166.4, 8.5, caption);
    field(t, u"QRDBText9"_s, eco, u"Altura"_s, 175.9, 8.5, value, 8.8)
        ->setAlignment(ReportItem::Alignment::Right);
    label(t, u"QRLabel7"_s, u"Médico Assistente:"_s, 4.2, 14.8, caption);
    field(t, u"QRDBText4"_s, eco, u"Medico"_s, 32.8, 14.8, value);
    label(t, u"QRLabel8"_s, u"Idade:"_s, 129.6, 14.8, caption);
    field(t, u"QRDBText7"_s, eco, u"Idade"_s, 140.2, 14.8, value, 6.3)->setStretch(true);
    label(t, u"QRLabel5"_s, u"Data Nasc.:"_s, 147.4, 14.8, caption);
    ReportDataField *born = field(t, u"QRDBText6"_s, pac, u"DNASC"_s, 165.9, 14.8, value, 18.8);
    born->setMask(u"dd-mm-yyyy"_s);
    born->setAlignment(ReportItem::Alignment::Right);
    label(t, u"QRLabel55"_s, u"Informação Clínica:"_s, 4.5, 21.2, caption);
    field(t, u"QRDBText26"_s, eco, u"InfoCl"_s, 34.4, 21.2, value);
    label(t, u"QRLabel60"_s, u"Qualidade Técnica do Exame:"_s, 120.7, 21.2, caption);
    field(t, u"QRDBText47"_s, eco, u"Qte"_s, 167.7, 21.2, value);
}

void ExamReport::createMeasurements()
{
    DetailBand1 = QuickRep1->addBand(ReportBand::Kind::Detail, 67.2, u"DetailBand1"_s);
    ReportBand *d = DetailBand1;
    Table *eco = m_dm.TableEco;

    ReportShape *outline
        = d->addShape(ReportShape::Kind::Rectangle, QRectF(0.0, 1.1, 189.7, 58.5), u"QRShape1"_s);
    outline->setPenColor(Qt::black);
    outline->setColor(Qt::white);
    label(d, u"QRLabel12"_s, u"Modo M e Bidimensional"_s, 27.5, 2.1, arial(8, true));
    label(d, u"QRLabel13"_s, u"Doppler"_s, 137.6, 2.1, arial(8, true));
    for (const QRectF &column :
         { QRectF(72.0, 6.3, 19.3, 51.1), QRectF(163.0, 11.9, 19.3, 41.0) }) {
        ReportShape *grey = d->addShape(ReportShape::Kind::Rectangle, column);
        grey->setPenColor(kGreyBorder);
        grey->setColor(kGrey);
    }

    const Measurement left[] = {
        { 8.5, "Diástole", "Vd", "22 - 30 mm" },
        { 13.8, "Diástole", "Ved", "35 - 56 mm" },
        { 19.1, "Sístole", "Ves", "23 - 34 mm" },
        { 24.3, "Fracção de Encurtamento", "Fenc", "30 - 45 %" },
        { 29.6, "Fracção de Ejecção (FE)", "Fe", "> 55 %" },
        { 34.9, "Espessura da Parede Posterior (PP)", "Pp", "6.6 - 11 mm" },
        { 40.2, "Septo Interv. (SIV)", "Siv", "6 - 10 mm" },
        { 45.5, "Aurícula Esquerda (AE)", "Ae", "19 - 40 mm" },
        { 50.8, "Diâmetro", "Ao", "20 - 37 mm" },
    };
    const Measurement right[] = {
        { 14.0, "máx.", "Gradveaomax", "mmHg" },
        { 19.3, "médio", "Gradveaomin", "mmHg" },
        { 24.6, "Área", "Areavm", "cm2" },
        { 29.9, "máx.", "VMGradMx", "mmHg" },
        { 35.2, "méd.", "VMGradMd", "mmHg" },
        { 40.5, "Tac", "Vptac", "> 100 ms" },
        { 45.8, "Tac / TEVD", "Vptactevd", "> 0.45" },
    };
    struct Block
    {
        const Measurement *rows;
        int count;
        qreal captionsEnd;
        qreal boxLeft;
        qreal normalsLeft;
    };
    const Block blocks[] = { { left, int(std::size(left)), 57.7, 61.6, 72.0 },
                             { right, int(std::size(right)), 148.4, 152.4, 163.0 } };
    for (const Block &block : blocks) {
        for (int i = 0; i < block.count; ++i) {
            const Measurement &m = block.rows[i];
            const QString name = QString::fromLatin1(m.field);
            rightLabel(d, u"QRLabelCaption"_s + name, QString::fromUtf8(m.caption),
                       block.captionsEnd, m.top, arial(10));
            ReportDataField *box
                = field(d, u"QRDBText"_s + name, eco, name, block.boxLeft, m.top, arial(9), 8.7);
            box->setAlignment(ReportItem::Alignment::Center);
            box->setFrame(ReportFrame::all());
            box->setColor(kGrey);
            box->setStretch(true);
            ReportLabel *normal = label(d, u"QRLabelNormal"_s + name, QString::fromUtf8(m.normal),
                                        block.normalsLeft, m.top + 0.5, smallFonts(7), 19.3, 3.5);
            normal->setAlignment(ReportItem::Alignment::Center);
            normal->setColor(kGrey);
        }
    }
    const QFont groups = arial(10);
    label(d, u"QRLabel14"_s, u"Ventrículo Direito (VD)"_s, 4.2, 8.5, groups);
    label(d, u"QRLabel15"_s, u"Ventrículo Esquerdo (VE)"_s, 1.3, 16.9, groups);
    label(d, u"QRLabel16"_s, u"Aorta (AO)"_s, 4.2, 50.8, groups);
    label(d, u"QRLabel17"_s, u"Grad. VE / AO"_s, 97.6, 17.2, groups);
    label(d, u"QRLabel18"_s, u"Válvula Mitral"_s, 97.6, 30.2, groups);
    label(d, u"QRLabel19"_s, u"Grad."_s, 128.9, 32.5, groups);
    label(d, u"QRLabel20"_s, u"Válvula Pulmonar"_s, 97.6, 43.1, groups);
    verticalLine(d, 42.7, 13.8, 23.6);
    verticalLine(d, 127.1, 14.0, 23.8);
    verticalLine(d, 127.1, 24.6, 39.7);
    verticalLine(d, 138.8, 29.9, 39.7);
    verticalLine(d, 127.2, 40.2, 50.5);

    label(d, u"QRLabel46"_s, u"Ordenamento Segmentar :"_s, 2.6, 62.2, arial(9));
    QRLabel47 = label(d, u"QRLabel47"_s, u"Normal ??"_s, 45.2, 62.2, arial(9, true));
    QRLabel47->setOnPrint([this](ReportLabel &, QString &text) {
        text = ExamReportRules::QRLabel47Print(ExamFindings::fromExam(*m_dm.TableEco));
    });
}

void ExamReport::createFindings()
{
    Table *eco = m_dm.TableEco;
    const auto findings = [this] { return ExamFindings::fromExam(*m_dm.TableEco); };

    ChildBand1 = DetailBand1->addChildBand(6.1, u"ChildBand1"_s);
    ReportRichText *ordering = ChildBand1->addRichText(
        eco, u"OrdSeg1"_s, QRectF(2.6, 0.8, 183.6, 4.2), u"QRDBRichText2"_s);
    ordering->setFont(arial(9));
    ordering->setStretch(true);
    ChildBand1->setBeforePrint([findings](ReportBand &band, bool &print) {
        setBand(band, print, ExamReportRules::ChildBand1BeforePrint(findings()));
    });

    ChildBand2 = ChildBand1->addChildBand(6.6, u"ChildBand2"_s);
    label(ChildBand2, u"QRLabel70"_s, u"Diâmetro das Cavidades Cardíacas :"_s, 2.6, 1.9, arial(9));
    QRLabel71 = label(ChildBand2, u"QRLabel71"_s, u"DCC??"_s, 60.9, 1.9, arial(9, true));
    QRLabel71->setOnPrint([findings](ReportLabel &, QString &text) {
        text = ExamReportRules::QRLabel71Print(findings());
    });

    ChildBand3 = ChildBand2->addChildBand(9.5, u"ChildBand3"_s);
    ChildBand3->setBeforePrint([findings](ReportBand &band, bool &print) {
        setBand(band, print, ExamReportRules::ChildBand3BeforePrint(findings()));
    });
    label(ChildBand3, u"QRLabel49"_s, u"Válvulas Cardíacas :"_s, 2.6, 1.9, arial(9));
    QRLabel51 = label(ChildBand3, u"QRLabel51"_s, u"Estrutura??"_s, 37.8, 1.9, arial(9));
    QRLabel51->setOnPrint([findings](ReportLabel &, QString &text) {
        text = ExamReportRules::QRLabel51Print(findings());
    });
    QRLabel11 = label(ChildBand3, u"QRLabel11"_s, u"Normais  ???"_s, 37.8, 1.9, arial(9, true));
    QRLabel11->setTransparent(true);
    QRLabel11->setStretch(true);
    QRLabel11->setOnPrint([findings](ReportLabel &, QString &text) {
        text = ExamReportRules::QRLabel11Print(findings());
    });
    QRLabel52 = label(ChildBand3, u"QRLabel52"_s, u"Motilidade ??"_s, 37.8, 6.1, arial(9));
    QRLabel52->setOnPrint([findings](ReportLabel &, QString &text) {
        text = ExamReportRules::QRLabel52Print(findings());
    });
    ReportRichText *valves = ChildBand3->addRichText(eco, u"Vc1"_s, QRectF(37.8, 10.1, 149.8, 4.5),
                                                     u"QRDBRichText3"_s);
    valves->setFont(arial(11));
    valves->setStretch(true);

    ChildBand4 = ChildBand3->addChildBand(7.4, u"ChildBand4"_s);
    label(ChildBand4, u"QRLabel53"_s, u"Cinética Ventricular :"_s, 2.6, 1.9, arial(9));
    QRLabel54 = label(ChildBand4, u"QRLabel54"_s, u"Cinética Ventricular ???"_s, 36.2, 1.9,
                      arial(9, true));
    QRLabel54->setOnPrint([findings](ReportLabel &, QString &text) {
        text = ExamReportRules::QRLabel54Print(findings());
    });
}

const QList<ExamReport::DiagramView> &ExamReport::diagramViews()
{
    static const QList<DiagramView> views(std::cbegin(kViews), std::cend(kViews));
    return views;
}

void ExamReport::createDiagram()
{
    const auto findings = [this] { return ExamFindings::fromExam(*m_dm.TableEco); };
    ChildBand5 = ChildBand4->addChildBand(50.3, u"ChildBand5"_s);
    ReportBand *b = ChildBand5;
    b->setBeforePrint([findings](ReportBand &band, bool &print) {
        setBand(band, print, ExamReportRules::ChildBand5BeforePrint(findings()));
    });
    label(b, u"QRLabel50"_s, u"Áreas Segmentares Disquinéticas :"_s, 2.6, 1.9, arial(9));
    label(b, u"QRLabel63"_s, u"Anormais"_s, 59.3, 1.9, arial(9, true));
    ReportPicture *diagram = b->addPicture(kDiagram, u"QRImage2"_s);
    const QFont nameFont = smallFonts(5.5);
    const QFontMetricsF nameMetrics(ReportFonts::forPage(nameFont));
    const qreal digit = ReportUnits::dotsToMm(
        QFontMetricsF(ReportFonts::forPage(smallFonts(7, true))).horizontalAdvance(u'0'));
    QList<SegmentName> names;
    for (const ScorePlace &place : kScores) {
        // The short-axis view repeats the mid segments; its items get names of their own.
        const bool again
            = place.view == SegmentView::ShortAxis && place.segment >= 6 && place.segment <= 10;
        const QString name = u"C%1"_s.arg(place.segment) + (again ? u"b"_s : QString());
        ReportDataField *score
            = field(b, u"QRDBText"_s + name, m_dm.TableIMG, u"C%1"_s.arg(place.segment), place.left,
                    place.top, smallFonts(7, true));
        score->setTransparent(true);

        const QString text = SegmentViews::segmentName(place.view, place.segment);
        const qreal width = ReportUnits::dotsToMm(nameMetrics.horizontalAdvance(text)) + kNameSpare;
        const bool after = place.side == NameSide::Right;
        const QRectF box(after ? place.left + kNameAfterScore
                               : place.left - kNameBeforeScore - width,
                         place.top + 0.4, width, kNameHeight);
        ReportLabel *segmentName = label(b, u"QRLabelSeg"_s + name, text, box.left(), box.top(),
                                         nameFont, box.width(), box.height());
        segmentName->setAlignment(after ? ReportItem::Alignment::Left
                                        : ReportItem::Alignment::Right);
        // Nothing of the drawing lies under a name; were it to, it would show.
        segmentName->setTransparent(true);
        // A leader leaves from whichever of the two is nearer the strip, never across the score.
        names << SegmentName { place.view, place.segment,
                               box.united(QRectF(place.left, box.top(), digit, box.height())) };
    }
    diagram->setPaintFunction([names](QPainter &painter, const QRectF &target) {
        // target is the picture's box in the page's units; the views are placed in millimetres.
        const qreal unit = target.width() / kDiagram.width();
        QTransform toPage = QTransform::fromTranslate(target.left(), target.top());
        toPage.scale(unit, unit);
        toPage.translate(-kDiagram.left(), -kDiagram.top());
        for (const DiagramView &view : kViews) {
            SegmentViews::paintWalls(painter, view.view, toPage.mapRect(view.rectMm),
                                     view.surroundings);
            // Names that stand apart from their strips are joined to them.
            const QTransform design = SegmentViews::transformFor(view.rectMm);
            painter.save();
            painter.setTransform(design * toPage, true);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(Qt::black, SegmentViews::kThinLine, Qt::SolidLine, Qt::FlatCap));
            for (const SegmentName &name : names) {
                if (name.view != view.view)
                    continue;
                QLineF line = SegmentViews::leader(view.view, name.segment,
                                                   design.inverted().mapRect(name.boxMm));
                if (line.isNull())
                    continue;
                // A hair of white between the text and its leader.
                const qreal gap = kLeaderGap * SegmentViews::kSize / view.rectMm.width();
                line.setP1(line.pointAt(std::min(0.5, gap / line.length())));
                painter.drawLine(line);
            }
            painter.restore();
        }
    });
    QRLabel59 = label(b, u"QRLabel59"_s, u"TOTAL (score):"_s, 65.9, 45.0, arial(8, true));
    QRLabel59->setOnPrint([this](ReportLabel &, QString &text) {
        text = ExamReportRules::QRLabel63Print(ExamReportRules::segmentScores(*m_dm.TableIMG));
    });
    const struct
    {
        const char *name;
        const char *text;
        qreal left;
        qreal top;
    } legend[] = {
        { "QRLabel72", "0 = hiperquinético", 122.0, 43.9 },
        { "QRLabel74", "2 = hipoquinético", 145.3, 43.9 },
        { "QRLabel76", "4 = disquinético", 168.5, 43.9 },
        { "QRLabel73", "1 = normal", 122.0, 47.1 },
        { "QRLabel75", "3 = acinético", 145.3, 47.1 },
        { "QRLabel77", "5 = aneurismático", 168.5, 47.1 },
    };
    for (const auto &line : legend)
        label(b, QString::fromLatin1(line.name), QString::fromUtf8(line.text), line.left, line.top,
              smallFonts(7));

    ChildBand6 = ChildBand5->addChildBand(21.2, u"ChildBand6"_s);
    label(ChildBand6, u"QRLabel57"_s, u"Pericárdio :"_s, 2.6, 0.8, arial(9));
    QRLabel58 = label(ChildBand6, u"QRLabel58"_s, u"Pericárdio ??"_s, 21.4, 0.8, arial(9, true));
    QRLabel58->setOnPrint([findings](ReportLabel &, QString &text) {
        text = ExamReportRules::QRLabel58Print(findings());
    });
    label(ChildBand6, u"QRLabel4"_s, u"Conclusões:"_s, 2.6, 9.8, arial(10));
    ReportRichText *conclusion = ChildBand6->addRichText(
        m_dm.TableEco, u"Eco1"_s, QRectF(2.6, 15.6, 183.4, 4.5), u"QRDBRichText1"_s);
    conclusion->setFont(arial(9));
    conclusion->setStretch(true);
}

void ExamReport::createSignatures()
{
    SummaryBand1 = QuickRep1->addBand(ReportBand::Kind::Summary, 13.8, u"SummaryBand1"_s);
    ReportBand *s = SummaryBand1;
    const auto findings = [this] { return ExamFindings::fromExam(*m_dm.TableEco); };
    const auto names = [this] { return ExamReportRules::staffNames(*m_dm.TableMed); };
    const QString underline(34, u'_');

    QRLabel79 = label(s, u"QRLabel79"_s, underline, 15.1, 0.3, arial(10));
    QRLabel78 = label(s, u"QRLabel78"_s, u"O Técnico"_s, 38.1, 4.8, arial(8));
    for (ReportLabel *technician : { QRLabel79, QRLabel78 }) {
        technician->setOnPrint([findings](ReportLabel &, QString &text) {
            text = ExamReportRules::QRLabel78Print(findings(), text);
        });
    }
    QRLabel80 = label(s, u"QRLabel80"_s, u"tecnico ???"_s, 5.8, 9.0, arial(9, true), 76.5);
    QRLabel80->setAlignment(ReportItem::Alignment::Center);
    QRLabel80->setOnPrint([findings, names](ReportLabel &, QString &text) {
        text = ExamReportRules::QRLabel80Print(findings(), names());
    });

    QRLabel56 = label(s, u"QRLabel56"_s, underline, 112.4, 0.3, arial(10));
    QRLabel1 = label(s, u"QRLabel1"_s, u"O Médico"_s, 135.5, 4.8, arial(8));
    for (ReportLabel *doctor : { QRLabel56, QRLabel1 }) {
        doctor->setOnPrint(
            [](ReportLabel &, QString &text) { text = ExamReportRules::QRLabel1Print(text); });
    }
    QRLabel69 = label(s, u"QRLabel69"_s, u"medico ???"_s, 103.2, 9.0, arial(9, true), 76.5);
    QRLabel69->setAlignment(ReportItem::Alignment::Center);
    QRLabel69->setOnPrint([findings, names](ReportLabel &, QString &text) {
        text = ExamReportRules::QRLabel69Print(findings(), names());
    });
}
