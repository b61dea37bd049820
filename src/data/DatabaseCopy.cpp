#include "data/DatabaseCopy.h"

#include "data/Schema.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/Connection.h"
#include "platform/engine/SqliteStore.h"

#include <QRegularExpression>
#include <QVariant>

#include <openssl/evp.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct SourceColumn
{
    QString name;
    QString declaredType;
};

// ------------------------------------------------------------------------------------------------
// What depends on the back end. The copy itself only prepares statements, binds, steps and reads
// values; below, each side's catalogue, DDL, counters and transaction modes, SQLite's or a
// PostgreSQL server's.

// Names of the program and of the practice's other software are plain words; anything else is
// quoted so that it reaches the target exactly as the source spells it. The server keeps plain
// names in lower case, as its schema is made.
QString identifier(const QString &name, bool server = false)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (plain.match(name).hasMatch())
        return server ? name.toLower() : name;
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

bool isServer(Connection &db)
{
    return db.isPostgreSql();
}

// The tables of a database, in lower case.
QStringList tablesIn(Connection &db)
{
    return db.tables();
}

// The columns a table actually has, in its order, with the type each was declared with.
QList<SourceColumn> columnsOf(Connection &db, const QString &table)
{
    QList<SourceColumn> columns;
    for (const Connection::ColumnInfo &c : db.tableInfo(table))
        columns.append({ c.name, c.type });
    return columns;
}

int schemaVersion(Connection &db)
{
    if (isServer(db)) {
        if (!db.tables().contains(QLatin1String(Schema::VersionTable)))
            return 0;
        SqlStatement st(db, QStringLiteral("SELECT version FROM %1").arg(Schema::VersionTable));
        return st.step() ? int(st.int64(0)) : 0;
    }
    SqlStatement st(db, QStringLiteral("PRAGMA user_version"));
    return st.step() ? int(st.int64(0)) : 0;
}

// The server's schema is made with its version row.
void setSchemaVersion(Connection &db, int version)
{
    if (!isServer(db))
        db.exec(QStringLiteral("PRAGMA user_version = %1").arg(version));
}

// One consistent state of the source from its first row read to its last, while other
// workstations may go on writing.
void beginSnapshot(Connection &db)
{
    if (isServer(db))
        db.exec(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    else
        db.exec(QStringLiteral("BEGIN"));
}

void endTransaction(Connection &db, bool commit)
{
    if (!isServer(db) && sqlite3_get_autocommit(db.sqlite()) != 0)
        return;
    if (commit) {
        db.commit();
        return;
    }
    try {
        db.rollback();
    } catch (const DatabaseError &) {
        // Nothing was open, or the connection is gone and the server rolled back.
    }
}

// The write lock from the start: nobody creates a table between the check and the copy. A
// server's transaction makes the tables visible to nobody until it commits.
void beginWrite(Connection &db)
{
    if (isServer(db))
        db.begin();
    else
        db.exec(QStringLiteral("BEGIN IMMEDIATE"));
}

// The rows go into tables that did not exist: a rollback journal has next to nothing to keep for
// them, where the write-ahead log would write every page twice. The file's mode comes back after.
// The page cache sized for a new, empty file would spill and read back the pages of the keys'
// indexes over and over; the load gets a larger one for its duration.
class BulkLoad
{
public:
    explicit BulkLoad(Connection &db)
        : m_db(db.sqlite())
    {
        if (!m_db)
            return;
        SqlStatement cache(m_db, QStringLiteral("PRAGMA cache_size"));
        m_cacheSize = cache.step() ? cache.int64(0) : 0;
        sqlite3_exec(m_db, "PRAGMA cache_size=-65536", nullptr, nullptr, nullptr);
        if (mode() != QLatin1String("wal"))
            return;
        sqlite3_exec(m_db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
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

// A column of another program on the server: the type SQLite's affinity rules give its declared
// type, so that its values keep their kind.
QString serverType(const QString &declared)
{
    const QString t = declared.toUpper();
    if (t.contains(QLatin1String("INT")))
        return QStringLiteral("bigint");
    if (t.contains(QLatin1String("CHAR")) || t.contains(QLatin1String("CLOB"))
        || t.contains(QLatin1String("TEXT")))
        return QStringLiteral("text COLLATE \"C\"");
    if (t.contains(QLatin1String("BLOB")))
        return QStringLiteral("bytea");
    // No type: SQLite keeps whatever it was given; other programs write texts there.
    if (t.isEmpty())
        return QStringLiteral("text COLLATE \"C\"");
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA"))
        || t.contains(QLatin1String("DOUB")))
        return QStringLiteral("double precision");
    return QStringLiteral("double precision");
}

// The seven tables at once on a server (its schema, with the version row); the folding triggers
// wait until the rows are in, so the folded names arrive as the source stored them.
void createSchema(Connection &db)
{
    if (!isServer(db))
        return;
    Schema::create(db);
    for (const TableDef &def : Schema::tables()) {
        if (!def.folded.isEmpty())
            db.exec(QStringLiteral("ALTER TABLE %1 DISABLE TRIGGER USER").arg(def.name));
    }
}

// The program's table, then the source's other columns under their own names and declared types
// (as the Paradox import keeps the columns it does not know).
void createTable(Connection &db, const TableDef &def, const QList<SourceColumn> &extras)
{
    const bool server = isServer(db);
    if (!server)
        db.exec(Schema::createTableSql(def));
    for (const SourceColumn &c : extras)
        db.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                    .arg(def.name, identifier(c.name, server),
                         server ? serverType(c.declaredType) : c.declaredType));
}

// Indexes and the folding triggers come once the rows are in: an index is built once rather than
// grown row by row, and the folded names arrive as the source stored them.
void finishTable(Connection &db, const TableDef &def)
{
    if (isServer(db)) {
        if (!def.folded.isEmpty())
            db.exec(QStringLiteral("ALTER TABLE %1 ENABLE TRIGGER USER").arg(def.name));
        db.exec(QStringLiteral("ANALYZE %1").arg(def.name));
        return;
    }
    for (const IndexDef &i : def.indexes)
        db.exec(Schema::createIndexSql(def, i));
    for (const FoldedColumnDef &f : def.folded) {
        for (const QString &sql : Schema::foldedTriggersSql(def, f))
            db.exec(sql);
    }
}

// The highest number the table's counter has given (deleted rows included); 0 when none.
qint64 counterOf(Connection &db, const QString &table, const QString &column)
{
    if (isServer(db)) {
        SqlStatement st(db, QStringLiteral("SELECT coalesce((SELECT last_value FROM pg_sequences "
                                           "WHERE schemaname || '.' || sequencename "
                                           "= pg_get_serial_sequence('%1', '%2')), 0)")
                                .arg(table, column.toLower()));
        return st.step() ? st.int64(0) : 0;
    }
    if (!tablesIn(db).contains(QLatin1String("sqlite_sequence")))
        return 0;
    SqlStatement st(db, QStringLiteral("SELECT seq FROM sqlite_sequence WHERE lower(name) = ?"));
    st.bind(0, table.toLower());
    return st.step() ? st.int64(0) : 0;
}

// New rows of the target get numbers after the source's last, even one since deleted, so a
// number known outside (printed, in other software) is never given again. The server's row
// identities also continue after the rows copied.
void continueCounter(Connection &db, const QString &table, const QString &column, qint64 last)
{
    if (isServer(db)) {
        db.exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'rowid'), "
                               "greatest((SELECT max(rowid) FROM %1), 1), "
                               "(SELECT max(rowid) FROM %1) IS NOT NULL)")
                    .arg(table));
        if (!column.isEmpty() && last > 0)
            db.exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', '%2'), "
                                   "greatest(%3, (SELECT coalesce(max(%2), 0) FROM %1)))")
                        .arg(table, column.toLower())
                        .arg(last));
        return;
    }
    if (last <= 0)
        return;
    db.exec(QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, %2) WHERE name = '%1';"
                           "INSERT INTO sqlite_sequence (name, seq) SELECT '%1', %2 "
                           "WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence "
                           "WHERE name = '%1')")
                .arg(table)
                .arg(last));
}

// The order rows are read in on both sides: the key, or for imagem, which has none, the order the
// rows were written in (the engine reads a repeated score row by that order). Texts compare by
// their bytes on both (the server's columns are in the "C" collation), nulls first.
QString rowOrder(const TableDef &def, bool server)
{
    const QStringList key = def.primaryKey.isEmpty() ? QStringList { QStringLiteral("rowid") }
                                                     : def.primaryKey;
    if (!server)
        return key.join(QLatin1String(", "));
    QStringList parts;
    for (const QString &k : key)
        parts.append(k.toLower() + QLatin1String(" NULLS FIRST"));
    return parts.join(QLatin1String(", "));
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

// Rows into one table of the target. SQLite: one prepared insert stepped per row inside the
// transaction, its fastest way. A server: inserts of a few hundred rows each, so that one round
// trip carries many rows.
class TableWriter
{
public:
    TableWriter(Connection &db, const QString &table, const QStringList &columns)
        : m_db(db)
        , m_table(table)
        , m_columns(columns)
        , m_batch(isServer(db) ? std::clamp(MaxParameters / std::max(1, int(columns.size())), 1, 400)
                               : 1)
        , m_insert(db, insertSql(m_batch))
    {
        if (m_batch > 1)
            m_pending.reserve(m_batch * columns.size());
    }
    void bind(int column, const QVariant &value)
    {
        if (m_batch == 1)
            m_insert.bind(column, value);
        else
            m_pending.append(value);
    }
    void endRow()
    {
        if (++m_row < m_batch)
            return;
        write(m_insert);
    }
    // The rows of the last, shorter batch.
    void finish()
    {
        if (m_row == 0)
            return;
        SqlStatement last(m_db, insertSql(m_row));
        write(last);
    }

private:
    // libpq takes a statement's description of its parameters as lost synchronisation beyond
    // about 30,000 bytes (4 a parameter).
    static constexpr int MaxParameters = 7000;

    void write(SqlStatement &insert)
    {
        for (int i = 0; i < m_pending.size(); ++i)
            insert.bind(i, m_pending.at(i));
        insert.step();
        insert.reset();
        m_pending.resize(0);
        m_row = 0;
    }
    QString insertSql(int rows) const
    {
        const QString one = QLatin1Char('(')
            + QStringList(m_columns.size(), QStringLiteral("?")).join(QLatin1String(", "))
            + QLatin1Char(')');
        return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
            .arg(m_table, m_columns.join(QLatin1String(", ")),
                 QStringList(rows, one).join(QLatin1String(", ")));
    }

    Connection &m_db;
    QString m_table;
    QStringList m_columns;
    int m_batch;
    int m_row = 0;
    SqlStatement m_insert;
    QVariantList m_pending;
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

QString selectSql(const Plan &plan, bool server)
{
    return QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
        .arg(plan.columns.join(QLatin1String(", ")), plan.def->name, rowOrder(*plan.def, server));
}

Plan planFor(Connection &source, const TableDef &def)
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

void checkSource(Connection &source)
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

void checkTarget(Connection &target)
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

qint64 rowCount(Connection &db, const TableDef &def)
{
    SqlStatement st(db, QStringLiteral("SELECT count(*) FROM %1").arg(def.name));
    return st.step() ? st.int64(0) : 0;
}

void copyRows(Connection &source, Connection &target, const Plan &plan, DatabaseCopy::TableResult &result,
              const DatabaseCopy::Progress &progress)
{
    const QString &table = plan.def->name;
    const qint64 total = rowCount(source, *plan.def);
    if (progress)
        progress(table, 0, total);
    const qint64 step = std::max<qint64>(1000, total / 10);
    SqlStatement read(source, selectSql(plan, isServer(source)));
    read.setStreaming(true);
    TableWriter writer(target, table, plan.columns);
    const int n = int(plan.columns.size());
    TableDigest digest;
    while (read.step()) {
        digest.add(read, n, &writer);
        writer.endRow();
        if (progress && digest.rows() % step == 0 && digest.rows() < total)
            progress(table, digest.rows(), total);
    }
    writer.finish();
    result.sourceRows = digest.rows();
    result.sourceSum = digest.result();
    if (progress)
        progress(table, result.sourceRows, std::max(total, result.sourceRows));
}

void readBack(Connection &target, const Plan &plan, DatabaseCopy::TableResult &result)
{
    SqlStatement read(target, selectSql(plan, isServer(target)));
    read.setStreaming(true);
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

DatabaseCopy::Result DatabaseCopy::run(Connection &source, Connection &target, const Progress &progress,
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
        createSchema(target);
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
            const auto counter
                = std::find_if(plan.def->columns.begin(), plan.def->columns.end(),
                               [](const ColumnDef &c) { return c.type == FieldType::AutoInc; });
            const QString column
                = counter == plan.def->columns.end() ? QString() : counter->name;
            continueCounter(target, plan.def->name, column,
                            column.isEmpty() ? 0 : counterOf(source, plan.def->name, column));
        }
        setSchemaVersion(target, Schema::Version);
        endTransaction(source, true);
        reading = false;
        if (beforeComparison && target.sqlite())
            beforeComparison(target.sqlite());
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

DatabaseCopy::Result DatabaseCopy::run(sqlite3 *source, sqlite3 *target, const Progress &progress,
                                       const BeforeComparison &beforeComparison)
{
    SqliteConnection from(source);
    SqliteConnection to(target);
    return run(from, to, progress, beforeComparison);
}
