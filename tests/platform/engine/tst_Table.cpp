#include "platform/engine/DataSource.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"
#include "platform/engine/TextFold.h"
#include "support/EngineFixture.h"
#include "support/TestSupport.h"

#include <QtTest>

#include <memory>

namespace {
// A small practice: patients, their exams and one score row per exam, doctors, health systems.
const char *const kSchema = R"(
CREATE TABLE bddid (NF INTEGER PRIMARY KEY AUTOINCREMENT, NOME TEXT, DNASC TEXT, BENIF TEXT,
                    MORADA TEXT);
CREATE INDEX BDDIDEX_NO ON bddid (NOME);
CREATE TABLE eco (CodigoPaciente REAL, CodigoExame TEXT, Medico TEXT, Idade INTEGER,
                  DataExame TEXT, Fe REAL, Asd INTEGER, Eco1 TEXT, Executor REAL,
                  PRIMARY KEY (CodigoPaciente, CodigoExame));
CREATE TABLE imagem (CodpacienteI REAL, DodExamei TEXT, C1 INTEGER, C2 INTEGER);
CREATE INDEX imagem_exame ON imagem (CodpacienteI, DodExamei);
CREATE TABLE medico (CODIGO INTEGER PRIMARY KEY AUTOINCREMENT, NOME TEXT, ACTIVO INTEGER);
CREATE TABLE convencao (CODIGO INTEGER PRIMARY KEY AUTOINCREMENT, SIGLA TEXT, ACTIVO INTEGER);
INSERT INTO bddid (NF, NOME, DNASC, BENIF) VALUES
    (3, 'CARLOS SOUSA', '1950-02-01', '1'), (7, 'ANA MARIA COSTA', '1980-05-20', '2'),
    (9, 'BRUNO DIAS', NULL, '1'), (12, 'ÁLVARO ÉVORA', '2001-12-31', '1');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Medico) VALUES
    (7, '2024-06-10 09:00:00.000', '2024-06-10', 'DR A'),
    (7, '2023-01-05 15:30:12.345', '2023-01-05', 'DR B'),
    (3, '2022-03-03 11:11:11.111', '2022-03-03', 'DR C');
INSERT INTO imagem VALUES (7, '2024-06-10 09:00:00.000', 1, 2), (7, '2023-01-05 15:30:12.345', 3, 4),
    (3, '2022-03-03 11:11:11.111', 1, 1);
INSERT INTO medico (NOME, ACTIVO) VALUES ('DR ACTIVO', 1), ('DR INACTIVO', 0), ('DR OUTRO', 1);
INSERT INTO convencao (SIGLA, ACTIVO) VALUES ('Particular', 1), ('ADSE', 0), ('SAMS', 1);
)";

struct Practice {
    DataSource pacSource;
    DataSource ecoSource;
    Table pac;
    Table eco;
    Table img;
    QStringList log;

    Practice()
    {
        pac.setTableName(QStringLiteral("Bddid.DB"));
        pac.setIndexName(QStringLiteral("BDDIDEX_NO"));
        pac.addField(QStringLiteral("NF"), FieldType::AutoInc);
        pac.addField(QStringLiteral("NOME"), FieldType::String, 50);
        pac.addField(QStringLiteral("DNASC"), FieldType::DateTime);
        pac.addField(QStringLiteral("BENIF"), FieldType::String, 10)->setRequired(true);
        pacSource.setDataset(&pac);

        eco.setTableName(QStringLiteral("eco.DB"));
        eco.setIndexFieldNames(QStringLiteral("CodigoPaciente;CodigoExame"));
        eco.setMasterSource(&pacSource);
        eco.setMasterFields(QStringLiteral("NF"));
        eco.addField(QStringLiteral("CodigoPaciente"), FieldType::Float)->setRequired(true);
        eco.addField(QStringLiteral("CodigoExame"), FieldType::DateTime)->setRequired(true);
        eco.addField(QStringLiteral("Medico"), FieldType::String, 60);
        eco.addField(QStringLiteral("Idade"), FieldType::SmallInt);
        eco.addField(QStringLiteral("DataExame"), FieldType::Date);
        eco.addField(QStringLiteral("Fe"), FieldType::Float)->setDisplayLabel(
            QStringLiteral("Fracção de Ejecção"));
        eco.addField(QStringLiteral("Asd"), FieldType::Boolean);
        eco.addField(QStringLiteral("Eco1"), FieldType::Memo);
        eco.addField(QStringLiteral("Executor"), FieldType::Float);
        ecoSource.setDataset(&eco);
        ecoSource.setAutoEdit(false);

        img.setTableName(QStringLiteral("imagem.db"));
        img.setIndexFieldNames(QStringLiteral("CodpacienteI;DodExamei"));
        img.setMasterSource(&ecoSource);
        img.setMasterFields(QStringLiteral("CodigoPaciente;CodigoExame"));
        img.addField(QStringLiteral("CodpacienteI"), FieldType::Float);
        img.addField(QStringLiteral("DodExamei"), FieldType::DateTime);
        img.addField(QStringLiteral("C1"), FieldType::SmallInt);
        img.addField(QStringLiteral("C2"), FieldType::SmallInt);

        auto logger = [this](const char *what) {
            return [this, what](Dataset &d) { log << d.objectName() + QLatin1Char('.') + QLatin1String(what); };
        };
        pac.setObjectName(QStringLiteral("pac"));
        eco.setObjectName(QStringLiteral("eco"));
        img.setObjectName(QStringLiteral("img"));
        for (Table *t : {&eco, &img}) {
            t->hooks().beforePost = logger("beforePost");
            t->hooks().afterPost = logger("afterPost");
            t->hooks().afterCancel = logger("afterCancel");
        }
    }

    void open()
    {
        pac.open();
        eco.open();
        img.open();
    }

    // A new exam as the record rules make it: key from the clock, a score row with it.
    void newExam(const QDateTime &when)
    {
        eco.insert();
        eco.fieldByName(QStringLiteral("CodigoExame"))->setAsDateTime(when);
        eco.fieldByName(QStringLiteral("DataExame"))->setAsDate(when.date());
        img.append();
        img.fieldByName(QStringLiteral("C1"))->setAsInteger(1);
        img.fieldByName(QStringLiteral("C2"))->setAsInteger(1);
    }
};

} // namespace

class tst_Table : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_fx = std::make_unique<EngineFixture>();
        m_fx->exec(QString::fromUtf8(kSchema));
        m_p = std::make_unique<Practice>();
    }
    void cleanup()
    {
        m_p.reset();
        m_fx.reset();
        m_env.reset();
    }

    void indexOrderAndDetailFollowsMaster();
    void newExamGetsMasterValuesToTheMillisecond();
    void requiredFieldRefusedAndStaysInInsert();
    void postedNamesTakeTheirPlaceWithoutAccents();
    void masterPostPostsModifiedDetailFirst();
    void leavingUnmodifiedEditCancels();
    void leavingModifiedEditPosts();
    void masterCancelAndMoveMakeDetailLeaveEdit();
    void failedSecondWriteStoresNothingAndKeepsTyping();
    void keyViolationKeepsExamInInsert();
    void deleteWithDetailsIsOneTransaction();
    void editOnEmptyDatasetStartsInsert();
    void silentAbortInHookLeavesStateAlone();
    void filterHidesInactiveRowsAndIsSwitchable();
    void locateExactPrefixAndNumeric();
    void locatePrefixOnLargeTableMatchesScan();
    void readOnlyTableRefusesChanges();
    void gotoCurrentAndRefreshKeepRow();
    void storageRoundTrip();
    void openFailsOnMissingTableOrColumn();
    void badInputMessages();
    void closedDatasetMessage();
    void windowWalksEveryRowOnceBothWays();
    void windowLocatesAndGivesPositions();

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<EngineFixture> m_fx;
    std::unique_ptr<Practice> m_p;
};

void tst_Table::indexOrderAndDetailFollowsMaster()
{
    Practice &p = *m_p;
    p.open();
    QStringList names;
    for (p.pac.first(); !p.pac.eof(); p.pac.next())
        names << p.pac.fieldByName(QStringLiteral("Nome"))->asString();
    // Names go by their letters without accents.
    QCOMPARE(names,
             (QStringList { QStringLiteral("ÁLVARO ÉVORA"), QStringLiteral("ANA MARIA COSTA"),
                            QStringLiteral("BRUNO DIAS"), QStringLiteral("CARLOS SOUSA") }));

    QVERIFY(p.pac.locate(QStringLiteral("NF"), 7));
    QCOMPARE(p.eco.recordCount(), 2);
    // Index order: the older exam first.
    QCOMPARE(p.eco.fieldByName(QStringLiteral("Medico"))->asString(), QStringLiteral("DR B"));
    QCOMPARE(p.img.recordCount(), 1);
    QCOMPARE(p.img.fieldByName(QStringLiteral("C1"))->asInteger(), 3);
    p.eco.next();
    QCOMPARE(p.img.fieldByName(QStringLiteral("C1"))->asInteger(), 1);

    QVERIFY(p.pac.locate(QStringLiteral("NF"), 9));
    QVERIFY(p.eco.isEmpty());
    QVERIFY(p.img.isEmpty());
    QVERIFY(p.pac.locate(QStringLiteral("NF"), 3));
    QCOMPARE(p.eco.recordCount(), 1);
    QCOMPARE(p.img.fieldByName(QStringLiteral("C2"))->asInteger(), 1);
}

void tst_Table::newExamGetsMasterValuesToTheMillisecond()
{
    Practice &p = *m_p;
    p.open();
    QVERIFY(p.pac.locate(QStringLiteral("NF"), 7));
    const QDateTime when(QDate(2024, 6, 15), QTime(10, 30, 0, 123));
    p.newExam(when);
    QCOMPARE(p.eco.fieldByName(QStringLiteral("CodigoPaciente"))->asFloat(), 7.0);
    QCOMPARE(p.img.fieldByName(QStringLiteral("CodpacienteI"))->asFloat(), 7.0);
    QCOMPARE(p.img.fieldByName(QStringLiteral("DodExamei"))->asDateTime(), when);
    p.eco.post();
    QCOMPARE(p.eco.state(), DatasetState::Browse);
    QCOMPARE(p.img.state(), DatasetState::Browse);

    if (m_fx->onServer())
        QCOMPARE(m_fx->scalar(QStringLiteral("SELECT pg_typeof(CodigoPaciente) || ' ' || "
                                             "CodigoPaciente FROM eco WHERE CodigoExame LIKE "
                                             "'2024-06-15%'"))
                     .toString(),
                 QStringLiteral("double precision 7"));
    else
        QCOMPARE(m_fx->scalar(QStringLiteral("SELECT typeof(CodigoPaciente) || ' ' || "
                                             "CodigoPaciente FROM eco WHERE CodigoExame LIKE "
                                             "'2024-06-15%'"))
                     .toString(),
                 QStringLiteral("real 7.0"));
    QCOMPARE(m_fx->scalar(QStringLiteral("SELECT DodExamei FROM imagem WHERE CodpacienteI = 7.0 "
                                         "AND DodExamei = (SELECT CodigoExame FROM eco WHERE "
                                         "CodigoExame LIKE '2024-06-15%')"))
                 .toString(),
             QStringLiteral("2024-06-15 10:30:00.123"));
    // After the post the detail shows the stored row of the new exam.
    QCOMPARE(p.img.recordCount(), 1);
    QCOMPARE(p.img.fieldByName(QStringLiteral("DodExamei"))->asDateTime(), when);
}

void tst_Table::requiredFieldRefusedAndStaysInInsert()
{
    Practice &p = *m_p;
    p.open();
    p.pac.insert();
    p.pac.fieldByName(QStringLiteral("NOME"))->setAsString(QStringLiteral("NOVO PACIENTE"));
    QCOMPARE(errorOf([&] { p.pac.post(); }), QStringLiteral("Field 'BENIF' must have a value"));
    QCOMPARE(p.pac.state(), DatasetState::Insert);
    QCOMPARE(p.pac.fieldByName(QStringLiteral("NOME"))->asString(), QStringLiteral("NOVO PACIENTE"));
    p.pac.fieldByName(QStringLiteral("BENIF"))->setAsString(QStringLiteral("1"));
    p.pac.post();
    // The engine assigns the key, and the row takes its place in name order.
    QVERIFY(p.pac.fieldByName(QStringLiteral("NF"))->asInteger() > 12);
    QCOMPARE(p.pac.recNo(), 5);
    QCOMPARE(m_fx->scalar(QStringLiteral("SELECT count(*) FROM bddid")).toInt(), 5);
}

void tst_Table::postedNamesTakeTheirPlaceWithoutAccents()
{
    Practice &p = *m_p;
    p.open();
    for (const char *name : { "ALVARO ÉVORA", "AMÉLIA", "ÁLVARO ÉVORA" }) {
        p.pac.append();
        p.pac.fieldByName(QStringLiteral("NOME"))->setAsString(QString::fromUtf8(name));
        p.pac.fieldByName(QStringLiteral("BENIF"))->setAsString(QStringLiteral("1"));
        p.pac.post();
    }
    auto order = [&p] {
        QStringList rows;
        for (p.pac.first(); !p.pac.eof(); p.pac.next())
            rows << p.pac.fieldByName(QStringLiteral("NOME"))->asString() + u' '
                    + p.pac.fieldByName(QStringLiteral("NF"))->asString();
        return rows;
    };
    // Equal without accents: the unaccented first, then the older row.
    const QStringList posted = order();
    QCOMPARE(posted.join(QLatin1Char('|')),
             QStringLiteral("ALVARO ÉVORA 13|ÁLVARO ÉVORA 12|ÁLVARO ÉVORA 15|AMÉLIA 14|"
                            "ANA MARIA COSTA 7|BRUNO DIAS 9|CARLOS SOUSA 3"));
    p.pac.refresh();
    QCOMPARE(order(), posted);
}

void tst_Table::masterPostPostsModifiedDetailFirst()
{
    Practice &p = *m_p;
    p.open();
    QVERIFY(p.pac.locate(QStringLiteral("NF"), 7));
    p.eco.edit();
    p.eco.fieldByName(QStringLiteral("Medico"))->setAsString(QStringLiteral("DR NOVO"));
    p.img.edit();
    p.img.fieldByName(QStringLiteral("C1"))->setAsInteger(4);
    p.log.clear();
    p.eco.post();
    QCOMPARE(p.log, (QStringList{QStringLiteral("img.beforePost"), QStringLiteral("img.afterPost"),
                                 QStringLiteral("eco.beforePost"), QStringLiteral("eco.afterPost")}));
    QCOMPARE(m_fx->scalar(QStringLiteral("SELECT C1 FROM imagem WHERE DodExamei LIKE '2023%'"))
                 .toInt(),
             4);
    QCOMPARE(m_fx->scalar(QStringLiteral("SELECT Medico FROM eco WHERE CodigoExame LIKE '2023%'"))
                 .toString(),
             QStringLiteral("DR NOVO"));
}

void tst_Table::leavingUnmodifiedEditCancels()
{
    Practice &p = *m_p;
    p.open();
    QVERIFY(p.pac.locate(QStringLiteral("NF"), 7));
    p.eco.edit();
    p.log.clear();
    p.eco.next();
    QCOMPARE(p.eco.state(), DatasetState::Browse);
    QVERIFY(p.log.contains(QStringLiteral("eco.afterCancel")));
    QVERIFY(!p.log.contains(QStringLiteral("eco.beforePost")));
}

void tst_Table::leavingModifiedEditPosts()
{
    Practice &p = *m_p;
    p.open();
    QVERIFY(p.pac.locate(QStringLiteral("NF"), 7));
    p.eco.edit();
    p.eco.fieldByName(QStringLiteral("Idade"))->setAsString(QStringLiteral("44"));
    // Moving the patient leaves the exam row: it is posted, not lost.
    QVERIFY(p.pac.locate(QStringLiteral("NF"), 3));
    QCOMPARE(p.eco.state(), DatasetState::Browse);
    QCOMPARE(m_fx->scalar(QStringLiteral("SELECT Idade FROM eco WHERE CodigoExame LIKE '2023%'"))
                 .toInt(),
             44);
}

void tst_Table::masterCancelAndMoveMakeDetailLeaveEdit()
{
    Practice &p = *m_p;
    p.open();
    QVERIFY(p.pac.locate(QStringLiteral("NF"), 7));
    // An unmodified detail row is cancelled when the master cancels.
    p.eco.edit();
    p.img.edit();
    p.eco.cancel();
    QCOMPARE(p.img.state(), DatasetState::Browse);
    // A modified one is posted: the master's cancel does not drop the scores typed.
    p.eco.edit();
    p.img.edit();
    p.img.fieldByName(QStringLiteral("C2"))->setAsInteger(3);
    p.eco.cancel();
    QCOMPARE(p.img.state(), DatasetState::Browse);
    QCOMPARE(m_fx->scalar(QStringLiteral("SELECT C2 FROM imagem WHERE DodExamei LIKE '2023%'"))
                 .toInt(),
             3);
    // Moving the master posts a modified detail too.
    p.eco.edit();
    p.img.edit();
    p.img.fieldByName(QStringLiteral("C2"))->setAsInteger(2);
    p.eco.next();
    QCOMPARE(m_fx->scalar(QStringLiteral("SELECT C2 FROM imagem WHERE DodExamei LIKE '2023%'"))
                 .toInt(),
             2);
}

void tst_Table::failedSecondWriteStoresNothingAndKeepsTyping()
{
    Practice &p = *m_p;
    m_fx->exec(m_fx->onServer()
                   ? QStringLiteral("CREATE FUNCTION eco_refuse() RETURNS trigger LANGUAGE plpgsql "
                                    "AS $$ BEGIN RAISE 'disk refused the exam'; END $$; "
                                    "CREATE TRIGGER eco_refuse BEFORE INSERT ON eco FOR EACH ROW "
                                    "WHEN (NEW.Medico = 'FALHA') EXECUTE FUNCTION eco_refuse()")
                   : QStringLiteral("CREATE TRIGGER eco_refuse BEFORE INSERT ON eco WHEN "
                                    "NEW.Medico = 'FALHA' BEGIN SELECT RAISE(ABORT, "
                                    "'disk refused the exam'); END"));
    p.open();
    QVERIFY(p.pac.locate(QStringLiteral("NF"), 7));
    p.newExam(QDateTime(QDate(2024, 6, 15), QTime(10, 30)));
    p.eco.fieldByName(QStringLiteral("Medico"))->setAsString(QStringLiteral("FALHA"));
    p.img.fieldByName(QStringLiteral("C2"))->setAsInteger(4);
    QCOMPARE(errorOf([&] { p.eco.post(); }), QStringLiteral("disk refused the exam"));

    QCOMPARE(m_fx->scalar(QStringLiteral("SELECT count(*) FROM eco")).toInt(), 3);
    QCOMPARE(m_fx->scalar(QStringLiteral("SELECT count(*) FROM imagem")).toInt(), 3);
    // Both rows are still being inserted, with what was typed.
    QCOMPARE(p.eco.state(), DatasetState::Insert);
    QCOMPARE(p.img.state(), DatasetState::Insert);
    QCOMPARE(p.img.fieldByName(QStringLiteral("C2"))->asInteger(), 4);
    QVERIFY(p.eco.isModified());

    // Once the cause is fixed the same post stores both rows.
    p.eco.fieldByName(QStringLiteral("Medico"))->setAsString(QStringLiteral("DR BOM"));
    p.eco.post();
    QCOMPARE(m_fx->scalar(QStringLiteral("SELECT count(*) FROM eco")).toInt(), 4);
    QCOMPARE(m_fx->scalar(QStringLiteral("SELECT C2 FROM imagem WHERE DodExamei LIKE '2024-06-15%'"))
                 .toInt(),
             4);
    QVERIFY(!m_fx->db().inTransaction());
}

void tst_Table::keyViolationKeepsExamInInsert()
{
    Practice &p = *m_p;
    p.open();
    QVERIFY(p.pac.locate(QStringLiteral("NF"), 7));
    // Same key as an existing exam of this patient.
    p.newExam(QDateTime(QDate(2024, 6, 10), QTime(9, 0)));
    QCOMPARE(errorOf([&] { p.eco.post(); }), QStringLiteral("Key violation."));
    QCOMPARE(p.eco.state(), DatasetState::Insert);
    QCOMPARE(m_fx->scalar(QStringLiteral("SELECT count(*) FROM imagem")).toInt(), 3);
    p.eco.cancel();
    QCOMPARE(p.eco.recordCount(), 2);
}

void tst_Table::deleteWithDetailsIsOneTransaction()
{
    Practice &p = *m_p;
    p.eco.hooks().beforeDelete = [&p](Dataset &) {
        p.img.first();
        while (!p.img.isEmpty())
            p.img.deleteRecord();
    };
    p.open();
    QVERIFY(p.pac.locate(QStringLiteral("NF"), 7));
    p.eco.deleteRecord();
    QCOMPARE(p.eco.recordCount(), 1);
    QCOMPARE(m_fx->scalar(QStringLiteral("SELECT count(*) FROM eco WHERE CodigoPaciente = 7"))
                 .toInt(),
             1);
    QCOMPARE(m_fx->scalar(QStringLiteral("SELECT count(*) FROM imagem WHERE CodpacienteI = 7"))
                 .toInt(),
             1);
    // The other exams keep their rows; the detail now shows the remaining exam's.
    QCOMPARE(p.img.recordCount(), 1);
    QCOMPARE(m_fx->scalar(QStringLiteral("SELECT count(*) FROM imagem")).toInt(), 2);

    // A failing exam delete keeps its scores too.
    m_fx->exec(m_fx->onServer()
                   ? QStringLiteral("CREATE FUNCTION eco_keep() RETURNS trigger LANGUAGE plpgsql "
                                    "AS $$ BEGIN RAISE 'locked'; END $$; CREATE TRIGGER eco_keep "
                                    "BEFORE DELETE ON eco FOR EACH ROW EXECUTE FUNCTION eco_keep()")
                   : QStringLiteral("CREATE TRIGGER eco_keep BEFORE DELETE ON eco BEGIN "
                                    "SELECT RAISE(ABORT, 'locked'); END"));
    QCOMPARE(errorOf([&] { p.eco.deleteRecord(); }), QStringLiteral("locked"));
    QCOMPARE(m_fx->scalar(QStringLiteral("SELECT count(*) FROM imagem")).toInt(), 2);
    QCOMPARE(p.eco.recordCount(), 1);
}

void tst_Table::editOnEmptyDatasetStartsInsert()
{
    Practice &p = *m_p;
    p.open();
    QVERIFY(p.pac.locate(QStringLiteral("NF"), 9));
    QVERIFY(p.eco.isEmpty());
    p.eco.edit();
    QCOMPARE(p.eco.state(), DatasetState::Insert);
    QCOMPARE(p.eco.fieldByName(QStringLiteral("CodigoPaciente"))->asFloat(), 9.0);
    // Nothing but the link values: leaving it cancels the row.
    QVERIFY(!p.eco.isModified());
    p.pac.first();
    QCOMPARE(m_fx->scalar(QStringLiteral("SELECT count(*) FROM eco")).toInt(), 3);
}

void tst_Table::silentAbortInHookLeavesStateAlone()
{
    Practice &p = *m_p;
    p.eco.hooks().beforeEdit = [](Dataset &) { abortSilently(); };
    p.open();
    QVERIFY(p.pac.locate(QStringLiteral("NF"), 7));
    bool aborted = false;
    try {
        p.eco.edit();
    } catch (const SilentAbort &) {
        aborted = true;
    }
    QVERIFY(aborted);
    QCOMPARE(p.eco.state(), DatasetState::Browse);
}

void tst_Table::filterHidesInactiveRowsAndIsSwitchable()
{
    Table med;
    med.setTableName(QStringLiteral("Medico.DB"));
    med.setReadOnly(true);
    med.setFilter(QStringLiteral("activo = true"));
    med.setFiltered(true);
    med.open();
    QCOMPARE(med.recordCount(), 2);
    QVERIFY(!med.locate(QStringLiteral("NOME"), QStringLiteral("DR INACTIVO")));
    QVERIFY(!med.locate(QStringLiteral("CODIGO"), 2.0));
    QVERIFY(med.locate(QStringLiteral("CODIGO"), 3.0));
    med.setFiltered(false);
    QCOMPARE(med.recordCount(), 3);
    QVERIFY(med.locate(QStringLiteral("NOME"), QStringLiteral("DR INACTIVO")));

    Table ss;
    ss.setTableName(QStringLiteral("convencao.DB"));
    ss.setFilter(QStringLiteral("activo = true"));
    ss.open();
    QVERIFY(!ss.isFiltered());
    QVERIFY(ss.locate(QStringLiteral("SIGLA"), QStringLiteral("ADSE")));
}

void tst_Table::locateExactPrefixAndNumeric()
{
    Practice &p = *m_p;
    p.open();
    LocateOptions prefix;
    prefix.caseInsensitive = true;
    prefix.partialKey = true;
    QVERIFY(p.pac.locate(QStringLiteral("NOME"), QStringLiteral("bru"), prefix));
    QCOMPARE(p.pac.fieldByName(QStringLiteral("NF"))->asInteger(), 9);
    // Without regard to case is without regard to accents too, typed or stored.
    QVERIFY(p.pac.locate(QStringLiteral("NOME"), QStringLiteral("álv"), prefix));
    QCOMPARE(p.pac.fieldByName(QStringLiteral("NF"))->asInteger(), 12);
    QVERIFY(p.pac.locate(QStringLiteral("NOME"), QStringLiteral("ALVARO EV"), prefix));
    QCOMPARE(p.pac.fieldByName(QStringLiteral("NF"))->asInteger(), 12);
    QVERIFY(p.pac.locate(QStringLiteral("NOME"), QStringLiteral("ána maria cóstá"),
                         LocateOptions { true, false }));
    QCOMPARE(p.pac.fieldByName(QStringLiteral("NF"))->asInteger(), 7);
    QVERIFY(p.pac.locate(QStringLiteral("NOME"), QStringLiteral("bru"), prefix));
    // Exact search wants the whole value, with case.
    QVERIFY(!p.pac.locate(QStringLiteral("NOME"), QStringLiteral("BRUNO")));
    QVERIFY(!p.pac.locate(QStringLiteral("NOME"), QStringLiteral("bruno dias")));
    QVERIFY(p.pac.locate(QStringLiteral("NOME"), QStringLiteral("BRUNO DIAS")));
    // A not-found locate stays put.
    QVERIFY(!p.pac.locate(QStringLiteral("NOME"), QStringLiteral("ZE"), prefix));
    QCOMPARE(p.pac.fieldByName(QStringLiteral("NF"))->asInteger(), 9);
    // A float finds the integer key, and several fields match together.
    QVERIFY(p.pac.locate(QStringLiteral("NF"), 7.0));
    QVERIFY(p.eco.locate(QStringLiteral("CodigoPaciente;CodigoExame"),
                         QVariantList{7, QDateTime(QDate(2023, 1, 5), QTime(15, 30, 12, 345))}));
    QCOMPARE(p.eco.fieldByName(QStringLiteral("Medico"))->asString(), QStringLiteral("DR B"));
}

void tst_Table::locatePrefixOnLargeTableMatchesScan()
{
    // Enough rows for the indexed search; names in mixed case, some sharing prefixes.
    m_fx->exec(QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
        "INSERT INTO bddid (NOME, BENIF) SELECT CASE i % 4 WHEN 0 THEN 'Nome ' WHEN 1 THEN "
        "'NOME ' WHEN 2 THEN 'NÓME ' ELSE 'nome ' END || (i * 7919 % 3001), CAST(i % 5 AS TEXT) "
        "FROM n"));
    Table pac;
    pac.setTableName(QStringLiteral("bddid.db"));
    pac.setIndexName(QStringLiteral("BDDIDEX_NO"));
    pac.setFilter(QStringLiteral("BENIF = '1'"));
    pac.open();
    LocateOptions prefix;
    prefix.caseInsensitive = true;
    prefix.partialKey = true;
    auto firstByScan = [&pac](const QString &key) {
        for (int p = 0; p < pac.rowCount(); ++p) {
            const QVariant &name
                = pac.rowAt(p).values[pac.fieldByName(QStringLiteral("NOME"))->index()];
            if (TextFold::searchKey(name.toString()).startsWith(TextFold::searchKey(key)))
                return p + 1;
        }
        return 0;
    };
    for (bool filtered : {false, true}) {
        pac.setFiltered(filtered);
        for (const QString &key :
             { QStringLiteral("nome 29"), QStringLiteral("NoMe 1"), QStringLiteral("ana"),
               QStringLiteral("nome 3000"), QStringLiteral("nóme 4") }) {
            const int expected = firstByScan(key);
            QCOMPARE(pac.locate(QStringLiteral("NOME"), key, prefix), expected > 0);
            if (expected > 0)
                QCOMPARE(pac.recNo(), expected);
        }
    }
    // A row added after the first search is found by the next one.
    pac.setFiltered(false);
    QVERIFY(!pac.locate(QStringLiteral("NOME"), QStringLiteral("aaa novo"), prefix));
    pac.append();
    pac.fieldByName(QStringLiteral("NOME"))->setAsString(QStringLiteral("AAA NOVO"));
    pac.fieldByName(QStringLiteral("BENIF"))->setAsString(QStringLiteral("1"));
    pac.post();
    pac.last();
    QVERIFY(pac.locate(QStringLiteral("NOME"), QStringLiteral("aaa novo"), prefix));
    QCOMPARE(pac.fieldByName(QStringLiteral("NOME"))->asString(), QStringLiteral("AAA NOVO"));
}

void tst_Table::readOnlyTableRefusesChanges()
{
    Table med;
    med.setTableName(QStringLiteral("Medico.DB"));
    med.setReadOnly(true);
    med.open();
    QCOMPARE(errorOf([&] { med.edit(); }), QStringLiteral("Cannot modify a read-only dataset"));
    QCOMPARE(errorOf([&] { med.append(); }), QStringLiteral("Cannot modify a read-only dataset"));
    QCOMPARE(errorOf([&] { med.deleteRecord(); }),
             QStringLiteral("Cannot modify a read-only dataset"));
    QCOMPARE(med.state(), DatasetState::Browse);
}

void tst_Table::gotoCurrentAndRefreshKeepRow()
{
    Practice &p = *m_p;
    p.open();
    Table other;
    other.setTableName(QStringLiteral("bddid.db"));
    other.setReadOnly(true);
    other.open();
    QVERIFY(other.locate(QStringLiteral("NF"), 3));
    p.pac.gotoCurrent(other);
    QCOMPARE(p.pac.fieldByName(QStringLiteral("NOME"))->asString(), QStringLiteral("CARLOS SOUSA"));
    QCOMPARE(p.eco.recordCount(), 1);

    // A row written by someone else appears on refresh; the cursor stays on its patient.
    m_fx->exec(QStringLiteral("INSERT INTO bddid (NOME, BENIF) VALUES ('AAA PRIMEIRO', '1')"));
    p.pac.refresh();
    QCOMPARE(p.pac.recordCount(), 5);
    QCOMPARE(p.pac.fieldByName(QStringLiteral("NF"))->asInteger(), 3);
    // The second cursor sees the new row only after its own refresh; gotoCurrent re-reads.
    other.refresh();
    QVERIFY(other.locate(QStringLiteral("NOME"), QStringLiteral("AAA PRIMEIRO")));
    p.pac.gotoCurrent(other);
    QCOMPARE(p.pac.recNo(), 1);
}

void tst_Table::storageRoundTrip()
{
    Practice &p = *m_p;
    p.open();
    QVERIFY(p.pac.locate(QStringLiteral("NF"), 9));
    const QString memo = QString(1024 * 1024, QLatin1Char('x')) + QStringLiteral("ção");
    const QDateTime when(QDate(2024, 2, 29), QTime(23, 59, 59, 999));
    p.eco.insert();
    p.eco.fieldByName(QStringLiteral("CodigoExame"))->setAsDateTime(when);
    p.eco.fieldByName(QStringLiteral("DataExame"))->setAsDate(QDate(2024, 2, 29));
    p.eco.fieldByName(QStringLiteral("Fe"))->setAsFloat(62.5);
    p.eco.fieldByName(QStringLiteral("Asd"))->setAsBoolean(false);
    p.eco.fieldByName(QStringLiteral("Eco1"))->setAsString(memo);
    p.eco.post();
    p.eco.append();
    p.eco.fieldByName(QStringLiteral("CodigoExame"))->setAsDateTime(when.addMSecs(1));
    p.eco.fieldByName(QStringLiteral("Asd"))->setAsBoolean(true);
    p.eco.post();

    m_p.reset();
    m_fx->reopen();
    m_p = std::make_unique<Practice>();
    Practice &q = *m_p;
    q.open();
    QVERIFY(q.pac.locate(QStringLiteral("NF"), 9));
    QCOMPARE(q.eco.recordCount(), 2);
    q.eco.first();
    QCOMPARE(q.eco.fieldByName(QStringLiteral("CodigoExame"))->asDateTime(), when);
    QCOMPARE(q.eco.fieldByName(QStringLiteral("DataExame"))->asDate(), QDate(2024, 2, 29));
    QCOMPARE(q.eco.fieldByName(QStringLiteral("Fe"))->asFloat(), 62.5);
    QVERIFY(!q.eco.fieldByName(QStringLiteral("Asd"))->isNull());
    QCOMPARE(q.eco.fieldByName(QStringLiteral("Asd"))->asBoolean(), false);
    QCOMPARE(q.eco.fieldByName(QStringLiteral("Eco1"))->asString(), memo);
    QVERIFY(q.eco.fieldByName(QStringLiteral("Idade"))->isNull());
    q.eco.next();
    QCOMPARE(q.eco.fieldByName(QStringLiteral("CodigoExame"))->asDateTime(),
             QDateTime(QDate(2024, 3, 1), QTime(0, 0)));
    QCOMPARE(q.eco.fieldByName(QStringLiteral("Asd"))->asBoolean(), true);
    QVERIFY(q.eco.fieldByName(QStringLiteral("DataExame"))->isNull());
    QVERIFY(q.eco.fieldByName(QStringLiteral("Eco1"))->isNull());
    QCOMPARE(m_fx->scalar(QStringLiteral("SELECT CodigoExame FROM eco WHERE Asd = 0")).toString(),
             QStringLiteral("2024-02-29 23:59:59.999"));
    QCOMPARE(m_fx->scalar(QStringLiteral("SELECT DataExame FROM eco WHERE Asd = 0")).toString(),
             QStringLiteral("2024-02-29"));
}

void tst_Table::openFailsOnMissingTableOrColumn()
{
    Table t;
    t.setTableName(QStringLiteral("Frase.db"));
    QCOMPARE(errorOf([&] { t.open(); }), QStringLiteral("Table does not exist: Frase.db"));
    QVERIFY(!t.isActive());

    Table e;
    e.setTableName(QStringLiteral("eco.DB"));
    e.addField(QStringLiteral("CodigoPaciente"), FieldType::Float);
    e.addField(QStringLiteral("tecnico"), FieldType::Integer);
    QCOMPARE(errorOf([&] { e.open(); }), QStringLiteral("Field 'tecnico' not found in table eco.DB"));
    m_fx->exec(QStringLiteral("ALTER TABLE eco ADD tecnico integer"));
    e.open();
    QVERIFY(e.isActive());
    // Only declared fields are visible.
    QCOMPARE(e.fieldCount(), 2);
    QVERIFY(!e.findField(QStringLiteral("Medico")));
}

void tst_Table::badInputMessages()
{
    Practice &p = *m_p;
    p.open();
    QVERIFY(p.pac.locate(QStringLiteral("NF"), 7));
    p.pac.edit();
    Field *nome = p.pac.fieldByName(QStringLiteral("NOME"));
    QCOMPARE(errorOf([&] { nome->setAsString(QString(51, QLatin1Char('A'))); }),
             QStringLiteral("The text is too long for field 'NOME': 51 characters, at most 50 "
                            "allowed"));
    QCOMPARE(nome->asString(), QStringLiteral("ANA MARIA COSTA"));
    p.pac.cancel();

    p.eco.edit();
    QCOMPARE(errorOf([&] { p.eco.fieldByName(QStringLiteral("Fe"))->setAsString(QStringLiteral("6,5,1")); }),
             QStringLiteral("'6,5,1' is not a valid floating point value for field 'Fracção de "
                            "Ejecção'"));
    QCOMPARE(errorOf([&] { p.eco.fieldByName(QStringLiteral("Idade"))->setAsString(QStringLiteral("4a")); }),
             QStringLiteral("'4a' is not a valid integer value for field 'Idade'"));
    QCOMPARE(errorOf([&] { p.eco.fieldByName(QStringLiteral("Idade"))->setAsInteger(40000); }),
             QStringLiteral("40000 is not a valid value for field 'Idade'. The allowed range is "
                            "-32768 to 32767"));
    QCOMPARE(errorOf([&] { p.eco.fieldByName(QStringLiteral("DataExame"))->setAsString(QStringLiteral("31/02/2024")); }),
             QStringLiteral("'31/02/2024' is not a valid date"));
    QCOMPARE(errorOf([&] { (void)p.eco.fieldByName(QStringLiteral("Peso")); }),
             QStringLiteral("Field 'Peso' not found"));
    QVERIFY(!p.eco.isModified());
    p.eco.cancel();
    QCOMPARE(errorOf([&] { p.eco.fieldByName(QStringLiteral("Idade"))->setAsInteger(3); }),
             QStringLiteral("Dataset not in edit or insert mode"));
}

void tst_Table::closedDatasetMessage()
{
    Practice &p = *m_p;
    const QString closed = QStringLiteral("Cannot perform this operation on a closed dataset");
    QCOMPARE(errorOf([&] { p.pac.next(); }), closed);
    QCOMPARE(errorOf([&] { p.pac.edit(); }), closed);
    QCOMPARE(errorOf([&] { (void)p.pac.recordCount(); }), closed);
    QCOMPARE(errorOf([&] { p.pac.fieldByName(QStringLiteral("NOME"))->setAsString(QStringLiteral("X")); }),
             closed);
    // Reading a closed table's fields gives empty values, as bound controls show them.
    QVERIFY(p.pac.fieldByName(QStringLiteral("NOME"))->isNull());
}

QTEST_GUILESS_MAIN(tst_Table)
#include "tst_Table.moc"

namespace {
// People ordered by a folded name the store keeps (here lower() suffices: the names are ASCII),
// then the name, then the rowid; some names repeat and some are missing.
const char *const kPeople = R"(
CREATE TABLE pessoa (NF INTEGER PRIMARY KEY AUTOINCREMENT, NOME TEXT, NOME_ORDEM TEXT);
CREATE INDEX pessoa_nome ON pessoa (NOME_ORDEM, NOME);
CREATE TRIGGER pessoa_ai AFTER INSERT ON pessoa BEGIN
    UPDATE pessoa SET NOME_ORDEM = lower(NEW.NOME) WHERE rowid = NEW.rowid; END;
CREATE TRIGGER pessoa_au AFTER UPDATE OF NOME ON pessoa BEGIN
    UPDATE pessoa SET NOME_ORDEM = lower(NEW.NOME) WHERE rowid = NEW.rowid; END;
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200)
INSERT INTO pessoa (NOME) SELECT CASE WHEN i % 50 = 0 THEN NULL
    WHEN i % 3 = 0 THEN 'nome ' || (i * 7 % 101) ELSE 'NOME ' || (i * 7 % 101) END FROM n;
)";

// The same on a PostgreSQL server, the folded name kept by a trigger of its own kind.
const char *const kPeopleOnServer = R"(
CREATE TABLE pessoa (NF INTEGER PRIMARY KEY AUTOINCREMENT, NOME TEXT, NOME_ORDEM TEXT);
CREATE INDEX pessoa_nome ON pessoa (NOME_ORDEM NULLS FIRST, NOME NULLS FIRST, rowid);
CREATE FUNCTION pessoa_fold() RETURNS trigger LANGUAGE plpgsql AS $$
    BEGIN NEW.NOME_ORDEM := lower(NEW.NOME); RETURN NEW; END $$;
CREATE TRIGGER pessoa_fold BEFORE INSERT OR UPDATE OF NOME ON pessoa FOR EACH ROW
    EXECUTE FUNCTION pessoa_fold();
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200)
INSERT INTO pessoa (NOME) SELECT CASE WHEN i % 50 = 0 THEN NULL
    WHEN i % 3 = 0 THEN 'nome ' || (i * 7 % 101) ELSE 'NOME ' || (i * 7 % 101) END FROM n;
)";

void openPeople(Table &t, int window)
{
    t.setTableName(QStringLiteral("pessoa.db"));
    t.setIndexName(QStringLiteral("pessoa_nome"));
    t.addField(QStringLiteral("NF"), FieldType::AutoInc);
    t.addField(QStringLiteral("NOME"), FieldType::String, 50);
    t.setWindowSize(window);
    t.open();
}

QList<qint64> storedOrder(EngineFixture &fx, bool forward)
{
    QList<qint64> ids;
    QString order = forward ? QStringLiteral("NOME_ORDEM, NOME, NF")
                            : QStringLiteral("NOME_ORDEM DESC, NOME DESC, NF DESC");
    if (fx.onServer())
        order = forward ? QStringLiteral("NOME_ORDEM NULLS FIRST, NOME NULLS FIRST, NF")
                        : QStringLiteral("NOME_ORDEM DESC NULLS LAST, NOME DESC NULLS LAST, NF DESC");
    const QString concat = fx.onServer() ? QStringLiteral("string_agg(NF::text, ',')")
                                         : QStringLiteral("group_concat(NF)");
    const QStringList all = fx.scalar(QStringLiteral("SELECT %1 FROM (SELECT NF FROM pessoa "
                                                     "ORDER BY %2) AS o").arg(concat, order))
                                .toString()
                                .split(u',');
    for (const QString &id : all)
        ids.append(id.toLongLong());
    return ids;
}
} // namespace

void tst_Table::windowWalksEveryRowOnceBothWays()
{
    m_fx->exec(QString::fromUtf8(m_fx->onServer() ? kPeopleOnServer : kPeople));
    Table t;
    openPeople(t, 16);
    QVERIFY(t.isWindowed());
    Field *nf = t.fieldByName(QStringLiteral("NF"));
    for (const bool forward : { true, false }) {
        if (forward)
            t.first();
        else
            t.last();
        QList<qint64> met;
        int step = 0;
        while (!(forward ? t.eof() : t.bof())) {
            met.append(nf->asInteger());
            QVERIFY(t.heldRowCount() <= 16);
            ++step;
            // Another writer adds rows on both sides of the cursor and deletes some ahead and
            // behind; this table deletes its current row now and then.
            if (step % 20 == 0) {
                m_fx->exec(QStringLiteral("INSERT INTO pessoa (NOME) VALUES ('NOME 0%1'), "
                                          "('nome 9%1')").arg(step));
                m_fx->exec(QStringLiteral("DELETE FROM pessoa WHERE NF IN (SELECT NF FROM pessoa "
                                          "ORDER BY NOME_ORDEM %1, NOME, NF LIMIT 1 OFFSET 30)")
                               .arg(forward ? QString() : QStringLiteral("DESC")));
            }
            if (step % 37 == 0) {
                // The row after the deleted one becomes current: met already going backwards.
                met.removeLast();
                t.deleteRecord();
                if (!forward)
                    t.prior();
                continue;
            }
            if (forward)
                t.next();
            else
                t.prior();
        }
        // Every row still stored was met once, in order; those deleted on the way were not,
        // nor, going forward, the row deleted behind, or the rows inserted there.
        const QList<qint64> stored = storedOrder(*m_fx, forward);
        QList<qint64> seen;
        for (qint64 id : met) {
            if (stored.contains(id))
                seen.append(id);
        }
        QList<qint64> expected;
        for (qint64 id : stored) {
            if (met.contains(id))
                expected.append(id);
        }
        QCOMPARE(seen, expected);
        QCOMPARE(QSet<qint64>(met.begin(), met.end()).size(), met.size());
        // Nothing met was unknown to the store when passed, and nothing stored before the walk
        // and never deleted was skipped: every row the walk did not meet was added behind it.
        for (qint64 id : stored) {
            if (!met.contains(id))
                QVERIFY2(id > 200, qPrintable(QString::number(id)));
        }
    }
    QCOMPARE(qint64(t.recordCount()),
             m_fx->scalar(QStringLiteral("SELECT count(*) FROM pessoa")).toLongLong());
}

void tst_Table::windowLocatesAndGivesPositions()
{
    m_fx->exec(QString::fromUtf8(m_fx->onServer() ? kPeopleOnServer : kPeople));
    m_fx->db().registerFoldedColumn(QStringLiteral("pessoa"), QStringLiteral("NOME"),
                                    QStringLiteral("NOME_ORDEM"));
    Table t;
    openPeople(t, 16);
    QVERIFY(t.isWindowed());
    const QList<qint64> order = storedOrder(*m_fx, true);
    // Positions count from the first row whatever is held; a grid reads any of them.
    QCOMPARE(t.rowCount(), int(order.size()));
    for (int p : { 0, 150, 3, 199, 64, 65, 100 })
        QCOMPARE(t.rowAt(p).values[0].toLongLong(), order[p]);
    t.setRecNo(120);
    QCOMPARE(t.fieldByName(QStringLiteral("NF"))->asInteger(), order[119]);
    QCOMPARE(t.recNo(), 120);
    LocateOptions prefix { true, true };
    struct Case { QString field; QVariant value; LocateOptions options; };
    for (const Case &c : { Case { QStringLiteral("NOME"), QStringLiteral("NoMe 5"), prefix },
                           Case { QStringLiteral("NOME"), QStringLiteral("nome 21"), LocateOptions {} },
                           Case { QStringLiteral("NOME"), QStringLiteral("NOME 7"), LocateOptions { false, true } },
                           Case { QStringLiteral("NF"), 150.0, LocateOptions {} },
                           Case { QStringLiteral("NOME"), QVariant(), LocateOptions {} } }) {
        // The first match in order, as a scan of the rows finds it.
        int expected = 0;
        for (int p = 0; p < order.size() && !expected; ++p) {
            const QVariant name = m_fx->scalar(
                QStringLiteral("SELECT NOME FROM pessoa WHERE NF = %1").arg(order[p]));
            const bool match = c.field == QLatin1String("NF")
                ? order[p] == c.value.toLongLong()
                : !c.value.isValid()          ? name.isNull()
                : c.options.caseInsensitive ? !name.isNull() && name.toString().toLower().startsWith(c.value.toString().toLower())
                : c.options.partialKey        ? name.toString().startsWith(c.value.toString())
                                              : name.toString() == c.value.toString();
            if (match)
                expected = p + 1;
        }
        QVERIFY2(expected > 0, qPrintable(c.value.toString()));
        t.last();
        QVERIFY(t.locate(c.field, c.value, c.options));
        QCOMPARE(t.recNo(), expected);
        QVERIFY(t.heldRowCount() <= 16);
    }
    QVERIFY(!t.locate(QStringLiteral("NOME"), QStringLiteral("zz"), prefix));
    // The ends, as a navigator asks for them.
    t.first();
    QVERIFY(t.isOnFirstRow());
    t.next();
    QVERIFY(!t.isOnFirstRow());
    t.last();
    QVERIFY(t.isOnLastRow());
    QCOMPARE(t.recNo(), int(order.size()));
    // A row posted goes to its place in the order, wherever the window was.
    t.first();
    t.append();
    t.fieldByName(QStringLiteral("NOME"))->setAsString(QStringLiteral("nome 50 b"));
    t.post();
    QCOMPARE(t.fieldByName(QStringLiteral("NOME"))->asString(), QStringLiteral("nome 50 b"));
    const QList<qint64> after = storedOrder(*m_fx, true);
    QCOMPARE(t.recNo(), int(after.indexOf(t.fieldByName(QStringLiteral("NF"))->asInteger())) + 1);
    t.next();
    QCOMPARE(t.fieldByName(QStringLiteral("NF"))->asInteger(), after[t.recNo() - 1]);
}
