// "Calcular" of the statistics page over one year (2025) of the scale data set
// (TALUVO_BENCH_DATA), all doctors: the query through the engine, the walk over its rows and the
// four figures. Prints the median, minimum and maximum of N runs; compare with
//   sqlite3 taluvo.sqlite "select count(*) from eco where dataexame >= '2025-01-01' and
//                          dataexame <= '2025-12-31' group by codigopaciente"
#include "data/DM.h"
#include "platform/engine/Database.h"
#include "platform/widgets/DialogRecorder.h"
#include "platform/widgets/Dialogs.h"
#include "reports/StatisticsPage.h"

#include <QApplication>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QLabel>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString dir = qEnvironmentVariable("TALUVO_BENCH_DATA", QStringLiteral("bench-data"));
    const int runs = argc > 1 ? atoi(argv[1]) : 10;
    Database::setCommandLineDirectory(dir);
    Dialogs::install(std::make_unique<DialogRecorder>());

    auto page = std::make_unique<StatisticsPage>();
    auto module = std::make_unique<TDataModule1>();
    DataModule1 = module.get();
    module->load();
    page->Data1->setDate(QDate(2025, 1, 1));
    page->Data2->setDate(QDate(2025, 12, 31));

    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        page->BitBtn1Click();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("Calcular over 2025, %d runs: median %.1f ms, min %.1f ms, max %.1f ms "
                "(exams %s, patients %s)\n",
                runs, ms[ms.size() / 2], ms.front(), ms.back(), qPrintable(page->Label57->text()),
                qPrintable(page->Label58->text()));
    module.reset();
    DataModule1 = nullptr;
    page.reset();
    return 0;
}
