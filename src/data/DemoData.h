#pragma once

#include <QDate>
#include <QtGlobal>

#include <functional>

struct sqlite3;
class Connection;

struct DemoOptions
{
    int patients = 500;
    int exams = 1500;
    quint64 seed = 1;
    QDate today; // exams fall in the five years before it; must be valid
};

// Fills the seven (empty) tables with an invented practice: doctors and technicians, health
// systems, phrases, standard conclusions, patients and their exams with findings, segment scores
// and rich-text observations. Every name is made up. The same options always give the same rows,
// on any platform. Everything is written in one transaction; on failure it is rolled back and
// DatabaseError is thrown. progress, if set, is called now and then with rows done out of
// patients + exams.
class DemoData
{
public:
    static void generate(sqlite3 *db, const DemoOptions &options,
                         const std::function<void(int done, int total)> &progress = {});
    // On PostgreSQL the rows are written inside the caller's transaction.
    static void generate(Connection &db, const DemoOptions &options,
                         const std::function<void(int done, int total)> &progress = {});
};
