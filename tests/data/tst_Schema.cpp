#include "data/Schema.h"

#include "platform/engine/DatabaseError.h"
#include "platform/engine/PgConnection.h"
#include "platform/engine/SqlStatement.h"
#include "support/EngineFixture.h"
#include "support/PgTestDatabase.h"
#include "platform/engine/SqliteStore.h"
#include "platform/engine/TextFold.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <memory>

namespace {
const QString ConnectionName = QStringLiteral("tst_Schema");

// A server database holding the seven tables; none without a server.
std::unique_ptr<PgTestDatabase> serverWithSchema()
{
    if (PgTestDatabase::serverUri().isEmpty())
        return nullptr;
    auto pg = std::make_unique<PgTestDatabase>();
    PgConnection conn(pg->uri());
    conn.begin();
    Schema::create(conn);
    conn.commit();
    return pg;
}
} // namespace

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
    void foldedNameKeptByPlainSqlite();
    void upgradeAddsFoldedNamesOnce();

    // On a PostgreSQL server (TALUVO_TEST_PG).
    void serverTablesMatch();
    void serverKeepsFoldedNames();
    void serverKeysAndRefusal();

private:
    QSqlQuery exec(const QString &sql);
    [[nodiscard]] bool tryExec(const QString &sql);
    // The columns of an index, in order.
    [[nodiscard]] QStringList indexColumns(const QString &index);

    std::unique_ptr<QTemporaryDir> m_dir;
    QSqlDatabase m_db;
};

void tst_Schema::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_db = SqliteStore::open(m_dir->path(), ConnectionName, true);
    Schema::create(SqliteStore::handle(m_db));
}

void tst_Schema::cleanup()
{
    m_db = QSqlDatabase();
    SqliteStore::close(ConnectionName);
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

QStringList tst_Schema::indexColumns(const QString &index)
{
    QSqlQuery info = exec(QStringLiteral("PRAGMA index_info(%1)").arg(index));
    QStringList columns;
    while (info.next())
        columns.append(info.value(2).toString());
    return columns;
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
            QVERIFY2(i < t.columns.size() + t.folded.size(), qPrintable(t.name));
            // Same spelling and order, and the storage type the engine expects to read back; the
            // folded columns after them, as text.
            if (i >= t.columns.size()) {
                QCOMPARE(q.value(1).toString(), t.folded.at(i++ - t.columns.size()).name);
                QCOMPARE(q.value(2).toString(), QStringLiteral("TEXT"));
                continue;
            }
            const ColumnDef &c = t.columns.at(i++);
            QCOMPARE(q.value(1).toString(), c.name);
            QCOMPARE(q.value(2).toString(), Schema::sqlType(c.type));
            QVERIFY(QStringList({ "TEXT", "INTEGER", "REAL" }).contains(q.value(2).toString()));
        }
        QCOMPARE(i, t.columns.size() + t.folded.size());
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
    QCOMPARE(count, columnCount + int(Schema::table(table)->folded.size()));
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
    QCOMPARE(indexColumns(QStringLiteral("BDDIDEX_NO")), QStringList({ "NOME_ORDEM", "NOME" }));
    QCOMPARE(indexColumns(QStringLiteral("eco_dataexame")),
             QStringList({ "DataExame", "Executor", "CodigoPaciente", "ModoD" }));

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
    QCOMPARE(indexColumns(QStringLiteral("imagem_exame")),
             QStringList({ "CodpacienteI", "DodExamei" }));

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
    m_db = SqliteStore::open(m_dir->path(), ConnectionName, true);
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

void tst_Schema::serverTablesMatch()
{
    const auto pg = serverWithSchema();
    if (!pg)
        QSKIP("TALUVO_TEST_PG is not set");
    PgConnection server(pg->uri());
    for (const QString &name : Schema::names())
        server.addNameSpelling(name);
    SqliteConnection local(SqliteStore::handle(m_db));
    for (const TableDef &t : Schema::tables()) {
        const auto columns = server.tableInfo(t.name);
        const auto expected = local.tableInfo(t.name);
        QCOMPARE(columns.size(), expected.size());
        for (size_t i = 0; i < columns.size(); ++i) {
            QCOMPARE(columns[i].name, expected[i].name);
            QCOMPARE(columns[i].type, expected[i].type);
            QCOMPARE(columns[i].keyOrder > 0, expected[i].keyOrder > 0);
        }
        for (const IndexDef &i : t.indexes)
            QCOMPARE(server.indexColumns(i.name), local.indexColumns(i.name));
    }
    SqlStatement version(server, "SELECT version FROM taluvo_schema");
    QVERIFY(version.step());
    QCOMPARE(version.int64(0), Schema::Version);
}

void tst_Schema::serverKeepsFoldedNames()
{
    const auto pg = serverWithSchema();
    if (!pg)
        QSKIP("TALUVO_TEST_PG is not set");
    PgConnection server(pg->uri());
    QStringList names;
    for (char32_t c = 0x80; c < 0x2000; ++c) {
        if (QChar::category(c) == QChar::Other_NotAssigned || QChar::isSurrogate(c))
            continue;
        if (c < 0x530 || c >= 0x1E00)
            names.append(QStringLiteral("Ana ") + QString::fromUcs4(&c, 1) + QStringLiteral("x"));
    }
    names << QStringLiteral("ÁLVARO ÉVORA") << QStringLiteral("A\u0301lvaro")
          << QStringLiteral("ŁUKASZ Ø. STRAßE") << QStringLiteral("Nguyễn Thị Ánh");
    server.begin();
    for (const QString &name : names) {
        SqlStatement insert(server, "INSERT INTO bddid (NOME, BENIF) VALUES (?, '1')");
        insert.bind(0, name);
        insert.step();
    }
    // An update of the name folds it again; other columns leave it alone.
    server.exec("UPDATE bddid SET NOME = 'Érica' WHERE NF = 1; UPDATE bddid SET BENIF = '2'");
    server.commit();
    names[0] = QStringLiteral("Érica");
    SqlStatement read(server, "SELECT NOME_ORDEM FROM bddid ORDER BY NF");
    int wrong = 0;
    for (const QString &name : names) {
        QVERIFY(read.step());
        if (read.text(0) != TextFold::searchKey(name) && ++wrong < 5)
            qWarning() << name << read.text(0) << TextFold::searchKey(name);
    }
    QCOMPARE(wrong, 0);
}

void tst_Schema::serverKeysAndRefusal()
{
    const auto pg = serverWithSchema();
    if (!pg)
        QSKIP("TALUVO_TEST_PG is not set");
    PgConnection server(pg->uri());
    server.exec("INSERT INTO eco (CodigoPaciente, CodigoExame) VALUES (1, '2024-01-01 08:00:00.000');"
                "INSERT INTO imagem (CodpacienteI, DodExamei) VALUES (1, 'x'), (1, 'x')");
    QCOMPARE(errorOf([&] {
                 server.exec("INSERT INTO eco (CodigoPaciente, CodigoExame) "
                             "VALUES (1, '2024-01-01 08:00:00.000')");
             }),
             QStringLiteral("Key violation."));
    // A second creation fails whole: the rows stay.
    server.begin();
    QVERIFY(!errorOf([&] { Schema::create(server); }).isEmpty());
    server.rollback();
    SqlStatement count(server, "SELECT count(*) FROM imagem");
    QVERIFY(count.step());
    QCOMPARE(count.int64(0), 2);
}

QTEST_GUILESS_MAIN(tst_Schema)
#include "tst_Schema.moc"

namespace {
// A connection of plain SQLite on the file: no function, collation or setting of ours.
struct PlainSqlite
{
    explicit PlainSqlite(const QString &dir)
    {
        sqlite3_open(SqliteStore::filePath(dir).toUtf8().constData(), &db);
    }
    ~PlainSqlite() { sqlite3_close(db); }
    bool exec(const QString &sql)
    {
        return sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    // Writes name with the statement (one marker), then reads back the folded column of the row.
    QString write(const char *sql, const QString &name, qint64 rowid)
    {
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        const QByteArray utf8 = name.toUtf8();
        sqlite3_bind_text(st, 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        if (rowid)
            sqlite3_bind_int64(st, 2, rowid);
        sqlite3_step(st);
        sqlite3_finalize(st);
        if (!rowid)
            rowid = sqlite3_last_insert_rowid(db);
        sqlite3_prepare_v2(db, "SELECT NOME_ORDEM FROM bddid WHERE rowid = ?", -1, &st, nullptr);
        sqlite3_bind_int64(st, 1, rowid);
        QString folded;
        if (sqlite3_step(st) == SQLITE_ROW && sqlite3_column_type(st, 0) != SQLITE_NULL)
            folded = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        return folded;
    }
    sqlite3 *db = nullptr;
};
} // namespace

void tst_Schema::foldedNameKeptByPlainSqlite()
{
    PlainSqlite plain(m_dir->path());
    QVERIFY(plain.exec(QStringLiteral("BEGIN")));
    // Every letter the fold changes, among the scripts names are written in, and each beside
    // plain letters; then a few whole names.
    QStringList names;
    for (char32_t c = 0x20; c < 0x2000; ++c) {
        const QString letter = QString::fromUcs4(&c, 1);
        if (QChar::category(c) == QChar::Other_NotAssigned || QChar::isSurrogate(c))
            continue;
        if (c < 0x80 || c >= 0x1E00 || (c >= 0x300 && c < 0x530))
            names.append(QStringLiteral("Ana ") + letter + QStringLiteral("x"));
    }
    names << QStringLiteral("ÁLVARO ÉVORA") << QStringLiteral("Conceição")
          << QStringLiteral("A\u0301lvaro") << QStringLiteral("ŁUKASZ Ø. STRAßE")
          << QStringLiteral("ОЛЕКСАНДР Ψ") << QStringLiteral("Nguyễn Thị Ánh");
    int wrong = 0;
    for (const QString &name : names) {
        const QString key = TextFold::searchKey(name);
        const QString inserted
            = plain.write("INSERT INTO bddid (NOME, BENIF) VALUES (?, '1')", name, 0);
        const QString updated = plain.write("UPDATE bddid SET NOME = ? WHERE rowid = ?",
                                            QStringLiteral("Zé ") + name, 1);
        if (inserted != key || updated != TextFold::searchKey(QStringLiteral("Zé ") + name)) {
            if (++wrong < 10)
                qWarning("%s: %s, %s", qPrintable(name), qPrintable(inserted), qPrintable(key));
        }
    }
    QCOMPARE(wrong, 0);
    // A name cleared clears its key.
    QCOMPARE(plain.write("UPDATE bddid SET NOME = ? WHERE rowid = ?", QString(), 1), QString());
    QVERIFY(plain.exec(QStringLiteral("COMMIT")));
}

void tst_Schema::upgradeAddsFoldedNamesOnce()
{
    // A database as the previous version made it: the name index on the name alone.
    PlainSqlite plain(m_dir->path());
    for (const QString &sql : Schema::dropFoldedTriggersSql(*Schema::table(QStringLiteral("bddid")),
                                                           Schema::table(QStringLiteral("bddid"))->folded.first()))
        QVERIFY(plain.exec(sql));
    QVERIFY(plain.exec(QStringLiteral(
        "DROP INDEX BDDIDEX_NO; ALTER TABLE bddid DROP COLUMN NOME_ORDEM; "
        "CREATE INDEX BDDIDEX_NO ON bddid (NOME); PRAGMA user_version = 1; "
        "DROP INDEX eco_dataexame; CREATE INDEX eco_dataexame ON eco (DataExame); "
        "INSERT INTO bddid (NOME, BENIF) VALUES ('ÁLVARO', '1'), ('bruno', '1'), (NULL, '1')")));
    Schema::upgrade(plain.db);
    QSqlQuery version = exec(QStringLiteral("PRAGMA user_version"));
    QVERIFY(version.next());
    QCOMPARE(version.value(0).toInt(), Schema::Version);
    QSqlQuery keys = exec(QStringLiteral("SELECT NOME_ORDEM FROM bddid ORDER BY NF"));
    QStringList folded;
    while (keys.next())
        folded.append(keys.value(0).isNull() ? QStringLiteral("-") : keys.value(0).toString());
    QCOMPARE(folded, QStringList({ "alvaro", "bruno", "-" }));
    QCOMPARE(indexColumns(QStringLiteral("BDDIDEX_NO")), QStringList({ "NOME_ORDEM", "NOME" }));
    QCOMPARE(indexColumns(QStringLiteral("eco_dataexame")),
             QStringList({ "DataExame", "Executor", "CodigoPaciente", "ModoD" }));
    // Kept from now on, and a second upgrade changes nothing.
    QCOMPARE(plain.write("INSERT INTO bddid (NOME, BENIF) VALUES (?, '1')", QStringLiteral("Éva"), 0),
             QStringLiteral("eva"));
    Schema::upgrade(plain.db);
    QSqlQuery unkept = exec(QStringLiteral(
        "SELECT count(*) FROM bddid WHERE NOME IS NOT NULL AND NOME_ORDEM IS NULL"));
    QVERIFY(unkept.next());
    QCOMPARE(unkept.value(0).toInt(), 0);
}
