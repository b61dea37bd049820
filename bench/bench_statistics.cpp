// "Calcular" of the statistics page over one year (2025) of the scale data set
// (TALUVO_BENCH_DATA), all doctors: the query through the engine, the walk over its rows and the
// four figures, against the sqlite3 command-line tool running the same statement (".timer on",
// output to /dev/null), taken in turn so that the load of a shared machine weighs on both alike.
// Prints medians, minimums and maximums of N runs (first argument, default 10) and the ratio of
// the medians. The data set is only read.
#include "ScaleBench.h"

#include "platform/engine/SqliteStore.h"
#include "platform/widgets/DateEdit.h"
#include "reports/StatisticsPage.h"

#include <QApplication>
#include <QLabel>

#include <cstdio>
#include <memory>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? atoi(argv[1]) : 10;
    // Made before the data module, as at start-up: its doctor list binds when the module loads.
    auto page = std::make_unique<StatisticsPage>();
    ScaleBench::Practice practice(false);
    page->Data1->setDate(QDate(2025, 1, 1));
    page->Data2->setDate(QDate(2025, 12, 31));
    const QString file = SqliteStore::filePath(ScaleBench::dataDirectory());
    const QString sql = QStringLiteral(
        "select count(*) from eco where dataexame >= '2025-01-01' and dataexame <= '2025-12-31'  "
        "group by codigopaciente");

    ScaleBench::Figures calculate, cli;
    for (int i = 0; i < runs; ++i) {
        calculate.add(ScaleBench::timed([&] { page->BitBtn1Click(); }));
        cli.add(ScaleBench::sqliteCliMs(file, sql));
    }
    std::printf("exams %s, patients %s\n", qPrintable(page->Label57->text()),
                qPrintable(page->Label58->text()));
    calculate.print("Calcular over 2025");
    cli.print("sqlite3, same statement");
    if (cli.median() > 0)
        std::printf("ratio of medians %.2f\n", calculate.median() / cli.median());
    return 0;
}
