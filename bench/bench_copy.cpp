// `taluvo db copy` of the scale data set (TALUVO_BENCH_DATA) into a new folder, in-process as the
// command runs it (rows copied, read back and compared), against SQLite's own `VACUUM INTO` of
// the same file, the fastest whole copy it can make. Wall-clock and processor time are printed
// apart: on a shared machine the second is the steadier figure. The copies go to a temporary
// folder beside the data set.
//
//     TALUVO_BENCH_DATA=build/bench-data build/bench/bench_copy [repetitions]   (3)
#include "ScaleBench.h"
#include "cli/CopyCommand.h"
#include "platform/engine/SqliteStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTextStream>

#include <sqlite3.h>

#include <cstdio>
#include <sys/resource.h>

namespace {

double cpuMs()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms
        = [](const timeval &t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Wall-clock and processor milliseconds of one step.
void measure(ScaleBench::Figures &wall, ScaleBench::Figures &cpu, const std::function<void()> &step)
{
    const double before = cpuMs();
    wall.add(ScaleBench::timed(step));
    cpu.add(cpuMs() - before);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int repetitions = std::max(1, app.arguments().value(1, QStringLiteral("3")).toInt());
    const QString data = ScaleBench::dataDirectory();
    if (!SqliteStore::exists(data)) {
        std::fprintf(stderr, "no data set in %s (see bench/README.md)\n", qPrintable(data));
        return 1;
    }
    QTemporaryDir tmp(QDir(data).absoluteFilePath(QStringLiteral("../bench-copy-XXXXXX")));

    ScaleBench::Figures copyWall, copyCpu, vacuumWall, vacuumCpu;
    for (int i = 0; i < repetitions; ++i) {
        const QString target = tmp.filePath(QStringLiteral("copy%1").arg(i));
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        int code = -1;
        measure(copyWall, copyCpu, [&] {
            code = CopyCommand(outStream, errStream).run({ data, target });
        });
        outStream.flush();
        if (code != 0) {
            errStream.flush();
            std::fprintf(stderr, "db copy failed (%d):\n%s%s", code, qPrintable(out),
                         qPrintable(err));
            return 1;
        }
        if (i == 0)
            std::printf("%s", qPrintable(out));
        QDir(target).removeRecursively();

        const QString vacuum = tmp.filePath(QStringLiteral("vacuum%1.sqlite").arg(i));
        measure(vacuumWall, vacuumCpu, [&] {
            sqlite3 *db = nullptr;
            sqlite3_open_v2(QFile::encodeName(SqliteStore::filePath(data)).constData(), &db,
                            SQLITE_OPEN_READONLY, nullptr);
            sqlite3_exec(db, QStringLiteral("VACUUM INTO '%1'").arg(vacuum).toUtf8().constData(),
                         nullptr, nullptr, nullptr);
            sqlite3_close(db);
        });
        QFile::remove(vacuum);
    }
    copyWall.print("db copy, wall clock");
    copyCpu.print("db copy, processor time");
    vacuumWall.print("VACUUM INTO, wall clock");
    vacuumCpu.print("VACUUM INTO, processor time");
    return 0;
}
