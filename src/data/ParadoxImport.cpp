#include "data/ParadoxImport.h"

#include "data/DatabaseCheck.h"
#include "data/Schema.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/SqliteStore.h"
#include "platform/paradox/ParadoxTable.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSaveFile>
#include <QTextStream>
#include <QTime>

#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace {

using PxType = paradox::FieldType;

// A value ready to bind: what SQLite stores, nothing more.
struct Bound
{
    enum Kind { Null, Int, Real, Text, Bytes } kind = Null;
    qint64 i = 0;
    double r = 0;
    QByteArray bytes; // UTF-8 for Text
};

// One column of the target as a Paradox field feeds it.
struct Target
{
    QString column;
    FieldType type = FieldType::Unknown;
    int size = 0;
    bool required = false;
    bool added = false; // not one of the program's columns
};

QString fieldTypeText(PxType type)
{
    switch (type) {
    case PxType::Alpha: return QStringLiteral("Alpha");
    case PxType::Date: return QStringLiteral("Date");
    case PxType::Short: return QStringLiteral("Short");
    case PxType::Long: return QStringLiteral("Long");
    case PxType::Money: return QStringLiteral("Money");
    case PxType::Number: return QStringLiteral("Number");
    case PxType::Logical: return QStringLiteral("Logical");
    case PxType::Memo: return QStringLiteral("Memo");
    case PxType::Blob: return QStringLiteral("Binary");
    case PxType::FormattedMemo: return QStringLiteral("Formatted memo");
    case PxType::Ole: return QStringLiteral("OLE");
    case PxType::Graphic: return QStringLiteral("Graphic");
    case PxType::Time: return QStringLiteral("Time");
    case PxType::Timestamp: return QStringLiteral("Timestamp");
    case PxType::AutoInc: return QStringLiteral("Autoincrement");
    case PxType::Bcd: return QStringLiteral("BCD");
    case PxType::Bytes: return QStringLiteral("Bytes");
    }
    return QStringLiteral("?");
}

// The column type a field the program does not know becomes.
FieldType typeForUnknownField(PxType type)
{
    switch (type) {
    case PxType::Alpha:
    case PxType::Time: return FieldType::String;
    case PxType::Date: return FieldType::Date;
    case PxType::Timestamp: return FieldType::DateTime;
    case PxType::Short:
    case PxType::Long:
    case PxType::AutoInc: return FieldType::Integer;
    case PxType::Money:
    case PxType::Number:
    case PxType::Bcd: return FieldType::Float;
    case PxType::Logical: return FieldType::Boolean;
    case PxType::Memo:
    case PxType::FormattedMemo: return FieldType::Memo;
    case PxType::Blob:
    case PxType::Ole:
    case PxType::Graphic:
    case PxType::Bytes: break;
    }
    return FieldType::Blob;
}

QString quoted(const QString &identifier)
{
    QString q = identifier;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

// The storage formats, written straight into the bytes bound: this runs for every exam's dates.
QByteArray dateBytes(const QDate &d)
{
    char buf[16];
    const int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year(), d.month(), d.day());
    return QByteArray(buf, n);
}

QByteArray timestampBytes(const QDate &d, const QTime &t)
{
    char buf[32];
    const int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", d.year(),
                                d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec());
    return QByteArray(buf, n);
}

bool isWhole(double v)
{
    return std::isfinite(v) && std::floor(v) == v;
}

// The value as a number, when it is one (text that reads as a number counts).
bool numberOf(const QVariant &value, PxType type, double *out)
{
    switch (type) {
    case PxType::Short:
    case PxType::Long:
    case PxType::AutoInc: *out = value.toInt(); return true;
    case PxType::Money:
    case PxType::Number: *out = value.toDouble(); return std::isfinite(*out);
    case PxType::Logical: *out = value.toBool() ? 1 : 0; return true;
    case PxType::Bcd:
    case PxType::Alpha: {
        bool ok = false;
        *out = value.toString().trimmed().toDouble(&ok);
        return ok && std::isfinite(*out);
    }
    default: return false;
    }
}

// Converts one field's value for its column; false with the reason when it cannot be stored.
// Notes a value that can be stored but breaks a rule of the program in finding.
bool convert(const QVariant &value, PxType from, const Target &to, Bound &out, QString *reason,
             QString *finding)
{
    out = Bound {};
    if (value.isNull())
        return true;
    const auto text = [&out](const QString &s) {
        if (!s.isEmpty()) {
            out.kind = Bound::Text;
            out.bytes = s.toUtf8();
        }
    };
    const auto incompatible = [&]() {
        *reason = QStringLiteral("o campo %1 (%2) não pode ser guardado como %3")
                      .arg(to.column, fieldTypeText(from), fieldTypeName(to.type));
        return false;
    };
    switch (to.type) {
    case FieldType::String:
    case FieldType::Memo:
    case FieldType::FmtMemo:
        if (from == PxType::Blob || from == PxType::Ole || from == PxType::Graphic
            || from == PxType::Bytes)
            return incompatible();
        text(from == PxType::Alpha || from == PxType::Memo || from == PxType::FormattedMemo
                 ? value.toString()
                 : paradox::storageText(value, from));
        // UTF-8 takes at least a byte a character: only a long one needs counting.
        if (to.type == FieldType::String && to.size > 0 && out.kind == Bound::Text
            && out.bytes.size() > to.size) {
            const int length = int(QString::fromUtf8(out.bytes).size());
            if (length > to.size)
                *finding = QStringLiteral("o campo %1 tem %2 caracteres, mais do que os %3 que "
                                          "as janelas editam")
                               .arg(to.column)
                               .arg(length)
                               .arg(to.size);
        }
        return true;
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::LargeInt:
    case FieldType::AutoInc:
    case FieldType::Boolean: {
        double v = 0;
        if (!numberOf(value, from, &v))
            return incompatible();
        qint64 lo = std::numeric_limits<qint32>::min();
        qint64 hi = std::numeric_limits<qint32>::max();
        if (to.type == FieldType::SmallInt) {
            lo = -32768;
            hi = 32767;
        } else if (to.type == FieldType::Boolean) {
            lo = 0;
            hi = 1;
        } else if (to.type == FieldType::AutoInc) {
            lo = 1;
        } else if (to.type == FieldType::LargeInt) {
            lo = std::numeric_limits<qint64>::min() / 2;
            hi = std::numeric_limits<qint64>::max() / 2;
        }
        if (!isWhole(v) || v < double(lo) || v > double(hi)) {
            *reason = QStringLiteral("o valor %1 do campo %2 está fora do intervalo do campo "
                                     "(%3 a %4, inteiro)")
                          .arg(paradox::storageText(value, from), to.column)
                          .arg(lo)
                          .arg(hi);
            return false;
        }
        out.kind = Bound::Int;
        out.i = qint64(v);
        return true;
    }
    case FieldType::Float: {
        double v = 0;
        if (!numberOf(value, from, &v))
            return incompatible();
        out.kind = Bound::Real;
        out.r = v;
        return true;
    }
    case FieldType::Date:
        if (from != PxType::Date && from != PxType::Timestamp)
            return incompatible();
        out.kind = Bound::Text;
        // A birth date once kept with a time of day: the day is what the program reads.
        out.bytes = dateBytes(from == PxType::Date ? value.toDate() : value.toDateTime().date());
        return true;
    case FieldType::DateTime:
        if (from == PxType::Date) {
            out.kind = Bound::Text;
            out.bytes = timestampBytes(value.toDate(), QTime(0, 0));
            return true;
        }
        if (from == PxType::Timestamp) {
            const QDateTime t = value.toDateTime();
            out.kind = Bound::Text;
            out.bytes = timestampBytes(t.date(), t.time());
            return true;
        }
        return incompatible();
    case FieldType::Blob:
        if (value.typeId() == QMetaType::QByteArray) {
            out.kind = Bound::Bytes;
            out.bytes = value.toByteArray();
        } else {
            text(paradox::storageText(value, from));
        }
        return true;
    case FieldType::Unknown: break;
    }
    return incompatible();
}

void bind(sqlite3_stmt *st, int index, const Bound &b)
{
    switch (b.kind) {
    case Bound::Null: sqlite3_bind_null(st, index); break;
    case Bound::Int: sqlite3_bind_int64(st, index, b.i); break;
    case Bound::Real: sqlite3_bind_double(st, index, b.r); break;
    case Bound::Text:
        sqlite3_bind_text(st, index, b.bytes.constData(), int(b.bytes.size()), SQLITE_STATIC);
        break;
    case Bound::Bytes:
        sqlite3_bind_blob(st, index, b.bytes.constData(), int(b.bytes.size()), SQLITE_STATIC);
        break;
    }
}

// The per-record insert: values bound without copies, and a refused row (a constraint) told
// apart from a failure of the store, which ends the import.
class RowInsert
{
public:
    RowInsert(sqlite3 *db, const QString &sql)
        : m_db(db)
    {
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &m_st, nullptr) != SQLITE_OK)
            databaseError(QString::fromUtf8(sqlite3_errmsg(db)));
    }
    ~RowInsert() { sqlite3_finalize(m_st); }
    RowInsert(const RowInsert &) = delete;
    RowInsert &operator=(const RowInsert &) = delete;
    sqlite3_stmt *get() const { return m_st; }
    // True when written; false when a constraint refused the row. Throws otherwise.
    bool run()
    {
        const int rc = sqlite3_step(m_st);
        const QString message = rc == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_reset(m_st);
        if (rc == SQLITE_DONE)
            return true;
        if ((rc & 0xff) == SQLITE_CONSTRAINT)
            return false;
        databaseError(message);
    }

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_st = nullptr;
};

void exec(sqlite3 *db, const QString &sql)
{
    SqliteStore::exec(db, sql);
}

// The table files of a folder by lower-case name, so "ECO.DB" and "eco.db" are both found.
QMap<QString, QString> filesByLowerName(const QString &dir)
{
    QMap<QString, QString> files;
    const QFileInfoList entries = QDir(dir).entryInfoList(QDir::Files | QDir::Readable);
    for (const QFileInfo &entry : entries)
        files.insert(entry.fileName().toLower(), entry.fileName());
    return files;
}

// The report, filled as the import goes and written at the end, also after a failure.
struct Report
{
    QString source;
    bool dryRun = false;
    QStringList refused; // "table\trecord\tkey\treason"
    QStringList findings;
    QString failure;

    void write(const QString &path, const QList<ParadoxImport::TableResult> &tables) const
    {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
            databaseError(QStringLiteral("não foi possível escrever o relatório '%1': %2")
                              .arg(path, file.errorString()));
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QTextStream out(&file);
        out << "Importação das tabelas Paradox de " << QDir::toNativeSeparators(source) << '\n';
        if (dryRun)
            out << "Simulação (--dry-run): nada foi escrito na base de dados.\n";
        if (!failure.isEmpty())
            out << "A importação não foi feita, nada foi escrito: " << failure << '\n';
        out << '\n' << "Tabela\tLidos\tEscritos\tRecusados\tApagados (ignorados)\n";
        QStringList encrypted;
        QStringList notes;
        for (const ParadoxImport::TableResult &t : tables) {
            out << t.file << '\t' << t.read << '\t' << t.written << '\t' << t.refused << '\t'
                << t.deleted << '\n';
            if (t.encrypted)
                encrypted.append(t.file);
            for (const QString &note : t.notes)
                notes.append(t.file + QLatin1String(": ") + note);
        }
        if (!encrypted.isEmpty())
            out << "\nTabelas guardadas com palavra-passe (lidas sem ela): "
                << encrypted.join(QLatin1String(", ")) << '\n';
        if (!notes.isEmpty())
            out << "\nNotas:\n" << notes.join(QLatin1Char('\n')) << '\n';
        out << "\nRegistos recusados (não importados): " << refused.size() << '\n';
        if (!refused.isEmpty())
            out << "Tabela\tRegisto\tChave\tMotivo\n" << refused.join(QLatin1Char('\n')) << '\n';
        out << "\nRegistos importados fora das regras do programa: " << findings.size() << '\n';
        if (!findings.isEmpty())
            out << "Tabela\tRegisto\tChave\tMotivo\n" << findings.join(QLatin1Char('\n')) << '\n';
        out.flush();
        if (!file.commit())
            databaseError(QStringLiteral("não foi possível escrever o relatório '%1': %2")
                              .arg(path, file.errorString()));
    }
};

QString keyText(const TableDef &def, const QList<paradox::Field> &fields,
                const QVariantList &values)
{
    QStringList keyColumns = def.primaryKey;
    if (keyColumns.isEmpty() && !def.indexes.isEmpty())
        keyColumns = def.indexes.first().columns;
    QStringList parts;
    for (const QString &column : keyColumns) {
        for (int i = 0; i < fields.size(); ++i) {
            if (fields.at(i).name.compare(column, Qt::CaseInsensitive) == 0) {
                parts.append(column + QLatin1Char('=')
                             + paradox::storageText(values.value(i), fields.at(i).type));
                break;
            }
        }
    }
    return parts.join(QLatin1String(", "));
}

QString line(const QString &file, qint64 record, const QString &key, const QString &reason)
{
    QString r = reason;
    r.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QStringLiteral("%1\t%2\t%3\t%4").arg(file, record > 0 ? QString::number(record) : QStringLiteral("-"), key, r);
}

class Importer
{
public:
    Importer(sqlite3 *db, Report &report, const ParadoxImport::Progress &progress)
        : m_db(db)
        , m_report(report)
        , m_progress(progress)
    { }

    void importTable(const TableDef &def, const QString &path, ParadoxImport::TableResult &result);
    void continueCounters(const TableDef &def, qint32 nextAutoInc);

private:
    QList<Target> targets(const TableDef &def, const paradox::TableInfo &info,
                          ParadoxImport::TableResult &result);

    sqlite3 *m_db;
    Report &m_report;
    const ParadoxImport::Progress &m_progress;
};

QList<Target> Importer::targets(const TableDef &def, const paradox::TableInfo &info,
                                ParadoxImport::TableResult &result)
{
    QList<Target> list;
    QStringList taken;
    for (const paradox::Field &field : info.fields) {
        Target t;
        const ColumnDef *column = def.column(field.name);
        if (column && !taken.contains(column->name)) {
            t.column = column->name;
            t.type = column->type;
            t.size = column->size;
            t.required = column->required;
        } else {
            // Kept under its own name so that the practice's other software still finds it.
            t.column = field.name;
            t.type = typeForUnknownField(field.type);
            t.added = true;
            exec(m_db, QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                           .arg(def.name, quoted(t.column), Schema::sqlType(t.type)));
            result.notes.append(QStringLiteral("coluna %1 (%2) acrescentada à tabela %3")
                                    .arg(field.name, fieldTypeText(field.type), def.name));
        }
        taken.append(t.column);
        list.append(t);
    }
    QStringList missing;
    for (const ColumnDef &c : def.columns) {
        if (!taken.contains(c.name))
            missing.append(c.name);
    }
    if (!missing.isEmpty())
        result.notes.append(QStringLiteral("sem as colunas %1, que ficaram em branco")
                                .arg(missing.join(QLatin1String(", "))));
    return list;
}

void Importer::importTable(const TableDef &def, const QString &path,
                           ParadoxImport::TableResult &result)
{
    paradox::TableReader reader(path);
    const paradox::TableInfo &info = reader.info();
    result.encrypted = info.encrypted;
    const QList<Target> columns = targets(def, info, result);

    QStringList names;
    QStringList marks;
    for (const Target &t : columns) {
        names.append(quoted(t.column));
        marks.append(QStringLiteral("?"));
    }
    RowInsert insert(m_db,
                     QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                         .arg(def.name, names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
    sqlite3_stmt *st = insert.get();
    std::vector<Bound> bound(size_t(columns.size()));
    const qint64 total = info.recordCount;
    if (m_progress)
        m_progress(result.file, 0, total);
    const qint64 step = std::max<qint64>(1000, total / 10);

    paradox::Record record;
    const auto refuse = [&](const QString &reason) {
        ++result.refused;
        m_report.refused.append(
            line(result.file, record.number, keyText(def, info.fields, record.values), reason));
    };
    try {
        while (reader.next(record)) {
            ++result.read;
            if (m_progress && result.read % step == 0)
                m_progress(result.file, result.read, total);
            if (!record.error.isEmpty()) {
                refuse(record.error);
                continue;
            }
            QString reason;
            QStringList findings;
            bool ok = true;
            for (int i = 0; i < columns.size() && ok; ++i) {
                const Target &t = columns.at(i);
                QString finding;
                ok = convert(record.values.value(i), info.fields.at(i).type, t, bound[size_t(i)],
                             &reason, &finding);
                if (!finding.isEmpty())
                    findings.append(finding);
                if (ok && t.required && bound[size_t(i)].kind == Bound::Null)
                    findings.append(QStringLiteral("o campo obrigatório %1 está em branco").arg(t.column));
            }
            if (!ok) {
                refuse(reason);
                continue;
            }
            for (int i = 0; i < columns.size(); ++i)
                bind(st, i + 1, bound[size_t(i)]);
            if (!insert.run()) {
                const int extended = sqlite3_extended_errcode(m_db);
                refuse(extended == SQLITE_CONSTRAINT_NOTNULL
                           ? QStringLiteral("chave em branco")
                           : QStringLiteral("chave repetida: já foi importado um registo com "
                                            "esta chave"));
                continue;
            }
            ++result.written;
            for (const QString &f : findings)
                m_report.findings.append(line(result.file, record.number,
                                              keyText(def, info.fields, record.values), f));
        }
    } catch (const paradox::FormatError &e) {
        // What was read before the damage is kept; the rest cannot be reached.
        ++result.refused;
        m_report.refused.append(line(
            result.file, 0, QString(),
            QStringLiteral("%1; lidos %2 dos %3 registos que o cabeçalho anuncia")
                .arg(e.message())
                .arg(result.read)
                .arg(total)));
        result.notes.append(QStringLiteral("ficheiro danificado depois do registo %1")
                                .arg(result.read));
    }
    result.deleted = reader.deletedCount();
    if (m_progress)
        m_progress(result.file, result.read, std::max(total, result.read));
    for (const Target &t : columns) {
        if (t.type == FieldType::AutoInc) {
            continueCounters(def, info.nextAutoInc);
            break;
        }
    }
}

void Importer::continueCounters(const TableDef &def, qint32 nextAutoInc)
{
    // New rows get numbers after both the highest imported key and the practice's own counter,
    // so a number known outside (printed, in other software) is never given again.
    const qint64 floor = qint64(nextAutoInc) - 1;
    if (floor <= 0)
        return;
    SqliteStore::exec(m_db, QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, %2) WHERE name = '%1';"
                                           "INSERT INTO sqlite_sequence (name, seq) SELECT '%1', %2 "
                                           "WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence "
                                           "WHERE name = '%1')")
                                .arg(def.name)
                                .arg(floor));
}

QString journalMode(sqlite3 *db)
{
    SqlStatement st(db, QStringLiteral("PRAGMA journal_mode"));
    return st.step() ? st.text(0) : QString();
}

void checkEmpty(sqlite3 *db)
{
    for (const TableDef &def : Schema::tables()) {
        SqlStatement any(db, QStringLiteral("SELECT 1 FROM %1 LIMIT 1").arg(def.name));
        if (any.step())
            databaseError(
                QStringLiteral("a tabela %1 do destino já tem registos; a importação só escreve "
                               "numa base de dados nova ou vazia")
                    .arg(def.name));
    }
}

} // namespace

ParadoxImport::Result ParadoxImport::run(sqlite3 *db, const QString &sourceDir,
                                         const QString &reportPath, bool dryRun,
                                         const Progress &progress)
{
    Report report;
    report.source = sourceDir;
    report.dryRun = dryRun;
    Result result;
    const QMap<QString, QString> files = filesByLowerName(sourceDir);
    for (const TableDef &def : Schema::tables()) {
        TableResult t;
        t.table = def.name;
        const QString found = files.value(def.fileName.toLower());
        t.found = !found.isEmpty();
        t.file = t.found ? found : def.fileName;
        if (!t.found)
            t.notes.append(QStringLiteral("ficheiro não encontrado; a tabela %1 ficou vazia")
                               .arg(def.name));
        result.tables.append(t);
    }

    bool open = false;
    bool restoreWal = false;
    try {
        bool any = false;
        for (const TableResult &t : result.tables)
            any = any || t.found;
        if (!any)
            databaseError(QStringLiteral("a pasta '%1' não tem nenhuma das tabelas do programa "
                                         "(Bddid.DB, eco.DB, imagem.db, ...)")
                              .arg(sourceDir));
        checkEmpty(db);
        // The rows go in once, into an empty database: a rollback journal has next to nothing to
        // keep for pages that did not exist, where the write-ahead log would write every page
        // twice. Another connection on the file keeps the log mode, and that is fine too.
        const bool wal = journalMode(db) == QLatin1String("wal");
        if (wal)
            sqlite3_exec(db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
        restoreWal = wal && journalMode(db) != QLatin1String("wal");
        exec(db, QStringLiteral("BEGIN IMMEDIATE"));
        open = true;
        // The folded names are made once for all rows at the end, not by the triggers row by row.
        Schema::beginBulkLoad(db);
        Importer importer(db, report, progress);
        for (int i = 0; i < result.tables.size(); ++i) {
            TableResult &t = result.tables[i];
            if (!t.found)
                continue;
            try {
                importer.importTable(Schema::tables().at(i),
                                     QDir(sourceDir).filePath(t.file), t);
            } catch (const paradox::FormatError &e) {
                databaseError(QStringLiteral("%1: %2").arg(t.file, e.message()));
            }
            result.refused += t.refused;
        }
        Schema::endBulkLoad(db);
        // The record rules across tables, now that every table is in.
        for (const DatabaseCheck::Finding &f : DatabaseCheck::recordRules(db, -1)) {
            QString file = f.table;
            for (const TableResult &t : result.tables) {
                if (t.table == f.table)
                    file = t.file;
            }
            for (const QString &key : f.firstKeys)
                report.findings.append(line(file, 0, key, f.what));
        }
        result.findings = report.findings.size();
        exec(db, dryRun ? QStringLiteral("ROLLBACK") : QStringLiteral("COMMIT"));
        open = false;
        if (restoreWal)
            exec(db, QStringLiteral("PRAGMA journal_mode=WAL"));
    } catch (const DatabaseError &e) {
        if (open)
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        if (restoreWal)
            sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        report.failure = e.message();
        try {
            report.write(reportPath, result.tables);
        } catch (const DatabaseError &) {
            // The import's own failure is the one to tell.
        }
        throw;
    }
    report.write(reportPath, result.tables);
    return result;
}
