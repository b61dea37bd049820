// Importing a practice's Paradox tables against making the same practice with `taluvo db demo`:
// the demo is made (timed), written out as the old program's files (not timed), then imported
// into a new folder (timed), both as the commands run, end to end. Medians over the repetitions.
//
//     build/bench/bench_import [patients] [exams] [repetitions] [folder]   (100000 300000 3)
//
// With a folder, the Paradox files are written there and kept (for a profiler, say).
#include "support/ParadoxPractice.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double run(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    p.start(QStringLiteral(TALUVO_BINARY), args);
    p.waitForFinished(-1);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "taluvo %s failed\n", qPrintable(args.join(QLatin1Char(' '))));
        std::exit(1);
    }
    return ms;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    const QString patients = a.value(1, QStringLiteral("100000"));
    const QString exams = a.value(2, QStringLiteral("300000"));
    const int repetitions = a.value(3, QStringLiteral("3")).toInt();

    QTemporaryDir tmp(QDir::current().filePath(QStringLiteral("bench-import-XXXXXX")));
    const QString old = a.size() > 4 ? a.at(4) : tmp.filePath(QStringLiteral("paradox"));
    std::vector<double> demo;
    std::vector<double> import;
    for (int i = 0; i < repetitions; ++i) {
        const QString made = tmp.filePath(QStringLiteral("demo%1").arg(i));
        demo.push_back(run({ "db", "demo", made, "--patients", patients, "--exams", exams }));
        if (i == 0) {
            QDir().mkpath(old);
            QElapsedTimer timer;
            timer.start();
            ParadoxPractice::write(made, old, ParadoxPractice::Options());
            std::printf("writing the Paradox files: %.0f ms\n", double(timer.elapsed()));
        }
        import.push_back(
            run({ "db", "import-paradox", old, tmp.filePath(QStringLiteral("import%1").arg(i)) }));
        QDir(made).removeRecursively();
        std::printf("run %d: demo %.0f ms, import %.0f ms\n", i + 1, demo.back(), import.back());
        std::fflush(stdout);
    }
    std::printf("%s patients, %s exams: demo median %.0f ms, import median %.0f ms, ratio %.2f\n",
                qPrintable(patients), qPrintable(exams), median(demo), median(import),
                median(import) / median(demo));
    return 0;
}
