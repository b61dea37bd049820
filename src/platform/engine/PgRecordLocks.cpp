#include "platform/engine/PgRecordLocks.h"

#include "platform/engine/DatabaseError.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

#include <utility>

#include <libpq-fe.h>

namespace {
bool isPostgresUri(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive)
        || location.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

QString connectionError(PGconn *conn)
{
    return QString::fromUtf8(PQerrorMessage(conn)).trimmed();
}
} // namespace

PgRecordLocks::PgRecordLocks(const QString &location)
    : m_location(location)
{
    connect();
}

PgRecordLocks::~PgRecordLocks()
{
    if (m_conn)
        PQfinish(m_conn);
}

QString PgRecordLocks::displayLocation(const QString &location)
{
    if (isPostgresUri(location)) {
        QUrl url(location);
        url.setPassword(QString());
        QUrlQuery query(url);
        query.removeAllQueryItems(QStringLiteral("password"));
        url.setQuery(query);
        return url.toString(QUrl::PrettyDecoded);
    }
    // A "key=value" connection string.
    QString shown = location;
    shown.replace(QRegularExpression(QStringLiteral(R"(password\s*=\s*('(\\.|[^'])*'|\S*))")),
                  QStringLiteral("password=..."));
    return shown;
}

void PgRecordLocks::connect()
{
    if (m_conn) {
        PQfinish(m_conn);
        m_conn = nullptr;
    }
    const QByteArray dbname = m_location.toUtf8();
    const char *keys[] = { "dbname", "application_name", nullptr };
    const char *values[] = { dbname.constData(), "taluvo record locks", nullptr };
    m_conn = PQconnectdbParams(keys, values, /*expand_dbname*/ 1);
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const QString why = connectionError(m_conn);
        PQfinish(m_conn);
        m_conn = nullptr;
        databaseError(QStringLiteral("Cannot reach the record locks at %1: %2")
                          .arg(displayLocation(m_location), why));
    }
}

std::optional<bool> PgRecordLocks::ask(const char *sql, qint64 id)
{
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK)
        return std::nullopt;
    const QByteArray param = QByteArray::number(id);
    const char *params[] = { param.constData() };
    PGresult *res = PQexecParams(m_conn, sql, 1, nullptr, params, nullptr, nullptr, 0);
    std::optional<bool> answer;
    if (PQresultStatus(res) == PGRES_TUPLES_OK && PQntuples(res) == 1)
        answer = qstrcmp(PQgetvalue(res, 0, 0), "t") == 0;
    const QString error = answer ? QString() : connectionError(m_conn);
    PQclear(res);
    if (!answer && PQstatus(m_conn) == CONNECTION_OK)
        databaseError(
            QStringLiteral("Record locks at %1: %2").arg(displayLocation(m_location), error));
    return answer;
}

bool PgRecordLocks::tryLock(const QString &table, const QVariantList &key)
{
    const qint64 id = lockId(table, key);
    static const char *const kTry = "SELECT pg_try_advisory_lock($1::bigint)";
    // Session locks stack on the server (one taken twice needs two releases): a lock held is
    // not taken again, only the connection that holds it is checked.
    const bool held = m_held.contains(id);
    std::optional<bool> got = ask(held ? "SELECT $1::bigint IS NOT NULL" : kTry, id);
    if (!got) {
        // The server dropped the connection and with it every lock this workstation held: take
        // back those nobody took meanwhile.
        const QSet<qint64> lost = std::exchange(m_held, {});
        connect();
        for (qint64 h : lost) {
            if (h != id && ask(kTry, h).value_or(false))
                m_held.insert(h);
        }
        got = ask(kTry, id);
        if (!got)
            databaseError(QStringLiteral("Cannot reach the record locks at %1: %2")
                              .arg(displayLocation(m_location), connectionError(m_conn)));
    }
    if (*got)
        m_held.insert(id);
    return *got;
}

void PgRecordLocks::unlock(const QString &table, const QVariantList &key)
{
    const qint64 id = lockId(table, key);
    if (!m_held.remove(id))
        return;
    try {
        (void)ask("SELECT pg_advisory_unlock($1::bigint)", id);
    } catch (const DatabaseError &) {
        // Whatever the server says, the lock is not ours any more; a lost connection freed it.
    }
}

void PgRecordLocks::unlockAll()
{
    m_held.clear();
    if (m_conn && PQstatus(m_conn) == CONNECTION_OK)
        PQclear(PQexec(m_conn, "SELECT pg_advisory_unlock_all()"));
}

qint64 PgRecordLocks::lockId(const QString &table, const QVariantList &key)
{
    const QByteArray digest
        = QCryptographicHash::hash(keyText(table, key), QCryptographicHash::Sha1);
    quint64 id = 0;
    for (int i = 0; i < 8; ++i)
        id = (id << 8) | quint8(digest[i]);
    return qint64(id);
}

int PgRecordLocks::backendPid() const
{
    return m_conn && PQstatus(m_conn) == CONNECTION_OK ? PQbackendPID(m_conn) : 0;
}

std::unique_ptr<RecordLocks> recordLocksFor(const QString &location)
{
    if (!isPostgresUri(location))
        return nullptr;
    return std::make_unique<PgRecordLocks>(location);
}
