#include "data/DatabaseCopy.h"
#include "data/DemoData.h"
#include "data/Schema.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/SqliteStore.h"

#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

namespace {

// A database file of the test's own, opened straight through SQLite.
class File
{
public:
    explicit File(const QString &path)
    {
        if (sqlite3_open(QFile::encodeName(path).constData(), &m_db) != SQLITE_OK)
            qFatal("cannot open %s", qPrintable(path));
    }
    ~File() { sqlite3_close(m_db); }
    File(const File &) = delete;
    File &operator=(const File &) = delete;
    operator sqlite3 *() const { return m_db; }

    void exec(const QString &sql) const { SqliteStore::exec(m_db, sql); }
    QVariant value(const QString &sql) const
    {
        SqlStatement st(m_db, sql);
        return st.step() ? st.value(0) : QVariant();
    }
    // Every row of a table, every column quoted by SQLite so that types and nulls show.
    QStringList rows(const QString &table) const
    {
        QStringList quoted;
        SqlStatement info(m_db, QStringLiteral("PRAGMA table_info(%1)").arg(table));
        while (info.step())
            quoted.append(QStringLiteral("quote(\"%1\")").arg(info.text(1)));
        SqlStatement st(m_db, QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
                                  .arg(quoted.join(QLatin1String(" || ',' || ")), table));
        QStringList rows;
        while (st.step())
            rows.append(st.text(0));
        return rows;
    }
    QString schema() const
    {
        return rows(QStringLiteral("sqlite_master")).join(QLatin1Char('\n'))
            + value(QStringLiteral("PRAGMA journal_mode")).toString();
    }

private:
    sqlite3 *m_db = nullptr;
};

QString messageOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const DatabaseError &e) {
        return e.message();
    }
    return QString();
}

} // namespace

class tst_DatabaseCopy : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void practiceIsCopiedExactly();
    void refusedBeforeAnythingChanges_data();
    void refusedBeforeAnythingChanges();
    void differenceKeepsNothing();
    void failureMidCopyKeepsNothing();

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    std::unique_ptr<File> m_source;
    std::unique_ptr<File> m_target;
};

void tst_DatabaseCopy::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    m_source = std::make_unique<File>(m_tmp->filePath(QStringLiteral("source.sqlite")));
    m_target = std::make_unique<File>(m_tmp->filePath(QStringLiteral("target.sqlite")));
    Schema::create(*m_source);
    DemoOptions demo;
    demo.patients = 30;
    demo.exams = 90;
    demo.today = QDate(2024, 6, 15);
    DemoData::generate(*m_source, demo);
    m_source->exec(QStringLiteral("PRAGMA journal_mode=WAL"));
}

void tst_DatabaseCopy::cleanup()
{
    m_source.reset();
    m_target.reset();
    m_tmp.reset();
}

void tst_DatabaseCopy::practiceIsCopiedExactly()
{
    File &source = *m_source;
    // Columns of the practice's other software, with values of every kind; the last patient
    // deleted, so the counter is ahead of the highest number.
    source.exec(QStringLiteral("ALTER TABLE bddid ADD COLUMN OBS_EXT TEXT;"
                               "ALTER TABLE bddid ADD COLUMN \"Foto ext\" BLOB;"
                               "UPDATE bddid SET OBS_EXT = '0012', \"Foto ext\" = x'00ff10' WHERE NF = 1;"
                               "UPDATE bddid SET OBS_EXT = 3.5 WHERE NF = 2;"
                               "DELETE FROM bddid WHERE NF = (SELECT max(NF) FROM bddid)"));
    const qint64 counter = source.value(QStringLiteral("SELECT seq FROM sqlite_sequence "
                                                       "WHERE name = 'bddid'")).toLongLong();
    QStringList seen;
    const DatabaseCopy::Result result = DatabaseCopy::run(
        source, *m_target, [&](const QString &table, qint64 done, qint64 total) {
            seen.append(QStringLiteral("%1 %2/%3").arg(table).arg(done).arg(total));
        });

    QVERIFY(result.committed);
    QCOMPARE(result.tables.size(), Schema::tables().size());
    for (const DatabaseCopy::TableResult &t : result.tables) {
        QVERIFY2(t.equal(), qPrintable(t.table));
        QCOMPARE(t.sourceRows, source.value(QStringLiteral("SELECT count(*) FROM %1").arg(t.table)).toLongLong());
        QCOMPARE(m_target->rows(t.table), source.rows(t.table));
        QVERIFY(seen.contains(QStringLiteral("%1 %2/%2").arg(t.table).arg(t.sourceRows)));
    }
    QCOMPARE(result.tables.first().extraColumns, (QStringList { "OBS_EXT", "Foto ext" }));
    QCOMPARE(m_target->value(QStringLiteral("PRAGMA user_version")).toInt(), Schema::Version);
    QCOMPARE(m_target->value(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'index'")),
             source.value(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'index'")));

    // A new patient gets the next number, and its folded name is kept by the target's triggers.
    m_target->exec(QStringLiteral("INSERT INTO bddid (NOME, BENIF) VALUES ('Érica Nova', 'SNS')"));
    QCOMPARE(m_target->value(QStringLiteral("SELECT max(NF) FROM bddid")).toLongLong(), counter + 1);
    QCOMPARE(m_target->value(QStringLiteral("SELECT NOME_ORDEM FROM bddid WHERE NF = %1")
                                 .arg(counter + 1)).toString(),
             QStringLiteral("erica nova"));
}

void tst_DatabaseCopy::refusedBeforeAnythingChanges_data()
{
    QTest::addColumn<QString>("sourceSql");
    QTest::addColumn<QString>("targetSql");
    QTest::addColumn<QString>("message");

    QTest::newRow("target with the seven tables") << "" << "*" << "o destino já tem as tabelas bddid, eco, imagem";
    QTest::newRow("target with one of them") << "" << "CREATE TABLE Medico (x)" << "o destino já tem a tabela medico;";
    QTest::newRow("source of an older version") << "PRAGMA user_version = 2" << "" << "abra-a uma vez com o programa";
    QTest::newRow("source of a newer version") << "PRAGMA user_version = 99" << "" << "versão mais recente";
    QTest::newRow("source without a table") << "DROP TABLE imagem" << "" << "a origem não tem a tabela imagem;";
}

void tst_DatabaseCopy::refusedBeforeAnythingChanges()
{
    QFETCH(QString, sourceSql);
    QFETCH(QString, targetSql);
    QFETCH(QString, message);

    if (!sourceSql.isEmpty())
        m_source->exec(sourceSql);
    m_target->exec(QStringLiteral("PRAGMA journal_mode=WAL; CREATE TABLE outra (a)"));
    if (targetSql == QLatin1String("*"))
        Schema::create(*m_target);
    else if (!targetSql.isEmpty())
        m_target->exec(targetSql);
    const QString before = m_target->schema();

    const QString refusal = messageOf([this] { (void)DatabaseCopy::run(*m_source, *m_target); });
    QVERIFY2(refusal.contains(message), qPrintable(refusal));
    QCOMPARE(m_target->schema(), before);
    QVERIFY(sqlite3_get_autocommit(*m_source));
}

void tst_DatabaseCopy::differenceKeepsNothing()
{
    const DatabaseCopy::Result result = DatabaseCopy::run(*m_source, *m_target, {}, [](sqlite3 *db) {
        SqliteStore::exec(db, QStringLiteral("UPDATE eco SET Medico = 'Outro' WHERE rowid = 7"));
    });
    QVERIFY(!result.committed);
    for (const DatabaseCopy::TableResult &t : result.tables) {
        QCOMPARE(t.equal(), t.table != QLatin1String("eco"));
        QCOMPARE(t.targetRows, t.sourceRows);
    }
    QCOMPARE(m_target->value(QStringLiteral("SELECT count(*) FROM sqlite_master")).toInt(), 0);
}

void tst_DatabaseCopy::failureMidCopyKeepsNothing()
{
    // Another program's eco without its key, holding an exam twice: the third table fails.
    m_source->exec(QStringLiteral("ALTER TABLE eco RENAME TO eco_old;"
                                  "CREATE TABLE eco AS SELECT * FROM eco_old; DROP TABLE eco_old;"
                                  "INSERT INTO eco SELECT * FROM eco WHERE rowid = 40"));
    m_target->exec(QStringLiteral("PRAGMA journal_mode=WAL; CREATE TABLE outra (a)"));
    const QString before = m_target->schema();
    const QString failure = messageOf([this] { (void)DatabaseCopy::run(*m_source, *m_target); });
    QCOMPARE(failure, QStringLiteral("Key violation."));
    QCOMPARE(m_target->schema(), before);
    QVERIFY(sqlite3_get_autocommit(*m_source));
}

QTEST_GUILESS_MAIN(tst_DatabaseCopy)
#include "tst_DatabaseCopy.moc"
