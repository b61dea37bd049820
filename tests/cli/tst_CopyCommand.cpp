#include "cli/CommandLine.h"
#include "cli/CopyCommand.h"
#include "platform/engine/SqliteStore.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <memory>
#include <sys/stat.h>

namespace {

int mode(const QString &path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class tst_CopyCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void copyIntoNewFolder();
    void differenceRemovesTheNewDatabase();
    void refusals_data();
    void refusals();

private:
    int copy(const QStringList &args, const DatabaseCopy::BeforeComparison &hook = {});
    [[nodiscard]] QString path(const QString &name) const { return m_tmp->filePath(name); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_out;
    QString m_err;
};

void tst_CopyCommand::initTestCase()
{
    m_env = std::make_unique<TestEnvironment>();
    m_tmp = std::make_unique<QTemporaryDir>();
    bool handled = false;
    QCOMPARE(runCommandLine({ "db", "demo", path("source"), "--patients", "20", "--exams", "60" },
                            &handled),
             0);
}

void tst_CopyCommand::cleanupTestCase()
{
    m_tmp.reset();
    m_env.reset();
}

int tst_CopyCommand::copy(const QStringList &args, const DatabaseCopy::BeforeComparison &hook)
{
    m_out.clear();
    m_err.clear();
    QTextStream out(&m_out);
    QTextStream err(&m_err);
    CopyCommand command(out, err);
    command.setBeforeComparison(hook);
    const int code = command.run(args);
    out.flush();
    err.flush();
    return code;
}

void tst_CopyCommand::copyIntoNewFolder()
{
    const QString target = path("new/data");
    QCOMPARE(copy({ path("source"), target }), 0);

    QCOMPARE(mode(target), 0700);
    QCOMPARE(mode(SqliteStore::filePath(target)), 0600);
    const QStringList lines = m_out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 9);
    QCOMPARE(lines.first(), QStringLiteral("Tabela              Origem   Destino  SHA-256 origem    "
                                           "SHA-256 destino"));
    QVERIFY2(lines.at(1).startsWith(QStringLiteral("bddid                   20        20  ")),
             qPrintable(lines.at(1)));
    QCOMPARE(m_out.count(QStringLiteral("  igual\n")), 7);
    QCOMPARE(lines.last(), QStringLiteral("Cópia verificada: %1 registos escritos em %2.")
                               .arg(20 + 60 + 60 + 20 + 6 + 8 + 12)
                               .arg(target));
    QVERIFY(m_err.startsWith(QStringLiteral("A copiar bddid (20 registos)\n  bddid: 20 de 20\n")));
}

void tst_CopyCommand::differenceRemovesTheNewDatabase()
{
    const auto changeBehindTheCopy = [](sqlite3 *db) {
        SqliteStore::exec(db, QStringLiteral("DELETE FROM imagem WHERE rowid = 3"));
    };
    QCOMPARE(copy({ path("source"), path("differs") }, changeBehindTheCopy), 1);

    QVERIFY2(m_out.contains(QRegularExpression(QStringLiteral("\nimagem +60 +59 .*DIFERENTE\n"))),
             qPrintable(m_out));
    QCOMPARE(m_out.count(QStringLiteral("  igual\n")), 6);
    QCOMPARE(m_err.split(QLatin1Char('\n')).at(m_err.count(QLatin1Char('\n')) - 1),
             QStringLiteral("taluvo db copy: a cópia não é igual à origem; nada foi escrito em '%1'")
                 .arg(path("differs")));
    QVERIFY(!QFileInfo::exists(path("differs")));
}

void tst_CopyCommand::refusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");

    QTest::newRow("target made by db init")
        << QStringList { "SOURCE", "INIT" } << 1
        << "taluvo db copy: o destino já tem as tabelas bddid, eco, imagem, frase, eco_conclusoes, "
           "medico, convencao; a cópia só escreve numa base de dados sem nenhuma das sete tabelas, "
           "e nada foi alterado\n";
    QTest::newRow("source without a database")
        << QStringList { "EMPTY", "TARGET" } << 1
        << "taluvo db copy: não há base de dados em 'EMPTY'\n";
    QTest::newRow("server location")
        << QStringList { "SOURCE", "postgresql://servidor/taluvo" } << 1
        << "taluvo db copy: esta versão só copia entre pastas (SQLite)\n";
    QTest::newRow("no target") << QStringList { "SOURCE" } << 2
                               << "taluvo db copy: falta o destino.\n";
    QTest::newRow("unknown option") << QStringList { "SOURCE", "TARGET", "--force" } << 2
                                    << "taluvo db copy: opção desconhecida '--force'.\n";
}

void tst_CopyCommand::refusals()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, message);

    bool handled = false;
    if (!QFileInfo::exists(path("init")))
        QCOMPARE(runCommandLine({ "db", "init", path("init") }, &handled), 0);
    QDir().mkpath(path("empty"));
    const QByteArray before = contents(SqliteStore::filePath(path("init")));
    for (const char *name : { "SOURCE", "INIT", "EMPTY", "TARGET" }) {
        args.replaceInStrings(QLatin1String(name), path(QString::fromLatin1(name).toLower()));
        message.replace(QLatin1String(name), path(QString::fromLatin1(name).toLower()));
    }

    QCOMPARE(copy(args), code);
    QVERIFY2(m_err.startsWith(message), qPrintable(m_err));
    QCOMPARE(contents(SqliteStore::filePath(path("init"))), before);
    QVERIFY(!QFileInfo::exists(path("target")));
}

QTEST_GUILESS_MAIN(tst_CopyCommand)
#include "tst_CopyCommand.moc"
