// The examination report of the scale data set (TALUVO_BENCH_DATA) generated in-process: random
// exams that have a segment-score row, the patient and exam positioned as the window does, then
// QuickRep1 generated into pages (and, apart, written as PDF). Prints the median, minimum and
// maximum of N runs (argument).
#include "ScaleBench.h"

#include "data/DM.h"
#include "platform/engine/Field.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"
#include "platform/report/BandedReport.h"
#include "platform/report/ReportDocument.h"
#include "reports/ExamReport.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? atoi(argv[1]) : 20;
    ScaleBench::Practice practice(false);
    TDataModule1 *module = practice.module();
    auto report = std::make_unique<ExamReport>(*module);

    // Exams with a score row, picked up front so the timing holds only the report.
    Query pick;
    pick.setSql(QStringLiteral("select CodpacienteI, DodExamei from imagem order by random() "
                               "limit %1")
                    .arg(runs));
    pick.open();
    std::vector<std::pair<QVariant, QVariant>> exams;
    for (pick.first(); !pick.eof(); pick.next())
        exams.emplace_back(pick.fields().at(0)->value(), pick.fields().at(1)->value());

    QTemporaryDir out;
    const QString pdf = out.filePath(QStringLiteral("report.pdf"));
    ScaleBench::Figures generate, written;
    int pages = 0;
    for (const auto &[patient, exam] : exams) {
        if (!module->TablePac->locate(QStringLiteral("NF"), patient)
            || !module->TableEco->locate(QStringLiteral("CodigoExame"), exam))
            continue;
        generate.add(
            ScaleBench::timed([&] { pages += report->QuickRep1->generate().pageCount(); }));
        written.add(ScaleBench::timed([&] { report->QuickRep1->exportPdf(pdf); }));
    }
    if (generate.ms.empty()) {
        std::fprintf(stderr, "no exam with a segment-score row found\n");
        return 1;
    }
    generate.print("exam report generated");
    written.print("exam report generated and written as PDF");
    std::printf("%d pages in all\n", pages);
    return 0;
}
