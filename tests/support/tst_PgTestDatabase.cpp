#include "support/PgTestDatabase.h"

#include "platform/engine/PgConnection.h"
#include "platform/engine/SqlStatement.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

// The test server helper: a database made, used and dropped while still connected, and the
// postgresql run of a program skipped when the server is not there.
class tst_PgTestDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void createConnectDrop();
    void skipsWithoutServer_data();
    void skipsWithoutServer();
};

namespace {
QString scalar(Connection &db, const QString &sql)
{
    SqlStatement st(db, sql);
    return st.step() ? st.value(0).toString() : QString();
}
} // namespace

void tst_PgTestDatabase::createConnectDrop()
{
    if (!PgTestDatabase::wanted())
        QSKIP("runs under the postgresql label");
    const QString prefix = u"taluvo_test_%1_"_s.arg(QCoreApplication::applicationPid());
    {
        auto one = std::make_unique<PgTestDatabase>();
        PgTestDatabase other;
        QVERIFY(one->uri() != other.uri());
        PgConnection conn(one->uri());
        QCOMPARE(scalar(conn, u"select current_database()"_s), one->name());
        QVERIFY2(one->name().startsWith(prefix), qPrintable(one->name()));
        QCOMPARE(conn.tables(), QStringList());
        // Dropped while this connection is still open.
        one.reset();
    }
    PgConnection server(PgTestDatabase::serverUri());
    QCOMPARE(
        scalar(server, u"select count(*) from pg_database where datname like '%1%'"_s.arg(prefix)),
        u"0"_s);
}

void tst_PgTestDatabase::skipsWithoutServer_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("exitCode");

    const QString absent = u"postgresql:///postgres?host=/nonexistent/taluvo&port=1"_s;
    QTest::newRow("postgresql, no server named") << u"postgresql"_s << QString() << 77;
    QTest::newRow("postgresql, server absent") << u"postgresql"_s << absent << 77;
    QTest::newRow("sqlite run goes on") << QString() << absent << 0;
}

void tst_PgTestDatabase::skipsWithoutServer()
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
    child.start(QCoreApplication::applicationFilePath(), { u"createConnectDrop"_s });
    QVERIFY(child.waitForFinished(-1));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), exitCode);
}

QTEST_GUILESS_MAIN(tst_PgTestDatabase)
#include "tst_PgTestDatabase.moc"
