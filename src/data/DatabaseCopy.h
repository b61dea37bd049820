#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

struct sqlite3;
class Connection;

// Copies the seven tables of a practice, every column and row, from one database into another
// that holds none of them, in one transaction on the target. Columns of the source the program
// does not declare (the patient table is shared with other software) come along under their own
// names. Values are carried as stored: a text stays that text, a date its storage text, a null
// null, bytes bytes. The target's new rows are numbered after the source's counters.
//
// Before committing, the target is read back and compared with the source table by table: the row
// count and a SHA-256 over the rows in key order (insertion order for the key-less imagem), each
// value with its type and its stored form, computed the same way on both sides. Any difference
// rolls the copy back, so the target is either an exact copy or as it was.
//
// The source is read in one snapshot and never written; rows stream through, one at a time into
// SQLite, a few hundred to an insert into a server. On a server, a value's kind is its column's
// type; texts are ordered by their bytes on both sides.
class DatabaseCopy
{
public:
    struct TableResult
    {
        QString table;
        QStringList extraColumns; // the source's columns beyond the program's, in its order
        qint64 sourceRows = 0;
        qint64 targetRows = 0;
        QByteArray sourceSum; // raw SHA-256
        QByteArray targetSum;
        [[nodiscard]] bool equal() const
        {
            return sourceRows == targetRows && sourceSum == targetSum;
        }
    };
    struct Result
    {
        QList<TableResult> tables;
        bool committed = false; // false: a table differed and nothing was kept
        [[nodiscard]] qint64 rows() const;
    };

    // Rows done of total in table; called at its start, every few thousand rows and at its end.
    using Progress = std::function<void(const QString &table, qint64 done, qint64 total)>;
    // Runs on the target inside the transaction once every row is in, before it is read back.
    using BeforeComparison = std::function<void(sqlite3 *target)>;

    // Throws DatabaseError, the target as it was, when the source lacks a table or is of another
    // schema version, when the target holds any of the seven tables, or when a write fails.
    // Either side may be an SQLite database or a PostgreSQL server's; beforeComparison runs only
    // on an SQLite target.
    static Result run(Connection &source, Connection &target, const Progress &progress = {},
                      const BeforeComparison &beforeComparison = {});
    static Result run(sqlite3 *source, sqlite3 *target, const Progress &progress = {},
                      const BeforeComparison &beforeComparison = {});
};
