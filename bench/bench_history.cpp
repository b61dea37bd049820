// Refreshing the exam history grid of a patient with 200 exams, the way picking the tab "Grelha"
// does, on the scale data set (TALUVO_BENCH_DATA), the grid shown and repainted. The patient is
// added to the data set once (number 999999). Prints the median, minimum and maximum of N runs.
#include "ScaleBench.h"

#include "app/Main.h"
#include "data/DM.h"
#include "platform/engine/Field.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"
#include "platform/widgets/DBGrid.h"

#include <QApplication>
#include <QDateTime>
#include <QTabWidget>

#include <sqlite3.h>

#include <cstdio>
#include <ctime>

namespace {
constexpr int kPatient = 999999;
constexpr int kExams = 200;

bool addPatient(const QString &file)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(file.toUtf8().constData(), &db) != SQLITE_OK)
        return false;
    QByteArray sql = "BEGIN; INSERT OR IGNORE INTO bddid (NF, NOME, BENIF) VALUES (999999, "
                     "'ZZ HISTORY BENCH', '1');";
    const QDateTime first(QDate(2010, 1, 4), QTime(9, 0));
    for (int i = 0; i < kExams; ++i) {
        const QDateTime at = first.addDays(i * 7);
        sql += QStringLiteral("INSERT OR IGNORE INTO eco (CodigoPaciente, CodigoExame, DataExame, "
                              "Executor, Peso, Fe, OrdSeg1, Asd) VALUES (%1, '%2', '%3', 1, 70, "
                              "60.5, 'obs', 1);")
                   .arg(kPatient)
                   .arg(at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                        at.date().toString(Qt::ISODate))
                   .toUtf8();
    }
    sql += "COMMIT;";
    const bool ok = sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? atoi(argv[1]) : 200;
    const QString dir = ScaleBench::dataDirectory();
    if (!addPatient(dir + QStringLiteral("/taluvo.sqlite"))) {
        std::fprintf(stderr, "cannot add the bench patient to %s\n", qPrintable(dir));
        return 1;
    }
    ScaleBench::Practice practice(true);
    TMainForm *form = practice.form();
    TDataModule1 *module = practice.module();
    form->show();
    if (!module->TablePac->locate(QStringLiteral("NF"), kPatient))
        return 1;
    form->PageControl2->setCurrentWidget(form->TabSheet6);
    QApplication::processEvents();

    // Processor time as well: other work on the shared machine does not count in it.
    ScaleBench::Figures refresh;
    ScaleBench::Figures processor;
    for (int i = 0; i < runs; ++i) {
        const std::clock_t start = std::clock();
        refresh.add(ScaleBench::timed([&] {
            form->PageControl2Change();
            form->DBGrid2->repaint();
        }));
        processor.add(1000.0 * double(std::clock() - start) / CLOCKS_PER_SEC);
    }
    std::printf("patient with %d exams, %d rows and %d columns shown\n",
                module->QueryGrelha->recordCount(), form->DBGrid2->model()->rowCount(),
                form->DBGrid2->model()->columnCount());
    refresh.print("history grid refresh");
    processor.print("history grid refresh, processor time");
    return 0;
}
