// The examination report of the scale data set (TALUVO_BENCH_DATA) generated in-process: random
// exams that have a segment-score row, the patient and exam positioned as the window does, then
// QuickRep1 generated into pages (and, apart, written as PDF). Prints the median, minimum and
// maximum of N runs (argument).
#include "data/DM.h"
#include "platform/engine/Database.h"
#include "platform/engine/Field.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"
#include "platform/report/BandedReport.h"
#include "platform/report/ReportDocument.h"
#include "platform/widgets/DialogRecorder.h"
#include "platform/widgets/Dialogs.h"
#include "reports/ExamReport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
void print(const char *what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%s, %zu runs: median %.1f ms, min %.1f ms, max %.1f ms\n", what, ms.size(),
                ms[ms.size() / 2], ms.front(), ms.back());
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString dir = qEnvironmentVariable("TALUVO_BENCH_DATA", QStringLiteral("bench-data"));
    const int runs = argc > 1 ? atoi(argv[1]) : 20;
    Database::setCommandLineDirectory(dir);
    Dialogs::install(std::make_unique<DialogRecorder>());

    auto module = std::make_unique<TDataModule1>();
    DataModule1 = module.get();
    module->load();
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
    std::vector<double> generate, export_;
    int pages = 0;
    for (const auto &[patient, exam] : exams) {
        if (!module->TablePac->locate(QStringLiteral("NF"), patient)
            || !module->TableEco->locate(QStringLiteral("CodigoExame"), exam))
            continue;
        QElapsedTimer t;
        t.start();
        const ReportDocument document = report->QuickRep1->generate();
        generate.push_back(double(t.nsecsElapsed()) / 1e6);
        pages += document.pageCount();
        t.restart();
        report->QuickRep1->exportPdf(pdf);
        export_.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    if (generate.empty()) {
        std::fprintf(stderr, "no exam with a segment-score row found\n");
        return 1;
    }
    print("Exam report generated", generate);
    print("Exam report generated and written as PDF", export_);
    std::printf("%d pages in all\n", pages);
    report.reset();
    module.reset();
    DataModule1 = nullptr;
    return 0;
}
