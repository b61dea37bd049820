#include "platform/engine/SqliteStore.h"
#include "platform/engine/SqlStatement.h"
#include "support/TestSupport.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {
constexpr qint64 MiB = 1024 * 1024;
constexpr qint64 GiB = 1024 * MiB;
} // namespace

// The file's pragmas as the connection sets them, and what its close leaves behind.
class tst_SqliteStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sizing_data()
    {
        QTest::addColumn<qint64>("file");
        QTest::addColumn<qint64>("memory");
        QTest::addColumn<qint64>("mmap");
        QTest::addColumn<qint64>("cacheKiB");
        // Mapped whole with a quarter more to grow into, the page cache SQLite's usual.
        QTest::newRow("new practice") << qint64(0) << 8 * GiB << 16 * MiB << 2048LL;
        QTest::newRow("100 MB, 8 GB") << 100 * MiB << 8 * GiB << 141 * MiB << 2048LL;
        // Beyond a thirty-second of the memory, or a gigabyte: read, not mapped.
        QTest::newRow("300 MB, 8 GB") << 300 * MiB << 8 * GiB << 0LL << 8192LL;
        QTest::newRow("300 MB, 24 GB") << 300 * MiB << 24 * GiB << 391 * MiB << 2048LL;
        QTest::newRow("2.6 GB, 24 GB") << 2662 * MiB << 24 * GiB << 0LL << 10648LL;
        QTest::newRow("2.6 GB, 256 GB") << 2662 * MiB << 256 * GiB << 0LL << 10648LL;
        QTest::newRow("20 GB") << 20 * GiB << 64 * GiB << 0LL << 32768LL;
    }
    void sizing()
    {
        QFETCH(qint64, file);
        QFETCH(qint64, memory);
        QFETCH(qint64, mmap);
        QFETCH(qint64, cacheKiB);
        const SqliteStore::Sizing size = SqliteStore::sizing(file, memory);
        QCOMPARE(size.mmapBytes, mmap);
        QCOMPARE(size.cacheKiB, cacheKiB);
    }

    // The connection runs with what sizing() chose for its file on this machine.
    void openSetsTheSizes()
    {
        QTemporaryDir dir;
        const QSqlDatabase db = SqliteStore::open(dir.path(), u"sized"_s, true);
        sqlite3 *h = SqliteStore::handle(db);
        // The file holds its header; small beside any memory.
        const qint64 file = QFileInfo(SqliteStore::filePath(dir.path())).size();
        const SqliteStore::Sizing size = SqliteStore::sizing(file, 64 * GiB);
        QCOMPARE(scalar(h, u"PRAGMA cache_size"_s), -size.cacheKiB);
        QCOMPARE(scalar(h, u"PRAGMA mmap_size"_s), size.mmapBytes);
        SqliteStore::close(u"sized"_s);
    }

    // A range counted on a connection that then closes: it leaves the statistics of the table
    // it read for the planner of the next connection.
    void closeKeepsStatisticsCurrent()
    {
        QTemporaryDir dir;
        sqlite3 *h = SqliteStore::handle(SqliteStore::open(dir.path(), u"stats"_s, true));
        SqliteStore::exec(h, u"CREATE TABLE eco (DataExame TEXT, Executor INTEGER);"
                             "CREATE INDEX eco_dataexame ON eco (DataExame);"
                             "WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k "
                             "WHERE i < 5000) INSERT INTO eco SELECT date('2020-01-01', '+' || "
                             "(i % 1800) || ' days'), i % 3 FROM k"_s);
        SqlStatement(h, u"select Executor, count(*) from eco where DataExame >= '2020-01-01' "
                        "and DataExame <= '2024-12-31' group by Executor"_s)
            .step();
        SqliteStore::close(u"stats"_s, /*optimize*/ true);

        h = SqliteStore::handle(SqliteStore::open(dir.path(), u"stats"_s, false));
        QCOMPARE(scalar(h, u"select count(*) from sqlite_stat1 where idx = 'eco_dataexame'"_s), 1);
        SqliteStore::close(u"stats"_s);
    }

private:
    static qint64 scalar(sqlite3 *h, const QString &sql)
    {
        SqlStatement st(h, sql);
        return st.step() ? st.int64(0) : -1;
    }
    TestEnvironment m_env;
};

QTEST_GUILESS_MAIN(tst_SqliteStore)
#include "tst_SqliteStore.moc"
