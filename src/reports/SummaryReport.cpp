#include "reports/SummaryReport.h"

#include "platform/engine/Dataset.h"
#include "platform/engine/Field.h"
#include "platform/engine/FormatSettings.h"
#include "platform/report/BandedReport.h"
#include "platform/report/ReportBand.h"
#include "platform/report/ReportDataField.h"
#include "platform/report/ReportLabel.h"
#include "platform/report/ReportShape.h"
#include "reports/DocumentInfo.h"

using namespace Qt::StringLiterals;

namespace {
QFont arial(qreal points, bool bold = false)
{
    QFont font(u"Arial"_s);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

ReportLabel *label(ReportBand *band, const QString &name, const QString &caption, qreal left,
                   qreal top, const QFont &font)
{
    ReportLabel *item = band->addLabel(caption, QRectF(left, top, 0, 4.5), name);
    item->setFont(font);
    item->setAutoSize(true);
    return item;
}

// A text whose right edge stays at right.
template<class Item> Item *alignRight(Item *item, qreal left, qreal right)
{
    item->setGeometry(QRectF(left, item->geometry().top(), right - left, 4.5));
    item->setAlignment(ReportItem::Alignment::Right);
    item->setAutoSize(false);
    return item;
}
} // namespace

SummaryReport::SummaryReport(Kind kind, Options options, QObject *parent)
    : QObject(parent)
    , m_kind(kind)
    , m_options(std::move(options))
{
    const bool byDoctor = kind == Kind::ByDoctor;
    QuickRep = new BandedReport(this);
    QuickRep->setObjectName(u"QuickRep1"_s);
    QuickRep->setPageSize(QPageSize(QPageSize::A4));
    QuickRep->setMargins(QMarginsF(10, 10, 10, 10));
    QuickRep->setFont(arial(byDoctor ? 9 : 10));
    QuickRep->setPageHeaderOnFirstPage(true);
    QuickRep->setPageFooterOnLastPage(true);
    QuickRep->setPrintIfEmpty(true);
    QuickRep->setCreator(DocumentInfo::creator());
    QuickRep->setBeforePrint([this](BandedReport &, bool &print) { QuickRepBeforePrint(print); });

    ReportBand *header = QuickRep->addBand(ReportBand::Kind::PageHeader, 5.8, u"PageHeaderBand1"_s);
    label(header, u"QRLabel1"_s, u"Solvária, Lda."_s, 1.3, 0.8, arial(9));
    alignRight(label(header, u"QRLabel2"_s, u"Relatórios Ecocardiográficos"_s, 0, 0.8, arial(9)),
               100, 189.4);
    if (byDoctor)
        header->setFrame(ReportFrame(Qt::BottomEdge));

    ReportBand *title = QuickRep->addBand(ReportBand::Kind::Title, 28.0, u"TitleBand1"_s);
    QRLabel3 = label(title, u"QRLabel3"_s,
                     byDoctor ? u"Relação de Eco's por médico"_s
                              : u"Relação de Eco's por Sistema de Saúde"_s,
                     0, 10.6, arial(10, true));
    QRLabel3->setAlignment(ReportItem::Alignment::CenterOnBand);
    QRLabel4 = label(title, u"QRLabel4"_s, QString(), 0, 19.1, arial(9));
    QRLabel4->setAlignment(ReportItem::Alignment::CenterOnBand);

    ReportBand *columns
        = QuickRep->addBand(ReportBand::Kind::ColumnHeader, 5.6, u"ColumnHeaderBand1"_s);
    label(columns, u"QRLabel5"_s, byDoctor ? u"Médico"_s : u"Entidade"_s, 5.3, 0.5, arial(9, true));
    QRLabel9 = label(columns, u"QRLabel9"_s, u"Eco"_s, 91.0, 0.5, arial(9, true));
    label(columns, u"QRLabel6"_s, u"Total"_s, 169.3, 0.5, arial(9, true));
    if (byDoctor)
        columns->setFrame(ReportFrame::all());

    ReportBand *detail
        = QuickRep->addBand(ReportBand::Kind::Detail, byDoctor ? 5.3 : 8.5, u"DetailBand1"_s);
    detail->setAfterPrint([this](ReportBand &, bool printed) { DetailBand1AfterPrint(printed); });
    if (byDoctor) {
        detail->setFrame(ReportFrame(Qt::BottomEdge | Qt::LeftEdge | Qt::RightEdge));
        detail->addDataField(nullptr, u"nome"_s, QRectF(5.3, 0.5, 0, 4.5), u"QRDBText1"_s)
            ->setAutoSize(true);
    } else {
        // The name's box ends where the code's begins, below it.
        detail->addDataField(nullptr, u"Entidade"_s, QRectF(5.3, 0.3, 83.9, 4.2), u"QRDBText1"_s);
        ReportDataField *sigla
            = detail->addDataField(nullptr, u"Sigla"_s, QRectF(5.3, 4.5, 0, 3.5), u"QRDBText4"_s);
        QFont small(u"Small Fonts"_s);
        small.setPointSizeF(7);
        sigla->setFont(small);
        sigla->setAutoSize(true);
    }
    // The type stops short of the count, whose box lines up with the total's; a type longer than
    // the standard ones wraps rather than running under the count.
    QRDBText3 = detail->addDataField(
        nullptr, u"ModoD"_s, QRectF(91.0, byDoctor ? 0.5 : 0.3, 160.9 - 91.0, 4.5), u"QRDBText3"_s);
    QRDBText3->setStretch(true);
    QRDBText2 = detail->addDataField(nullptr, u"COUNT(*)"_s,
                                     QRectF(161.4, byDoctor ? 0.5 : 0.3, 174.6 - 161.4, 4.5),
                                     u"QRDBText2"_s);
    QRDBText2->setAlignment(ReportItem::Alignment::Right);
    QRDBText2->setStretch(true);
    for (ReportItem *item : detail->items()) {
        if (item->objectName() != u"QRDBText4"_s)
            item->setFont(arial(9));
    }
    if (byDoctor) {
        // The frames inside the band would hide its ruling: the texts print over it.
        for (ReportItem *item : detail->items())
            item->setTransparent(true);
    }

    ReportBand *summary = QuickRep->addBand(ReportBand::Kind::Summary, 12.2, u"SummaryBand1"_s);
    label(summary, u"QRLabel7"_s, u"Total:"_s, 150.3, 4.5, arial(9, true));
    QRLabel8 = alignRight(label(summary, u"QRLabel8"_s, QString(), 161.4, 4.5, arial(9, true)),
                          161.4, 174.6);
    QRLabel8->setOnPrint([this](ReportLabel &, QString &text) { QRLabel8Print(text); });

    ReportBand *footer = QuickRep->addBand(ReportBand::Kind::PageFooter, 4.5, u"PageFooterBand1"_s);
    footer->addSystemData(ReportSystemData::Data::Date, QRectF(1.3, 0.0, 0, 4.5), u"QRSysData1"_s)
        ->setFont(arial(8));
    ReportSystemData *page = footer->addSystemData(
        ReportSystemData::Data::PageNumber, QRectF(140, 0.0, 188.7 - 140, 4.5), u"QRSysData2"_s);
    page->setPrefix(u"Pág.: "_s);
    page->setAlignment(ReportItem::Alignment::Right);
    page->setFont(arial(8));
}

SummaryReport::~SummaryReport() = default;

void SummaryReport::setDataset(Dataset *query)
{
    m_query = query;
    QuickRep->setDataset(query);
    for (ReportBand *band : QuickRep->bands(ReportBand::Kind::Detail)) {
        for (ReportItem *item : band->items()) {
            if (auto *field = qobject_cast<ReportDataField *>(item))
                field->setDataset(query);
        }
    }
}

void SummaryReport::QuickRepBeforePrint(bool &)
{
    m_total = 0;
    const bool types = m_options.types && m_options.types();
    QRLabel9->setEnabled(types);
    QRDBText3->setEnabled(types);
    const QString format = FormatSettings::current().shortDateFormat();
    const auto day = [&format](const std::function<QDate()> &date) {
        return date ? date().toString(format) : QString();
    };
    QRLabel4->setCaption(u"entre "_s + day(m_options.from) + u" e "_s + day(m_options.to));
    QuickRep->setTitle(DocumentInfo::summaryTitle(QRLabel3->caption(),
                                                  m_options.from ? m_options.from() : QDate(),
                                                  m_options.to ? m_options.to() : QDate()));
}

void SummaryReport::DetailBand1AfterPrint(bool)
{
    if (!m_query)
        return;
    if (const Field *count = m_query->findField(u"count(*)"_s))
        m_total += count->asInteger();
}

void SummaryReport::QRLabel8Print(QString &text) const
{
    text = QString::number(m_total);
}
