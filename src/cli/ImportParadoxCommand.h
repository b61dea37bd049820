#pragma once

#include <QStringList>

class QTextStream;

// "taluvo db import-paradox SRC TARGET [--dry-run]" brings the practice's old Paradox tables from
// the folder SRC into a new (or empty) database in TARGET, and writes TARGET/import-report.txt
// with every record refused or imported outside the record rules; progress per table on err,
// the per-table counts on out. Exit 0 when no record was refused, 1 otherwise or when nothing
// could be imported (then nothing is written but the report). --dry-run does all the reading and
// checking and writes only the report.
// "taluvo db import-paradox --dump FILE.DB" prints any Paradox table as CSV on out.
class ImportParadoxCommand
{
public:
    ImportParadoxCommand(QTextStream &out, QTextStream &err);

    // args: what follows "import-paradox".
    [[nodiscard]] int run(const QStringList &args);
    [[nodiscard]] static QString usage();

private:
    int dump(const QString &file);
    int import(const QString &source, const QString &target, bool dryRun);

    QTextStream &m_out;
    QTextStream &m_err;
};
