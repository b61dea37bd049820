#include "platform/engine/DataSource.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/Table.h"
#include "platform/report/BandedReport.h"
#include "platform/report/ReportDataField.h"
#include "platform/report/ReportLabel.h"
#include "platform/report/ReportPicture.h"
#include "platform/report/ReportPreview.h"
#include "platform/report/ReportRichText.h"
#include "platform/widgets/DialogRecorder.h"
#include "support/EngineFixture.h"
#include "support/PdfInfo.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QFontInfo>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A numbered list of rows: "Linha n", a date, a value and an optional memo.
struct Rows
{
    EngineFixture fx;
    Table table;

    explicit Rows(int count, const QString &memo = QString())
    {
        fx.exec(u"CREATE TABLE linha (ID INTEGER PRIMARY KEY, NOME TEXT, DATA TEXT, VALOR REAL, "
                "TEXTO TEXT)"_s);
        for (int i = 1; i <= count; ++i) {
            fx.exec(u"INSERT INTO linha VALUES (%1, 'Linha %1', '2024-03-%2', %3, %4)"_s.arg(i)
                        .arg(i, 2, 10, QLatin1Char('0'))
                        .arg(i * 1.25)
                        .arg(memo.isNull() ? u"NULL"_s : u"'%1'"_s.arg(memo)));
        }
        table.setTableName(u"linha.DB"_s);
        table.setIndexFieldNames(u"ID"_s);
        table.addField(u"ID"_s, FieldType::Integer);
        table.addField(u"NOME"_s, FieldType::String, 200);
        table.addField(u"DATA"_s, FieldType::Date);
        table.addField(u"VALOR"_s, FieldType::Float);
        table.addField(u"TEXTO"_s, FieldType::Memo);
        table.open();
    }
};

// The exam report's page: A4 portrait, 30 mm at the top, 10 mm elsewhere: 257 mm for bands.
std::unique_ptr<BandedReport> newReport(Dataset *dataset)
{
    auto report = std::make_unique<BandedReport>();
    report->setMargins(QMarginsF(10, 30, 10, 10));
    report->setDataset(dataset);
    return report;
}

QString lines(int count, const QString &prefix)
{
    QStringList result;
    for (int i = 1; i <= count; ++i)
        result.append(u"%1 %2"_s.arg(prefix).arg(i));
    return result.join(QLatin1Char('\n'));
}

QList<ReportDocument::BandRecord> bandsNamed(const ReportDocument &doc, const QString &name)
{
    QList<ReportDocument::BandRecord> result;
    for (const auto &r : doc.bands()) {
        if (r.band == name)
            result.append(r);
    }
    return result;
}

ReportDocument::TextRecord textOf(const ReportDocument &doc, const QString &item, int nth = 0)
{
    for (const auto &r : doc.texts()) {
        if (r.item == item && nth-- == 0)
            return r;
    }
    return {};
}

bool near(qreal a, qreal b)
{
    return qAbs(a - b) < 0.01;
}

QString pdfText(const QString &pdf)
{
    QProcess process;
    process.start(u"pdftotext"_s, { u"-layout"_s, pdf, u"-"_s });
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class tst_BandedReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void pageHeaderOnEveryPageTitleOnce_data();
    void pageHeaderOnEveryPageTitleOnce();
    void columnHeaderFollowsTitleThenEveryPageHeader();
    void detailChainPerRowSuppressedBandPassesOn();
    void disabledBandAndItemDoNotPrint();
    void hookChangesBandHeight();
    void labelHookTextIsForOnePrintingOnly();
    void bandThatDoesNotFitStartsNewPage();
    void longRichTextContinuesAfterPageHeader_data();
    void longRichTextContinuesAfterPageHeader();
    void emptyDatasetPrintsNothing();
    void printIfEmptyPrintsAllButDetail();
    void reportHookMayCancel();
    void summaryOnceWithRunningTotal();
    void pageFooterWithDateAndPageNumber_data();
    void pageFooterWithDateAndPageNumber();
    void fieldTexts_data();
    void fieldTexts();
    void layoutFacesResolveToInstalledOnes();
    void autoSizeAndAlignment();
    void pageFooterFromTheSecondPage_data();
    void pageFooterFromTheSecondPage();
    void tooLongFieldIsCutAtItsBox();
    void stretchedLabelGrowsItsBand();
    void currentRecordIsRestored();
    void currentRecordIsRestoredWhenHookThrows();
    void pdfExportReadsBack();
    void printerPrintsChosenPageRange();
    void saveAndLoadRoundTrip();
    void loadRefusesOtherFiles();
    void loadsTheFirstFormat();
    void previewNavigatesZoomsAndReturnsOnClose();

private:
    std::unique_ptr<TestEnvironment> m_env;
};

void tst_BandedReport::pageHeaderOnEveryPageTitleOnce_data()
{
    QTest::addColumn<bool>("onFirstPage");
    QTest::newRow("header on the first page") << true;
    QTest::newRow("no header on the first page") << false;
}

void tst_BandedReport::pageHeaderOnEveryPageTitleOnce()
{
    QFETCH(bool, onFirstPage);
    Rows rows(12);
    auto report = newReport(&rows.table);
    report->setPageHeaderOnFirstPage(onFirstPage);
    report->addBand(ReportBand::Kind::PageHeader, 11.4, u"header"_s)
        ->addLabel(u"Relatório"_s, QRectF(0, 2.1, 0, 6.3), u"heading"_s)
        ->setAlignment(ReportItem::Alignment::CenterOnBand);
    report->addBand(ReportBand::Kind::Title, 26.7, u"title"_s);
    report->addBand(ReportBand::Kind::Detail, 40, u"detail"_s);

    const ReportDocument doc = report->generate();
    // 257 mm for bands: on the first page the title and maybe the header leave room for five
    // details of 40 mm, later pages hold six below the header, so 12 take three pages.
    QCOMPARE(doc.pageCount(), 3);
    QCOMPARE(bandsNamed(doc, u"title"_s).size(), 1);
    QCOMPARE(bandsNamed(doc, u"title"_s).first().page, 0);
    QCOMPARE(bandsNamed(doc, u"detail"_s).size(), 12);
    for (int page = 0; page < doc.pageCount(); ++page) {
        const QStringList bands = doc.pageBands(page);
        const bool header = page > 0 || onFirstPage;
        QCOMPARE(bands.first() == u"header"_s, header);
        QCOMPARE(bands.count(u"header"_s), header ? 1 : 0);
    }
    const auto headers = bandsNamed(doc, u"header"_s);
    QVERIFY(near(headers.first().rectMm.top(), 30));
    QVERIFY(near(headers.first().rectMm.left(), 10));
    QVERIFY(near(headers.first().rectMm.width(), 190));
    // Centred on the band: equal room on both sides.
    const QRectF heading = textOf(doc, u"heading"_s).rectMm;
    QVERIFY(qAbs((heading.left() - 10) - (200 - heading.right())) < 0.1);
}

void tst_BandedReport::columnHeaderFollowsTitleThenEveryPageHeader()
{
    Rows rows(30);
    auto report = newReport(&rows.table);
    report->addBand(ReportBand::Kind::PageHeader, 5.8, u"header"_s);
    report->addBand(ReportBand::Kind::Title, 28, u"title"_s);
    report->addBand(ReportBand::Kind::ColumnHeader, 5.6, u"columns"_s);
    report->addBand(ReportBand::Kind::Detail, 20, u"detail"_s);

    const ReportDocument doc = report->generate();
    QVERIFY(doc.pageCount() >= 3);
    QCOMPARE(doc.pageBands(0).mid(0, 4),
             QStringList({ u"header"_s, u"title"_s, u"columns"_s, u"detail"_s }));
    for (int page = 1; page < doc.pageCount(); ++page)
        QCOMPARE(doc.pageBands(page).mid(0, 3),
                 QStringList({ u"header"_s, u"columns"_s, u"detail"_s }));
}

void tst_BandedReport::detailChainPerRowSuppressedBandPassesOn()
{
    Rows rows(3);
    auto report = newReport(&rows.table);
    report->addBand(ReportBand::Kind::Title, 10, u"title"_s);
    ReportBand *detail = report->addBand(ReportBand::Kind::Detail, 10, u"detail"_s);
    ReportBand *child1 = detail->addChildBand(5, u"child1"_s);
    ReportBand *child2 = child1->addChildBand(5, u"child2"_s);
    ReportBand *child3 = detail->addChildBand(5, u"child3"_s); // goes to the end of the chain
    report->addBand(ReportBand::Kind::Summary, 10, u"summary"_s);
    QCOMPARE(child3->parentBand(), child2);
    QCOMPARE(child1->kind(), ReportBand::Kind::Child);

    // The first child prints only for the second row.
    child1->setBeforePrint([&](ReportBand &, bool &print) {
        print = rows.table.fieldByName(u"ID"_s)->asInteger() == 2;
    });
    QStringList after;
    for (ReportBand *band : { detail, child1, child2, child3 }) {
        band->setAfterPrint([&after](ReportBand &b, bool printed) {
            after.append(u"%1:%2"_s.arg(b.objectName(), printed ? u"yes"_s : u"no"_s));
        });
    }

    const ReportDocument doc = report->generate();
    QCOMPARE(doc.pageBands(0),
             QStringList({ u"title"_s, u"detail"_s, u"child2"_s, u"child3"_s, u"detail"_s,
                           u"child1"_s, u"child2"_s, u"child3"_s, u"detail"_s, u"child2"_s,
                           u"child3"_s, u"summary"_s }));
    QCOMPARE(after.mid(0, 4),
             QStringList({ u"detail:yes"_s, u"child1:no"_s, u"child2:yes"_s, u"child3:yes"_s }));
    QCOMPARE(after.size(), 12);
    // The bands follow one another down the page.
    const auto &b = doc.bands();
    for (int i = 1; i < b.size(); ++i)
        QVERIFY(near(b.at(i).rectMm.top(), b.at(i - 1).rectMm.bottom()));
}

void tst_BandedReport::disabledBandAndItemDoNotPrint()
{
    Rows rows(2);
    auto report = newReport(&rows.table);
    ReportBand *detail = report->addBand(ReportBand::Kind::Detail, 10, u"detail"_s);
    detail->addLabel(u"shown"_s, QRectF(0, 0, 0, 4), u"shown"_s);
    detail->addLabel(u"hidden"_s, QRectF(20, 0, 0, 4), u"hidden"_s)->setEnabled(false);
    ReportBand *child = detail->addChildBand(5, u"child"_s);
    child->addChildBand(5, u"grandchild"_s);
    int hooks = 0;
    child->setBeforePrint([&hooks](ReportBand &, bool &) { ++hooks; });
    child->setAfterPrint([&hooks](ReportBand &, bool) { ++hooks; });
    child->setEnabled(false);

    const ReportDocument doc = report->generate();
    QCOMPARE(doc.pageBands(0),
             QStringList({ u"detail"_s, u"grandchild"_s, u"detail"_s, u"grandchild"_s }));
    QCOMPARE(hooks, 0);
    QCOMPARE(doc.itemTexts(u"shown"_s).size(), 2);
    QVERIFY(doc.itemTexts(u"hidden"_s).isEmpty());
}

void tst_BandedReport::hookChangesBandHeight()
{
    Rows rows(2);
    auto report = newReport(&rows.table);
    ReportBand *detail = report->addBand(ReportBand::Kind::Detail, 9.5, u"detail"_s);
    detail->setBeforePrint([&](ReportBand &band, bool &) {
        band.setHeight(rows.table.fieldByName(u"ID"_s)->asInteger() == 1 ? 15.1 : 9.5);
    });
    const ReportDocument doc = report->generate();
    const auto details = bandsNamed(doc, u"detail"_s);
    QCOMPARE(details.size(), 2);
    QVERIFY(near(details.at(0).rectMm.height(), 15.1));
    QVERIFY(near(details.at(1).rectMm.height(), 9.5));
    QVERIFY(near(details.at(1).rectMm.top(), 30 + 15.1));
}

void tst_BandedReport::labelHookTextIsForOnePrintingOnly()
{
    Rows rows(3);
    auto report = newReport(&rows.table);
    ReportBand *detail = report->addBand(ReportBand::Kind::Detail, 6, u"detail"_s);
    ReportLabel *label = detail->addLabel(u"Normal ??"_s, QRectF(45.2, 0, 0, 4.5), u"sentence"_s);
    QStringList seen;
    label->setOnPrint([&](ReportLabel &l, QString &text) {
        seen.append(text);
        if (rows.table.fieldByName(u"ID"_s)->asInteger() == 2)
            text = u"Dilatado"_s;
        QCOMPARE(&l, label);
    });

    const ReportDocument doc = report->generate();
    QCOMPARE(doc.itemTexts(u"sentence"_s),
             QStringList({ u"Normal ??"_s, u"Dilatado"_s, u"Normal ??"_s }));
    // Each printing starts again from the caption.
    QCOMPARE(seen, QStringList({ u"Normal ??"_s, u"Normal ??"_s, u"Normal ??"_s }));
    QCOMPARE(label->caption(), u"Normal ??"_s);
}

void tst_BandedReport::bandThatDoesNotFitStartsNewPage()
{
    Rows rows(6);
    auto report = newReport(&rows.table);
    report->addBand(ReportBand::Kind::PageHeader, 11.4, u"header"_s);
    report->addBand(ReportBand::Kind::Detail, 49.12, u"detail"_s);

    // 257 - 11.4 = 245.6 mm: exactly five details of 49.12 mm fit, the sixth goes over.
    const ReportDocument doc = report->generate();
    QCOMPARE(doc.pageCount(), 2);
    const auto details = bandsNamed(doc, u"detail"_s);
    QCOMPARE(details.size(), 6);
    QCOMPARE(details.at(4).page, 0);
    QVERIFY(near(details.at(4).rectMm.bottom(), 287));
    QCOMPARE(details.at(5).page, 1);
    QVERIFY(near(details.at(5).rectMm.top(), 41.4));
    QVERIFY(near(details.at(5).rectMm.height(), 49.12)); // not cut: it moved whole
}

void tst_BandedReport::longRichTextContinuesAfterPageHeader_data()
{
    QTest::addColumn<int>("lineCount");
    QTest::addColumn<int>("pages");
    QTest::newRow("onto a second page") << 60 << 2;
    // Long enough for the text layout to work lazily: every line must still have its place.
    QTest::newRow("over four pages") << 200 << 4;
}

void tst_BandedReport::longRichTextContinuesAfterPageHeader()
{
    QFETCH(int, lineCount);
    QFETCH(int, pages);
    Rows rows(1);
    auto report = newReport(&rows.table);
    report->addBand(ReportBand::Kind::PageHeader, 11.4, u"header"_s);
    report->addBand(ReportBand::Kind::Title, 26.7, u"title"_s);
    ReportBand *detail = report->addBand(ReportBand::Kind::Detail, 150, u"detail"_s);
    ReportBand *conclusion = detail->addChildBand(21.2, u"conclusion"_s);
    conclusion->addLabel(u"Conclusões:"_s, QRectF(2.6, 9.8, 0, 4.5), u"caption"_s);
    ReportRichText *text
        = conclusion->addRichText(nullptr, QString(), QRectF(2.6, 15.6, 183.4, 4.5), u"eco"_s);
    text->setFont(QFont(u"Arial"_s, 9));
    text->setText(lines(lineCount, u"Linha de conclusão"_s));
    report->addBand(ReportBand::Kind::Summary, 13.8, u"summary"_s);

    const ReportDocument doc = report->generate();
    QCOMPARE(doc.pageCount(), pages);
    QCOMPARE(bandsNamed(doc, u"title"_s).size(), 1);
    QCOMPARE(doc.pageBands(pages - 1).last(), u"summary"_s);
    const auto pieces = bandsNamed(doc, u"conclusion"_s);
    QCOMPARE(pieces.size(), pages);
    QStringList printed;
    for (int page = 0; page < pages; ++page) {
        const auto piece = pieces.at(page);
        QCOMPARE(piece.page, page);
        // Each piece but the last fills its page nearly to the bottom margin.
        QVERIFY(piece.rectMm.bottom() <= 287.01);
        if (page + 1 < pages)
            QVERIFY(piece.rectMm.bottom() > 282);
        if (page > 0) {
            QCOMPARE(doc.pageBands(page).first(), u"header"_s);
            QCOMPARE(doc.pageBands(page).at(1), u"conclusion"_s);
            QVERIFY(near(piece.rectMm.top(), 41.4));
        }
        const auto part = textOf(doc, u"eco"_s, page);
        QCOMPARE(part.page, page);
        printed.append(part.text);
    }
    // Cut between two lines: nothing lost, nothing printed twice.
    QCOMPARE(printed.join(QLatin1Char('\n')), lines(lineCount, u"Linha de conclusão"_s));
    QCOMPARE(doc.itemTexts(u"caption"_s).size(), 1);
}

void tst_BandedReport::emptyDatasetPrintsNothing()
{
    Rows rows(0);
    auto report = newReport(&rows.table);
    int hooks = 0;
    for (auto kind :
         { ReportBand::Kind::PageHeader, ReportBand::Kind::Title, ReportBand::Kind::Detail,
           ReportBand::Kind::Summary, ReportBand::Kind::PageFooter }) {
        report->addBand(kind, 10)->setBeforePrint([&hooks](ReportBand &, bool &) { ++hooks; });
    }
    const ReportDocument doc = report->generate();
    QCOMPARE(doc.pageCount(), 0);
    QVERIFY(doc.texts().isEmpty());
    QCOMPARE(hooks, 0);
}

void tst_BandedReport::printIfEmptyPrintsAllButDetail()
{
    Rows rows(0);
    auto report = newReport(&rows.table);
    report->setPrintIfEmpty(true);
    report->addBand(ReportBand::Kind::PageHeader, 10, u"header"_s);
    report->addBand(ReportBand::Kind::Title, 10, u"title"_s);
    report->addBand(ReportBand::Kind::Detail, 10, u"detail"_s);
    report->addBand(ReportBand::Kind::Summary, 10, u"summary"_s);
    report->addBand(ReportBand::Kind::PageFooter, 10, u"footer"_s);
    const ReportDocument doc = report->generate();
    QCOMPARE(doc.pageCount(), 1);
    QCOMPARE(doc.pageBands(0), QStringList({ u"header"_s, u"title"_s, u"summary"_s, u"footer"_s }));
}

void tst_BandedReport::reportHookMayCancel()
{
    Rows rows(3);
    rows.table.setRecNo(2);
    auto report = newReport(&rows.table);
    report->addBand(ReportBand::Kind::Detail, 10, u"detail"_s);
    int runs = 0;
    report->setBeforePrint([&runs](BandedReport &, bool &print) { print = ++runs > 1; });
    QCOMPARE(report->generate().pageCount(), 0);
    QCOMPARE(rows.table.recNo(), 2);
    QCOMPARE(report->generate().pageCount(), 1);
}

void tst_BandedReport::summaryOnceWithRunningTotal()
{
    Rows rows(25);
    auto report = newReport(&rows.table);
    qint64 total = 0;
    report->setBeforePrint([&total](BandedReport &, bool &) { total = 0; });
    ReportBand *detail = report->addBand(ReportBand::Kind::Detail, 12, u"detail"_s);
    detail->addDataField(&rows.table, u"ID"_s, QRectF(0, 0, 0, 4.5), u"id"_s);
    detail->setAfterPrint(
        [&](ReportBand &, bool) { total += rows.table.fieldByName(u"id"_s)->asInteger(); });
    ReportBand *summary = report->addBand(ReportBand::Kind::Summary, 12.2, u"summary"_s);
    summary->addLabel(u"Total:"_s, QRectF(150.3, 4.5, 0, 4.5));
    auto *sum = summary->addLabel(QString(), QRectF(161.4, 4.5, 13.2, 4.5), u"total"_s);
    sum->setAlignment(ReportItem::Alignment::Right);
    sum->setOnPrint([&total](ReportLabel &, QString &text) { text = QString::number(total); });

    for (int run = 0; run < 2; ++run) { // a second run starts the total again
        const ReportDocument doc = report->generate();
        QCOMPARE(doc.pageCount(), 2);
        QCOMPARE(bandsNamed(doc, u"summary"_s).size(), 1);
        QCOMPARE(bandsNamed(doc, u"summary"_s).first().page, 1);
        QCOMPARE(doc.itemTexts(u"total"_s), QStringList({ u"325"_s }));
        // Right-aligned in its box: the text ends at the box's right edge.
        QVERIFY(near(textOf(doc, u"total"_s).rectMm.right(), 10 + 174.6));
    }
}

void tst_BandedReport::pageFooterWithDateAndPageNumber_data()
{
    QTest::addColumn<bool>("onLastPage");
    QTest::newRow("footer on the last page") << true;
    QTest::newRow("no footer on the last page") << false;
}

void tst_BandedReport::pageFooterWithDateAndPageNumber()
{
    QFETCH(bool, onLastPage);
    Rows rows(60);
    auto report = newReport(&rows.table);
    report->setMargins(QMarginsF(10, 10, 10, 10));
    report->setPageFooterOnLastPage(onLastPage);
    report->addBand(ReportBand::Kind::Detail, 5.3, u"detail"_s);
    ReportBand *footer = report->addBand(ReportBand::Kind::PageFooter, 4.5, u"footer"_s);
    footer->addSystemData(ReportSystemData::Data::Date, QRectF(1.3, 0, 0, 4.5), u"date"_s);
    auto *page = footer->addSystemData(ReportSystemData::Data::PageNumber,
                                       QRectF(150, 0, 38.7, 4.5), u"page"_s);
    page->setPrefix(u"Pág.: "_s);
    page->setAlignment(ReportItem::Alignment::Right);

    const ReportDocument doc = report->generate();
    // 277 - 4.5 = 272.5 mm for details: 51 on the first page, 9 on the second.
    QCOMPARE(doc.pageCount(), 2);
    QCOMPARE(bandsNamed(doc, u"detail"_s).last().page, 1);
    const auto footers = bandsNamed(doc, u"footer"_s);
    QCOMPARE(footers.size(), onLastPage ? 2 : 1);
    QVERIFY(near(footers.first().rectMm.bottom(), 287));
    QVERIFY(bandsNamed(doc, u"detail"_s).at(50).rectMm.bottom() <= 282.5 + 0.01);
    QStringList expected { u"Pág.: 1"_s };
    if (onLastPage)
        expected.append(u"Pág.: 2"_s);
    QCOMPARE(doc.itemTexts(u"page"_s), expected);
    QCOMPARE(doc.itemTexts(u"date"_s).first(), u"15/06/2024"_s);
}

void tst_BandedReport::fieldTexts_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("expected");
    QTest::newRow("date with mask") << u"DATA"_s << u"dd-mm-yyyy"_s << u"03-03-2024"_s;
    QTest::newRow("date without mask") << u"DATA"_s << QString() << u"03/03/2024"_s;
    QTest::newRow("date, long month, quoted")
        << u"DATA"_s << u"d 'de' mmmm yy"_s << u"3 de março 24"_s;
    QTest::newRow("float as plain text") << u"VALOR"_s << QString() << u"3,75"_s;
    QTest::newRow("float through a pattern") << u"VALOR"_s << u"###.#"_s << u"3,8"_s;
    QTest::newRow("float, zeros kept") << u"VALOR"_s << u"000.00"_s << u"003,75"_s;
    QTest::newRow("text ignores a mask") << u"NOME"_s << u"dd"_s << u"Linha 3"_s;
    QTest::newRow("null prints nothing") << u"TEXTO"_s << QString() << QString();
}

void tst_BandedReport::fieldTexts()
{
    QFETCH(QString, field);
    QFETCH(QString, mask);
    QFETCH(QString, expected);
    Rows rows(3);
    rows.table.setRecNo(3);
    auto report = newReport(nullptr); // no dataset: the detail prints once
    ReportBand *detail = report->addBand(ReportBand::Kind::Detail, 10, u"detail"_s);
    auto *item = detail->addDataField(&rows.table, field, QRectF(20, 2, 30, 4.5), u"value"_s);
    item->setMask(mask);
    item->setFrame(ReportFrame::all());
    item->setColor(QColor(223, 223, 223));

    const ReportDocument doc = report->generate();
    QCOMPARE(doc.pageCount(), 1);
    QCOMPARE(doc.itemTexts(u"value"_s), QStringList({ expected }));
    // The box prints even empty: a null value is a grey framed box.
    const QImage page = doc.toImage(0, 72);
    const QPoint inside(qRound((10 + 48) / 25.4 * 72), qRound((30 + 4) / 25.4 * 72));
    QCOMPARE(page.pixelColor(inside), QColor(223, 223, 223));
}

void tst_BandedReport::layoutFacesResolveToInstalledOnes()
{
    BandedReport report; // installs the substitutions
    QCOMPARE(QFontInfo(QFont(u"Arial"_s, 10)).family(), u"Liberation Sans"_s);
    for (const QString &small : { u"Small Fonts"_s, u"MS Sans Serif"_s }) {
        const QString family = QFontInfo(QFont(small, 7)).family();
        QVERIFY2(family.startsWith(u"DejaVu Sans"_s) || family == u"Liberation Sans"_s,
                 qPrintable(family));
    }
}

void tst_BandedReport::autoSizeAndAlignment()
{
    auto report = newReport(nullptr);
    ReportBand *detail = report->addBand(ReportBand::Kind::Detail, 30, u"detail"_s);
    detail->addLabel(u"Nome:"_s, QRectF(4.2, 0, 0, 4.5), u"left"_s);
    auto *right = detail->addLabel(u"Altura:"_s, QRectF(100, 5, 0, 4.5), u"right"_s);
    right->setAlignment(ReportItem::Alignment::Right);
    auto *centred = detail->addLabel(u"Médico"_s, QRectF(100, 10, 0, 4.5), u"centre"_s);
    centred->setAlignment(ReportItem::Alignment::Center);

    const ReportDocument doc = report->generate();
    const QRectF left = textOf(doc, u"left"_s).rectMm;
    QVERIFY(near(left.left(), 14.2));
    // Arial 10 (Liberation Sans): "Nome:" is about 11 mm wide.
    QVERIFY2(left.width() > 9 && left.width() < 13, qPrintable(QString::number(left.width())));
    QVERIFY(near(textOf(doc, u"right"_s).rectMm.right(), 110));
    QVERIFY(qAbs(textOf(doc, u"centre"_s).rectMm.center().x() - 110) < 0.1);
}

void tst_BandedReport::pageFooterFromTheSecondPage_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("onFirstPage");
    // 277 mm hold 52 rows on a first page with no footer; the next pages keep room for it.
    QTest::newRow("one page, as if there were no footer") << 52 << 1 << 52;
    QTest::newRow("two pages") << 60 << 2 << 52;
}

void tst_BandedReport::pageFooterFromTheSecondPage()
{
    QFETCH(int, count);
    QFETCH(int, pages);
    QFETCH(int, onFirstPage);
    Rows rows(count);
    auto report = newReport(&rows.table);
    report->setMargins(QMarginsF(10, 10, 10, 10));
    report->setPageFooterOnFirstPage(false);
    report->addBand(ReportBand::Kind::Detail, 5.3, u"detail"_s);
    ReportBand *footer = report->addBand(ReportBand::Kind::PageFooter, 4.5, u"footer"_s);
    auto *page = footer->addSystemData(ReportSystemData::Data::PageNumber,
                                       QRectF(150, 0, 38.7, 4.5), u"page"_s);
    page->setPrefix(u"Pág. "_s);

    const ReportDocument doc = report->generate();
    QCOMPARE(doc.pageCount(), pages);
    QCOMPARE(doc.pageBands(0).count(u"detail"_s), onFirstPage);
    QVERIFY(!doc.pageBands(0).contains(u"footer"_s));
    QStringList expected;
    for (int i = 2; i <= pages; ++i)
        expected << u"Pág. %1"_s.arg(i);
    QCOMPARE(doc.itemTexts(u"page"_s), expected);
    if (pages > 1)
        QVERIFY(near(bandsNamed(doc, u"footer"_s).first().rectMm.bottom(), 287));
}

void tst_BandedReport::tooLongFieldIsCutAtItsBox()
{
    Rows rows(1);
    rows.table.edit();
    rows.table.fieldByName(u"NOME"_s)->setAsString(
        u"MARIA DA CONCEIÇÃO DOS SANTOS PEREIRA DE ALBUQUERQUE E VASCONCELOS"_s);
    rows.table.post();
    auto report = newReport(&rows.table);
    report->setFont(QFont(u"Arial"_s, 9));
    ReportBand *title = report->addBand(ReportBand::Kind::Title, 26.7, u"title"_s);
    title->addDataField(&rows.table, u"NOME"_s, QRectF(16.9, 2.1, 40, 4.5), u"name"_s);
    title->addDataField(&rows.table, u"NOME"_s, QRectF(16.9, 8.5, 0, 4.5), u"whole"_s);

    const ReportDocument doc = report->generate();
    const QString full = rows.table.fieldByName(u"NOME"_s)->asString();
    const QString cut = doc.itemTexts(u"name"_s).value(0);
    QVERIFY2(cut.size() > 10 && cut.size() < full.size() - 10, qPrintable(cut));
    QVERIFY(full.startsWith(cut));
    QCOMPARE(doc.itemTexts(u"whole"_s), QStringList({ full }));
    QVERIFY(textOf(doc, u"name"_s).isCut());
    QVERIFY(!textOf(doc, u"whole"_s).isCut());
    QVERIFY(near(textOf(doc, u"name"_s).textMm.width(), textOf(doc, u"whole"_s).textMm.width()));

    // No ink right of the box on the cut line; ink there on the whole line.
    const qreal dpi = 150;
    const QImage page = doc.toImage(0, dpi);
    const auto inkRightOf = [&](qreal xMm, qreal topMm, qreal bottomMm) {
        for (int y = qRound(topMm / 25.4 * dpi); y < qRound(bottomMm / 25.4 * dpi); ++y) {
            for (int x = qCeil(xMm / 25.4 * dpi) + 1; x < page.width(); ++x) {
                if (qGray(page.pixel(x, y)) < 200)
                    return true;
            }
        }
        return false;
    };
    QVERIFY(!inkRightOf(10 + 16.9 + 40, 30 + 2.1, 30 + 6.6));
    QVERIFY(inkRightOf(10 + 16.9 + 40, 30 + 8.5, 30 + 13));
}

void tst_BandedReport::stretchedLabelGrowsItsBand()
{
    auto report = newReport(nullptr);
    ReportBand *detail = report->addBand(ReportBand::Kind::Detail, 10, u"detail"_s);
    auto *label = detail->addLabel(QString(), QRectF(37.8, 1.9, 0, 4.5), u"long"_s);
    label->setStretch(true);
    label->setCaption(QString(40, QLatin1Char('x')).replace(QLatin1Char('x'), u"palavra "_s));
    report->addBand(ReportBand::Kind::Summary, 5, u"after"_s);

    const ReportDocument doc = report->generate();
    const QRectF text = textOf(doc, u"long"_s).rectMm;
    QVERIFY(text.right() <= 200.01); // wrapped at the band's right edge
    QVERIFY(text.height() > 9);
    const QRectF band = bandsNamed(doc, u"detail"_s).first().rectMm;
    QVERIFY(near(band.height(), 10 + text.height() - 4.5));
    QVERIFY(near(bandsNamed(doc, u"after"_s).first().rectMm.top(), band.bottom()));
}

void tst_BandedReport::currentRecordIsRestored()
{
    Rows rows(5);
    DataSource source;
    source.setDataset(&rows.table);
    rows.table.setRecNo(3);
    int scrolls = 0;
    rows.table.hooks().afterScroll = [&scrolls](Dataset &) { ++scrolls; };
    auto report = newReport(&rows.table);
    ReportBand *detail = report->addBand(ReportBand::Kind::Detail, 5, u"detail"_s);
    detail->addDataField(&rows.table, u"NOME"_s, QRectF(0, 0, 0, 4.5), u"name"_s);
    bool quiet = true;
    detail->setBeforePrint(
        [&](ReportBand &, bool &) { quiet = quiet && rows.table.controlsDisabled(); });

    const ReportDocument doc = report->generate();
    QCOMPARE(doc.itemTexts(u"name"_s).size(), 5);
    QCOMPARE(doc.itemTexts(u"name"_s).first(), u"Linha 1"_s);
    QVERIFY(quiet);
    QVERIFY(scrolls > 0); // it did walk the rows
    QCOMPARE(rows.table.recNo(), 3);
    QCOMPARE(rows.table.fieldByName(u"NOME"_s)->asString(), u"Linha 3"_s);
    QVERIFY(!rows.table.controlsDisabled());
}

void tst_BandedReport::currentRecordIsRestoredWhenHookThrows()
{
    Rows rows(5);
    rows.table.setRecNo(4);
    auto report = newReport(&rows.table);
    ReportBand *detail = report->addBand(ReportBand::Kind::Detail, 5, u"detail"_s);
    detail->setBeforePrint([&](ReportBand &, bool &) {
        if (rows.table.recNo() == 2)
            throw DatabaseError(u"Field 'X' not found"_s);
    });
    QCOMPARE(errorOf([&] { (void)report->generate(); }), u"Field 'X' not found"_s);
    QCOMPARE(rows.table.recNo(), 4);
    QVERIFY(!rows.table.controlsDisabled());
    QVERIFY(!report->isGenerating());
}

void tst_BandedReport::pdfExportReadsBack()
{
    if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
        QSKIP("pdftotext is not installed");
    Rows rows(40, u"{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs18 Sem \\b derrame\\b0 .\\par}"_s);
    auto report = newReport(&rows.table);
    report->setMargins(QMarginsF(10, 10, 10, 10));
    report->setCreator(u"Programa"_s);
    // The run names itself after its records.
    report->setBeforePrint([&rows](BandedReport &r, bool &) {
        r.setTitle(u"Relação de %1 linhas"_s.arg(rows.table.recordCount()));
    });
    report->addBand(ReportBand::Kind::PageHeader, 5.8, u"header"_s)
        ->addLabel(u"Relatórios Ecocardiográficos"_s, QRectF(1.3, 0.8, 0, 4.5));
    ReportBand *detail = report->addBand(ReportBand::Kind::Detail, 9, u"detail"_s);
    detail->addDataField(&rows.table, u"NOME"_s, QRectF(5.3, 0.5, 0, 4.5));
    detail->addRichText(&rows.table, u"TEXTO"_s, QRectF(60, 0.5, 100, 4.5));
    ReportBand *footer = report->addBand(ReportBand::Kind::PageFooter, 4.5, u"footer"_s);
    footer->addSystemData(ReportSystemData::Data::PageNumber, QRectF(150, 0, 38.7, 4.5))
        ->setPrefix(u"Pág.: "_s);

    QTemporaryDir dir;
    const QString pdf = dir.filePath(u"out.pdf"_s);
    QString error;
    QVERIFY2(report->exportPdf(pdf, &error), qPrintable(error));
    QCOMPARE(QFile::permissions(pdf) & 0x0077, QFileDevice::Permissions());
    const QString text = pdfText(pdf);
    QVERIFY(!text.isEmpty());
    const QStringList pages = text.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    QCOMPARE(pages.size(), 2);
    QCOMPARE(pages.at(0).count(u"Relatórios Ecocardiográficos"_s), 1);
    QCOMPARE(pages.at(1).count(u"Relatórios Ecocardiográficos"_s), 1);
    QVERIFY(pages.at(0).contains(u"Pág.: 1"_s));
    QVERIFY(pages.at(1).contains(u"Pág.: 2"_s));
    QVERIFY(text.contains(QRegularExpression(u"Linha 1 +Sem derrame\\."_s)));
    QVERIFY(text.contains(u"Linha 40"_s));

    // A record to archive: titled, with its maker, PDF/A-1b, every font in the file.
    const QString info = pdfInfo(pdf);
    QCOMPARE(pdfInfoField(info, u"Title"_s), u"Relação de 40 linhas"_s);
    QCOMPARE(pdfInfoField(info, u"Creator"_s), u"Programa"_s);
    QCOMPARE(pdfInfoField(info, u"Page size"_s), u"595 x 842 pts (A4)"_s);
    QVERIFY(info.contains(u"<rdf:li xml:lang=\"x-default\">Relação de 40 linhas</rdf:li>"_s));
    QVERIFY2(claimsPdfA1b(info), qPrintable(info));
    QVERIFY(fontsEmbedded(pdf));
}

void tst_BandedReport::printerPrintsChosenPageRange()
{
    if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
        QSKIP("pdftotext is not installed");
    Rows rows(3);
    auto report = newReport(&rows.table);
    report->setOrientation(QPageLayout::Landscape);
    ReportBand *detail = report->addBand(ReportBand::Kind::Detail, 150, u"detail"_s);
    detail->addDataField(&rows.table, u"NOME"_s, QRectF(0, 0, 0, 4.5));

    // A printer kept from a set-up: print() uses it without asking.
    QTemporaryDir dir;
    QPrinter &printer = report->printer();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(u"printed.pdf"_s));
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(2, 2);
    QVERIFY(report->canPrint());
    QVERIFY(report->print());
    const QString text = pdfText(dir.filePath(u"printed.pdf"_s));
    QCOMPARE(text.split(QLatin1Char('\f'), Qt::SkipEmptyParts).size(), 1);
    QVERIFY(text.contains(u"Linha 2"_s));
    QVERIFY(!text.contains(u"Linha 1"_s));
    QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Landscape);
    // Printed to a file, it is the same kind of record as an exported one.
    QVERIFY(claimsPdfA1b(pdfInfo(dir.filePath(u"printed.pdf"_s))));
}

void tst_BandedReport::saveAndLoadRoundTrip()
{
    Rows rows(30, u"Observação"_s);
    auto report = newReport(&rows.table);
    report->setTitle(u"Relatório"_s);
    report->setCreator(u"Programa"_s);
    ReportBand *header = report->addBand(ReportBand::Kind::PageHeader, 10, u"header"_s);
    header->addLabel(u"Cabeçalho"_s, QRectF(0, 0, 0, 5), u"heading"_s);
    header->addLabel(u"Cabeçalho comprido"_s, QRectF(50, 0, 8, 5), u"cut"_s);
    ReportBand *detail = report->addBand(ReportBand::Kind::Detail, 12, u"detail"_s);
    detail->setFrame(ReportFrame::all());
    detail->addDataField(&rows.table, u"NOME"_s, QRectF(2, 1, 0, 4.5), u"name"_s);
    detail->addRichText(&rows.table, u"TEXTO"_s, QRectF(40, 1, 100, 4.5), u"memo"_s);
    detail->addShape(ReportShape::Kind::VerticalLine, QRectF(150, 1, 0, 10));
    QImage image(20, 10, QImage::Format_RGB32);
    image.fill(Qt::blue);
    detail->addPicture(QRectF(160, 1, 10, 10))->setImage(image);
    detail->addPicture(QRectF(175, 1, 10, 10))->setPaintFunction([](QPainter &p, const QRectF &r) {
        p.drawEllipse(r);
    });

    const ReportDocument doc = report->generate();
    QVERIFY(doc.pageCount() >= 2);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"saved.rep"_s);
    QString error;
    QVERIFY2(doc.save(path, &error), qPrintable(error));
    QCOMPARE(QFile::permissions(path) & 0x0077, QFileDevice::Permissions());

    ReportDocument loaded;
    QVERIFY2(loaded.load(path, &error), qPrintable(error));
    QCOMPARE(loaded.pageCount(), doc.pageCount());
    QCOMPARE(loaded.pageSizeMm(), doc.pageSizeMm());
    QCOMPARE(loaded.title(), u"Relatório"_s);
    QCOMPARE(loaded.creator(), u"Programa"_s);
    QCOMPARE(loaded.bands(), doc.bands());
    QCOMPARE(loaded.texts(), doc.texts());
    QVERIFY(textOf(loaded, u"cut"_s).isCut());
    for (int page = 0; page < doc.pageCount(); ++page)
        QCOMPARE(loaded.toImage(page, 50), doc.toImage(page, 50));

    // Saved again, the same bytes.
    const QString again = dir.filePath(u"again.rep"_s);
    QVERIFY(loaded.save(again));
    QFile a(path), b(again);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QCOMPARE(a.readAll(), b.readAll());
}

void tst_BandedReport::loadRefusesOtherFiles()
{
    QTemporaryDir dir;
    ReportDocument doc;
    QPicture picture;
    QPainter(&picture).drawLine(0, 0, 100, 100);
    doc.appendPage(picture);
    const QString good = dir.filePath(u"good.rep"_s);
    QVERIFY(doc.save(good));
    QFile file(good);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();

    const QList<QByteArray> bad { QByteArray(), QByteArray("%PDF-1.4\n"), bytes.left(20),
                                  bytes.left(bytes.size() - 3) };
    for (const QByteArray &content : bad) {
        const QString path = dir.filePath(u"bad.rep"_s);
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(content);
        out.close();
        ReportDocument loaded;
        loaded.appendPage(QPicture());
        loaded.appendPage(QPicture());
        QString error;
        QVERIFY(!loaded.load(path, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(loaded.pageCount(), 2); // left as it was
    }
}

void tst_BandedReport::loadsTheFirstFormat()
{
    // As the first version wrote it: no creator, texts without where they lie.
    QPicture picture;
    QPainter(&picture).drawLine(0, 0, 100, 100);
    QByteArray bytes;
    {
        QDataStream s(&bytes, QIODevice::WriteOnly);
        s.setVersion(QDataStream::Qt_6_0);
        s << quint32(0x54525044) << quint16(1) << qint32(QPageSize::A4) << QSizeF(210, 297)
          << qint32(QPageLayout::Portrait) << u"Antigo"_s << qint32(1)
          << QByteArray(picture.data(), picture.size());
        s << qint32(1) << qint32(0) << u"band"_s << QRectF(10, 10, 190, 5);
        s << qint32(1) << qint32(0) << u"item"_s << QRectF(10, 10, 20, 5) << u"Texto"_s;
    }
    QTemporaryDir dir;
    QFile file(dir.filePath(u"old.rep"_s));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    file.close();
    ReportDocument loaded;
    QString error;
    QVERIFY2(loaded.load(file.fileName(), &error), qPrintable(error));
    QCOMPARE(loaded.title(), u"Antigo"_s);
    QCOMPARE(loaded.creator(), QString());
    QCOMPARE(loaded.pageTexts(0), QStringList { u"Texto"_s });
    QCOMPARE(loaded.texts().first().textMm, QRectF(10, 10, 20, 5));
    QVERIFY(!loaded.texts().first().isCut());
}

void tst_BandedReport::previewNavigatesZoomsAndReturnsOnClose()
{
    Rows rows(3);
    auto report = newReport(&rows.table);
    ReportBand *detail = report->addBand(ReportBand::Kind::Detail, 200, u"detail"_s);
    detail->addDataField(&rows.table, u"NOME"_s, QRectF(0, 0, 0, 4.5), u"name"_s);

    {
        ReportPreview preview(report.get(), report->generate());
        preview.resize(800, 600);
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        QCOMPARE(preview.pageCaption(), u"Página 1 de 3"_s);
        QVERIFY(!preview.action(u"previous"_s)->isEnabled());
        preview.action(u"next"_s)->trigger();
        QCOMPARE(preview.pageCaption(), u"Página 2 de 3"_s);
        preview.action(u"last"_s)->trigger();
        QCOMPARE(preview.currentPage(), 2);
        QVERIFY(!preview.action(u"next"_s)->isEnabled());
        preview.action(u"first"_s)->trigger();
        QCOMPARE(preview.currentPage(), 0);

        preview.action(u"zoomPage"_s)->trigger();
        const qreal whole = preview.pixelsPerMm();
        preview.action(u"zoomWidth"_s)->trigger();
        const qreal width = preview.pixelsPerMm();
        preview.action(u"zoomActual"_s)->trigger();
        QVERIFY(whole < width);
        QVERIFY(qAbs(preview.pixelsPerMm() - preview.logicalDpiX() / 25.4) < 0.01);
        QVERIFY(whole * 297 <= 600);

        // Save, then open what was saved; a bad file shows one message and keeps the pages.
        QTemporaryDir dir;
        QVERIFY(preview.saveTo(dir.filePath(u"p.rep"_s)));
        // Saved as PDF, the pages go out as an archivable file.
        QVERIFY(preview.saveTo(dir.filePath(u"p.pdf"_s)));
        QFile pdf(dir.filePath(u"p.pdf"_s));
        QVERIFY(pdf.open(QIODevice::ReadOnly) && pdf.read(8) == "%PDF-1.4");
        if (!QStandardPaths::findExecutable(u"pdfinfo"_s).isEmpty())
            QVERIFY(claimsPdfA1b(pdfInfo(pdf.fileName())));
        QVERIFY(preview.openFrom(dir.filePath(u"p.rep"_s)));
        QCOMPARE(preview.document().pageCount(), 3);
        QVERIFY(!preview.openFrom(dir.filePath(u"missing.rep"_s)));
        QCOMPARE(m_env->recorder().messages(),
                 QStringList({ u"O ficheiro não contém um relatório."_s }));
        QCOMPARE(preview.document().pageCount(), 3);
    }

    // preview() shows a window of its own and returns once the window is closed.
    bool sawWindow = false;
    QTimer::singleShot(0, this, [&sawWindow] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *p = qobject_cast<ReportPreview *>(w); p && p->isVisible()) {
                sawWindow = p->document().pageCount() == 3;
                p->action(u"close"_s)->trigger();
            }
        }
    });
    report->preview();
    QVERIFY(sawWindow);

    // An empty run opens nothing.
    rows.table.close();
    report->preview();
}

QTEST_MAIN(tst_BandedReport)
#include "tst_BandedReport.moc"
