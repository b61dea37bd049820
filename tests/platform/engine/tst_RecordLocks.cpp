#include "platform/engine/DataSource.h"
#include "platform/engine/Table.h"
#include "support/EngineFixture.h"
#include "support/MemoryRecordLocks.h"
#include "support/TestSupport.h"

#include <QtTest>

// Two workstations on one database, each with its own connection and rows: on one SQLite file
// sharing a stand-in for the locks, or on a server with its own locks (the postgresql run).
namespace {
const char *const kSchema = R"(
CREATE TABLE eco (CodigoPaciente REAL NOT NULL, CodigoExame TEXT DEFAULT 'x', Peso INTEGER,
                  PRIMARY KEY (CodigoPaciente, CodigoExame));
INSERT INTO eco VALUES (7, '2024-06-15 09:00:00.000', 22), (8, '2024-06-14 08:00:00.000', 60);
)";
const QString kLocked = QStringLiteral("Record locked by another user.");
const QString kChanged
    = QStringLiteral("Couldn't perform the edit because another user changed the record.");

struct Workstation
{
    Database db;
    Table eco;
    MemoryRecordLocks *locks = nullptr; // the stand-in's; none on a server

    Workstation(const QString &name, const EngineFixture &fx,
                std::shared_ptr<MemoryRecordLocks::Holders> holders)
        : db(name)
    {
        db.openLocation(fx.location());
        if (!fx.onServer()) {
            auto owned = std::make_unique<MemoryRecordLocks>(std::move(holders));
            locks = owned.get();
            db.setRecordLocks(std::move(owned));
        }
        eco.setDatabaseName(name);
        eco.setTableName(QStringLiteral("eco.DB"));
        eco.setLockOnEdit(true);
        eco.open();
    }
    QString edit(int peso)
    {
        return errorOf([&] {
            eco.edit();
            eco.fieldByName(QStringLiteral("Peso"))->setAsInteger(peso);
        });
    }
};
} // namespace

class tst_RecordLocks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_fx = std::make_unique<EngineFixture>();
        m_fx->exec(QString::fromUtf8(kSchema));
        auto holders = std::make_shared<MemoryRecordLocks::Holders>();
        m_a = std::make_unique<Workstation>(QStringLiteral("A"), *m_fx, holders);
        m_b = std::make_unique<Workstation>(QStringLiteral("B"), *m_fx, holders);
    }
    void cleanup()
    {
        m_b.reset();
        m_a.reset();
        m_fx.reset();
        m_env.reset();
    }

    void secondEditRefusedUntilTheFirstEnds_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("post") << "post";
        QTest::newRow("cancel") << "cancel";
        QTest::newRow("delete") << "delete";
        QTest::newRow("close") << "close";
    }
    void secondEditRefusedUntilTheFirstEnds()
    {
        QFETCH(QString, ending);
        QCOMPARE(m_a->edit(70), QString());
        QVERIFY(m_a->eco.holdsRowLock());
        if (m_a->locks)
            QCOMPARE(m_a->locks->held(),
                     QList<QByteArray> { QByteArray("eco\x1f"
                                                    "7\x1f"
                                                    "2024-06-15 09:00:00.000") });
        QCOMPARE(m_b->edit(80), kLocked);
        QCOMPARE(m_b->eco.state(), DatasetState::Browse);
        QCOMPARE(m_b->eco.fieldByName(QStringLiteral("Peso"))->asInteger(), 22);
        QCOMPARE(errorOf([&] { m_b->eco.deleteRecord(); }), kLocked);
        QCOMPARE(m_fx->scalar(QStringLiteral("SELECT count(*) FROM eco")).toInt(), 2);

        if (ending == QLatin1String("post"))
            m_a->eco.post();
        else if (ending == QLatin1String("cancel"))
            m_a->eco.cancel();
        else if (ending == QLatin1String("delete"))
            m_a->eco.deleteRecord();
        else
            m_a->eco.close();
        QVERIFY(!m_a->locks || m_a->locks->held().isEmpty());
        QVERIFY(!m_a->eco.holdsRowLock());
        if (ending == QLatin1String("delete"))
            return;
        m_b->eco.refresh();
        QCOMPARE(m_b->edit(80), QString());
        m_b->eco.post();
        QCOMPARE(
            m_fx->scalar(QStringLiteral("SELECT Peso FROM eco WHERE CodigoPaciente = 7")).toInt(),
            80);
        QVERIFY(!m_b->eco.holdsRowLock());
    }

    void changedRecordStillRefusedAndLockKept()
    {
        // B read the row before A changed it; the lock comes free, the old reading does not pass.
        QCOMPARE(m_a->edit(70), QString());
        m_a->eco.post();
        QCOMPARE(m_b->edit(80), QString());
        QCOMPARE(errorOf([&] { m_b->eco.post(); }), kChanged);
        // Also when the post was part of a larger operation that failed as a whole.
        QCOMPARE(errorOf([&] {
                     Database::WriteGroup group(&m_b->db);
                     m_b->eco.post();
                     group.commit();
                 }),
                 kChanged);
        QCOMPARE(m_b->eco.state(), DatasetState::Edit);
        QCOMPARE(m_a->edit(71), kLocked);
        m_b->eco.cancel();
        QCOMPARE(m_a->edit(71), QString());
        m_a->eco.post();
        QCOMPARE(
            m_fx->scalar(QStringLiteral("SELECT Peso FROM eco WHERE CodigoPaciente = 7")).toInt(),
            71);
    }

    void insertsTakeNoLock()
    {
        m_a->eco.insert();
        m_a->eco.fieldByName(QStringLiteral("CodigoPaciente"))->setAsInteger(9);
        m_a->eco.fieldByName(QStringLiteral("CodigoExame"))->setAsString(QStringLiteral("y"));
        m_a->eco.post();
        QVERIFY(!m_a->locks || m_a->locks->held().isEmpty());
        QVERIFY(!m_a->eco.holdsRowLock());
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<EngineFixture> m_fx;
    std::unique_ptr<Workstation> m_a, m_b;
};

QTEST_GUILESS_MAIN(tst_RecordLocks)
#include "tst_RecordLocks.moc"
