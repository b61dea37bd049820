#pragma once

#include "platform/engine/Database.h"
#include "support/PgTestDatabase.h"

#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

// A fresh SQLite file in a temporary directory, connected as the logical database "BDC"; with
// TALUVO_TEST_BACKEND=postgresql, a fresh PostgreSQL database instead (PgTestDatabase).
// Tests create their own tables with plain SQL (exec) so that engine rules are checked without
// the system's schema.
class EngineFixture
{
public:
    EngineFixture();
    ~EngineFixture();

    [[nodiscard]] Database &db() { return *m_db; }
    [[nodiscard]] QString dir() const { return m_dir.path(); }
    // The directory or the server URI the database is on.
    [[nodiscard]] QString location() const;
    [[nodiscard]] bool onServer() const { return m_pg != nullptr; }
    void exec(const QString &sql);
    // Single value of a query, for checking what was stored.
    [[nodiscard]] QVariant scalar(const QString &sql);
    // Closes and reconnects the logical database (a storage round trip).
    void reopen();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<PgTestDatabase> m_pg;
    std::unique_ptr<Database> m_db;
};

// The message of the DatabaseError that fn throws, or an empty text when it throws none.
[[nodiscard]] QString errorOf(const std::function<void()> &fn);
