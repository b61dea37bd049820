// Backups of the scale data set (TALUVO_BENCH_DATA): `Backup::make` (the copy `taluvo db backup`
// makes, checked with quick_check) against the sqlite3 tool's `.backup` of the same file, and the
// close of the application with a backup due (main window and data module destroyed, then the
// day's copy made). Medians over the repetitions; the copies go to a temporary folder.
//
//     TALUVO_BENCH_DATA=build/bench-data build/bench/bench_backup [repetitions]   (5)
#include "ScaleBench.h"
#include "app/Startup.h"
#include "data/Backup.h"
#include "platform/engine/SqliteStore.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int repetitions = std::max(1, app.arguments().value(1, QStringLiteral("5")).toInt());
    const QString data = ScaleBench::dataDirectory();
    QTemporaryDir tmp(QDir(data).absoluteFilePath(QStringLiteral("../bench-backup-XXXXXX")));
    // The close's copy goes to the temporary folder, not beside the data set.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp.filePath(QStringLiteral("config"))));
    QDir().mkpath(tmp.filePath(QStringLiteral("config/taluvo")));
    QFile ini(tmp.filePath(QStringLiteral("config/taluvo/engine.ini")));
    ini.open(QIODevice::WriteOnly);
    ini.write("[Backup]\nDir=" + QFile::encodeName(tmp.filePath(QStringLiteral("copias"))) + "\n");
    ini.close();

    const QString tool = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    ScaleBench::Figures ours, theirs, close;
    for (int i = 0; i < repetitions; ++i) {
        const QString mine = tmp.filePath(QStringLiteral("ours%1.sqlite").arg(i));
        ours.add(ScaleBench::timed([&] { Backup::make(data, mine); }));
        QFile::remove(mine);
        if (!tool.isEmpty()) {
            const QString copy = tmp.filePath(QStringLiteral("tool%1.sqlite").arg(i));
            theirs.add(ScaleBench::timed([&] {
                QProcess::execute(tool, { SqliteStore::filePath(data),
                                          QStringLiteral(".backup '%1'").arg(copy) });
            }));
            QFile::remove(copy);
        }
        auto practice = std::make_unique<ScaleBench::Practice>(true);
        QDir(tmp.filePath(QStringLiteral("copias"))).removeRecursively();
        close.add(ScaleBench::timed([&] {
            practice.reset();
            Startup::backupAtClose(data);
        }));
    }
    ours.print("db backup (online copy + quick_check)");
    theirs.print("sqlite3 .backup");
    close.print("close with the day's backup due");
    if (theirs.median() > 0)
        std::printf("ratio to sqlite3 .backup: %.2f\n", ours.median() / theirs.median());
    return 0;
}
