#include "platform/engine/DataSource.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"
#include "support/EngineFixture.h"
#include "support/TestSupport.h"

#include <QtTest>

#include <memory>

// Two instances of the program on one database file: each has its own connection and its own
// copy of the rows, and neither may write over what the other changed without being told.
namespace {
const char *const kSchema = R"(
CREATE TABLE bddid (NF INTEGER PRIMARY KEY AUTOINCREMENT, NOME TEXT);
CREATE TABLE eco (CodigoPaciente REAL NOT NULL, CodigoExame TEXT NOT NULL, Peso INTEGER,
                  Medico TEXT, DataExame TEXT, PRIMARY KEY (CodigoPaciente, CodigoExame));
CREATE TABLE imagem (CodpacienteI REAL, DodExamei TEXT, C1 INTEGER, C2 INTEGER);
CREATE INDEX imagem_exame ON imagem (CodpacienteI, DodExamei);
INSERT INTO bddid (NF, NOME) VALUES (7, 'ANA'), (8, 'RUI');
INSERT INTO eco VALUES (8, '2024-06-14 08:00:00.000', 60, 'DR R', '2024-06-14'),
                       (7, '2024-06-15 09:00:00.000', 22, 'DR A', '2024-06-15');
INSERT INTO imagem VALUES (8, '2024-06-14 08:00:00.000', 1, 1),
                          (7, '2024-06-15 09:00:00.000', 1, 1);
)";

const QString kChanged
    = QStringLiteral("Couldn't perform the edit because another user changed the record.");
const QString kDeleted = QStringLiteral("Record/Key deleted.");

// One instance: its own connection and the patient, exam and score tables linked as the program
// links them.
struct Instance
{
    Database db;
    DataSource pacSource;
    DataSource ecoSource;
    Table pac;
    Table eco;
    Table img;

    Instance(const QString &name, const QString &dir)
        : db(name)
    {
        db.openDirectory(dir);
        for (Table *t : { &pac, &eco, &img })
            t->setDatabaseName(name);
        pac.setTableName(QStringLiteral("Bddid.DB"));
        pac.addField(QStringLiteral("NF"), FieldType::AutoInc);
        pac.addField(QStringLiteral("NOME"), FieldType::String, 50);
        pacSource.setDataset(&pac);
        eco.setTableName(QStringLiteral("eco.DB"));
        eco.setIndexFieldNames(QStringLiteral("CodigoPaciente;CodigoExame"));
        eco.setMasterSource(&pacSource);
        eco.setMasterFields(QStringLiteral("NF"));
        eco.addField(QStringLiteral("CodigoPaciente"), FieldType::Float);
        eco.addField(QStringLiteral("CodigoExame"), FieldType::DateTime);
        eco.addField(QStringLiteral("Peso"), FieldType::SmallInt);
        eco.addField(QStringLiteral("Medico"), FieldType::String, 60);
        eco.addField(QStringLiteral("DataExame"), FieldType::Date);
        ecoSource.setDataset(&eco);
        img.setTableName(QStringLiteral("imagem.db"));
        img.setIndexFieldNames(QStringLiteral("CodpacienteI;DodExamei"));
        img.setMasterSource(&ecoSource);
        img.setMasterFields(QStringLiteral("CodigoPaciente;CodigoExame"));
        img.addField(QStringLiteral("CodpacienteI"), FieldType::Float);
        img.addField(QStringLiteral("DodExamei"), FieldType::DateTime);
        img.addField(QStringLiteral("C1"), FieldType::SmallInt);
        img.addField(QStringLiteral("C2"), FieldType::SmallInt);
        pac.open();
        eco.open();
        img.open();
    }

    void showPatient(int nf) { QVERIFY(pac.locate(QStringLiteral("NF"), nf)); }
    Field *f(Table &t, const char *name) { return t.fieldByName(QString::fromLatin1(name)); }
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
        m_a = std::make_unique<Instance>(QStringLiteral("A"), m_fx->dir());
        m_b = std::make_unique<Instance>(QStringLiteral("B"), m_fx->dir());
        m_a->showPatient(7);
        m_b->showPatient(7);
    }
    void cleanup()
    {
        m_b.reset();
        m_a.reset();
        m_fx.reset();
        m_env.reset();
    }

    void keysOfEachKindOfTable();
    void misdirectedWriteRefused();
    void lostUpdateRefusedAndTypingKept();
    void examAndScoresAllOrNothing();
    void deletedOrChangedMeanwhile();
    void ownWritesAndForeignFormatsNeverConflict();
    void halfReadQueryDoesNotBlockAPost();

private:
    QVariant stored(const QString &sql) { return m_fx->scalar(sql); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<EngineFixture> m_fx;
    std::unique_ptr<Instance> m_a;
    std::unique_ptr<Instance> m_b;
};

void tst_TableTwoInstances::keysOfEachKindOfTable()
{
    QCOMPARE(m_a->pac.keyColumns(), QStringList { QStringLiteral("NF") });
    QVERIFY(!m_a->pac.keyIncludesRowid());
    QCOMPARE(m_a->eco.keyColumns(),
             (QStringList { QStringLiteral("CodigoPaciente"), QStringLiteral("CodigoExame") }));
    QVERIFY(!m_a->eco.keyIncludesRowid());
    // No primary key: its index columns and the rowid.
    QCOMPARE(m_a->img.keyColumns(),
             (QStringList { QStringLiteral("CodpacienteI"), QStringLiteral("DodExamei") }));
    QVERIFY(m_a->img.keyIncludesRowid());
}

void tst_TableTwoInstances::misdirectedWriteRefused()
{
    Instance &a = *m_a;
    Instance &b = *m_b;
    const qint64 rowid = b.eco.currentRowid();
    // A deletes the exam B shows and adds one for another patient, which gets the same rowid.
    a.img.deleteRecord();
    a.eco.deleteRecord();
    a.showPatient(8);
    a.eco.insert();
    a.f(a.eco, "CodigoExame")->setAsDateTime(QDateTime(QDate(2024, 6, 15), QTime(11, 0)));
    a.f(a.eco, "Peso")->setAsInteger(22);
    a.eco.post();
    QCOMPARE(stored(QStringLiteral("SELECT CodigoPaciente FROM eco WHERE rowid = %1").arg(rowid))
                 .toInt(),
             8);

    b.eco.edit();
    b.img.edit();
    b.f(b.eco, "Peso")->setAsInteger(99);
    b.f(b.img, "C1")->setAsInteger(3);
    QCOMPARE(errorOf([&] { b.eco.post(); }), kDeleted);
    QCOMPARE(stored(QStringLiteral("SELECT Peso FROM eco WHERE rowid = %1").arg(rowid)).toInt(), 22);
    QCOMPARE(stored(QStringLiteral("SELECT count(*) FROM imagem WHERE CodpacienteI = 7")).toInt(), 0);
    QCOMPARE(b.eco.state(), DatasetState::Edit);
    QCOMPARE(b.f(b.eco, "Peso")->asInteger(), 99);
}

void tst_TableTwoInstances::lostUpdateRefusedAndTypingKept()
{
    Instance &a = *m_a;
    Instance &b = *m_b;
    a.eco.edit();
    b.eco.edit();
    a.f(a.eco, "Peso")->setAsInteger(70);
    a.eco.post();
    b.f(b.eco, "Peso")->setAsInteger(80);
    b.f(b.eco, "Medico")->setAsString(QStringLiteral("DR B"));
    QCOMPARE(errorOf([&] { b.eco.post(); }), kChanged);
    QCOMPARE(b.eco.state(), DatasetState::Edit);
    QCOMPARE(b.f(b.eco, "Peso")->asInteger(), 80);
    QVERIFY(b.eco.isModified());
    // Posting again without looking still refuses: nothing of A's is overwritten.
    QCOMPARE(errorOf([&] { b.eco.post(); }), kChanged);
    QCOMPARE(stored(QStringLiteral("SELECT Peso || ' ' || Medico FROM eco WHERE CodigoPaciente = 7"))
                 .toString(),
             QStringLiteral("70 DR A"));

    // Cancelling shows A's values; an edit from there is written.
    b.eco.cancel();
    QCOMPARE(b.f(b.eco, "Peso")->asInteger(), 70);
    b.eco.edit();
    b.f(b.eco, "Medico")->setAsString(QStringLiteral("DR B"));
    b.eco.post();
    QCOMPARE(stored(QStringLiteral("SELECT Peso || ' ' || Medico FROM eco WHERE CodigoPaciente = 7"))
                 .toString(),
             QStringLiteral("70 DR B"));
}

void tst_TableTwoInstances::examAndScoresAllOrNothing()
{
    Instance &a = *m_a;
    Instance &b = *m_b;
    // A changes only a score; B changes the exam and another score from the same reading.
    a.img.edit();
    a.f(a.img, "C2")->setAsInteger(4);
    a.img.post();
    b.eco.edit();
    b.img.edit();
    b.f(b.eco, "Peso")->setAsInteger(55);
    b.f(b.img, "C1")->setAsInteger(3);
    QCOMPARE(errorOf([&] { b.eco.post(); }), kChanged);
    // Neither half of B's post is stored, and no row mixes the two instances.
    QCOMPARE(stored(QStringLiteral("SELECT Peso FROM eco WHERE CodigoPaciente = 7")).toInt(), 22);
    QCOMPARE(stored(QStringLiteral("SELECT C1 || C2 FROM imagem WHERE CodpacienteI = 7")).toString(),
             QStringLiteral("14"));
    QCOMPARE(b.img.state(), DatasetState::Edit);
    QCOMPARE(b.f(b.img, "C1")->asInteger(), 3);

    // The other way round: the exam changed under B, whose scores are not written either.
    b.img.cancel();
    b.eco.cancel();
    QCOMPARE(b.f(b.img, "C2")->asInteger(), 4);
    a.eco.edit();
    a.f(a.eco, "Peso")->setAsInteger(23);
    a.eco.post();
    b.img.edit();
    b.eco.edit();
    b.f(b.img, "C1")->setAsInteger(5);
    b.f(b.eco, "Medico")->setAsString(QStringLiteral("DR B"));
    QCOMPARE(errorOf([&] { b.eco.post(); }), kChanged);
    QCOMPARE(stored(QStringLiteral("SELECT C1 || C2 FROM imagem WHERE CodpacienteI = 7")).toString(),
             QStringLiteral("14"));
    QCOMPARE(stored(QStringLiteral("SELECT Medico FROM eco WHERE CodigoPaciente = 7")).toString(),
             QStringLiteral("DR A"));
}

void tst_TableTwoInstances::deletedOrChangedMeanwhile()
{
    Instance &a = *m_a;
    Instance &b = *m_b;
    // The other patient's exam: A deletes it while B edits it.
    a.showPatient(8);
    b.showPatient(8);
    a.img.deleteRecord();
    a.eco.deleteRecord();
    b.eco.edit();
    b.f(b.eco, "Peso")->setAsInteger(61);
    QCOMPARE(errorOf([&] { b.eco.post(); }), kDeleted);
    QCOMPARE(b.f(b.eco, "Peso")->asInteger(), 61);
    QCOMPARE(stored(QStringLiteral("SELECT count(*) FROM eco WHERE CodigoPaciente = 8")).toInt(), 0);
    b.eco.cancel();

    // Deleting a row that A changed since B read it is refused as well.
    a.showPatient(7);
    b.showPatient(7);
    a.eco.edit();
    a.f(a.eco, "Peso")->setAsInteger(30);
    a.eco.post();
    QCOMPARE(errorOf([&] { b.eco.deleteRecord(); }), kChanged);
    QCOMPARE(stored(QStringLiteral("SELECT Peso FROM eco WHERE CodigoPaciente = 7")).toInt(), 30);
    QCOMPARE(b.eco.recordCount(), 1);
}

void tst_TableTwoInstances::ownWritesAndForeignFormatsNeverConflict()
{
    Instance &a = *m_a;
    // Another program wrote an empty text: read as null, it is what this instance read.
    m_fx->exec(QStringLiteral("UPDATE eco SET Medico = '' WHERE CodigoPaciente = 8"));
    QCOMPARE(stored(QStringLiteral("SELECT typeof(Medico) FROM eco WHERE CodigoPaciente = 8"))
                 .toString(),
             QStringLiteral("text"));
    a.showPatient(8);
    a.img.edit();
    a.f(a.img, "C1")->setAsInteger(2);
    a.img.post();
    a.eco.edit();
    a.f(a.eco, "Peso")->setAsInteger(61);
    a.eco.post();
    QCOMPARE(stored(QStringLiteral("SELECT C1 FROM imagem WHERE CodpacienteI = 8")).toInt(), 2);
    QCOMPARE(stored(QStringLiteral("SELECT Peso FROM eco WHERE CodigoPaciente = 8")).toInt(), 61);

    // A new exam, keyed to the millisecond, edited and posted again and again.
    a.eco.insert();
    a.f(a.eco, "CodigoExame")
        ->setAsDateTime(QDateTime(QDate(2024, 6, 15), QTime(10, 30, 1, 234)));
    a.img.append();
    a.f(a.img, "C1")->setAsInteger(1);
    a.eco.post();
    for (int peso = 40; peso < 43; ++peso) {
        a.img.edit();
        a.eco.edit();
        a.f(a.eco, "Peso")->setAsInteger(peso);
        a.f(a.img, "C2")->setAsInteger(peso % 5);
        a.eco.post();
    }
    QCOMPARE(stored(QStringLiteral("SELECT Peso FROM eco WHERE CodigoExame LIKE '%01.234'")).toInt(),
             42);
    QCOMPARE(stored(QStringLiteral("SELECT C2 FROM imagem WHERE DodExamei LIKE '%01.234'")).toInt(),
             2);
}

void tst_TableTwoInstances::halfReadQueryDoesNotBlockAPost()
{
    Instance &a = *m_a;
    Instance &b = *m_b;
    m_fx->exec(QStringLiteral("CREATE TABLE many (n INTEGER); WITH RECURSIVE c(n) AS (SELECT 1 "
                              "UNION ALL SELECT n + 1 FROM c WHERE n < 2000) "
                              "INSERT INTO many SELECT n FROM c"));
    // A grid of A's shows the first rows of a long result; the rest waits in the store.
    Query list;
    list.setDatabaseName(QStringLiteral("A"));
    list.setSql(QStringList { QStringLiteral("SELECT n FROM many") });
    list.open();
    QVERIFY(list.canFetchMore());
    b.eco.edit();
    b.f(b.eco, "Peso")->setAsInteger(31);
    b.eco.post();
    // A's write is checked against the store as it is now, not as the open result saw it.
    a.eco.edit();
    a.f(a.eco, "Peso")->setAsInteger(32);
    QCOMPARE(errorOf([&] { a.eco.post(); }), kChanged);
    a.eco.cancel();
    QCOMPARE(a.f(a.eco, "Peso")->asInteger(), 31);
    a.eco.edit();
    a.f(a.eco, "Peso")->setAsInteger(32);
    a.eco.post();
    QCOMPARE(stored(QStringLiteral("SELECT Peso FROM eco WHERE CodigoPaciente = 7")).toInt(), 32);
    QCOMPARE(list.recordCount(), 2000);
}

QTEST_GUILESS_MAIN(tst_TableTwoInstances)
#include "tst_TableTwoInstances.moc"
