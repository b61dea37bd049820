#include "data/Schema.h"

#include "platform/engine/DatabaseError.h"
#include "platform/engine/SqliteStore.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {
const QString Connection = QStringLiteral("tst_Schema");
}

class tst_Schema : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void lookupByName_data();
    void lookupByName();
    void everyColumnStoredWithItsType();
    void declaredTypes_data();
    void declaredTypes();
    void searchAndHistoryColumnsResolve();
    void patientNameIndex();
    void scoresAllowTwoRowsForOneExam();
    void examKeyIsUnique();
    void autoincrementKeysAreNeverReused();
    void createRefusesAnExistingTableAndChangesNothing();

private:
    QSqlQuery exec(const QString &sql);
    [[nodiscard]] bool tryExec(const QString &sql);

    std::unique_ptr<QTemporaryDir> m_dir;
    QSqlDatabase m_db;
};

void tst_Schema::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_db = SqliteStore::open(m_dir->path(), Connection, true);
    Schema::create(SqliteStore::handle(m_db));
}

void tst_Schema::cleanup()
{
    m_db = QSqlDatabase();
    SqliteStore::close(Connection);
    m_dir.reset();
}

QSqlQuery tst_Schema::exec(const QString &sql)
{
    QSqlQuery q(m_db);
    if (!q.exec(sql))
        qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    return q;
}

bool tst_Schema::tryExec(const QString &sql)
{
    QSqlQuery q(m_db);
    return q.exec(sql);
}

void tst_Schema::lookupByName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("sqlName");

    QTest::newRow("file name") << "Bddid.DB"
                               << "bddid";
    QTest::newRow("sql name") << "eco"
                              << "eco";
    QTest::newRow("other case") << "MEDICO"
                                << "medico";
    QTest::newRow("lower extension") << "imagem.db"
                                     << "imagem";
    QTest::newRow("mixed extension") << "Frase.Db"
                                     << "frase";
    QTest::newRow("underscore") << "eco_conclusoes.db"
                                << "eco_conclusoes";
    QTest::newRow("health systems") << "convencao.DB"
                                    << "convencao";
    QTest::newRow("unknown") << "pacientes"
                             << "";
    QTest::newRow("other extension") << "eco.txt"
                                     << "";
    QTest::newRow("empty") << ""
                           << "";
}

void tst_Schema::lookupByName()
{
    QFETCH(QString, name);
    QFETCH(QString, sqlName);
    const TableDef *t = Schema::table(name);
    QCOMPARE(t ? t->name : QString(), sqlName);
}

void tst_Schema::everyColumnStoredWithItsType()
{
    QCOMPARE(Schema::tables().size(), 7);
    for (const TableDef &t : Schema::tables()) {
        QSqlQuery q = exec(QStringLiteral("PRAGMA table_info(%1)").arg(t.name));
        int i = 0;
        while (q.next()) {
            QVERIFY2(i < t.columns.size(), qPrintable(t.name));
            const ColumnDef &c = t.columns.at(i++);
            // Same spelling and order, and the storage type the engine expects to read back.
            QCOMPARE(q.value(1).toString(), c.name);
            QCOMPARE(q.value(2).toString(), Schema::sqlType(c.type));
            QVERIFY(QStringList({ "TEXT", "INTEGER", "REAL" }).contains(q.value(2).toString()));
        }
        QCOMPARE(i, t.columns.size());
    }
}

void tst_Schema::declaredTypes_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("sqlType");
    QTest::addColumn<int>("columnCount");

    QTest::newRow("patient number") << "bddid"
                                    << "NF"
                                    << "INTEGER" << 21;
    QTest::newRow("birth date") << "bddid"
                                << "DNASC"
                                << "TEXT" << 21;
    QTest::newRow("health system code") << "bddid"
                                        << "BENIF"
                                        << "TEXT" << 21;
    QTest::newRow("patient age") << "bddid"
                                 << "IDADE"
                                 << "INTEGER" << 21;
    QTest::newRow("exam patient") << "eco"
                                  << "CodigoPaciente"
                                  << "REAL" << 57;
    QTest::newRow("exam key time") << "eco"
                                   << "CodigoExame"
                                   << "TEXT" << 57;
    QTest::newRow("exam date") << "eco"
                               << "DataExame"
                               << "TEXT" << 57;
    QTest::newRow("finding") << "eco"
                             << "VcmT"
                             << "INTEGER" << 57;
    QTest::newRow("conclusion") << "eco"
                                << "Eco1"
                                << "TEXT" << 57;
    QTest::newRow("performer") << "eco"
                               << "Executor"
                               << "REAL" << 57;
    QTest::newRow("technician") << "eco"
                                << "tecnico"
                                << "INTEGER" << 57;
    QTest::newRow("score patient") << "imagem"
                                   << "CodpacienteI"
                                   << "REAL" << 18;
    QTest::newRow("last score") << "imagem"
                                << "C16"
                                << "INTEGER" << 18;
    QTest::newRow("phrase") << "frase"
                            << "Frase"
                            << "TEXT" << 3;
    QTest::newRow("conclusion text") << "eco_conclusoes"
                                     << "Descricao"
                                     << "TEXT" << 3;
    QTest::newRow("doctor active") << "medico"
                                   << "ACTIVO"
                                   << "INTEGER" << 3;
    QTest::newRow("health system") << "convencao"
                                   << "SIGLA"
                                   << "TEXT" << 4;
}

void tst_Schema::declaredTypes()
{
    QFETCH(QString, table);
    QFETCH(QString, column);
    QFETCH(QString, sqlType);
    QFETCH(int, columnCount);

    QSqlQuery q = exec(QStringLiteral("PRAGMA table_info(%1)").arg(table));
    QString found;
    int count = 0;
    while (q.next()) {
        ++count;
        if (q.value(1).toString() == column)
            found = q.value(2).toString();
    }
    QCOMPARE(found, sqlType);
    QCOMPARE(count, columnCount);
}

void tst_Schema::searchAndHistoryColumnsResolve()
{
    // The advanced search's select list, in its order, with the casts it applies.
    const QStringList searched
        = { "NF",     "NOME",   "MORADA",   "DNASC",   "NATUR",     "D1CONS",  "TELEF",
            "PROF",   "ESTADO", "RECOMEND", "BENIFIC", "IDADE",     "BENIF",   "CPOSTAL",
            "CIDADE", "SEXO",   "NCONTRIB", "NCONS",   "PERUTENTE", "CENTROS", "NCENTROS" };
    QStringList names;
    for (const ColumnDef &c : Schema::table(QStringLiteral("bddid"))->columns)
        names.append(c.name);
    QCOMPARE(names, searched);
    QVERIFY(tryExec(QStringLiteral("select %1 from bddid where Upper(Cast(NF as char(10))) like "
                                   "'%A%' or Upper(Cast(DNASC as Char(10))) like '%A%'")
                        .arg(searched.join(QLatin1Char(',')))));

    // Other code writes column names in other cases.
    QVERIFY(tryExec(QStringLiteral("select codigopaciente, Dnasc, Tecnico, NOME from eco join "
                                   "bddid on nf = codigopaciente")));
    QVERIFY(tryExec(QStringLiteral("select sigla, entidade, modod, count(*) from bddid join "
                                   "convencao on cast(bddid.benif as integer) = convencao.codigo "
                                   "join eco on nf = codigopaciente group by sigla")));
}

void tst_Schema::patientNameIndex()
{
    QSqlQuery q = exec(QStringLiteral("PRAGMA index_info(BDDIDEX_NO)"));
    QVERIFY(q.next());
    QCOMPARE(q.value(2).toString(), QStringLiteral("NOME"));
    QVERIFY(!q.next());

    QVERIFY(tryExec(QStringLiteral("INSERT INTO bddid (NOME, BENIF) VALUES ('ANA', '1')")));
    QVERIFY2(tryExec(QStringLiteral("INSERT INTO bddid (NOME, BENIF) VALUES ('ANA', '1')")),
             "two patients may share a name");
}

void tst_Schema::scoresAllowTwoRowsForOneExam()
{
    QSqlQuery list = exec(QStringLiteral("PRAGMA index_list(imagem)"));
    bool found = false;
    while (list.next()) {
        if (list.value(1).toString() == QLatin1String("imagem_exame")) {
            found = true;
            QCOMPARE(list.value(2).toInt(), 0); // not unique
        }
    }
    QVERIFY(found);
    QSqlQuery info = exec(QStringLiteral("PRAGMA index_info(imagem_exame)"));
    QStringList columns;
    while (info.next())
        columns.append(info.value(2).toString());
    QCOMPARE(columns, QStringList({ "CodpacienteI", "DodExamei" }));

    const QString row = QStringLiteral("INSERT INTO imagem (CodpacienteI, DodExamei, C1) VALUES "
                                       "(7, '2024-06-15 10:30:00.000', 1)");
    QVERIFY(tryExec(row));
    QVERIFY(tryExec(row));
    QSqlQuery q = exec(QStringLiteral("SELECT count(*), typeof(CodpacienteI) FROM imagem"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 2);
    QCOMPARE(q.value(1).toString(), QStringLiteral("real")); // a patient number held as a float
}

void tst_Schema::examKeyIsUnique()
{
    const QString insert = QStringLiteral("INSERT INTO eco (CodigoPaciente, CodigoExame) "
                                          "VALUES (%1, %2)");
    QVERIFY(tryExec(insert.arg(7).arg("'2024-06-15 10:30:00.000'")));
    QVERIFY(!tryExec(insert.arg(7).arg("'2024-06-15 10:30:00.000'")));
    QVERIFY2(!tryExec(insert.arg(7.0).arg("'2024-06-15 10:30:00.000'")),
             "7 and 7.0 are the same patient");
    QVERIFY(tryExec(insert.arg(7).arg("'2024-06-15 10:30:00.001'")));
    QVERIFY(tryExec(insert.arg(8).arg("'2024-06-15 10:30:00.000'")));
    QVERIFY2(!tryExec(insert.arg(9).arg("NULL")), "a key column cannot be null");
    QVERIFY(!tryExec(insert.arg("NULL").arg("'2024-06-15 10:30:00.000'")));

    // The start-up upgrade adds a column that is already there and must fail harmlessly.
    QVERIFY(!tryExec(QStringLiteral("alter table eco add tecnico integer")));
    QSqlQuery q = exec(QStringLiteral("SELECT count(*) FROM eco"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 3);
}

void tst_Schema::autoincrementKeysAreNeverReused()
{
    exec(QStringLiteral("INSERT INTO frase (Frase) VALUES ('a')"));
    exec(QStringLiteral("INSERT INTO frase (Frase) VALUES ('b')"));
    exec(QStringLiteral("DELETE FROM frase WHERE CodFrase = 2"));
    exec(QStringLiteral("INSERT INTO frase (Frase) VALUES ('c')"));
    QSqlQuery q = exec(QStringLiteral("SELECT CodFrase FROM frase ORDER BY CodFrase"));
    QList<int> codes;
    while (q.next())
        codes.append(q.value(0).toInt());
    QCOMPARE(codes, QList<int>({ 1, 3 }));
}

void tst_Schema::createRefusesAnExistingTableAndChangesNothing()
{
    cleanup();
    m_dir = std::make_unique<QTemporaryDir>();
    m_db = SqliteStore::open(m_dir->path(), Connection, true);
    exec(QStringLiteral("CREATE TABLE medico (x INTEGER)"));

    QVERIFY_THROWS_EXCEPTION(DatabaseError, Schema::create(SqliteStore::handle(m_db)));
    QSqlQuery q = exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"));
    QStringList tables;
    while (q.next())
        tables.append(q.value(0).toString());
    QCOMPARE(tables, QStringList({ "medico" }));
    // The connection is usable again: no transaction was left open.
    QVERIFY(tryExec(QStringLiteral("INSERT INTO medico VALUES (1)")));
}

QTEST_GUILESS_MAIN(tst_Schema)
#include "tst_Schema.moc"
