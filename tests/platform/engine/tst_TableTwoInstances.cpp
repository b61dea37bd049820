#include "platform/engine/DataSource.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"
#include "support/EngineFixture.h"
#include "support/TestSupport.h"

#include <QtTest>

// Two instances of the program on one file: each its own connection and copy of the rows.
namespace {
const char *const kSchema = R"(
CREATE TABLE bddid (NF INTEGER PRIMARY KEY AUTOINCREMENT, NOME TEXT);
CREATE TABLE eco (CodigoPaciente REAL NOT NULL, CodigoExame TEXT NOT NULL, Peso INTEGER,
                  Medico TEXT, PRIMARY KEY (CodigoPaciente, CodigoExame));
CREATE TABLE imagem (CodpacienteI REAL, DodExamei TEXT, C1 INTEGER, C2 INTEGER);
CREATE INDEX imagem_exame ON imagem (CodpacienteI, DodExamei);
INSERT INTO bddid VALUES (7, 'ANA'), (8, 'RUI');
INSERT INTO eco VALUES (8, '2024-06-14 08:00', 60, 'DR R'), (7, '2024-06-15 09:00', 22, '');
INSERT INTO imagem VALUES (8, '2024-06-14 08:00', 1, 1), (7, '2024-06-15 09:00', 1, 1);
)";
const QString kChanged
    = QStringLiteral("Couldn't perform the edit because another user changed the record.");
const QString kDeleted = QStringLiteral("Record/Key deleted.");

// Patients, their exams and each exam's score row, linked as the program links them.
struct Instance
{
    Database db;
    DataSource pacSource, ecoSource;
    Table pac, eco, img;

    Instance(const QString &name, const QString &dir, int patient)
        : db(name)
    {
        db.openLocation(dir);
        const char *files[] = { "bddid.DB", "eco.DB", "imagem.db" };
        Table *tables[] = { &pac, &eco, &img };
        for (int i = 0; i < 3; ++i) {
            tables[i]->setDatabaseName(name);
            tables[i]->setTableName(QString::fromLatin1(files[i]));
        }
        pacSource.setDataset(&pac);
        ecoSource.setDataset(&eco);
        eco.setIndexFieldNames(QStringLiteral("CodigoPaciente;CodigoExame"));
        eco.setMasterSource(&pacSource);
        eco.setMasterFields(QStringLiteral("NF"));
        img.setIndexFieldNames(QStringLiteral("CodpacienteI;DodExamei"));
        img.setMasterSource(&ecoSource);
        img.setMasterFields(QStringLiteral("CodigoPaciente;CodigoExame"));
        for (Table *t : tables)
            t->open();
        pac.locate(QStringLiteral("NF"), patient);
    }
    // Edits the exam (and its scores when c1 is given) and posts; the error's text, if any.
    QString post(int peso, int c1 = 0)
    {
        return errorOf([&] {
            eco.edit();
            eco.fieldByName(QStringLiteral("Peso"))->setAsInteger(peso);
            if (c1) {
                img.edit();
                img.fieldByName(QStringLiteral("C1"))->setAsInteger(c1);
            }
            eco.post();
        });
    }
    int peso() const { return eco.fieldByName(QStringLiteral("Peso"))->asInteger(); }
};
} // namespace

class tst_TableTwoInstances : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_fx = std::make_unique<EngineFixture>();
        m_fx->exec(QString::fromUtf8(kSchema));
        m_a = std::make_unique<Instance>(QStringLiteral("A"), m_fx->location(), 7);
        m_b = std::make_unique<Instance>(QStringLiteral("B"), m_fx->location(), 7);
    }
    void cleanup()
    {
        m_b.reset();
        m_a.reset();
        m_fx.reset();
        m_env.reset();
    }

    void misdirectedWriteRefused()
    {
        if (m_fx->onServer())
            QSKIP("the server never gives a deleted row's identity to another row");
        // A deletes the exam B shows and adds one for another patient, which takes its rowid.
        const qint64 rowid = m_b->eco.currentRowid();
        m_a->img.deleteRecord();
        m_a->eco.deleteRecord();
        m_a->pac.locate(QStringLiteral("NF"), 8);
        m_a->eco.insert();
        m_a->eco.fieldByName(QStringLiteral("CodigoExame"))->setAsString(QStringLiteral("x"));
        m_a->eco.fieldByName(QStringLiteral("Peso"))->setAsInteger(22);
        m_a->eco.post();
        QCOMPARE(stored("SELECT CodigoPaciente FROM eco WHERE rowid = %1", rowid), 8);

        QCOMPARE(m_b->post(99, 3), kDeleted);
        QCOMPARE(stored("SELECT Peso FROM eco WHERE rowid = %1", rowid), 22);
        QCOMPARE(stored("SELECT count(*) FROM imagem WHERE CodpacienteI = 7"), 0);
        QCOMPARE(m_b->eco.state(), DatasetState::Edit);
        QCOMPARE(m_b->peso(), 99);
    }

    void lostUpdateRefusedAndTypingKept()
    {
        QCOMPARE(m_a->post(70), QString());
        QCOMPARE(m_b->post(80), kChanged);
        QCOMPARE(m_b->eco.state(), DatasetState::Edit);
        QCOMPARE(m_b->peso(), 80);
        QCOMPARE(m_b->post(80), kChanged); // posting again without looking changes nothing
        QCOMPARE(stored("SELECT Peso FROM eco WHERE CodigoPaciente = %1", 7), 70);
        // Cancelling shows A's value; from there B's edit is written, again and again.
        m_b->eco.cancel();
        QCOMPARE(m_b->peso(), 70);
        QCOMPARE(m_b->post(81), QString());
        QCOMPARE(m_b->post(82), QString());
        QCOMPARE(stored("SELECT Peso FROM eco WHERE CodigoPaciente = %1", 7), 82);
    }

    void examAndScoresAllOrNothing()
    {
        // A changes only the scores; B the exam and the scores, from the same reading.
        m_a->img.edit();
        m_a->img.fieldByName(QStringLiteral("C2"))->setAsInteger(4);
        m_a->img.post();
        QCOMPARE(m_b->post(55, 3), kChanged);
        QCOMPARE(stored("SELECT Peso * 100 + C1 * 10 + C2 FROM eco, imagem WHERE "
                        "CodigoPaciente = %1 AND CodpacienteI = 7",
                        7),
                 2214);
        QCOMPARE(m_b->img.fieldByName(QStringLiteral("C1"))->asInteger(), 3);
    }

    void deletedMeanwhile()
    {
        m_a->pac.locate(QStringLiteral("NF"), 8);
        m_b->pac.locate(QStringLiteral("NF"), 8);
        m_a->img.deleteRecord();
        m_a->eco.deleteRecord();
        QCOMPARE(m_b->post(61), kDeleted);
        QCOMPARE(m_b->peso(), 61);
        QCOMPARE(stored("SELECT count(*) FROM eco WHERE CodigoPaciente = %1", 8), 0);
    }

    void halfReadQueryDoesNotBlockAPost()
    {
        // A's grid shows the first rows of a long result; the rest still waits in the store.
        m_fx->exec(QStringLiteral("CREATE TABLE many (n INTEGER); WITH RECURSIVE c(n) AS (SELECT 1 UNION "
                                  "ALL SELECT n + 1 FROM c WHERE n < 2000) INSERT INTO many "
                                  "SELECT n FROM c"));
        Query list;
        list.setDatabaseName(QStringLiteral("A"));
        list.setSql(QStringLiteral("SELECT n FROM many"));
        list.open();
        QVERIFY(list.canFetchMore());
        QCOMPARE(m_b->post(31), QString());
        QCOMPARE(m_a->post(32), kChanged); // not "database is locked"
        QCOMPARE(list.recordCount(), 2000);
    }

private:
    int stored(const char *sql, qint64 arg)
    {
        return m_fx->scalar(QString::fromLatin1(sql).arg(arg)).toInt();
    }
    int stored(const char *sql) { return m_fx->scalar(QString::fromLatin1(sql)).toInt(); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<EngineFixture> m_fx;
    std::unique_ptr<Instance> m_a, m_b;
};

QTEST_GUILESS_MAIN(tst_TableTwoInstances)
#include "tst_TableTwoInstances.moc"
