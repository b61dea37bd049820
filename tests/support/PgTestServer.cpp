#include "support/PgTestServer.h"

#include <QUrl>

#include <libpq-fe.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include <unistd.h>

namespace {

const QString DatabasePrefix = QStringLiteral("taluvo_test_");

struct ConnClose
{
    void operator()(PGconn *conn) const { PQfinish(conn); }
};
using Conn = std::unique_ptr<PGconn, ConnClose>;

struct ResultClear
{
    void operator()(PGresult *result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultClear>;

struct OptionsFree
{
    void operator()(PQconninfoOption *options) const { PQconninfoFree(options); }
};

[[noreturn]] void fail(const QString &what, PGconn *conn)
{
    QString message = what;
    if (conn)
        message += QStringLiteral(": ") + QString::fromUtf8(PQerrorMessage(conn)).trimmed();
    throw std::runtime_error(message.toStdString());
}

Conn connectTo(const QString &uri)
{
    Conn conn(PQconnectdb(uri.toUtf8().constData()));
    if (PQstatus(conn.get()) != CONNECTION_OK)
        fail(QStringLiteral("cannot connect to the test server"), conn.get());
    // "does not exist, skipping" and the like would only clutter the test output.
    PQsetNoticeProcessor(conn.get(), [](void *, const char *) {}, nullptr);
    return conn;
}

void run(PGconn *conn, const QString &sql, const QString &param = QString())
{
    const QByteArray utf8 = param.toUtf8();
    const char *values[] = {utf8.constData()};
    Result result(PQexecParams(conn, sql.toUtf8().constData(), param.isNull() ? 0 : 1, nullptr,
                               values, nullptr, nullptr, 0));
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        fail(sql, conn);
}

QString quotedName(PGconn *conn, const QString &name)
{
    const QByteArray utf8 = name.toUtf8();
    char *quoted = PQescapeIdentifier(conn, utf8.constData(), size_t(utf8.size()));
    if (!quoted)
        fail(QStringLiteral("cannot quote ") + name, conn);
    const QString result = QString::fromUtf8(quoted);
    PQfreemem(quoted);
    return result;
}

// Every setting of uri but the database, in URI form with `database` in its place; accepts
// both URIs and "key=value" strings.
QString withDatabase(const QString &uri, const QString &database, QString *oldDatabase = nullptr)
{
    char *error = nullptr;
    std::unique_ptr<PQconninfoOption, OptionsFree> options(
            PQconninfoParse(uri.toUtf8().constData(), &error));
    if (!options) {
        const QString message = error ? QString::fromUtf8(error).trimmed() : QString();
        PQfreemem(error);
        throw std::runtime_error(("not a connection string: " + message).toStdString());
    }
    QByteArray query;
    for (const PQconninfoOption *o = options.get(); o->keyword; ++o) {
        if (!o->val || !*o->val)
            continue;
        if (qstrcmp(o->keyword, "dbname") == 0) {
            if (oldDatabase)
                *oldDatabase = QString::fromUtf8(o->val);
            continue;
        }
        query += (query.isEmpty() ? "?" : "&") + QByteArray(o->keyword) + '='
                + QUrl::toPercentEncoding(QString::fromUtf8(o->val));
    }
    return QStringLiteral("postgresql:///") + QString::fromUtf8(QUrl::toPercentEncoding(database))
            + QString::fromUtf8(query);
}

} // namespace

namespace PgTestServer {

bool requested()
{
    return qgetenv("TALUVO_TEST_BACKEND") == "postgresql";
}

QString serverUri()
{
    return qEnvironmentVariable("TALUVO_TEST_PG");
}

bool reachable()
{
    static const bool answers = !serverUri().isEmpty()
            && PQping(serverUri().toUtf8().constData()) == PQPING_OK;
    return answers;
}

void exitUnlessAvailable()
{
    if (!requested() || reachable())
        return;
    std::fputs(serverUri().isEmpty() ? "TALUVO_TEST_PG is not set: skipped\n"
                                     : "no PostgreSQL server at TALUVO_TEST_PG: skipped\n",
               stderr);
    std::exit(77);
}

QString createDatabase()
{
    static std::atomic<int> counter{0};
    const QString name = DatabasePrefix + QString::number(::getpid()) + u'_'
            + QString::number(++counter);
    const Conn conn = connectTo(serverUri());
    // A database left by an earlier process that had this pid goes first.
    run(conn.get(), QStringLiteral("drop database if exists ") + quotedName(conn.get(), name));
    run(conn.get(),
        QStringLiteral("create database %1 template template0 encoding 'UTF8'")
                .arg(quotedName(conn.get(), name)));
    return withDatabase(serverUri(), name);
}

void dropDatabase(const QString &uri)
{
    QString name;
    withDatabase(uri, QString(), &name);
    if (!name.startsWith(DatabasePrefix))
        return;
    const Conn conn = connectTo(serverUri());
    run(conn.get(),
        QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity"
                       " where datname = $1 and pid <> pg_backend_pid()"),
        name);
    // The server waits a few seconds for the ended connections to go before dropping.
    run(conn.get(), QStringLiteral("drop database if exists ") + quotedName(conn.get(), name));
}

} // namespace PgTestServer

// Pulled into each program registered under the label (see tests/CMakeLists.txt), so that a
// postgresql run skips without a server even when the program never asks for one.
extern "C" const int taluvo_pg_skip_gate = (PgTestServer::exitUnlessAvailable(), 0);
