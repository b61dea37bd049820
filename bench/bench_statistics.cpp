// "Calcular" of the statistics page over one year (2025) of the scale data set
// (TALUVO_BENCH_DATA), all doctors: the query through the engine, the walk over its rows and the
// four figures; then the summaries' statements as the summary reports open them (by doctor over
// five years, by health system over one), each against the sqlite3 command-line tool running the same statement (".timer on",
// output to /dev/null), taken in turn so that the load of a shared machine weighs on both alike.
// Prints medians, minimums and maximums of N runs (first argument, default 10) and the ratio of
// the medians. The data set is only read.
#include "ScaleBench.h"

#include "platform/engine/Query.h"
#include "platform/engine/SqliteStore.h"
#include "data/DM.h"
#include "platform/widgets/DateEdit.h"
#include "reports/StatisticsPage.h"

#include <QApplication>
#include <QLabel>

#include <algorithm>
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

    // One untimed run of each first, so that neither pays for reading the file into the system's
    // cache.
    ScaleBench::Figures calculate, cli;
    page->BitBtn1Click();
    (void)ScaleBench::sqliteCliMs(file, sql);
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

    struct Summary
    {
        StatisticsPage::Summary by;
        QDate from;
        const char *label;
        const char *sql;
    };
    const Summary summaries[] = {
        { StatisticsPage::Summary::ByDoctor, QDate(2021, 1, 1), "summary by doctor 2021-2025",
          "select codigo, nome, count(*) from medico join eco on codigo = executor where "
          "dataexame >= '2021-01-01' and dataexame <= '2025-12-31' group by executor,codigo,nome" },
        { StatisticsPage::Summary::ByHealthSystem, QDate(2025, 1, 1),
          "summary by health system 2025",
          "select sigla, entidade, count(*) from bddid join convencao on cast(bddid.benif as "
          "integer) = convencao.codigo join eco on nf = codigopaciente where dataexame >= "
          "'2025-01-01' and dataexame <= '2025-12-31' group by convencao.sigla, "
          "convencao.entidade" },
    };
    for (const Summary &summary : summaries) {
        ScaleBench::Figures program, tool;
        StatisticsPage::openSummary(summary.by, false, summary.from, QDate(2025, 12, 31));
        (void)ScaleBench::sqliteCliMs(file, QString::fromLatin1(summary.sql));
        for (int i = 0; i < std::max(1, runs / 3); ++i) {
            program.add(ScaleBench::timed([&] {
                StatisticsPage::openSummary(summary.by, false, summary.from, QDate(2025, 12, 31));
                DataModule1->QueryStat->last();
            }));
            tool.add(ScaleBench::sqliteCliMs(file, QString::fromLatin1(summary.sql)));
        }
        program.print(summary.label);
        tool.print("sqlite3, same statement");
        if (tool.median() > 0)
            std::printf("ratio of medians %.2f\n", program.median() / tool.median());
    }
    return 0;
}
