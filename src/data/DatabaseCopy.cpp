#include "data/DatabaseCopy.h"

#include "data/Schema.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/SqliteStore.h"

#include <QRegularExpression>
#include <QVariant>

#include <openssl/evp.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct SourceColumn
{
    QString name;
    QString declaredType;
};

// ------------------------------------------------------------------------------------------------
// What depends on the back end. The copy itself only prepares statements, binds, steps and reads
// values; everything below knows it talks to SQLite, and is where a server back end gets its own
// branch (its catalogue, its DDL, its sequences, its transaction modes).

// Names of the program and of the practice's other software are plain words; anything else is
// quoted so that it reaches the target exactly as the source spells it.
QString identifier(const QString &name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (plain.match(name).hasMatch())
        return name;
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

// The tables of a database, in lower case.
QStringList tablesIn(sqlite3 *db)
{
    SqlStatement st(db, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"));
    QStringList names;
    while (st.step())
        names.append(st.text(0).toLower());
    return names;
}

// The columns a table actually has, in its order, with the type each was declared with.
QList<SourceColumn> columnsOf(sqlite3 *db, const QString &table)
{
    SqlStatement st(db, QStringLiteral("PRAGMA table_info(%1)").arg(identifier(table)));
    QList<SourceColumn> columns;
    while (st.step())
        columns.append({ st.text(1), st.text(2) });
    return columns;
}

int schemaVersion(sqlite3 *db)
{
    SqlStatement st(db, QStringLiteral("PRAGMA user_version"));
    return st.step() ? int(st.int64(0)) : 0;
}

void setSchemaVersion(sqlite3 *db, int version)
{
    SqliteStore::exec(db, QStringLiteral("PRAGMA user_version = %1").arg(version));
}

// One consistent state of the source from its first row read to its last, while other
// workstations may go on writing.
void beginSnapshot(sqlite3 *db)
{
    SqliteStore::exec(db, QStringLiteral("BEGIN"));
}

void endTransaction(sqlite3 *db, bool commit)
{
    if (sqlite3_get_autocommit(db) != 0)
        return;
    if (commit)
        SqliteStore::exec(db, QStringLiteral("COMMIT"));
    else
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
}

// The write lock from the start: nobody creates a table between the check and the copy.
void beginWrite(sqlite3 *db)
{
    SqliteStore::exec(db, QStringLiteral("BEGIN IMMEDIATE"));
}

// The rows go into tables that did not exist: a rollback journal has next to nothing to keep for
// them, where the write-ahead log would write every page twice. The file's mode comes back after.
// The page cache sized for a new, empty file would spill and read back the pages of the keys'
// indexes over and over; the load gets a larger one for its duration.
class BulkLoad
{
public:
    explicit BulkLoad(sqlite3 *db)
        : m_db(db)
    {
        SqlStatement cache(db, QStringLiteral("PRAGMA cache_size"));
        m_cacheSize = cache.step() ? cache.int64(0) : 0;
        sqlite3_exec(db, "PRAGMA cache_size=-65536", nullptr, nullptr, nullptr);
        if (mode() != QLatin1String("wal"))
            return;
        sqlite3_exec(db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
        // Another connection on the file keeps the log, and that is fine too.
        m_restore = mode() != QLatin1String("wal");
    }
    ~BulkLoad()
    {
        if (m_restore)
            sqlite3_exec(m_db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        if (m_cacheSize != 0)
            sqlite3_exec(m_db, QByteArray("PRAGMA cache_size=" + QByteArray::number(m_cacheSize))
                                   .constData(),
                         nullptr, nullptr, nullptr);
    }
    BulkLoad(const BulkLoad &) = delete;
    BulkLoad &operator=(const BulkLoad &) = delete;

private:
    QString mode() const
    {
        SqlStatement st(m_db, QStringLiteral("PRAGMA journal_mode"));
        return st.step() ? st.text(0).toLower() : QString();
    }

    sqlite3 *m_db;
    qint64 m_cacheSize = 0;
    bool m_restore = false;
};

// The program's table, then the source's other columns under their own names and declared types
// (as the Paradox import keeps the columns it does not know).
void createTable(sqlite3 *db, const TableDef &def, const QList<SourceColumn> &extras)
{
    SqliteStore::exec(db, Schema::createTableSql(def));
    for (const SourceColumn &c : extras)
        SqliteStore::exec(db,
                          QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                              .arg(def.name, identifier(c.name), c.declaredType));
}

// Indexes and the folding triggers come once the rows are in: an index is built once rather than
// grown row by row, and the folded names arrive as the source stored them.
void finishTable(sqlite3 *db, const TableDef &def)
{
    for (const IndexDef &i : def.indexes)
        SqliteStore::exec(db, Schema::createIndexSql(def, i));
    for (const FoldedColumnDef &f : def.folded) {
        for (const QString &sql : Schema::foldedTriggersSql(def, f))
            SqliteStore::exec(db, sql);
    }
}

// The highest number the table's counter has given (deleted rows included); 0 when none.
qint64 counterOf(sqlite3 *db, const QString &table)
{
    if (!tablesIn(db).contains(QLatin1String("sqlite_sequence")))
        return 0;
    SqlStatement st(db, QStringLiteral("SELECT seq FROM sqlite_sequence WHERE lower(name) = ?"));
    st.bind(0, table.toLower());
    return st.step() ? st.int64(0) : 0;
}

// New rows of the target get numbers after the source's last, even one since deleted, so a
// number known outside (printed, in other software) is never given again.
void continueCounter(sqlite3 *db, const QString &table, qint64 last)
{
    if (last <= 0)
        return;
    SqliteStore::exec(
        db,
        QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, %2) WHERE name = '%1';"
                       "INSERT INTO sqlite_sequence (name, seq) SELECT '%1', %2 "
                       "WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence "
                       "WHERE name = '%1')")
            .arg(table)
            .arg(last));
}

// The order rows are read in on both sides: the key, or for imagem, which has none, the order the
// rows were written in (the engine reads a repeated score row by that order).
QString rowOrder(const TableDef &def)
{
    return def.primaryKey.isEmpty() ? QStringLiteral("rowid")
                                    : def.primaryKey.join(QLatin1String(", "));
}

// The five kinds a stored value can be, which the checksum tells apart and the target keeps.
// SQLite gives each value's own; a server gives its column's type, mapped onto the same kinds.
enum class Kind { Null, Integer, Real, Text, Bytes };

Kind kindOf(const SqlStatement &read, int column)
{
    switch (read.columnType(column)) {
    case SqlType::Integer:
        return Kind::Integer;
    case SqlType::Float:
        return Kind::Real;
    case SqlType::Text:
        return Kind::Text;
    case SqlType::Blob:
        return Kind::Bytes;
    default:
        return Kind::Null;
    }
}

// Rows into one table of the target: one prepared insert stepped per row inside the transaction,
// SQLite's fastest way. A server would take them here in batches (COPY or multi-row inserts).
class TableWriter
{
public:
    TableWriter(sqlite3 *db, const QString &table, const QStringList &columns)
        : m_insert(
            db,
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(table, columns.join(QLatin1String(", ")),
                     QStringList(columns.size(), QStringLiteral("?")).join(QLatin1String(", "))))
    { }
    void bind(int column, const QVariant &value) { m_insert.bind(column, value); }
    void endRow()
    {
        m_insert.step();
        m_insert.reset();
    }

private:
    SqlStatement m_insert;
};

// ------------------------------------------------------------------------------------------------

// The checksum of a table's rows read in order: each value as a type letter and its stored form
// (integers and reals as their 8 bytes, texts as UTF-8 and bytes as they are, both with their
// length), so that 1, 1.0, '1' and null all differ. The rows are gathered and hashed in large
// pieces: hashing them one by one costs more than the hash.
class TableDigest
{
public:
    TableDigest()
        : m_context(EVP_MD_CTX_new())
    {
        if (!m_context || EVP_DigestInit_ex(m_context, EVP_sha256(), nullptr) != 1)
            databaseError(QStringLiteral("SHA-256 is not available"));
        m_buffer.reserve(Piece + 4096);
    }
    ~TableDigest() { EVP_MD_CTX_free(m_context); }
    TableDigest(const TableDigest &) = delete;
    TableDigest &operator=(const TableDigest &) = delete;

    // The current row of read, each value hashed and, with a writer, bound to its insert.
    void add(const SqlStatement &read, int columns, TableWriter *writer = nullptr)
    {
        for (int i = 0; i < columns; ++i) {
            switch (kindOf(read, i)) {
            case Kind::Integer: {
                const qint64 x = read.int64(i);
                appendNumber('i', quint64(x));
                if (writer)
                    writer->bind(i, QVariant(x));
                break;
            }
            case Kind::Real: {
                const double d = read.real(i);
                quint64 bits = 0;
                std::memcpy(&bits, &d, sizeof bits);
                appendNumber('r', bits);
                if (writer)
                    writer->bind(i, QVariant(d));
                break;
            }
            case Kind::Text: {
                int length = 0;
                const char *text = read.textData(i, &length);
                appendNumber('t', quint64(length));
                m_buffer.append(text, length);
                if (writer)
                    writer->bind(i, QVariant(QString::fromUtf8(text, length)));
                break;
            }
            case Kind::Bytes: {
                const QVariant v = read.value(i);
                const QByteArray bytes = v.toByteArray();
                appendNumber('b', quint64(bytes.size()));
                m_buffer.append(bytes);
                if (writer)
                    writer->bind(i, v);
                break;
            }
            case Kind::Null:
                m_buffer.append('n');
                if (writer)
                    writer->bind(i, QVariant());
                break;
            }
        }
        ++m_rows;
        if (m_buffer.size() >= Piece)
            flush();
    }
    [[nodiscard]] qint64 rows() const { return m_rows; }
    [[nodiscard]] QByteArray result()
    {
        flush();
        QByteArray sum(EVP_MAX_MD_SIZE, Qt::Uninitialized);
        unsigned int size = 0;
        EVP_DigestFinal_ex(m_context, reinterpret_cast<unsigned char *>(sum.data()), &size);
        sum.resize(int(size));
        return sum;
    }

private:
    static constexpr qsizetype Piece = 1 << 16;

    void flush()
    {
        EVP_DigestUpdate(m_context, m_buffer.constData(), size_t(m_buffer.size()));
        m_buffer.resize(0);
    }
    void appendNumber(char tag, quint64 bits)
    {
        char bytes[9] = { tag };
        for (int i = 0; i < 8; ++i)
            bytes[i + 1] = char(bits >> (8 * i));
        m_buffer.append(bytes, 9);
    }
    EVP_MD_CTX *m_context;
    QByteArray m_buffer;
    qint64 m_rows = 0;
};

struct Plan
{
    const TableDef *def = nullptr;
    QStringList columns; // the source's, as SQL names
    QList<SourceColumn> extras;
};

QString selectSql(const Plan &plan)
{
    return QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
        .arg(plan.columns.join(QLatin1String(", ")), plan.def->name, rowOrder(*plan.def));
}

Plan planFor(sqlite3 *source, const TableDef &def)
{
    Plan plan;
    plan.def = &def;
    for (const SourceColumn &c : columnsOf(source, def.name)) {
        bool known = def.column(c.name) != nullptr;
        for (const FoldedColumnDef &f : def.folded)
            known = known || f.name.compare(c.name, Qt::CaseInsensitive) == 0;
        if (!known)
            plan.extras.append(c);
        plan.columns.append(identifier(c.name));
    }
    return plan;
}

void checkSource(sqlite3 *source)
{
    const QStringList present = tablesIn(source);
    QStringList missing;
    for (const TableDef &def : Schema::tables()) {
        if (!present.contains(def.name))
            missing.append(def.name);
    }
    if (!missing.isEmpty())
        databaseError(QStringLiteral("a origem não tem %1 %2; não é uma base de dados do programa")
                          .arg(missing.size() == 1 ? QStringLiteral("a tabela")
                                                   : QStringLiteral("as tabelas"),
                               missing.join(QLatin1String(", "))));
    const int version = schemaVersion(source);
    if (version < Schema::Version)
        databaseError(QStringLiteral("a origem é de uma versão anterior do programa (versão %1 dos "
                                     "dados; esta é a %2): abra-a uma vez com o programa, que a "
                                     "actualiza, e copie-a depois")
                          .arg(version)
                          .arg(Schema::Version));
    if (version > Schema::Version)
        databaseError(QStringLiteral("a origem foi escrita por uma versão mais recente do programa "
                                     "(versão %1 dos dados; este programa conhece até à %2): "
                                     "copie-a com essa versão")
                          .arg(version)
                          .arg(Schema::Version));
}

void checkTarget(sqlite3 *target)
{
    const QStringList present = tablesIn(target);
    QStringList found;
    for (const TableDef &def : Schema::tables()) {
        if (present.contains(def.name))
            found.append(def.name);
    }
    if (!found.isEmpty())
        databaseError(
            QStringLiteral("o destino já tem %1 %2; a cópia só escreve numa base de dados "
                           "sem nenhuma das sete tabelas, e nada foi alterado")
                .arg(found.size() == 1 ? QStringLiteral("a tabela") : QStringLiteral("as tabelas"),
                     found.join(QLatin1String(", "))));
}

qint64 rowCount(sqlite3 *db, const TableDef &def)
{
    SqlStatement st(db, QStringLiteral("SELECT count(*) FROM %1").arg(def.name));
    return st.step() ? st.int64(0) : 0;
}

void copyRows(sqlite3 *source, sqlite3 *target, const Plan &plan, DatabaseCopy::TableResult &result,
              const DatabaseCopy::Progress &progress)
{
    const QString &table = plan.def->name;
    const qint64 total = rowCount(source, *plan.def);
    if (progress)
        progress(table, 0, total);
    const qint64 step = std::max<qint64>(1000, total / 10);
    SqlStatement read(source, selectSql(plan));
    TableWriter writer(target, table, plan.columns);
    const int n = int(plan.columns.size());
    TableDigest digest;
    while (read.step()) {
        digest.add(read, n, &writer);
        writer.endRow();
        if (progress && digest.rows() % step == 0 && digest.rows() < total)
            progress(table, digest.rows(), total);
    }
    result.sourceRows = digest.rows();
    result.sourceSum = digest.result();
    if (progress)
        progress(table, result.sourceRows, std::max(total, result.sourceRows));
}

void readBack(sqlite3 *target, const Plan &plan, DatabaseCopy::TableResult &result)
{
    SqlStatement read(target, selectSql(plan));
    const int n = int(plan.columns.size());
    TableDigest digest;
    while (read.step())
        digest.add(read, n);
    result.targetRows = digest.rows();
    result.targetSum = digest.result();
}

} // namespace

qint64 DatabaseCopy::Result::rows() const
{
    qint64 n = 0;
    for (const TableResult &t : tables)
        n += t.sourceRows;
    return n;
}

DatabaseCopy::Result DatabaseCopy::run(sqlite3 *source, sqlite3 *target, const Progress &progress,
                                       const BeforeComparison &beforeComparison)
{
    Result result;
    QList<Plan> plans;
    bool reading = false;
    try {
        beginSnapshot(source);
        reading = true;
        checkSource(source);
        for (const TableDef &def : Schema::tables()) {
            plans.append(planFor(source, def));
            TableResult t;
            t.table = def.name;
            for (const SourceColumn &c : plans.last().extras)
                t.extraColumns.append(c.name);
            result.tables.append(t);
        }
        // Refused before anything of the target changes, its journal mode included.
        checkTarget(target);
    } catch (...) {
        if (reading)
            endTransaction(source, false);
        throw;
    }

    BulkLoad bulk(target);
    try {
        beginWrite(target);
        checkTarget(target);
        for (const Plan &plan : plans)
            createTable(target, *plan.def, plan.extras);
        for (int i = 0; i < plans.size(); ++i) {
            try {
                copyRows(source, target, plans.at(i), result.tables[i], progress);
            } catch (const DatabaseError &e) {
                // Which table refused a row, or could not be read.
                databaseError(QStringLiteral("%1: %2").arg(plans.at(i).def->name, e.message()));
            }
        }
        for (const Plan &plan : plans) {
            finishTable(target, *plan.def);
            const bool counted
                = std::any_of(plan.def->columns.begin(), plan.def->columns.end(),
                              [](const ColumnDef &c) { return c.type == FieldType::AutoInc; });
            if (counted)
                continueCounter(target, plan.def->name, counterOf(source, plan.def->name));
        }
        setSchemaVersion(target, Schema::Version);
        endTransaction(source, true);
        reading = false;
        if (beforeComparison)
            beforeComparison(target);
        bool equal = true;
        for (int i = 0; i < plans.size(); ++i) {
            readBack(target, plans.at(i), result.tables[i]);
            equal = equal && result.tables.at(i).equal();
        }
        endTransaction(target, equal);
        result.committed = equal;
    } catch (...) {
        endTransaction(target, false);
        if (reading)
            endTransaction(source, false);
        throw;
    }
    return result;
}
