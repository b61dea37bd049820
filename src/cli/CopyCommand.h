#pragma once

#include "data/DatabaseCopy.h"

#include <QStringList>

class QTextStream;

// "taluvo db copy FROM TO" copies a practice's seven tables, every column and row, from the
// database in FROM into TO: a new or empty folder (a database is made there, owner-only), or a
// database that holds none of the seven tables. Progress per table on err; at the end each
// table's rows and checksum in the source and in the target on out. Exit 0 when they all agree;
// 1 on any difference or failure, and then nothing was written to TO (a database the command made
// is removed again). Bad arguments print the usage (exit 2).
class CopyCommand
{
public:
    CopyCommand(QTextStream &out, QTextStream &err);

    // args: what follows "copy".
    [[nodiscard]] int run(const QStringList &args);
    [[nodiscard]] static QString usage();

    // Runs on the target after the rows are in, before they are read back (tests change it).
    void setBeforeComparison(DatabaseCopy::BeforeComparison hook)
    {
        m_beforeComparison = std::move(hook);
    }

private:
    int copy(const QString &source, const QString &target);
    void printComparison(const DatabaseCopy::Result &result);

    QTextStream &m_out;
    QTextStream &m_err;
    DatabaseCopy::BeforeComparison m_beforeComparison;
};
