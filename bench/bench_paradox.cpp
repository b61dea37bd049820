// Reading the practice's old Paradox tables at the scale of the import: the patient table
// (100 000 rows) and the exam table (300 000 rows, three memos each, the conclusion as ~1.5 KB of
// RTF) with the columns the system declares. The tables are written once by the test writer into
// $TALUVO_BENCH_DATA/paradox and kept there.
#include "data/Schema.h"
#include "platform/paradox/ParadoxTable.h"
#include "support/ParadoxWriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <benchmark/benchmark.h>

namespace {

QString dataDir()
{
    const QString dir = qEnvironmentVariable("TALUVO_BENCH_DATA");
    return (dir.isEmpty() ? QStringLiteral("bench-data") : dir) + QStringLiteral("/paradox");
}

paradox::Field paradoxField(const ColumnDef &c)
{
    using paradox::FieldType;
    switch (c.type) {
    case ::FieldType::String:
        return { c.name, FieldType::Alpha, c.size };
    case ::FieldType::SmallInt:
        return { c.name, FieldType::Short, 2 };
    case ::FieldType::Integer:
        return { c.name, FieldType::Long, 4 };
    case ::FieldType::AutoInc:
        return { c.name, FieldType::AutoInc, 4 };
    case ::FieldType::Float:
        return { c.name, FieldType::Number, 8 };
    case ::FieldType::Boolean:
        return { c.name, FieldType::Logical, 1 };
    case ::FieldType::Date:
        return { c.name, FieldType::Date, 4 };
    case ::FieldType::DateTime:
        return { c.name, FieldType::Timestamp, 8 };
    case ::FieldType::FmtMemo:
        return { c.name, FieldType::FormattedMemo, 11 };
    case ::FieldType::Blob:
        return { c.name, FieldType::Blob, 10 };
    default:
        return { c.name, FieldType::Memo, 11 };
    }
}

QString conclusion(int i)
{
    QString rtf = QStringLiteral("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 ");
    while (rtf.size() < 1400)
        rtf += QStringLiteral("Ventr\\'edculo esquerdo de dimens\\'f5es normais (%1). \\par ")
                   .arg(i);
    return rtf + u'}';
}

QVariant sample(const paradox::Field &f, int i, int column)
{
    using paradox::FieldType;
    switch (f.type) {
    case FieldType::Alpha:
        return QStringLiteral("Valor %1 do doente João %2").arg(column).arg(i).left(f.size);
    case FieldType::Short:
        return (i + column) % 30000;
    case FieldType::Long:
    case FieldType::AutoInc:
        return i + 1;
    case FieldType::Number:
        return (i % 1000) / 7.0 + column;
    case FieldType::Logical:
        return (i + column) % 3 == 0;
    case FieldType::Date:
        return QDate(1950, 1, 1).addDays(i % 20000);
    case FieldType::Timestamp:
        return QDateTime(QDate(2000, 1, 1).addDays(i / 40), QTime(8, 0).addSecs(i % 40 * 600),
                         Qt::UTC);
    case FieldType::Memo:
        if (f.name == QLatin1String("Eco1"))
            return conclusion(i);
        return column % 2 ? QStringLiteral("Sem altera\u00e7\u00f5es segmentares; exame %1.").arg(i)
                          : conclusion(i).left(200);
    default:
        return conclusion(i);
    }
}

QString table(const QString &name, int rows)
{
    const QString path = dataDir() + u'/' + Schema::table(name)->fileName;
    if (QFileInfo::exists(path))
        return path;
    QDir().mkpath(dataDir());
    QList<paradox::Field> fields;
    for (const ColumnDef &c : Schema::table(name)->columns)
        fields.append(paradoxField(c));
    ParadoxWriter::Options options;
    options.blockSize = 4096;
    ParadoxWriter writer(path, fields, options);
    QVariantList values(fields.size());
    for (int i = 0; i < rows; ++i) {
        for (int c = 0; c < fields.size(); ++c)
            values[c] = sample(fields.at(c), i, c);
        writer.addRecord(values);
    }
    return path;
}

void readTable(benchmark::State &state, const QString &path)
{
    qint64 rows = 0;
    for (auto _ : state) {
        paradox::TableReader reader(path);
        paradox::Record record;
        rows = 0;
        while (reader.next(record))
            ++rows;
        benchmark::DoNotOptimize(record);
    }
    state.counters["rows"] = double(rows);
    state.SetItemsProcessed(state.iterations() * rows);
}

void BM_ReadPatientTable(benchmark::State &state)
{
    readTable(state, table(QStringLiteral("bddid"), 100000));
}
BENCHMARK(BM_ReadPatientTable)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadExamTable(benchmark::State &state)
{
    readTable(state, table(QStringLiteral("eco"), 300000));
}
BENCHMARK(BM_ReadExamTable)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
