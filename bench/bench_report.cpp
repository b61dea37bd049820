// Generating a report of about two pages, shaped like the examination report: a framed title
// with fields, a measurement band of shapes and value boxes, a chain of child bands with
// sentences, a rich-text conclusion long enough to go onto a second page, and a summary. The rows
// come from a table in a temporary database, as the report reads them in the application.
#include "platform/engine/Database.h"
#include "platform/engine/SqliteStore.h"
#include "platform/engine/Table.h"
#include "platform/report/BandedReport.h"
#include "platform/report/ReportDataField.h"
#include "platform/report/ReportLabel.h"
#include "platform/report/ReportPicture.h"
#include "platform/report/ReportRichText.h"

#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

QString conclusionRtf()
{
    QString rtf = QStringLiteral("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil Arial;}}"
                                 "\\viewkind4\\uc1\\pard\\f0\\fs18 ");
    for (int i = 0; i < 70; ++i)
        rtf += QStringLiteral("Ventr\\'edculo esquerdo de dimens\\'f5es normais, \\b com "
                              "espessura parietal aumentada\\b0  e fun\\'e7\\'e3o sist\\'f3lica "
                              "global preservada (%1).\\par ")
                   .arg(i);
    return rtf + QLatin1Char('}');
}

struct Exam
{
    QTemporaryDir dir;
    std::unique_ptr<Database> db;
    Table table;
    BandedReport report;

    Exam()
    {
        SqliteStore::open(dir.path(), QStringLiteral("bench-create"), true).close();
        SqliteStore::close(QStringLiteral("bench-create"));
        db = std::make_unique<Database>(QStringLiteral("BDC"));
        db->openDirectory(dir.path());
        SqliteStore::exec(db->handle(),
                          QStringLiteral("CREATE TABLE eco (ID INTEGER PRIMARY KEY, NOME TEXT, "
                                         "DATA TEXT, FE REAL, ECO1 TEXT)"));
        SqliteStore::exec(
            db->handle(),
            QStringLiteral("INSERT INTO eco VALUES (1, 'ANA MARIA COSTA', "
                           "'2024-06-10', 55.5, '%1')")
                .arg(conclusionRtf().replace(QLatin1Char('\''), QStringLiteral("''"))));
        table.setTableName(QStringLiteral("eco.DB"));
        table.setIndexFieldNames(QStringLiteral("ID"));
        table.addField(QStringLiteral("ID"), FieldType::Integer);
        table.addField(QStringLiteral("NOME"), FieldType::String, 60);
        table.addField(QStringLiteral("DATA"), FieldType::Date);
        table.addField(QStringLiteral("FE"), FieldType::Float);
        table.addField(QStringLiteral("ECO1"), FieldType::Memo);
        table.open();
        define();
    }

    void define()
    {
        report.setMargins(QMarginsF(10, 30, 10, 10));
        report.setDataset(&table);
        const QFont small(QStringLiteral("Small Fonts"), 7);
        QFont bold(QStringLiteral("Arial"), 9);
        bold.setBold(true);

        report.addBand(ReportBand::Kind::PageHeader, 11.4)
            ->addLabel(QStringLiteral("Relatório de Exame Ecocardiográfico"),
                       QRectF(0, 2.1, 0, 6.3))
            ->setAlignment(ReportItem::Alignment::CenterOnBand);
        ReportBand *title = report.addBand(ReportBand::Kind::Title, 26.7);
        title->setFrame(ReportFrame::all());
        for (int row = 0; row < 4; ++row) {
            for (int col = 0; col < 3; ++col) {
                title->addLabel(QStringLiteral("Caption:"),
                                QRectF(4.2 + col * 60, 2.1 + row * 6.3, 0, 4.5));
                title
                    ->addDataField(&table, QStringLiteral("NOME"),
                                   QRectF(20 + col * 60, 2.1 + row * 6.3, 35, 4.5))
                    ->setFont(bold);
            }
        }
        ReportBand *detail = report.addBand(ReportBand::Kind::Detail, 67.2);
        detail->addShape(ReportShape::Kind::Rectangle, QRectF(0, 1.1, 189.7, 58.5));
        for (qreal left : { 72.0, 163.0 }) {
            auto *column
                = detail->addShape(ReportShape::Kind::Rectangle, QRectF(left, 6.3, 19.3, 51.1));
            column->setColor(QColor(223, 223, 223));
            column->setPenColor(QColor(234, 234, 234));
        }
        for (int row = 0; row < 9; ++row) {
            for (qreal left : { 1.3, 97.6 }) {
                const qreal top = 8.5 + row * 5.3;
                detail->addLabel(QStringLiteral("Fracção de Ejecção (FE)"),
                                 QRectF(left, top, 0, 4.5));
                auto *box = detail->addDataField(&table, QStringLiteral("FE"),
                                                 QRectF(left + 60.3, top, 8.7, 4.5));
                box->setAlignment(ReportItem::Alignment::Center);
                box->setFrame(ReportFrame::all());
                box->setColor(QColor(223, 223, 223));
                auto *range = detail->addLabel(QStringLiteral("22 - 30 mm"),
                                               QRectF(left + 70.7, top + 0.5, 19.3, 4));
                range->setFont(small);
                range->setAlignment(ReportItem::Alignment::Center);
                range->setTransparent(true);
            }
        }
        ReportBand *band = detail;
        for (int i = 0; i < 4; ++i) {
            band = band->addChildBand(7.4);
            band->addLabel(QStringLiteral("Válvulas Cardíacas :"), QRectF(2.6, 1.9, 0, 4.5));
            band->addLabel(QStringLiteral("??"), QRectF(37.8, 1.9, 0, 4.5))
                ->setOnPrint([](ReportLabel &, QString &text) {
                    text = QStringLiteral("Estrutura e motilidade normais.");
                });
        }
        ReportBand *diagram = band->addChildBand(50.3);
        diagram->addPicture(QRectF(4.2, 5.8, 180.2, 34.1))
            ->setPaintFunction([](QPainter &painter, const QRectF &target) {
                for (int i = 0; i < 4; ++i)
                    painter.drawEllipse(QRectF(target.left() + i * target.width() / 4, target.top(),
                                               target.width() / 4, target.height()));
            });
        ReportBand *conclusion = diagram->addChildBand(21.2);
        conclusion->addLabel(QStringLiteral("Conclusões:"), QRectF(2.6, 9.8, 0, 4.5));
        conclusion->addRichText(&table, QStringLiteral("ECO1"), QRectF(2.6, 15.6, 183.4, 4.5))
            ->setFont(QFont(QStringLiteral("Arial"), 9));
        ReportBand *summary = report.addBand(ReportBand::Kind::Summary, 13.8);
        summary->addLabel(QString(34, QLatin1Char('_')), QRectF(15.1, 0.3, 0, 4.5));
        summary->addLabel(QStringLiteral("O Técnico"), QRectF(38.1, 4.8, 0, 4.5));
    }
};

void BM_GenerateExamReport(benchmark::State &state)
{
    Exam exam;
    int pages = 0;
    for (auto _ : state) {
        const ReportDocument document = exam.report.generate();
        pages = document.pageCount();
        benchmark::DoNotOptimize(document.page(0).size());
    }
    state.counters["pages"] = pages;
}

void BM_GenerateAndExportPdf(benchmark::State &state)
{
    Exam exam;
    const QString pdf = exam.dir.filePath(QStringLiteral("report.pdf"));
    for (auto _ : state) {
        if (!exam.report.exportPdf(pdf))
            state.SkipWithError("PDF not written");
    }
}

} // namespace

BENCHMARK(BM_GenerateExamReport)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GenerateAndExportPdf)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
