#pragma once

#include <QString>

class Connection;

// A fresh PostgreSQL database for one test, made on the server that TALUVO_TEST_PG names (a URI of
// a maintenance database where the role may create databases) and dropped when it goes. When the
// tests are asked to run against PostgreSQL (TALUVO_TEST_BACKEND=postgresql) and there is no
// server to run them on, the program ends with the code the test runner reads as skipped (77):
// before main in the programs registered under the ctest label "postgresql", or when a test makes
// a PgTestDatabase.
class PgTestDatabase
{
public:
    PgTestDatabase();
    ~PgTestDatabase();
    PgTestDatabase(const PgTestDatabase &) = delete;
    PgTestDatabase &operator=(const PgTestDatabase &) = delete;

    // TALUVO_TEST_BACKEND=postgresql.
    [[nodiscard]] static bool wanted();
    [[nodiscard]] static QString serverUri();

    [[nodiscard]] const QString &name() const { return m_name; }
    [[nodiscard]] const QString &uri() const { return m_uri; }

    // Test SQL written for SQLite, made to run on the server: each CREATE TABLE gains the row
    // identity column the engine reads rows by, and SQLite's types become the server's.
    [[nodiscard]] static QString portable(const QString &sql);
    // Key sequences moved past keys that rows were inserted with.
    static void syncSequences(Connection &db);

private:
    QString m_name;
    QString m_uri;
};
