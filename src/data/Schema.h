#pragma once

#include "platform/engine/FieldType.h"

#include <QList>
#include <QString>
#include <QStringList>

struct sqlite3;

// One column as the system declares it. size is the maximum length of a String column and 0 for
// every other type; required columns must hold a value when a row is posted (the engine checks it).
struct ColumnDef
{
    QString name;
    FieldType type = FieldType::Unknown;
    int size = 0;
    bool required = false;
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
    static constexpr int Version = 1;

    [[nodiscard]] static QString sqlType(FieldType type);
    [[nodiscard]] static QString createTableSql(const TableDef &table);
    [[nodiscard]] static QString createIndexSql(const TableDef &table, const IndexDef &index);
};
