// Start-up of the application on the scale data set, offscreen: the whole sequence up to the
// event loop, repeated, with the time of each step. Medians over the repetitions; the first run
// is also shown apart, as it is the one a user waits for after a reboot (cold SQLite caches).
//
//     TALUVO_BENCH_DATA=build/bench-data build/bench/bench_startup [repetitions]
#include "app/Main.h"
#include "app/Startup.h"
#include "data/DM.h"
#include "platform/engine/Database.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"
#include "platform/widgets/DialogRecorder.h"
#include "platform/widgets/Dialogs.h"
#include "search/Pesqt2.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
QString dataDir()
{
    const QString dir = qEnvironmentVariable("TALUVO_BENCH_DATA");
    return dir.isEmpty() ? QStringLiteral("bench-data") : dir;
}

// Times of one run, by step, in the order they were first seen.
struct Run
{
    QStringList order;
    QMap<QString, double> ms;

    void add(const QString &step, double value)
    {
        if (!ms.contains(step))
            order.append(step);
        ms[step] += value;
    }
};

class Stopwatch
{
public:
    Stopwatch() { m_timer.start(); }
    // Milliseconds since the previous lap.
    double lap()
    {
        const qint64 now = m_timer.nsecsElapsed();
        const double ms = double(now - m_last) / 1e6;
        m_last = now;
        return ms;
    }
    [[nodiscard]] double total() const { return double(m_timer.nsecsElapsed()) / 1e6; }

private:
    QElapsedTimer m_timer;
    qint64 m_last = 0;
};

// Opening time of a dataset, from its before-open to its after-open hook; what ran since the
// previous step goes to "before".
void timeOpen(Dataset *dataset, const QString &label, const QString &before, Run &run,
              Stopwatch &clock)
{
    dataset->hooks().beforeOpen
        = [&run, &clock, before](Dataset &) { run.add(before, clock.lap()); };
    dataset->hooks().afterOpen = [&run, &clock, label](Dataset &) {
        run.add(QStringLiteral("  open ") + label, clock.lap());
    };
}

Run startOnce(DialogRecorder &recorder)
{
    Run run;
    Stopwatch clock;
    // What each observed step closes; the time since the previous one goes to it. A window is
    // its construction and its create handler together.
    const QMap<QString, QString> label {
        { QStringLiteral("splash"), QStringLiteral("splash shown") },
        { QStringLiteral("DataModule1"), QStringLiteral("DataModule1 construct") },
        { QStringLiteral("DataModule1.create"), QStringLiteral("  after the last table") },
        { QStringLiteral("FormT2Pesq"), QStringLiteral("FormT2Pesq construct") },
        { QStringLiteral("FormT2Pesq.create"), QStringLiteral("  after QueryPesq1") },
        { QStringLiteral("splash.destroyed"), QStringLiteral("splash destroyed") },
    };
    const QString between = QStringLiteral("  between tables (rules, links)");
    Startup::Options options;
    options.installServices = [] {};
    options.observer = [&](const QString &step, int) {
        const double ms = clock.lap();
        if (step == QLatin1String("DataModule1")) {
            // The bindings run right after the connection, before anything else of the load.
            TDataModule1::bindWhenLoaded(DataModule1, [&](TDataModule1 &) {
                run.add(QStringLiteral("  connect Database2"), clock.lap());
            });
            TDataModule1 *dm = DataModule1;
            timeOpen(dm->TablePac, dm->TablePac->tableName(),
                     QStringLiteral("  lock files, schema upgrade"), run, clock);
            for (Table *t : { dm->TableSS, dm->TableEco, dm->TableIMG, dm->TableFrase, dm->TableMed,
                              dm->TableConc })
                timeOpen(t, t->tableName(), between, run, clock);
        } else if (step == QLatin1String("FormT2Pesq")) {
            timeOpen(FormT2Pesq->TablePesq, QStringLiteral("TablePesq"), between, run, clock);
            timeOpen(FormT2Pesq->QueryPesq1, QStringLiteral("QueryPesq1"), between, run, clock);
        }
        QString name = label.value(step);
        if (name.isEmpty() && !step.startsWith(QLatin1String("splash")))
            name = step.section(QLatin1Char('.'), 0, 0);
        if (name == QLatin1String("progress") || name == QLatin1String("title")
            || name == QLatin1String("maximum"))
            name = QStringLiteral("progress bar, title");
        run.add(name, ms);
    };

    Startup startup(options);
    if (startup.start() != 0) {
        std::fprintf(stderr, "start-up failed: %s\n",
                     qPrintable(recorder.systemErrors().join(QLatin1Char('\n'))));
        std::exit(1);
    }
    run.add(QStringLiteral("TOTAL to the event loop"), clock.total());

    // The main window shown and the first pass of the event loop.
    Stopwatch loop;
    QTimer::singleShot(0, qApp, [&] {
        run.add(QStringLiteral("show + first event loop pass"), loop.lap());
        QCoreApplication::quit();
    });
    MainForm->show();
    QApplication::exec();
    loop.lap();
    startup.shutdown();
    run.add(QStringLiteral("shutdown"), loop.lap());
    return run;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    auto recorder = std::make_unique<DialogRecorder>();
    DialogRecorder &messages = *recorder;
    Dialogs::install(std::move(recorder));
    Database::setCommandLineDirectory(dataDir());

    std::vector<Run> runs;
    for (int i = 0; i < repetitions; ++i)
        runs.push_back(startOnce(messages));
    if (!messages.isEmpty()) {
        std::fprintf(stderr, "messages during start-up:\n%s\n",
                     qPrintable(messages.messages().join(QLatin1Char('\n'))));
    }

    std::printf("start-up on %s, %d runs (ms)\n", qPrintable(dataDir()), repetitions);
    std::printf("%-38s %10s %10s %10s %10s\n", "step", "median", "min", "max", "first");
    for (const QString &step : runs.front().order) {
        std::vector<double> values;
        for (const Run &r : runs)
            values.push_back(r.ms.value(step));
        std::printf("%-38s %10.2f %10.2f %10.2f %10.2f\n", qPrintable(step), median(values),
                    *std::min_element(values.begin(), values.end()),
                    *std::max_element(values.begin(), values.end()), values.front());
    }
    return 0;
}
