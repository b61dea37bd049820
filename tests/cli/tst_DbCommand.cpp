#include "cli/CommandLine.h"
#include "cli/DbCommand.h"
#include "data/Schema.h"
#include "platform/engine/PgConnection.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/SqliteStore.h"
#include "support/PgTestDatabase.h"
#include "platform/widgets/Clock.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <memory>
#include <sys/stat.h>

namespace {

// Reads a database the command made, through its own connection.
class Reader
{
public:
    explicit Reader(const QString &dir)
        : m_db(SqliteStore::open(dir, QStringLiteral("tst_DbCommand_read"), false))
    { }
    ~Reader()
    {
        m_db = QSqlDatabase();
        SqliteStore::close(QStringLiteral("tst_DbCommand_read"));
    }

    QSqlQuery query(const QString &sql) const
    {
        QSqlQuery q(m_db);
        if (!q.exec(sql))
            qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return q;
    }
    QVariant value(const QString &sql) const
    {
        QSqlQuery q = query(sql);
        return q.next() ? q.value(0) : QVariant();
    }
    int count(const QString &sql) const { return value(sql).toInt(); }

    // Every row of every table, each value quoted by SQLite so that types and nulls show.
    QStringList dump() const
    {
        QStringList rows;
        for (const TableDef &t : Schema::tables()) {
            QStringList columns;
            for (const ColumnDef &c : t.columns)
                columns.append(QStringLiteral("quote(%1)").arg(c.name));
            QSqlQuery q = query(QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
                                    .arg(columns.join(QLatin1String("||','||")), t.name));
            while (q.next())
                rows.append(t.name + QLatin1Char(':') + q.value(0).toString());
        }
        return rows;
    }

private:
    QSqlDatabase m_db;
};

int mode(const QString &path)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 0777);
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class tst_DbCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void otherArgumentsAreNotOurs();
    void initCreatesEmptyPrivateDatabase();
    void existingDatabaseIsNeverTouched_data();
    void existingDatabaseIsNeverTouched();
    void demoIsReproducible();
    void demoHasAPlausiblePractice();
    void demoExamsAreConsistent();
    void outputHoldsNoPatientData();
    void usageErrors_data();
    void usageErrors();
    void failedDemoLeavesNothingBehind();
    void initReplacesOnlyAnEmptyFile();
    void checkNamesEachFinding_data();
    void checkNamesEachFinding();
    void demoOnServerEqualsTheDirectory();

private:
    [[nodiscard]] int db(const QStringList &args);
    [[nodiscard]] QString path(const QString &name) const { return m_tmp->filePath(name); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QTemporaryDir> m_tmp;
};

void tst_DbCommand::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
}

void tst_DbCommand::cleanup()
{
    m_tmp.reset();
    m_env.reset();
}

int tst_DbCommand::db(const QStringList &args)
{
    bool handled = false;
    const int code = runCommandLine(QStringList { QStringLiteral("db") } + args, &handled);
    if (!handled)
        return -1;
    return code;
}

void tst_DbCommand::otherArgumentsAreNotOurs()
{
    bool handled = true;
    QCOMPARE(runCommandLine({}, &handled), 0);
    QVERIFY(!handled);
    handled = true;
    QCOMPARE(runCommandLine({ "--data", path("x") }, &handled), 0);
    QVERIFY(!handled);
    QVERIFY(!QFileInfo::exists(path("x")));
}

void tst_DbCommand::initCreatesEmptyPrivateDatabase()
{
    const QString dir = path("practice/data");
    QCOMPARE(db({ "init", dir }), 0);

    const QString file = SqliteStore::filePath(dir);
    QCOMPARE(mode(dir), 0700);
    QCOMPARE(mode(file), 0600);
    QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList { "taluvo.sqlite" });
    Reader r(dir);
    for (const TableDef &t : Schema::tables())
        QCOMPARE(r.count(QStringLiteral("SELECT count(*) FROM %1").arg(t.name)), 0);
    QCOMPARE(r.value("PRAGMA journal_mode").toString(), QStringLiteral("wal"));
}

void tst_DbCommand::existingDatabaseIsNeverTouched_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("existing");

    QTest::newRow("init over a database") << "init"
                                          << "taluvo.sqlite";
    QTest::newRow("demo over a database") << "demo"
                                          << "taluvo.sqlite";
    QTest::newRow("init over a left-over journal") << "init"
                                                   << "taluvo.sqlite-wal";
    QTest::newRow("demo over a left-over journal") << "demo"
                                                   << "taluvo.sqlite-wal";
}

void tst_DbCommand::existingDatabaseIsNeverTouched()
{
    QFETCH(QString, command);
    QFETCH(QString, existing);

    const QString dir = path("data");
    QCOMPARE(db({ "demo", dir, "--patients", "3", "--exams", "5" }), 0);
    if (existing != QLatin1String("taluvo.sqlite"))
        QVERIFY(QFile::rename(SqliteStore::filePath(dir), QDir(dir).filePath(existing)));
    const QString file = QDir(dir).filePath(existing);
    const QByteArray before = contents(file);
    QVERIFY(!before.isEmpty());

    QCOMPARE(db({ command, dir }), 1);
    QCOMPARE(contents(file), before);
    QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList { existing });
}

void tst_DbCommand::demoIsReproducible()
{
    const QStringList options = { "--patients", "40", "--exams", "150", "--seed", "7" };
    QCOMPARE(db(QStringList { "demo", path("a") } + options), 0);
    // Another run later the same day must not depend on the time of day.
    m_env->clock().advance(3 * 3600 * 1000);
    QCOMPARE(db(QStringList { "demo", path("b") } + options), 0);
    QCOMPARE(db({ "demo", path("c"), "--patients", "40", "--exams", "150", "--seed", "8" }), 0);

    QStringList a, b, c;
    {
        a = Reader(path("a")).dump();
    }
    {
        b = Reader(path("b")).dump();
    }
    {
        c = Reader(path("c")).dump();
    }
    QCOMPARE(a.size(), 8 + 12 + 20 + 6 + 40 + 150 + 150);
    QCOMPARE(a, b);
    QVERIFY(a != c);
}

void tst_DbCommand::demoHasAPlausiblePractice()
{
    const QString dir = path("data");
    QCOMPARE(db({ "demo", dir, "--patients=80", "--exams=300" }), 0);
    Reader r(dir);

    QCOMPARE(r.count("SELECT count(*) FROM bddid"), 80);
    QCOMPARE(r.count("SELECT count(*) FROM eco"), 300);
    QCOMPARE(r.count("SELECT count(*) FROM medico WHERE ACTIVO = 0"), 2);
    QVERIFY(r.count("SELECT count(*) FROM medico WHERE ACTIVO = 1") >= 4);
    QCOMPARE(r.count("SELECT count(*) FROM convencao WHERE SIGLA = 'Particular'"), 1);
    QVERIFY(r.count("SELECT count(*) FROM convencao WHERE ACTIVO = 0") >= 1);
    QCOMPARE(r.count("SELECT count(*) FROM frase"), 20);
    QCOMPARE(r.count("SELECT count(*) FROM eco_conclusoes WHERE Descricao LIKE '{\\rtf1%'"), 6);

    // The summaries join patients to health systems through BENIF as text.
    QCOMPARE(r.count("SELECT count(*) FROM bddid WHERE BENIF IS NULL OR typeof(BENIF) <> 'text' "
                     "OR cast(BENIF AS integer) NOT IN (SELECT CODIGO FROM convencao)"),
             0);
    QCOMPARE(r.count("SELECT count(*) FROM bddid WHERE NOME <> upper(NOME) OR length(NOME) > 50 "
                     "OR DNASC NOT GLOB '[12][0-9][0-9][0-9]-[01][0-9]-[0-3][0-9]' "
                     "OR D1CONS < DNASC OR SEXO NOT IN ('M', 'F')"),
             0);
    // Every registration column is filled in some rows.
    for (const ColumnDef &c : Schema::table("bddid")->columns)
        QVERIFY2(r.count(QStringLiteral("SELECT count(%1) FROM bddid").arg(c.name)) > 0,
                 qPrintable(c.name));
}

void tst_DbCommand::demoExamsAreConsistent()
{
    const QString dir = path("data");
    QCOMPARE(db({ "demo", dir, "--patients", "60", "--exams", "400", "--seed", "11" }), 0);
    Reader r(dir);

    // Exactly one score row per exam, under the same keys and storage types.
    QCOMPARE(r.count("SELECT count(*) FROM imagem"), 400);
    QCOMPARE(r.count("SELECT count(*) FROM eco WHERE (SELECT count(*) FROM imagem WHERE "
                     "CodpacienteI = CodigoPaciente AND DodExamei = CodigoExame) <> 1"),
             0);
    QCOMPARE(r.count("SELECT count(*) FROM imagem WHERE typeof(CodpacienteI) <> 'real' OR "
                     "CodpacienteI NOT IN (SELECT NF FROM bddid)"),
             0);
    QVERIFY(r.count("SELECT count(*) FROM imagem WHERE C1 + C2 + C3 + C4 + C5 + C6 + C7 + C8 + C9 "
                    "+ C10 + C11 + C12 + C13 + C14 + C15 + C16 > 16")
            > 0);

    // Keys to the millisecond, dated in the five years before today (2024-06-15).
    QCOMPARE(
        r.count(
            "SELECT count(*) FROM eco WHERE CodigoExame NOT GLOB "
            "'20[0-9][0-9]-[01][0-9]-[0-3][0-9] [012][0-9]:[0-5][0-9]:[0-5][0-9].[0-9][0-9][0-9]' "
            "OR DataExame <> substr(CodigoExame, 1, 10) "
            "OR DataExame < '2019-06-15' OR DataExame >= '2024-06-15'"),
        0);
    QCOMPARE(r.count("SELECT count(*) FROM eco WHERE Executor IS NULL AND tecnico IS NULL"), 0);
    QCOMPARE(r.count("SELECT count(*) FROM eco WHERE Executor NOT IN (SELECT CODIGO FROM medico) "
                     "OR tecnico NOT IN (SELECT CODIGO FROM medico)"),
             0);
    QVERIFY(r.count("SELECT count(*) FROM eco WHERE tecnico IS NULL") > 0);
    QCOMPARE(r.count("SELECT count(*) FROM eco WHERE Qte NOT IN ('Boa', 'Regular', 'Má')"), 0);
    QCOMPARE(r.count("SELECT count(DISTINCT ModoD) FROM eco"), 4);
    QCOMPARE(r.count("SELECT count(*) FROM eco WHERE Ved <> round(Ved, 1) OR Ved < Ves"), 0);
    QVERIFY(r.count("SELECT count(*) FROM eco WHERE Econ IS NULL") > 0);
    QVERIFY(r.count("SELECT count(*) FROM eco WHERE Dcc IS NOT NULL") > 200);
    QVERIFY(r.count("SELECT count(*) FROM eco WHERE OrdSeg1 IS NULL") > 0);
    QVERIFY(r.count("SELECT count(*) FROM eco WHERE OrdSeg1 IS NOT NULL") > 0);

    // The rich texts are 7-bit RTF with accents escaped in code page 1252.
    QSqlQuery texts = r.query("SELECT Eco1 FROM eco UNION SELECT Vc1 FROM eco WHERE Vc1 NOT NULL "
                              "UNION SELECT OrdSeg1 FROM eco WHERE OrdSeg1 NOT NULL");
    bool escaped = false, bold = false;
    while (texts.next()) {
        const QByteArray rtf = texts.value(0).toString().toUtf8();
        QVERIFY(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1252\\deff0"));
        QVERIFY(rtf.trimmed().endsWith('}'));
        for (const char ch : rtf)
            QVERIFY2(uchar(ch) < 0x80, rtf.constData());
        escaped = escaped || rtf.contains("\\'");
        bold = bold || rtf.contains("\\b ");
    }
    QVERIFY(escaped);
    QVERIFY(bold);

    // Age in whole years on the exam day.
    QSqlQuery ages = r.query("SELECT DNASC, DataExame, eco.Idade FROM eco JOIN bddid ON NF = "
                             "CodigoPaciente");
    while (ages.next()) {
        const QDate birth = QDate::fromString(ages.value(0).toString(), Qt::ISODate);
        const QDate day = QDate::fromString(ages.value(1).toString(), Qt::ISODate);
        const bool beforeBirthday = day.month() < birth.month()
            || (day.month() == birth.month() && day.day() < birth.day());
        const int age = day.year() - birth.year() - (beforeBirthday ? 1 : 0);
        QCOMPARE(ages.value(2).toInt(), age);
    }
}

void tst_DbCommand::outputHoldsNoPatientData()
{
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    const QString dir = path("data");
    QCOMPARE(DbCommand(outStream, errStream)
                 .run({ "demo", dir, "--patients", "2500", "--exams", "7500" }),
             0);
    outStream.flush();
    errStream.flush();

    QCOMPARE(out, QStringLiteral("2500 pacientes e 7500 exames escritos em %1\n").arg(dir));
    QCOMPARE(err,
             QStringLiteral("A gerar os dados de demonstração: 25%\n"
                            "A gerar os dados de demonstração: 50%\n"
                            "A gerar os dados de demonstração: 75%\n"
                            "A gerar os dados de demonstração: 100%\n"));
}

void tst_DbCommand::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");

    QTest::newRow("nothing") << QStringList {};
    QTest::newRow("unknown sub-command") << QStringList { "drop", "DIR" };
    QTest::newRow("no directory") << QStringList { "init" };
    QTest::newRow("demo without directory") << QStringList { "demo", "--patients", "5" };
    QTest::newRow("two directories") << QStringList { "init", "DIR", "other" };
    QTest::newRow("option of init") << QStringList { "init", "DIR", "--seed", "1" };
    QTest::newRow("unknown option") << QStringList { "demo", "DIR", "--doctors", "5" };
    QTest::newRow("not a number") << QStringList { "demo", "DIR", "--patients", "many" };
    QTest::newRow("negative") << QStringList { "demo", "DIR", "--exams", "-1" };
    QTest::newRow("fraction") << QStringList { "demo", "DIR", "--patients", "2.5" };
    QTest::newRow("too many") << QStringList { "demo", "DIR", "--patients", "99999999999" };
    QTest::newRow("bad seed") << QStringList { "demo", "DIR", "--seed", "x1" };
    QTest::newRow("empty value") << QStringList { "demo", "DIR", "--exams=" };
    QTest::newRow("missing value") << QStringList { "demo", "DIR", "--exams" };
    QTest::newRow("exams without patients")
        << QStringList { "demo", "DIR", "--patients", "0", "--exams", "3" };
}

void tst_DbCommand::usageErrors()
{
    QFETCH(QStringList, args);
    args.replaceInStrings(QStringLiteral("DIR"), path("data"));

    QCOMPARE(db(args), 2);
    QVERIFY(!QFileInfo::exists(path("data")));
}

void tst_DbCommand::failedDemoLeavesNothingBehind()
{
    // A clock without a date makes the generation fail after the file and tables exist.
    m_env->clock().setNow(QDateTime());
    QCOMPARE(db({ "demo", path("new") }), 1);
    QVERIFY(!QFileInfo::exists(path("new")));

    QVERIFY(QDir().mkdir(path("kept")));
    QCOMPARE(db({ "demo", path("kept") }), 1);
    QVERIFY(QFileInfo(path("kept")).isDir());
    QVERIFY(QDir(path("kept"))
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                .isEmpty());

    // The same directory then takes a database normally.
    m_env->clock().setNow(TestEnvironment::defaultNow());
    QCOMPARE(db({ "init", path("kept") }), 0);
}

namespace {
// Every row of every table, values as the engine reads them, in key order.
QStringList rowsOf(Connection &db)
{
    QStringList rows;
    for (const TableDef &t : Schema::tables()) {
        QStringList columns;
        for (const ColumnDef &c : t.columns)
            columns.append(c.name);
        SqlStatement st(db, QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                                .arg(columns.join(QLatin1String(", ")), t.name,
                                     columns.mid(0, 2).join(QLatin1String(", "))));
        while (st.step()) {
            QStringList values;
            for (int c = 0; c < st.columnCount(); ++c)
                values.append(st.isNull(c) ? QStringLiteral("null") : st.value(c).toString());
            rows.append(t.name + QLatin1Char(':') + values.join(QLatin1Char('|')));
        }
    }
    return rows;
}
} // namespace

void tst_DbCommand::demoOnServerEqualsTheDirectory()
{
    if (PgTestDatabase::serverUri().isEmpty())
        QSKIP("TALUVO_TEST_PG is not set");
    PgTestDatabase pg;
    // A password in the location is never shown.
    const QString uri = pg.uri() + QStringLiteral("&password=segredo");
    const QStringList options = { "--patients", "30", "--exams", "90", "--seed", "3" };
    QCOMPARE(db(QStringList { "demo", path("a") } + options), 0);
    QString output;
    QString errors;
    const auto run = [&](const QStringList &args) {
        output.clear();
        errors.clear();
        QTextStream out(&output);
        QTextStream err(&errors);
        bool handled = false;
        const int code = runCommandLine(QStringList { "db" } + args, &handled, out, err);
        out.flush();
        err.flush();
        return code;
    };
    QCOMPARE(run(QStringList { "demo", uri } + options), 0);
    QVERIFY(!output.contains("segredo"));
    QVERIFY2(output.contains(pg.uri()), qPrintable(output));
    // A second creation is refused and changes nothing.
    QCOMPARE(run({ "init", uri }), 1);
    QVERIFY2(errors.contains("já tem uma base de dados"), qPrintable(errors));
    QVERIFY(!errors.contains("segredo"));

    SqliteConnection local(SqliteStore::handle(
        SqliteStore::open(path("a"), QStringLiteral("tst_DbCommand_a"), false)));
    PgConnection server(pg.uri());
    const QStringList expected = rowsOf(local);
    QCOMPARE(expected.size(), 8 + 12 + 20 + 6 + 30 + 90 + 90);
    QCOMPARE(rowsOf(server), expected);
    local.close(false);
    SqliteStore::close(QStringLiteral("tst_DbCommand_a"));
}

QTEST_GUILESS_MAIN(tst_DbCommand)
#include "tst_DbCommand.moc"

void tst_DbCommand::initReplacesOnlyAnEmptyFile()
{
    const QString dir = path("data");
    QVERIFY(QDir().mkpath(dir));
    QFile(SqliteStore::filePath(dir)).open(QIODevice::WriteOnly);
    QCOMPARE(db({ "demo", dir }), 1);
    QCOMPARE(QFileInfo(SqliteStore::filePath(dir)).size(), 0);
    QCOMPARE(db({ "init", dir }), 0);
    QCOMPARE(Reader(dir).count("SELECT count(*) FROM eco"), 0);
}

void tst_DbCommand::checkNamesEachFinding_data()
{
    QTest::addColumn<QString>("breakage");
    QTest::addColumn<QString>("line");

    QTest::newRow("nothing wrong") << "" << "Nada encontrado.";
    QTest::newRow("score row without its exam")
        << "DELETE FROM eco"
        << "Linhas de pontuação sem o seu exame: 1 (primeiros: 7 2024-06-14 09:00:00.000)";
    QTest::newRow("exam of an unknown patient")
        << "DELETE FROM bddid"
        << "Exames de um paciente que não existe: 1 (primeiros: 7 2024-06-14 09:00:00.000)";
    QTest::newRow("exam without score row")
        << "DELETE FROM imagem"
        << "Exames sem linha de pontuação: 1 (primeiros: 7 2024-06-14 09:00:00.000); as janelas "
           "criam-na com todas as pontuações a 1 quando o exame é editado";
    QTest::newRow("exam with two score rows")
        << "INSERT INTO imagem (CodpacienteI, DodExamei) SELECT CodpacienteI, DodExamei FROM "
           "imagem"
        << "Exames com várias linhas de pontuação: 1 (primeiros: 7 2024-06-14 "
           "09:00:00.000); as janelas mostram e alteram só a primeira";
    QTest::newRow("exam key out of format")
        << "UPDATE eco SET CodigoExame = '2024-06-14 09:00'; UPDATE imagem SET DodExamei = "
           "'2024-06-14 09:00'"
        << "Exames com chave ou datas fora do formato: 1 (primeiros: 7.0 '2024-06-14 09:00')";
    QTest::newRow("birth date out of format")
        << "UPDATE bddid SET DNASC = '14/06/1950'"
        << "Pacientes com datas fora do formato: 1 (primeiros: 7)";
    // Not SQL: the exam table's first page overwritten.
    QTest::newRow("damaged file") << "damage"
                                  << "Problemas na estrutura do ficheiro (integrity_check): 1 "
                                     "(primeiros: o SQLite não consegue ler o ficheiro)";
}

void tst_DbCommand::checkNamesEachFinding()
{
    QFETCH(QString, breakage);
    QFETCH(QString, line);
    // On a server the same rows and findings, read through its own SQL.
    std::unique_ptr<PgTestDatabase> pg;
    if (PgTestDatabase::wanted()) {
        if (breakage == QLatin1String("damage"))
            QSKIP("the server keeps its own pages");
        pg = std::make_unique<PgTestDatabase>();
        line.replace(QLatin1String("7.0 '"), QLatin1String("'7' '"));
    }
    const QString dir = pg ? pg->uri() : path("data");
    QCOMPARE(db({ "init", dir }), 0);
    const QString file = SqliteStore::filePath(dir);
    const QStringList rows
        = { "INSERT INTO bddid (NF, DNASC, BENIF) VALUES (7, '1950-06-14', '1')",
            "INSERT INTO eco (CodigoPaciente, CodigoExame) VALUES (7, '2024-06-14 09:00:00.000')",
            "INSERT INTO imagem (CodpacienteI, DodExamei) SELECT 7, CodigoExame FROM eco" };
    if (pg) {
        PgConnection server(dir);
        for (const QString &sql : rows + breakage.split(u';', Qt::SkipEmptyParts))
            server.exec(sql);
    } else {
        Reader r(dir);
        for (const QString &sql : rows + breakage.split(u';', Qt::SkipEmptyParts))
            r.query(sql);
    }
    if (breakage == QLatin1String("damage")) {
        const int page = Reader(dir).count("SELECT rootpage FROM sqlite_master "
                                           "WHERE name = 'eco'");
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite) && f.seek(qint64(page - 1) * 4096));
        f.write(QByteArray(4096, '\x5a'));
    }
    const QByteArray before = contents(file);
    QString output;
    QTextStream out(&output);
    QTextStream err(stderr);
    bool handled = false;
    QCOMPARE(runCommandLine({ "db", "check", dir }, &handled, out, err),
             breakage.isEmpty() ? 0 : 1);
    const QString shown = line.endsWith(u'.') ? line : QStringLiteral("  ") + line;
    QVERIFY2(output.split(u'\n').contains(shown), qPrintable(output));
    if (pg)
        return;
    QCOMPARE(contents(file), before);
    QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList { "taluvo.sqlite" });
}
