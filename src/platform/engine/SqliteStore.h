#pragma once

#include "platform/engine/Connection.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

struct sqlite3;

// The one SQLite file that holds every table of a logical database. Opening sets the pragmas the
// engine relies on (WAL, synchronous FULL, busy timeout, no foreign keys) and sizes SQLite's
// page cache and memory map for the file and the machine (sizing()). A file created here is
// health data: its directory gets mode 0700 and the file 0600. Failures throw DatabaseError.
class SqliteStore
{
public:
    static constexpr const char *FileName = "taluvo.sqlite";

    [[nodiscard]] static QString filePath(const QString &dir);
    [[nodiscard]] static bool exists(const QString &dir);

    // What an existing file is, found without writing a byte to it. Throws StorageFault when it
    // is empty or not an SQLite file, or SQLite finds it damaged.
    struct Probe
    {
        QStringList tables;
        int userVersion = 0;
        bool readOnly = false; // the file or its directory cannot (or must not) be written
    };
    [[nodiscard]] static Probe probe(const QString &dir);
    // The file and SQLite's -wal and -shm beside it lose every permission of group and others
    // when this process owns them; the ones it could not protect are returned, to be told.
    [[nodiscard]] static QStringList protect(const QString &dir);

    // Opens DIR/taluvo.sqlite under connectionName. With create, a missing directory and file are
    // made; without it, both must exist. A read-only connection never writes, not even the
    // journal mode.
    [[nodiscard]] static QSqlDatabase open(const QString &dir, const QString &connectionName,
                                           bool create, bool readOnly = false);
    // With optimize, before the connection goes SQLite brings the planner's statistics up to
    // date where the statements run on it would gain (PRAGMA optimize, its work bounded).
    static void close(const QString &connectionName, bool optimize = false);

    // How much SQLite keeps of a file of fileSize bytes on a machine with memory bytes: a file
    // small beside the memory is mapped whole, with room to grow, and a small page cache is
    // enough; a large one is read through the system's file cache, which holds what is read
    // often without counting against this process, with a larger page cache for the upper
    // pages of its indexes.
    struct Sizing
    {
        qint64 mmapBytes = 0;
        qint64 cacheKiB = 0;
    };
    [[nodiscard]] static Sizing sizing(qint64 fileSize, qint64 memory);

    // The native handle behind a QSQLITE connection, for the statements the engine runs itself.
    [[nodiscard]] static sqlite3 *handle(const QSqlDatabase &db);
    // Runs one or more statements that return no rows; throws DatabaseError with SQLite's message.
    static void exec(sqlite3 *db, const QString &sql);
};

// The engine's connection to one SQLite file, opened by SqliteStore::open.
class SqliteConnection : public Connection
{
public:
    SqliteConnection(const QString &dir, const QString &connectionName, bool readOnly);
    // A connection someone else opened and closes.
    explicit SqliteConnection(sqlite3 *borrowed);
    ~SqliteConnection() override;

    [[nodiscard]] Kind kind() const override { return Kind::Sqlite; }
    void exec(const QString &sql) override;
    void begin() override;
    void commit() override;
    void rollback() override;
    [[nodiscard]] qint64 lastInsertRowid() const override;
    [[nodiscard]] std::vector<ColumnInfo> tableInfo(const QString &table) override;
    [[nodiscard]] QStringList indexColumns(const QString &index) override;
    [[nodiscard]] QStringList tables() override;
    [[nodiscard]] QString location() const override { return m_dir; }
    void close(bool tidy) override;
    [[nodiscard]] sqlite3 *sqlite() const override { return m_handle; }

private:
    QString m_dir;
    QString m_connectionName;
    sqlite3 *m_handle = nullptr;
};
