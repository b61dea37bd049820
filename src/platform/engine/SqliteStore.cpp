#include "platform/engine/SqliteStore.h"

#include "platform/engine/DatabaseError.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/StorageFault.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

QString SqliteStore::filePath(const QString &dir)
{
    return QDir(dir).filePath(QLatin1String(FileName));
}

bool SqliteStore::exists(const QString &dir)
{
    return QFileInfo(filePath(dir)).isFile();
}

namespace {
qint64 physicalMemory()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long page = ::sysconf(_SC_PAGE_SIZE);
    // Unknown: as a small machine.
    return pages > 0 && page > 0 ? qint64(pages) * page : qint64(2) * 1024 * 1024 * 1024;
}

// Whether this process may write path, and its owner meant it to be written: root may write a
// file whose mode says read-only, but that mode is the owner's request.
bool writable(const QString &path)
{
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    return ::stat(native.constData(), &st) == 0 && (st.st_mode & 0222) != 0
        && ::access(native.constData(), W_OK) == 0;
}
} // namespace

SqliteStore::Probe SqliteStore::probe(const QString &dir)
{
    const QString path = filePath(dir);
    using Kind = StorageFault::Kind;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        databaseError(QStringLiteral("Cannot open the database file '%1': %2")
                          .arg(path, file.errorString()));
    // SQLite would take an empty or half-written file for a new database and write one into it.
    static const QByteArray magic("SQLite format 3\0", 16);
    if (file.read(magic.size()) != magic)
        throw StorageFault(Kind::NotADatabase, path);
    file.close();

    Probe result;
    result.readOnly = !writable(path) || !writable(dir);
    sqlite3 *db = nullptr;
    // Only read through, but opened for writing where it may be: the last connection to close
    // removes the -wal and -shm it made, and a read-only one would leave them behind.
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                             result.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE,
                             nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, 5000);
        sqlite3_stmt *st = nullptr;
        rc = sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table'", -1,
                                &st, nullptr);
        while (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
            result.tables.append(QString::fromUtf8(
                reinterpret_cast<const char *>(sqlite3_column_text(st, 0))));
            rc = SQLITE_OK;
        }
        if (rc == SQLITE_DONE)
            rc = SQLITE_OK;
        sqlite3_finalize(st);
        if (rc == SQLITE_OK) {
            st = nullptr;
            if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr) == SQLITE_OK
                && sqlite3_step(st) == SQLITE_ROW)
                result.userVersion = sqlite3_column_int(st, 0);
            sqlite3_finalize(st);
        }
    }
    const QString message = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    sqlite3_close(db);
    if ((rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB)
        throw StorageFault(Kind::Damaged, path);
    if (rc != SQLITE_OK)
        databaseError(QStringLiteral("Cannot open the database file '%1': %2").arg(path, message));
    return result;
}

QStringList SqliteStore::protect(const QString &dir)
{
    QStringList unprotected;
    const QString path = filePath(dir);
    for (const QString &file : { path, path + QLatin1String("-wal"), path + QLatin1String("-shm") }) {
        const QByteArray native = QFile::encodeName(file);
        struct stat st {};
        if (::stat(native.constData(), &st) != 0 || (st.st_mode & 077) == 0)
            continue;
        // Only the owner's own bits stay: a file kept read-only stays read-only.
        if (st.st_uid != ::geteuid() || ::chmod(native.constData(), st.st_mode & 0700) != 0)
            unprotected.append(file);
    }
    return unprotected;
}

QSqlDatabase SqliteStore::open(const QString &dir, const QString &connectionName, bool create,
                               bool readOnly)
{
    const QString path = filePath(dir);
    if (create) {
        if (!QFileInfo(dir).isDir()) {
            if (!QDir().mkpath(dir))
                databaseError(QStringLiteral("Cannot create the directory '%1'").arg(dir));
            ::chmod(QFile::encodeName(dir).constData(), 0700);
        }
        // Create the file ourselves so that it never exists with wider permissions.
        const int fd = ::open(QFile::encodeName(path).constData(), O_CREAT | O_RDWR | O_CLOEXEC,
                              0600);
        if (fd < 0)
            databaseError(QStringLiteral("Cannot create the database file '%1'").arg(path));
        ::close(fd);
    } else if (!QFileInfo(path).isFile()) {
        databaseError(QStringLiteral("Database file '%1' does not exist").arg(path));
    }

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(path);
    db.setConnectOptions(readOnly ? QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000;QSQLITE_OPEN_READONLY")
                                  : QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        const QString message = db.lastError().text();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        databaseError(QStringLiteral("Cannot open the database file '%1': %2").arg(path, message));
    }
    sqlite3 *h = handle(db);
    try {
        if (!readOnly)
            exec(h, QStringLiteral("PRAGMA journal_mode=WAL"));
        // A file made here gets its header at once: an empty file is never a database.
        if (create && QFileInfo(path).size() == 0)
            exec(h, QStringLiteral("PRAGMA user_version = 0"));
        const Sizing size = sizing(QFileInfo(path).size(), physicalMemory());
        exec(h, QStringLiteral("PRAGMA synchronous=FULL; PRAGMA foreign_keys=OFF; "
                               "PRAGMA cache_size=-%1; PRAGMA mmap_size=%2;")
                    .arg(size.cacheKiB)
                    .arg(size.mmapBytes));
    } catch (...) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        throw;
    }
    return db;
}

SqliteStore::Sizing SqliteStore::sizing(qint64 fileSize, qint64 memory)
{
    constexpr qint64 MiB = 1024 * 1024;
    Sizing size;
    const qint64 whole = fileSize + fileSize / 4 + 16 * MiB;
    // Pages of a mapped file count as this process's memory once read: only a file that is
    // small beside the machine's memory is mapped.
    const qint64 mappable = qMin<qint64>(memory / 32, 1024 * MiB);
    if (whole <= mappable) {
        size.mmapBytes = whole;
        size.cacheKiB = 2 * 1024;
    } else {
        size.cacheKiB = qBound(qint64(8 * 1024), fileSize / 256 / 1024, qint64(32 * 1024));
    }
    return size;
}

void SqliteStore::close(const QString &connectionName, bool optimize)
{
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        if (db.isValid()) {
            if (optimize && db.isOpen()) {
                try {
                    // Bounded: each index is sampled, never read whole.
                    sqlite3_exec(handle(db), "PRAGMA analysis_limit=1000; PRAGMA optimize;",
                                 nullptr, nullptr, nullptr);
                } catch (const DatabaseError &) {
                }
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connectionName);
}

sqlite3 *SqliteStore::handle(const QSqlDatabase &db)
{
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        databaseError(QStringLiteral("The database connection is not an SQLite connection"));
    sqlite3 *h = *static_cast<sqlite3 *const *>(v.constData());
    if (!h)
        databaseError(QStringLiteral("The database connection is closed"));
    return h;
}

void SqliteStore::exec(sqlite3 *db, const QString &sql)
{
    char *err = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        const QString message = QString::fromUtf8(err ? err : sqlite3_errmsg(db));
        sqlite3_free(err);
        switch (rc & 0xff) {
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_FULL:
        case SQLITE_READONLY:
            throwSqliteError(db, rc);
        default:
            databaseError(message);
        }
    }
}

SqliteConnection::SqliteConnection(const QString &dir, const QString &connectionName,
                                   bool readOnly)
    : m_dir(dir)
    , m_connectionName(connectionName)
{
    m_handle = SqliteStore::handle(SqliteStore::open(dir, connectionName, false, readOnly));
}

SqliteConnection::SqliteConnection(sqlite3 *borrowed)
    : m_handle(borrowed)
{
}

SqliteConnection::~SqliteConnection()
{
    close(false);
}

void SqliteConnection::close(bool tidy)
{
    if (!m_handle)
        return;
    m_handle = nullptr;
    if (!m_connectionName.isEmpty())
        SqliteStore::close(m_connectionName, tidy);
}

void SqliteConnection::exec(const QString &sql)
{
    SqliteStore::exec(m_handle, sql);
}

void SqliteConnection::begin()
{
    // IMMEDIATE takes the write lock at once, before any write checks the rows it changes, so
    // another instance cannot write between the check and the write.
    exec(QStringLiteral("BEGIN IMMEDIATE"));
}

void SqliteConnection::commit()
{
    exec(QStringLiteral("COMMIT"));
}

void SqliteConnection::rollback()
{
    if (m_handle && sqlite3_get_autocommit(m_handle) == 0)
        sqlite3_exec(m_handle, "ROLLBACK", nullptr, nullptr, nullptr);
}

qint64 SqliteConnection::lastInsertRowid() const
{
    return sqlite3_last_insert_rowid(m_handle);
}

std::vector<Connection::ColumnInfo> SqliteConnection::tableInfo(const QString &table)
{
    std::vector<ColumnInfo> columns;
    SqlStatement info(m_handle, QStringLiteral("PRAGMA table_info(%1)").arg(quoteSqlName(table, false)));
    while (info.step())
        columns.push_back(ColumnInfo{info.text(1), info.text(2), int(info.int64(5))});
    return columns;
}

QStringList SqliteConnection::indexColumns(const QString &index)
{
    QStringList cols;
    SqlStatement info(m_handle, QStringLiteral("PRAGMA index_info(%1)").arg(quoteSqlName(index, false)));
    while (info.step())
        cols.append(info.text(2));
    return cols;
}

QStringList SqliteConnection::tables()
{
    QStringList names;
    SqlStatement st(m_handle, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"));
    while (st.step())
        names.append(st.text(0).toLower());
    return names;
}

QString quoteSqlName(const QString &name, bool postgreSql)
{
    QString q = postgreSql ? name.toLower() : name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}
