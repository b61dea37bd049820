#pragma once

#include <QSqlDatabase>
#include <QString>

struct sqlite3;

// The one SQLite file that holds every table of a logical database. Opening sets the pragmas the
// engine relies on (WAL, synchronous FULL, busy timeout, no foreign keys). A file created here is
// health data: its directory gets mode 0700 and the file 0600. Failures throw DatabaseError.
class SqliteStore
{
public:
    static constexpr const char *FileName = "taluvo.sqlite";

    [[nodiscard]] static QString filePath(const QString &dir);
    [[nodiscard]] static bool exists(const QString &dir);

    // Opens DIR/taluvo.sqlite under connectionName. With create, a missing directory and file are
    // made; without it, both must exist.
    [[nodiscard]] static QSqlDatabase open(const QString &dir, const QString &connectionName,
                                           bool create);
    static void close(const QString &connectionName);

    // The native handle behind a QSQLITE connection, for the statements the engine runs itself.
    [[nodiscard]] static sqlite3 *handle(const QSqlDatabase &db);
    // Runs one or more statements that return no rows; throws DatabaseError with SQLite's message.
    static void exec(sqlite3 *db, const QString &sql);
};
