// The data module's everyday work on any location of the scale data set (TALUVO_BENCH_DATA: a
// directory or a postgresql:// URI): opening the patient table in name order, a patient move
// with its exams and scores, an exam post with its score row, the first 100 rows of the quick
// search's exam list, and the advanced search for a common name: its first screen of rows and
// every row. Prints the median, minimum and maximum of N runs of each (argument).
#include "ScaleBench.h"

#include "data/DM.h"
#include "platform/engine/Field.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"
#include "platform/widgets/Clock.h"
#include "search/Pesq.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? atoi(argv[1]) : 200;
    ScaleBench::Practice practice(false);
    TDataModule1 *dm = practice.module();
    Table *pac = dm->TablePac;
    Table *eco = dm->TableEco;
    Table *img = dm->TableIMG;

    ScaleBench::Figures open;
    for (int i = 0; i < qMin(runs, 50); ++i)
        open.add(ScaleBench::timed([&] {
            pac->close();
            pac->open();
        }));
    open.print("opening the patient table in name order");

    ScaleBench::Figures move;
    pac->first();
    for (int i = 0; i < runs; ++i)
        move.add(ScaleBench::timed([&] {
            pac->next();
            // The details follow the master: the exams and the first exam's scores are read.
            (void)eco->recordCount();
            (void)img->recordCount();
        }));
    move.print("patient move with its exams and scores");

    // A patient with an exam that has its score row.
    pac->first();
    while (!pac->eof() && (eco->isEmpty() || img->isEmpty()))
        pac->next();
    // Exams older than a day are locked: the clock stands on the exam's day.
    Clock::install(std::make_unique<FixedClock>(
        QDateTime(eco->fieldByName(QStringLiteral("DataExame"))->asDate(), QTime(12, 0))));
    ScaleBench::Figures post;
    for (int i = 0; i < runs; ++i)
        post.add(ScaleBench::timed([&] {
            eco->edit();
            eco->fieldByName(QStringLiteral("Peso"))->setAsInteger(60 + i % 30);
            img->edit();
            img->fieldByName(QStringLiteral("C1"))->setAsInteger(1 + i % 4);
            eco->post();
        }));
    post.print("exam post with its score row");

    ScaleBench::Figures list;
    for (int i = 0; i < qMin(runs, 50); ++i) {
        Query q;
        q.setDatabaseName(QStringLiteral("BDC"));
        q.setSql({ QStringLiteral("select dataexame, codigoexame, nf, bddid.nome,  medico.nome, "
                                  "medico"),
                   QStringLiteral("from medico right join eco on medico.codigo = executor, bddid"),
                   QStringLiteral("where nf = eco.codigopaciente"),
                   QStringLiteral("order by dataexame desc") });
        q.setSortKeys({ QStringLiteral("eco.dataexame"), QStringLiteral("eco.rowid") }, true);
        list.add(ScaleBench::timed([&] {
            q.open();
            for (int row = 0; row < 100 && !q.eof(); ++row)
                q.next();
        }));
    }
    list.print("first 100 rows of the exam list");

    // What the grid shows first, and the whole result.
    ScaleBench::Figures firstScreen;
    ScaleBench::Figures whole;
    int found = 0;
    for (int i = 0; i < qMin(runs, 10); ++i) {
        Query q;
        q.setDatabaseName(QStringLiteral("BDC"));
        q.setSql({ TFormPesqAV::searchStatement(QStringLiteral("silva")) });
        firstScreen.add(ScaleBench::timed([&] {
            q.open();
            for (int row = 0; row < 30 && !q.eof(); ++row)
                q.next();
        }));
        q.close();
        whole.add(ScaleBench::timed([&] {
            q.open();
            found = q.recordCount();
        }));
    }
    firstScreen.print("advanced search \"silva\", first 30 rows");
    whole.print("advanced search \"silva\", every row");
    std::printf("  (%d patients found)\n", found);
    return 0;
}
