#include "platform/engine/DatabaseError.h"
#include "platform/engine/PgRecordLocks.h"

#include <QtTest>

#include <libpq-fe.h>

// Two workstations' locks on a real server (TALUVO_TEST_PG: a maintenance database's URI);
// advisory locks need no tables.
namespace {
const char *const kNoServer = "TALUVO_TEST_PG is not set: no PostgreSQL server to lock on";
const QString kTable = QStringLiteral("eco");
const QVariantList kExam { 7.0, QStringLiteral("2024-06-15 09:00:00.000") };

// A plain connection of the test's own, for what a workstation cannot do to itself.
QByteArray ask(const QString &uri, const QByteArray &sql)
{
    PGconn *conn = PQconnectdb(uri.toUtf8().constData());
    PGresult *res = PQexec(conn, sql.constData());
    const QByteArray value = PQresultStatus(res) == PGRES_TUPLES_OK && PQntuples(res) == 1
        ? QByteArray(PQgetvalue(res, 0, 0))
        : QByteArray(PQerrorMessage(conn));
    PQclear(res);
    PQfinish(conn);
    return value;
}
} // namespace

class tst_PgRecordLocks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { m_uri = qEnvironmentVariable("TALUVO_TEST_PG"); }

    void lockIdIsStable()
    {
        // Every workstation, whatever its build, must name a row with the same number.
        QCOMPARE(PgRecordLocks::lockId(kTable, kExam),
                 PgRecordLocks::lockId(QStringLiteral("ECO"),
                                       { qint64(7), QStringLiteral("2024-06-15 09:00:00.000") }));
        QCOMPARE(PgRecordLocks::lockId(QStringLiteral("bddid"), { 7 }),
                 Q_INT64_C(1049819844736237183));
        QVERIFY(PgRecordLocks::lockId(QStringLiteral("bddid"), { 8 })
                != PgRecordLocks::lockId(QStringLiteral("bddid"), { 7 }));
    }

    void unreachableServerNamedWithoutPassword()
    {
        const QString uri = QStringLiteral(
            "postgresql://ana:segredo@/taluvo?host=/nonexistent-taluvo&port=1&password=outro");
        QString message;
        try {
            PgRecordLocks locks(uri);
        } catch (const DatabaseError &e) {
            message = e.message();
        }
        QVERIFY2(message.startsWith(
                     QStringLiteral("Cannot reach the record locks at "
                                    "postgresql://ana@/taluvo?host=/nonexistent-taluvo&port=1:")),
                 qPrintable(message));
        QVERIFY(!message.contains(QStringLiteral("segredo"))
                && !message.contains(QStringLiteral("outro")));
        QVERIFY(!recordLocksFor(QStringLiteral("/var/lib/taluvo")));
    }

    void refusedThenReleasedOnlyByItsHolder()
    {
        if (m_uri.isEmpty())
            QSKIP(kNoServer);
        PgRecordLocks a(m_uri), b(m_uri);
        b.unlock(kTable, kExam); // not held: harmless
        QVERIFY(a.tryLock(kTable, kExam));
        QVERIFY(a.tryLock(kTable, kExam)); // still one lock: one release frees it
        QVERIFY(!b.tryLock(kTable, kExam));
        b.unlock(kTable, kExam); // held by another: stays with it
        QVERIFY(!b.tryLock(kTable, kExam));
        QVERIFY(b.tryLock(kTable, { 8.0, QStringLiteral("2024-06-15 09:00:00.000") }));
        a.unlock(kTable, kExam);
        QVERIFY(b.tryLock(kTable, kExam));
        QVERIFY(!a.tryLock(kTable, kExam));
        b.unlockAll();
        QVERIFY(a.tryLock(kTable, kExam));
    }

    void releasedWhenTheHolderDrops()
    {
        if (m_uri.isEmpty())
            QSKIP(kNoServer);
        auto a = std::make_unique<PgRecordLocks>(m_uri);
        PgRecordLocks b(m_uri);
        QVERIFY(a->tryLock(kTable, kExam));
        // The server ends A's session (a workstation that died): wait for the process to go.
        QCOMPARE(ask(m_uri,
                     QByteArrayLiteral("SELECT pg_terminate_backend(")
                         + QByteArray::number(a->backendPid()) + ", 600000)"),
                 QByteArray("t"));
        QVERIFY(b.tryLock(kTable, kExam));
        // A reconnects once on its next request and finds the row taken meanwhile.
        QVERIFY(!a->tryLock(kTable, kExam));
        QVERIFY(a->backendPid() != 0);
        QCOMPARE(a->heldCount(), 0);
        // B's workstation goes away: its connection closes and the lock with it.
        b.unlockAll();
        QVERIFY(b.tryLock(kTable, kExam));
        const int pid = b.backendPid();
        QVERIFY(!a->tryLock(kTable, kExam));
        QCOMPARE(ask(m_uri,
                     QByteArrayLiteral("SELECT pg_terminate_backend(") + QByteArray::number(pid)
                         + ", 600000)"),
                 QByteArray("t"));
        QVERIFY(a->tryLock(kTable, kExam));
    }

private:
    QString m_uri;
};

QTEST_GUILESS_MAIN(tst_PgRecordLocks)
#include "tst_PgRecordLocks.moc"
