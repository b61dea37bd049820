#pragma once

#include <QString>

// The PostgreSQL server the tests run against: the one tools/run-tests.sh starts and names in
// TALUVO_TEST_PG (a libpq URI of a database where the role may create databases). A program
// registered under the ctest label "postgresql" runs with TALUVO_TEST_BACKEND=postgresql and
// exits with 77 (ctest's "Skipped") before main when that server is not there, so the suite
// passes on a machine without one. Each test makes its own database and drops it at the end.
namespace PgTestServer {

// This run is the postgresql one (TALUVO_TEST_BACKEND=postgresql).
[[nodiscard]] bool requested();
// TALUVO_TEST_PG, empty when unset.
[[nodiscard]] QString serverUri();
// The server at serverUri() accepts connections (asked once per process).
[[nodiscard]] bool reachable();
// In a postgresql run without a reachable server: one line on standard error and exit(77).
// Runs by itself before main in the programs registered under the label; fixtures may call it.
void exitUnlessAvailable();

// A fresh empty database "taluvo_test_<pid>_<n>" on the server; its URI (serverUri() with the
// database name replaced). Throws std::runtime_error with the server's message on failure.
[[nodiscard]] QString createDatabase();
// Drops a database made by createDatabase(), ending its connections first. Does nothing for a
// name without the prefix "taluvo_test_"; throws std::runtime_error when the server refuses.
void dropDatabase(const QString &uri);

} // namespace PgTestServer
