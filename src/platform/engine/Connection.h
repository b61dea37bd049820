#pragma once

#include <QString>
#include <QStringList>

#include <vector>

struct sqlite3;
class PgConnection;

// The type of one value of a result row, whatever store it came from.
enum class SqlType { Null, Integer, Float, Text, Blob };

// The engine's connection to the store that holds a logical database's tables: an SQLite file or
// a PostgreSQL server. Statements (SqlStatement) run on it; what differs between stores beyond
// SQL text is asked here. Failures throw DatabaseError.
class Connection
{
public:
    enum class Kind { Sqlite, PostgreSql };

    virtual ~Connection() = default;
    [[nodiscard]] virtual Kind kind() const = 0;
    [[nodiscard]] bool isPostgreSql() const { return kind() == Kind::PostgreSql; }

    // Runs one or more statements that return no rows.
    virtual void exec(const QString &sql) = 0;
    // The transaction of a write group. SQLite takes the write lock at once (IMMEDIATE).
    virtual void begin() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;

    // The rowid of the row the last INSERT made (SQLite; PostgreSQL's inserts return it).
    [[nodiscard]] virtual qint64 lastInsertRowid() const { return 0; }

    struct ColumnInfo
    {
        QString name;
        QString type; // as SQLite declares it: INTEGER, REAL, TEXT or BLOB
        int keyOrder = 0; // 1-based place in the primary key, 0 when not in it
    };
    // The stored columns of a table in declaration order; empty when there is no such table.
    [[nodiscard]] virtual std::vector<ColumnInfo> tableInfo(const QString &table) = 0;
    // The columns of a named index in order; empty when there is no such index.
    [[nodiscard]] virtual QStringList indexColumns(const QString &index) = 0;
    // The names of the tables the store holds, in lower case.
    [[nodiscard]] virtual QStringList tables() = 0;

    // Where the data lives, for messages (never with a password).
    [[nodiscard]] virtual QString location() const = 0;

    // Ends the connection; with tidy, the store first does the upkeep a session that ended
    // normally allows (SQLite's planner statistics).
    virtual void close(bool tidy) = 0;

    // The spelling a name of the schema is written in ("CodigoExame", or "eco.Idade" for one
    // table's column); a store that gives names back in another case (PostgreSQL: lower case)
    // gives them back so.
    virtual void addNameSpelling(const QString &name) { Q_UNUSED(name); }

    [[nodiscard]] virtual sqlite3 *sqlite() const { return nullptr; }
    [[nodiscard]] virtual PgConnection *pg() { return nullptr; }
};

// The name of a table or column as the store writes it in SQL: quoted as given on SQLite (names
// are case-blind there anyway), in lower case on PostgreSQL, which keeps unquoted names so.
[[nodiscard]] QString quoteSqlName(const QString &name, bool postgreSql);
