// The advanced patient search ("Pesquisar..." of "Pesquisa Avançada") on the scale data set
// (TALUVO_BENCH_DATA), with the window shown offscreen, against sqlite3 running the same statement.
// For each searched text (or only the second argument), medians over N runs (first argument,
// default 10) in milliseconds:
//   click    the search as the user waits for it: the statement opened, the grid painted
//   all      the search and every found row read into the result (what sqlite3 does)
//   free     closing that fully read result, which the next search does first
//   c-api    the same statement through SQLite's C API with its own upper() and like(), every
//            column of every row read as text
//   cli      the sqlite3 command-line tool, ".timer on", output to /dev/null (the reference)
// The data set is only read.
#include "ScaleBench.h"

#include "data/DM.h"
#include "platform/engine/Query.h"
#include "platform/engine/SqliteStore.h"
#include "platform/widgets/DBGrid.h"
#include "search/Pesq.h"

#include <QApplication>
#include <QLineEdit>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
// SQLite's own functions: the connection is opened after the engine's auto-extension is dropped.
int sqliteRows(sqlite3 *db, const QString &sql)
{
    sqlite3_stmt *st = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &st, nullptr) != SQLITE_OK)
        return -1;
    int rows = 0;
    const int columns = sqlite3_column_count(st);
    while (sqlite3_step(st) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c)
            sqlite3_column_text(st, c);
        ++rows;
    }
    sqlite3_finalize(st);
    return rows;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    // Made in start-up order: the window before the data module that binds its grid.
    auto form = std::make_unique<TFormPesqAV>();
    FormPesqAV = form.get();
    ScaleBench::Practice practice(false);
    TDataModule1 *module = practice.module();
    form->show();
    QApplication::processEvents();

    sqlite3_reset_auto_extension();
    sqlite3 *plain = nullptr;
    const QString file = SqliteStore::filePath(ScaleBench::dataDirectory());
    if (sqlite3_open_v2(file.toUtf8().constData(), &plain, SQLITE_OPEN_READONLY, nullptr)
        != SQLITE_OK) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(file));
        return 1;
    }

    std::printf("advanced search, 100000 patients, %d runs, medians in ms\n", runs);
    std::printf("%-10s %7s %7s %7s %7s %7s %7s %9s %9s %9s\n", "text", "rows", "click", "all",
                "free", "c-api", "cli", "all/cli", "+free/cli", "all/c-api");
    Query &query = *module->QueryPesqAv;
    std::vector<QByteArray> texts { "silva", "joão", "1963", "zzzz", "" };
    if (argc > 2)
        texts = { QByteArray(argv[2]) };
    for (const QByteArray &utf8 : texts) {
        const char *text = utf8.constData();
        form->Edit1->setText(QString::fromUtf8(utf8));
        const QString sql = TFormPesqAV::searchStatement(form->Edit1->text());
        // Taken in turn, so that the load of the shared machine weighs on all of them alike; each
        // search starts with the query closed.
        ScaleBench::Figures click, all, freed, capi, cli;
        int rows = 0;
        int plainRows = 0;
        for (int i = 0; i < runs; ++i) {
            query.close();
            click.add(ScaleBench::timed([&] {
                form->BitBtn1Click();
                QApplication::processEvents();
            }));
            query.close();
            all.add(ScaleBench::timed([&] {
                form->BitBtn1Click();
                rows = query.recordCount();
            }));
            freed.add(ScaleBench::timed([&] { query.close(); }));
            capi.add(ScaleBench::timed([&] { plainRows = sqliteRows(plain, sql); }));
            cli.add(ScaleBench::sqliteCliMs(file, sql));
        }
        const double allMedian = all.median();
        const double freedMedian = freed.median();
        const double capiMedian = capi.median();
        const double cliMedian = cli.median();
        std::printf("%-10s %7d %7.1f %7.1f %7.1f %7.1f %7.1f %9.2f %9.2f %9.2f%s\n",
                    text[0] ? text : "(empty)", rows, click.median(), allMedian, freedMedian,
                    capiMedian, cliMedian, cliMedian > 0 ? allMedian / cliMedian : 0.0,
                    cliMedian > 0 ? (allMedian + freedMedian) / cliMedian : 0.0,
                    allMedian / capiMedian,
                    plainRows != rows ? "  (sqlite3's own like finds another count)" : "");
    }
    sqlite3_close(plain);
    return 0;
}
