#pragma once

#include "platform/engine/FieldType.h"

#include <QList>
#include <QString>
#include <QStringList>

struct sqlite3;
class Connection;
class Database;

// One column as the system declares it. size is the maximum length of a String column and 0 for
// every other type; required columns must hold a value when a row is posted (the engine checks it).
struct ColumnDef
{
    QString name;
    FieldType type = FieldType::Unknown;
    int size = 0;
    bool required = false;
};

// A column kept by the database itself, through plain-SQL triggers, as another column's text in
// the form names are compared in (TextFold::searchKey), so an index can give that order and a
// case- and accent-blind prefix can seek it. Not a column of the program's records.
struct FoldedColumnDef
{
    QString name;
    QString source;
};

struct IndexDef
{
    QString name;
    QStringList columns;
    bool unique = false;
};

// One of the seven tables: its SQL name, the file name the components use, its columns in
// declaration order, its key (empty for a table without one) and its named indexes.
struct TableDef
{
    QString name;
    QString fileName;
    QList<ColumnDef> columns;
    QStringList primaryKey;
    QList<IndexDef> indexes;
    QList<FoldedColumnDef> folded;

    // Column by name, without regard to case; nullptr when the table has no such column.
    [[nodiscard]] const ColumnDef *column(const QString &columnName) const;
    [[nodiscard]] const IndexDef *index(const QString &indexName) const;
};

// The database schema: the one place that knows the tables, their columns, keys and indexes, and
// how each logical type is stored in SQLite (TEXT, INTEGER or REAL; the logical type is read from
// here, never from the declared SQL type). Static and immutable.
class Schema
{
public:
    [[nodiscard]] static const QList<TableDef> &tables();
    // By SQL name ("eco") or file name ("eco.DB", "Eco"), without regard to case; nullptr if none.
    [[nodiscard]] static const TableDef *table(const QString &sqlOrFileName);

    // Creates the seven tables and their indexes in one transaction. Throws DatabaseError, leaving
    // the database as it was, when any of them already exists or SQLite fails.
    static void create(sqlite3 *db);
    // Brings a database written by an older version of the program up to this one, silently:
    // a step that fails is tried again at the next start. The version is SQLite's user_version.
    static void upgrade(sqlite3 *db);
    // The same for the database's store: SQLite as above; PostgreSQL keeps its version in the
    // one-row table VersionTable.
    static void upgrade(Database &db);
    static constexpr int Version = 3;
    static constexpr const char *VersionTable = "taluvo_schema";

    // On a PostgreSQL server: the seven tables in one transaction, their names unquoted (so kept
    // in lower case), text columns in the "C" collation so they sort by code point as SQLite
    // does, indexes ordering nulls first, each table with a row identity column "rowid", and the
    // folded names kept by a plpgsql trigger of built-in functions only. Refused when any of the
    // tables already exists. Runs inside the caller's transaction (on SQLite: as create above).
    static void create(Connection &db);
    [[nodiscard]] static QStringList postgreSqlStatements();
    // Every table and column name in its spelling, for stores that give names back in lower case.
    [[nodiscard]] static QStringList names();

    // The triggers that keep a folded column, and the fill of it for every row at once (after a
    // bulk load made with the triggers absent, or when the column is added). The fill folds with
    // TextFold, which the triggers equal letter for letter, in a fraction of their time.
    [[nodiscard]] static QStringList foldedTriggersSql(const TableDef &table,
                                                       const FoldedColumnDef &folded);
    [[nodiscard]] static QStringList dropFoldedTriggersSql(const TableDef &table,
                                                           const FoldedColumnDef &folded);
    static void fillFolded(sqlite3 *db, const TableDef &table, const FoldedColumnDef &folded);
    // Around a bulk load inside one transaction: the folding triggers are dropped before, and
    // after it the folded columns are filled and the triggers made again.
    static void beginBulkLoad(sqlite3 *db);
    static void endBulkLoad(sqlite3 *db);
    // SQL expressions, each a step of the fold applied to the text its %1 stands for; the first
    // step lowers ASCII, the rest replace the other letters a few dozen at a time (SQLite's
    // parser takes only so many nested calls).
    [[nodiscard]] static QStringList foldSteps();

    [[nodiscard]] static QString sqlType(FieldType type);
    [[nodiscard]] static QString createTableSql(const TableDef &table);
    [[nodiscard]] static QString createIndexSql(const TableDef &table, const IndexDef &index);
};
