#pragma once

#include "platform/engine/Connection.h"

#include <QString>
#include <QVariant>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;
class PgStatement;

// One prepared statement on the engine's connection. Values go in and come out as raw storage
// values (qint64, double, QString, QByteArray, null); the Field layer converts them. Errors throw
// DatabaseError with the store's message; a unique-key failure reads "Key violation.".
class SqlStatement
{
public:
    SqlStatement(Connection &connection, const QString &sql);
    // SQLite only: tools that work on an SQLite file of their own.
    SqlStatement(sqlite3 *db, const QString &sql);
    ~SqlStatement();
    SqlStatement(const SqlStatement &) = delete;
    SqlStatement &operator=(const SqlStatement &) = delete;

    void bind(int index, const QVariant &value); // index from 0
    [[nodiscard]] int parameterCount() const;

    // A statement read a row at a time from the server, so the first rows come before the whole
    // result is read (PostgreSQL; SQLite always reads so). Set before the first step.
    void setStreaming(bool streaming);

    // Advances to the next row; false when done. A statement without result runs in one call.
    bool step();
    void reset();
    // Rows the statement wrote when it ran.
    [[nodiscard]] qint64 changes() const;

    [[nodiscard]] int columnCount() const;
    [[nodiscard]] QString columnName(int column) const;
    [[nodiscard]] QString originTable(int column) const;
    [[nodiscard]] QString originColumn(int column) const;
    [[nodiscard]] QString declaredType(int column) const;
    // The type of the value in the current row.
    [[nodiscard]] SqlType columnType(int column) const;
    [[nodiscard]] QVariant value(int column) const;
    [[nodiscard]] bool isNull(int column) const;
    [[nodiscard]] qint64 int64(int column) const;
    [[nodiscard]] double real(int column) const;
    [[nodiscard]] QString text(int column) const;
    // UTF-8 bytes of a text column without a copy; valid until the next step.
    [[nodiscard]] const char *textData(int column, int *length) const;

    [[nodiscard]] bool isReadOnly() const;
    // The SQLite handle; null on another store.
    [[nodiscard]] sqlite3 *db() const { return m_db; }

private:
    [[noreturn]] void fail(int rc) const;

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
    std::unique_ptr<PgStatement> m_pg;
};

// Throws the engine's error for an SQLite result code, with a readable text for constraint codes.
[[noreturn]] void throwSqliteError(sqlite3 *db, int rc);
