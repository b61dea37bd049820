// Table engine at the scale of a busy practice. Run through bench/run.sh, which makes the data set
// (taluvo db demo with 100000 patients and 300000 exams) and times sqlite3 on the same file.
#include "data/Schema.h"
#include "platform/engine/DataSource.h"
#include "platform/engine/Database.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/SqliteStore.h"
#include "platform/engine/Table.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <memory>

namespace {
QString dataDir()
{
    const QString dir = qEnvironmentVariable("TALUVO_BENCH_DATA");
    return dir.isEmpty() ? QStringLiteral("bench-data") : dir;
}

void declare(Table &table, const QString &name, const QStringList &only = {})
{
    const TableDef *def = Schema::table(name);
    table.setTableName(def->fileName);
    for (const ColumnDef &c : def->columns) {
        if (!only.isEmpty() && !only.contains(c.name))
            continue;
        table.addField(c.name, c.type, c.size)->setRequired(c.required);
    }
}

// The patient, exam and score tables linked as the application links them.
struct Chain
{
    DataSource pacSource;
    DataSource ecoSource;
    Table pac;
    Table eco;
    Table img;

    Chain()
    {
        declare(pac, QStringLiteral("bddid"),
                { QStringLiteral("NF"), QStringLiteral("NOME"), QStringLiteral("DNASC"),
                  QStringLiteral("BENIF") });
        pac.setIndexName(QStringLiteral("BDDIDEX_NO"));
        pacSource.setDataset(&pac);
        declare(eco, QStringLiteral("eco"));
        eco.setIndexFieldNames(QStringLiteral("CodigoPaciente;CodigoExame"));
        eco.setMasterSource(&pacSource);
        eco.setMasterFields(QStringLiteral("NF"));
        ecoSource.setDataset(&eco);
        declare(img, QStringLiteral("imagem"));
        img.setIndexFieldNames(QStringLiteral("CodpacienteI;DodExamei"));
        img.setMasterSource(&ecoSource);
        img.setMasterFields(QStringLiteral("CodigoPaciente;CodigoExame"));
    }
    void open()
    {
        pac.open();
        eco.open();
        img.open();
    }
};

std::unique_ptr<Database> connect(const QString &dir)
{
    auto db = std::make_unique<Database>(QStringLiteral("BDC"));
    db->openDirectory(dir);
    // As the data module does: the names' folded column serves case-blind searches.
    for (const TableDef &t : Schema::tables()) {
        for (const FoldedColumnDef &f : t.folded)
            db->registerFoldedColumn(t.name, f.source, f.name);
    }
    Schema::upgrade(db->handle());
    return db;
}

void BM_OpenPatientTable(benchmark::State &state)
{
    auto db = connect(dataDir());
    Table pac;
    declare(pac, QStringLiteral("bddid"),
            { QStringLiteral("NF"), QStringLiteral("NOME"), QStringLiteral("DNASC"),
              QStringLiteral("BENIF") });
    pac.setIndexName(QStringLiteral("BDDIDEX_NO"));
    for (auto _ : state) {
        pac.open();
        benchmark::DoNotOptimize(pac.rowCount());
        pac.close();
    }
}

// The same rows read with SQLite's own API: the floor for any reader of this file.
void BM_SqliteSelectPatients(benchmark::State &state)
{
    auto db = connect(dataDir());
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db->handle(), "select NF,NOME,DNASC,BENIF from bddid order by NOME", -1, &st,
                       nullptr);
    for (auto _ : state) {
        qint64 bytes = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            bytes += sqlite3_column_int64(st, 0);
            for (int c = 1; c < 4; ++c)
                bytes += sqlite3_column_bytes(st, c) + (sqlite3_column_text(st, c) ? 1 : 0);
        }
        sqlite3_reset(st);
        benchmark::DoNotOptimize(bytes);
    }
    sqlite3_finalize(st);
}

void BM_LocatePatientByPrefix(benchmark::State &state)
{
    auto db = connect(dataDir());
    Chain chain;
    chain.pac.open();
    // Prefixes of real names, lower case, spread over the whole alphabet.
    QStringList prefixes;
    QRandomGenerator rng(7);
    Field *nome = chain.pac.fieldByName(QStringLiteral("NOME"));
    for (int i = 0; i < 64; ++i) {
        chain.pac.setRecNo(1 + int(rng.bounded(chain.pac.rowCount())));
        prefixes << nome->asString().left(6).toLower();
    }
    LocateOptions options;
    options.caseInsensitive = true;
    options.partialKey = true;
    // The first search after the rows change builds the folded name index.
    QElapsedTimer first;
    first.start();
    chain.pac.locate(QStringLiteral("NOME"), QStringLiteral("zz"), options);
    state.counters["first_locate_ms"] = double(first.nsecsElapsed()) / 1e6;
    int i = 0;
    for (auto _ : state) {
        const bool found = chain.pac.locate(QStringLiteral("NOME"), prefixes[i++ % 64], options);
        if (!found)
            state.SkipWithError("prefix not found");
    }
}

void BM_MovePatientWithDetails(benchmark::State &state)
{
    auto db = connect(dataDir());
    Chain chain;
    chain.open();
    QRandomGenerator rng(11);
    const int rows = chain.pac.rowCount();
    qint64 exams = 0;
    for (auto _ : state) {
        chain.pac.setRecNo(1 + int(rng.bounded(rows)));
        exams += chain.eco.rowCount() + chain.img.rowCount();
    }
    state.counters["rows_per_move"] = double(exams) / double(state.iterations());
}

// The move the windows make: to a patient found by number (the quick search's choice, a report),
// its exams and score rows read.
void BM_MovePatientByNumberWithDetails(benchmark::State &state)
{
    auto db = connect(dataDir());
    Chain chain;
    chain.open();
    QRandomGenerator rng(11);
    SqlStatement top(db->handle(), QStringLiteral("SELECT max(NF) FROM bddid"));
    const int highest = top.step() ? int(top.int64(0)) : 1;
    qint64 exams = 0;
    for (auto _ : state) {
        if (!chain.pac.locate(QStringLiteral("NF"), 1 + int(rng.bounded(highest))))
            continue;
        exams += chain.eco.rowCount() + chain.img.rowCount();
    }
    state.counters["rows_per_move"] = double(exams) / double(state.iterations());
}

// Posting a new exam with its score row, one transaction. Runs on a copy of the data set.
void postExams(benchmark::State &state, bool syncFull)
{
    QTemporaryDir tmp;
    QFile::copy(SqliteStore::filePath(dataDir()), SqliteStore::filePath(tmp.path()));
    auto db = connect(tmp.path());
    if (!syncFull)
        SqliteStore::exec(db->handle(), QStringLiteral("PRAGMA synchronous=OFF"));
    Chain chain;
    chain.open();
    chain.pac.setRecNo(chain.pac.rowCount() / 2);
    QDateTime when(QDate(2030, 1, 1), QTime(8, 0));
    for (auto _ : state) {
        when = when.addMSecs(1001);
        chain.eco.insert();
        chain.eco.fieldByName(QStringLiteral("CodigoExame"))->setAsDateTime(when);
        chain.eco.fieldByName(QStringLiteral("DataExame"))->setAsDate(when.date());
        chain.img.append();
        for (int c = 1; c <= 16; ++c)
            chain.img.fieldByName(QStringLiteral("C%1").arg(c))->setAsInteger(1);
        chain.eco.post();
    }
}

// Editing an exam and its score row and posting both, synchronous FULL: /1 with every column
// read checked against the stored row first (what the program does), /0 by key only.
void BM_PostExamEdit(benchmark::State &state)
{
    const bool checked = state.range(0) != 0;
    QTemporaryDir tmp;
    QFile::copy(SqliteStore::filePath(dataDir()), SqliteStore::filePath(tmp.path()));
    auto db = connect(tmp.path());
    Chain chain;
    const auto mode = checked ? Table::UpdateMode::WhereAll : Table::UpdateMode::KeyOnly;
    chain.eco.setUpdateMode(mode);
    chain.img.setUpdateMode(mode);
    chain.open();
    chain.pac.setRecNo(chain.pac.rowCount() / 2);
    while (chain.img.isEmpty() && !chain.pac.eof())
        chain.pac.next();
    int i = 0;
    for (auto _ : state) {
        chain.eco.edit();
        chain.img.edit();
        chain.eco.fieldByName(QStringLiteral("Peso"))->setAsInteger(40 + i % 50);
        chain.img.fieldByName(QStringLiteral("C1"))->setAsInteger(1 + i % 4);
        chain.eco.post();
        ++i;
    }
}

void BM_PostExamSyncFull(benchmark::State &state)
{
    postExams(state, true);
}

void BM_PostExamSyncOff(benchmark::State &state)
{
    postExams(state, false);
}
} // namespace

BENCHMARK(BM_OpenPatientTable)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SqliteSelectPatients)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LocatePatientByPrefix)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MovePatientWithDetails)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MovePatientByNumberWithDetails)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PostExamSyncFull)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(200);
BENCHMARK(BM_PostExamSyncOff)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(200);
BENCHMARK(BM_PostExamEdit)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Iterations(200);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!SqliteStore::exists(dataDir())) {
        fprintf(stderr, "No data set in '%s': run bench/run.sh\n", qPrintable(dataDir()));
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
