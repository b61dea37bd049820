#pragma once

#include <QList>
#include <QString>

#include <functional>

struct sqlite3;

// Brings a practice's old Paradox tables (Bddid.DB, eco.DB, ...) into the seven tables of an empty
// database: every record and every column, keys unchanged, blanks as null, autoincrement counters
// continued after the highest number the practice used. A column the program does not know is
// added to its table so that nothing is dropped.
//
// A record that cannot be stored (a duplicate key, a blank key, an unreadable memo, a value out of
// its column's range) is refused and listed in the report with its table, record number, key and
// reason; a record that can be stored but breaks a record rule (an exam of a missing patient, an
// exam without its score row) is imported and listed as a finding. Everything is written in one
// transaction: on any failure the database is left as it was and DatabaseError is thrown. A
// dry run writes into a throw-away database instead, so it finds exactly what the import would.
class ParadoxImport
{
public:
    struct TableResult
    {
        QString file; // as found in the folder, or the expected name when missing
        QString table; // SQL name
        bool found = false;
        bool encrypted = false;
        qint64 read = 0;
        qint64 written = 0;
        qint64 refused = 0;
        qint64 deleted = 0; // deleted records met in the file and skipped
        QStringList notes; // columns added or missing, a damaged end of file
    };
    struct Result
    {
        QList<TableResult> tables;
        qint64 refused = 0;
        qint64 findings = 0;
    };
    // file, records done, records the header announces (0 at the start of a table).
    using Progress = std::function<void(const QString &file, qint64 done, qint64 total)>;

    // Imports sourceDir's tables into db, whose seven tables must exist and be empty, and writes
    // the report to reportPath (mode 0600). Throws DatabaseError when the import cannot be done
    // at all (a table file that is no table, SQLite failing); the report then says why.
    static Result run(sqlite3 *db, const QString &sourceDir, const QString &reportPath,
                      bool dryRun, const Progress &progress = {});

    static constexpr const char *ReportFileName = "import-report.txt";
};
