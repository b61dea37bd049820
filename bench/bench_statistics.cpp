// "Calcular" of the statistics page over one year (2025) of the scale data set
// (TALUVO_BENCH_DATA), all doctors: the query through the engine, the walk over its rows and the
// four figures. Prints the median, minimum and maximum of N runs; compare with
//   sqlite3 taluvo.sqlite "select count(*) from eco where dataexame >= '2025-01-01' and
//                          dataexame <= '2025-12-31' group by codigopaciente"
#include "ScaleBench.h"

#include "reports/StatisticsPage.h"

#include <QApplication>
#include "platform/widgets/DateEdit.h"
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

    ScaleBench::Figures calculate;
    for (int i = 0; i < runs; ++i)
        calculate.add(ScaleBench::timed([&] { page->BitBtn1Click(); }));
    std::printf("exams %s, patients %s\n", qPrintable(page->Label57->text()),
                qPrintable(page->Label58->text()));
    calculate.print("Calcular over 2025");
    return 0;
}
