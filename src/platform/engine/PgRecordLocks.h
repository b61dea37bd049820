#pragma once

#include "platform/engine/RecordLocks.h"

#include <QSet>
#include <QString>

#include <memory>
#include <optional>

struct pg_conn;

// Record locks held as session advisory locks on a PostgreSQL server, over a connection of their
// own, so no transaction stays open while a user types and the locks of a workstation that dies
// go with its connection. A row's lock is a 64-bit number: the first 8 bytes of the SHA-1 of its
// keyText, the same on every workstation.
class PgRecordLocks : public RecordLocks
{
public:
    // Connects to location (a libpq URI or connection string); throws DatabaseError naming the
    // location without its password when that fails.
    explicit PgRecordLocks(const QString &location);
    ~PgRecordLocks() override;
    PgRecordLocks(const PgRecordLocks &) = delete;
    PgRecordLocks &operator=(const PgRecordLocks &) = delete;

    // A lost connection is made again once (taking back what it held where nobody took it
    // meanwhile); if that fails too, DatabaseError.
    [[nodiscard]] bool tryLock(const QString &table, const QVariantList &key) override;
    void unlock(const QString &table, const QVariantList &key) override;
    void unlockAll() override;

    [[nodiscard]] static qint64 lockId(const QString &table, const QVariantList &key);
    // The location as it may be shown: without any password.
    [[nodiscard]] static QString displayLocation(const QString &location);
    // The server process of the lock connection; 0 when not connected.
    [[nodiscard]] int backendPid() const;
    [[nodiscard]] int heldCount() const { return int(m_held.size()); }

private:
    void connect();
    // The query's single boolean answer; nullopt when the connection failed under it.
    [[nodiscard]] std::optional<bool> ask(const char *sql, qint64 id);

    QString m_location;
    pg_conn *m_conn = nullptr;
    QSet<qint64> m_held;
};

// Record locks for a database location: a PostgreSQL one gets PgRecordLocks, any other (a
// directory) none.
[[nodiscard]] std::unique_ptr<RecordLocks> recordLocksFor(const QString &location);
