// Refreshing the exam history grid of a patient with 200 exams, the way picking the tab "Grelha"
// does, on the scale data set (TALUVO_BENCH_DATA), the grid shown and repainted. The patient is
// added to the data set once (number 999999). Prints the median, minimum and maximum of N runs.
#include "app/Main.h"
#include "data/DM.h"
#include "platform/engine/Database.h"
#include "platform/engine/Field.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DialogRecorder.h"
#include "platform/widgets/Dialogs.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTabWidget>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

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
    const QString dir = qEnvironmentVariable("TALUVO_BENCH_DATA", QStringLiteral("bench-data"));
    const int runs = argc > 1 ? atoi(argv[1]) : 200;
    if (!addPatient(dir + QStringLiteral("/taluvo.sqlite"))) {
        std::fprintf(stderr, "cannot add the bench patient to %s\n", qPrintable(dir));
        return 1;
    }
    Database::setCommandLineDirectory(dir);
    Dialogs::install(std::make_unique<DialogRecorder>());

    auto form = std::make_unique<TMainForm>();
    MainForm = form.get();
    auto module = std::make_unique<TDataModule1>();
    DataModule1 = module.get();
    module->load();
    form->show();
    if (!module->TablePac->locate(QStringLiteral("NF"), kPatient))
        return 1;
    form->PageControl2->setCurrentWidget(form->TabSheet6);
    QApplication::processEvents();

    std::vector<double> ms;
    ms.reserve(size_t(runs));
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        form->PageControl2Change();
        form->DBGrid2->repaint();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("history grid refresh, %d exams, %d runs: median %.3f ms, min %.3f ms, "
                "max %.3f ms (rows shown %d)\n",
                module->QueryGrelha->recordCount(), runs, ms[ms.size() / 2], ms.front(), ms.back(),
                form->DBGrid2->model()->rowCount());
    module.reset();
    DataModule1 = nullptr;
    form.reset();
    return 0;
}
