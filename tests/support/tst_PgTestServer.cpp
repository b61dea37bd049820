#include "support/PgTestServer.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <libpq-fe.h>

#include <memory>

using namespace Qt::StringLiterals;

// The test server helper: a database made, used and dropped while still connected, and the
// postgresql run of a program skipped when the server is not there.
class tst_PgTestServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void createConnectDrop();
    void skipsWithoutServer_data();
    void skipsWithoutServer();
};

namespace {

struct ConnClose
{
    void operator()(PGconn *conn) const { PQfinish(conn); }
};
using Conn = std::unique_ptr<PGconn, ConnClose>;

QString scalar(PGconn *conn, const QString &sql)
{
    PGresult *result = PQexec(conn, sql.toUtf8().constData());
    const QString value = PQresultStatus(result) == PGRES_TUPLES_OK
            ? QString::fromUtf8(PQgetvalue(result, 0, 0))
            : QString();
    PQclear(result);
    return value;
}

} // namespace

void tst_PgTestServer::createConnectDrop()
{
    if (!PgTestServer::requested())
        QSKIP("runs under the postgresql label");

    const QString uri = PgTestServer::createDatabase();
    const QString other = PgTestServer::createDatabase();
    QVERIFY(uri != other);

    Conn conn(PQconnectdb(uri.toUtf8().constData()));
    QCOMPARE(PQstatus(conn.get()), CONNECTION_OK);
    const QString prefix = u"taluvo_test_%1_"_s.arg(QCoreApplication::applicationPid());
    const QString name = scalar(conn.get(), u"select current_database()"_s);
    QVERIFY2(name.startsWith(prefix), qPrintable(name));
    QCOMPARE(scalar(conn.get(), u"select count(*) from pg_tables where schemaname = 'public'"_s),
             u"0"_s);

    // Dropped while this connection is still open.
    PgTestServer::dropDatabase(uri);
    PgTestServer::dropDatabase(other);
    Conn server(PQconnectdb(PgTestServer::serverUri().toUtf8().constData()));
    QCOMPARE(scalar(server.get(),
                    u"select count(*) from pg_database where datname like '%1%'"_s.arg(prefix)),
             u"0"_s);
}

void tst_PgTestServer::skipsWithoutServer_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("exitCode");

    const QString absent = u"postgresql:///postgres?host=/nonexistent/taluvo&port=1"_s;
    QTest::newRow("postgresql, no server named") << u"postgresql"_s << QString() << 77;
    QTest::newRow("postgresql, server absent") << u"postgresql"_s << absent << 77;
    QTest::newRow("sqlite run goes on") << QString() << absent << 0;
}

void tst_PgTestServer::skipsWithoutServer()
{
    QFETCH(QString, backend);
    QFETCH(QString, server);
    QFETCH(int, exitCode);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"TALUVO_TEST_BACKEND"_s, backend);
    if (server.isEmpty())
        env.remove(u"TALUVO_TEST_PG"_s);
    else
        env.insert(u"TALUVO_TEST_PG"_s, server);
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {u"createConnectDrop"_s});
    QVERIFY(child.waitForFinished(-1));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), exitCode);
}

QTEST_GUILESS_MAIN(tst_PgTestServer)
#include "tst_PgTestServer.moc"
