#pragma once

#include "platform/engine/Connection.h"
#include "platform/engine/FieldType.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class RecordLocks;
struct sqlite3;

// A logical database (such as "BDC") over an alias that names a location: a directory, whose one
// SQLite file holds all its tables, or a PostgreSQL server named by a URI (StoreLocation). Tables and queries find their database by its logical name.
//
// Writes of one user operation (an exam post with its segment scores, a delete with its details)
// are gathered in a write group and committed in one transaction when the outermost operation
// ends; if any write fails, the transaction is rolled back and every dataset that had already
// taken the change in memory is put back as it was, still editing, so nothing typed is lost.
class Database
{
public:
    explicit Database(const QString &databaseName = QStringLiteral("BDC"));
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    [[nodiscard]] const QString &databaseName() const { return m_name; }
    [[nodiscard]] const QString &aliasName() const { return m_alias; }
    void setAliasName(const QString &alias) { m_alias = alias; }
    // A location given on the command line wins over every other way of resolving the alias.
    static void setCommandLineDirectory(const QString &dir);
    [[nodiscard]] static QString commandLineDirectory();
    // --data DIR, then $TALUVO_DATA, then [Aliases] in the engine's settings file, then
    // $XDG_DATA_HOME/taluvo/<alias>.
    [[nodiscard]] static QString resolveAlias(const QString &alias);
    [[nodiscard]] static QString settingsFilePath();

    // Connects to the alias's directory; throws when the directory or its database file is missing,
    // and StorageFault when the file is not a database, is damaged or is of a newer version. A
    // file or directory that cannot be written gives a read-only connection: reads work, every
    // write group fails with the read-only fault. Nothing is written while connecting except the
    // journal mode and the owner-only permissions.
    void open();
    // Connects to an explicit directory (tools and tests).
    void openDirectory(const QString &dir);
    // Connects to a directory or a server URI.
    void openLocation(const QString &location);
    // keepStatistics: SQLite updates the planner's statistics first (a session that ended
    // normally); a start-up that failed leaves the file as it found it.
    void close(bool keepStatistics = true);
    [[nodiscard]] bool isConnected() const { return m_conn != nullptr; }
    // The directory or URI connected to (a URI as given, password and all: never show it; see
    // shownLocation()).
    [[nodiscard]] const QString &directory() const { return m_directory; }
    [[nodiscard]] QString shownLocation() const;
    [[nodiscard]] Connection &connection() const;
    [[nodiscard]] bool isPostgreSql() const { return m_conn && m_conn->isPostgreSql(); }
    // The SQLite handle, for work only SQLite does; throws on another store.
    [[nodiscard]] sqlite3 *handle() const;
    // Names of the schema, in the spelling results give them back in.
    void registerNames(const QStringList &names);
    [[nodiscard]] static Database *find(const QString &databaseName);

    // A file whose user_version is above this is refused before anything is written, and so is
    // one that holds none of the expected tables (an empty or half-created file).
    void setNewestVersion(int version) { m_newestVersion = version; }
    void setExpectedTables(const QStringList &tables) { m_expectedTables = tables; }
    [[nodiscard]] int storedVersion() const { return m_storedVersion; }
    [[nodiscard]] bool isReadOnly() const { return m_readOnly; }
    [[nodiscard]] QString filePath() const;
    // Files of the database that others may read and this process could not protect.
    [[nodiscard]] const QStringList &unprotectedFiles() const { return m_unprotected; }

    // The logical type of a stored column, for query results that read it.
    struct ColumnType {
        FieldType type = FieldType::Unknown;
        int size = 0;
    };
    void registerColumnType(const QString &table, const QString &column, FieldType type, int size);
    [[nodiscard]] std::optional<ColumnType> columnType(const QString &table,
                                                       const QString &column) const;
    // The type of a column known by its name alone: the one every registered table with such a
    // column gives it; none when no table has it or two disagree.
    [[nodiscard]] std::optional<FieldType> columnTypeByName(const QString &column) const;

    // A column the store keeps as another column's text folded by TextFold::searchKey, so tables
    // ordered by it and case-blind searches of the other column can go through an index.
    void registerFoldedColumn(const QString &table, const QString &column, const QString &folded);
    // The folded column of table.column; empty when none.
    [[nodiscard]] QString foldedColumn(const QString &table, const QString &column) const;

    // A statement left half-read keeps the snapshot it started on, and SQLite lets no write start
    // from a snapshot another connection has since moved past: before taking the write lock,
    // every such reader is asked to finish reading (finish must end with removeReader).
    void addReader(const void *owner, std::function<void()> finish);
    void removeReader(const void *owner);

    // One write of a group: exec runs the SQL; undo puts the in-memory state back after a rollback.
    struct Write {
        std::function<void()> exec;
        std::function<void()> undo;
    };
    void submit(Write write);
    // Reads see the group's writes: pending writes run (inside the open transaction) first.
    void flushForRead();

    // RAII scope of one user operation. commit() is a no-op except in the outermost scope, where
    // it runs and commits every pending write. Leaving a scope by an exception discards the
    // pending writes and undoes them in memory.
    class WriteGroup
    {
    public:
        explicit WriteGroup(Database *db);
        ~WriteGroup();
        WriteGroup(const WriteGroup &) = delete;
        WriteGroup &operator=(const WriteGroup &) = delete;
        void commit();

    private:
        Database *m_db;
        bool m_done = false;
    };

    // Record locks shared with other workstations; none (the default) means no table locks.
    void setRecordLocks(std::unique_ptr<RecordLocks> locks);
    [[nodiscard]] RecordLocks *recordLocks() const { return m_recordLocks.get(); }
    // Runs fn when the outermost write group ends, committed or rolled back (after the datasets
    // were put back), or at once outside any group. fn must not throw.
    void whenWriteGroupEnds(std::function<void()> fn);

    [[nodiscard]] int pendingWrites() const { return int(m_pending.size()); }
    [[nodiscard]] bool inTransaction() const { return m_transactionOpen; }

private:
    void connectTo(const QString &dir);
    void connectToServer(const QString &uri);
    void beginTransaction();
    void runPending();
    void commitAll();
    void rollbackAll();

    QString m_name;
    QString m_alias = QStringLiteral("Arvendi2");
    QString m_directory;
    std::unique_ptr<Connection> m_conn;
    QHash<QString, ColumnType> m_columnTypes;
    QHash<QString, QString> m_foldedColumns;
    QHash<QString, QString> m_spellings;
    std::vector<Write> m_pending;
    std::vector<Write> m_done; // ran inside the open transaction, kept for undo
    int m_groupDepth = 0;
    bool m_transactionOpen = false;
    int m_newestVersion = -1; // no limit
    int m_storedVersion = 0;
    bool m_readOnly = false;
    QStringList m_unprotected;
    QStringList m_expectedTables;
    std::vector<std::pair<const void *, std::function<void()>>> m_readers;
    std::unique_ptr<RecordLocks> m_recordLocks;
    std::vector<std::function<void()>> m_groupEnd;
};
