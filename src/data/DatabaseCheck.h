#pragma once

#include <QList>
#include <QString>
#include <QStringList>

struct sqlite3;
class Connection;

// What "taluvo db check" looks for in a database, read-only: damage first (SQLite's integrity
// check; dates, timestamps and keys not in the storage format), then rows the record rules would
// not have produced (a score row without its exam, an exam of an unknown patient, an exam with
// no score row or with several). Each finding has its count and the first keys, never a name.
class DatabaseCheck
{
public:
    struct Finding
    {
        QString what; // Portuguese, as printed
        qint64 count = 0;
        QStringList firstKeys;
        bool damage = false; // else a broken record rule
        QString note; // what the windows do about it, when they cope
        QString table; // the table whose rows are counted
    };

    // Runs every check on DIR/taluvo.sqlite; throws DatabaseError (or StorageFault) when the file
    // cannot be read at all.
    [[nodiscard]] static QList<Finding> run(const QString &dir);
    // The same on any database file, opened read-only (a backup before it is restored).
    [[nodiscard]] static QList<Finding> runFile(const QString &path);
    // The checks that mean something on a server's database: dates and timestamps not in the
    // storage format, then the record rules.
    [[nodiscard]] static QList<Finding> runServer(Connection &db);
    static constexpr int FirstKeys = 5;

    // Only the record rules, on an open database (inside a transaction if need be), keeping at
    // most keyLimit keys per finding (all of them when negative).
    [[nodiscard]] static QList<Finding> recordRules(sqlite3 *db, int keyLimit = FirstKeys);
    // The same on any store's connection (a copy restored on a server).
    [[nodiscard]] static QList<Finding> recordRules(Connection &db, int keyLimit = FirstKeys);

private:
    [[nodiscard]] static QList<Finding> runGuarded(const QString &path, bool readOnly);
    [[nodiscard]] static QList<Finding> runChecks(const QString &path, bool readOnly);
};
