#include "cli/CommandLine.h"
#include "cli/CopyCommand.h"
#include "platform/engine/SqliteStore.h"
#include "support/PgTestDatabase.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <memory>
#include <sqlite3.h>
#include <sys/stat.h>

class tst_CopyCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    void copyIntoNewFolder();
    void differenceRemovesTheNewDatabase();
    void roundTripThroughServer();

private:
    int copy(const QString &target, const DatabaseCopy::BeforeComparison &hook = {});
    int copy(const QString &source, const QString &target);
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

int tst_CopyCommand::copy(const QString &target, const DatabaseCopy::BeforeComparison &hook)
{
    m_out.clear();
    m_err.clear();
    QTextStream out(&m_out), err(&m_err);
    CopyCommand command(out, err);
    command.setBeforeComparison(hook);
    return command.run({ path("source"), target });
}

int tst_CopyCommand::copy(const QString &source, const QString &target)
{
    m_out.clear();
    m_err.clear();
    QTextStream out(&m_out), err(&m_err);
    CopyCommand command(out, err);
    return command.run({ source, target });
}

void tst_CopyCommand::copyIntoNewFolder()
{
    const QString target = path("new/data");
    QCOMPARE(copy(target), 0);

    struct stat dir = {}, file = {};
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &dir), 0);
    QCOMPARE(::stat(QFile::encodeName(SqliteStore::filePath(target)).constData(), &file), 0);
    QCOMPARE(dir.st_mode & 0777, 0700u);
    QCOMPARE(file.st_mode & 0777, 0600u);
    const QStringList lines = m_out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 9);
    QCOMPARE(lines.first(),
             QStringLiteral("Tabela              Origem   Destino  SHA-256 origem    "
                            "SHA-256 destino"));
    QVERIFY2(lines.at(1).startsWith(QStringLiteral("bddid                   20        20  ")),
             qPrintable(lines.at(1)));
    QCOMPARE(m_out.count(QStringLiteral("  igual\n")), 7);
    QCOMPARE(lines.last(),
             QStringLiteral("Cópia verificada: 186 registos escritos em %1.").arg(target));
    QVERIFY(m_err.startsWith(QStringLiteral("A copiar bddid (20 registos)\n  bddid: 20 de 20\n")));
}

void tst_CopyCommand::differenceRemovesTheNewDatabase()
{
    QCOMPARE(copy(path("differs"),
                  [](sqlite3 *db) {
                      SqliteStore::exec(db, QStringLiteral("DELETE FROM imagem WHERE rowid = 3"));
                  }),
             1);

    QVERIFY2(m_out.contains(QRegularExpression(QStringLiteral("\nimagem +60 +59 .*DIFERENTE\n"))),
             qPrintable(m_out));
    QCOMPARE(m_out.count(QStringLiteral("  igual\n")), 6);
    QVERIFY2(
        m_err.endsWith(QStringLiteral("\ntaluvo db copy: a cópia não é igual à origem; nada foi "
                                      "escrito em '%1'\n")
                           .arg(path("differs"))),
        qPrintable(m_err));
    QVERIFY(!QFileInfo::exists(path("differs")));
}

namespace {
// Runs sql on the SQLite database in dir and gives the first column of its rows, joined by '|'.
QString onFile(const QString &dir, const QString &sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(SqliteStore::filePath(dir)).constData(), &db);
    QStringList rows;
    sqlite3_exec(
        db, sql.toUtf8().constData(),
        [](void *out, int, char **values, char **) {
            static_cast<QStringList *>(out)->append(QString::fromUtf8(values[0] ? values[0] : "-"));
            return 0;
        },
        &rows, nullptr);
    sqlite3_close(db);
    return rows.join(QLatin1Char('|'));
}
} // namespace

// Folder to server and back: every table equal at each step, and the same checksums throughout;
// another program's columns keep their values and kinds, and a counter stays past a deleted row.
void tst_CopyCommand::roundTripThroughServer()
{
    if (PgTestDatabase::serverUri().isEmpty())
        QSKIP("TALUVO_TEST_PG is not set");
    const PgTestDatabase server;
    QVERIFY(QDir().mkpath(path("extended")));
    QVERIFY(QFile::copy(SqliteStore::filePath(path("source")),
                        SqliteStore::filePath(path("extended"))));
    onFile(path("extended"),
           QStringLiteral("ALTER TABLE bddid ADD COLUMN Outro TEXT;"
                          "ALTER TABLE bddid ADD COLUMN Nivel INTEGER;"
                          "ALTER TABLE eco ADD COLUMN PesoOutro REAL;"
                          "ALTER TABLE eco ADD COLUMN Foto BLOB;"
                          "UPDATE bddid SET Outro = 'x' || NF, Nivel = NF WHERE NF = 3;"
                          "UPDATE eco SET PesoOutro = 70.5, Foto = x'00ff' WHERE rowid = 1;"
                          "DELETE FROM medico WHERE rowid = (SELECT max(rowid) FROM medico)"));
    const QString counter = onFile(path("extended"),
                                   QStringLiteral("SELECT seq FROM sqlite_sequence "
                                                  "WHERE name = 'medico'"));
    const auto sums = [this] {
        QStringList lines = m_out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(1, 7);
        for (QString &line : lines)
            line = line.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty) + QLatin1Char(' ')
                + line.section(QLatin1Char(' '), 3, 3, QString::SectionSkipEmpty);
        return lines;
    };

    QCOMPARE(copy(path("extended"), server.uri()), 0);
    QCOMPARE(m_out.count(QStringLiteral("  igual\n")), 7);
    const QStringList there = sums();
    QCOMPARE(there.size(), 7);

    QCOMPARE(copy(server.uri(), path("back")), 0);
    QCOMPARE(m_out.count(QStringLiteral("  igual\n")), 7);
    QCOMPARE(sums(), there);
    QCOMPARE(onFile(path("back"),
                    QStringLiteral("SELECT outro || typeof(nivel) FROM bddid WHERE NF = 3;"
                                   "SELECT typeof(pesooutro) || hex(foto) FROM eco WHERE rowid = 1;"
                                   "SELECT seq FROM sqlite_sequence WHERE name = 'medico'")),
             QStringLiteral("x3integer|real00FF|") + counter);

    // A server already holding the tables is refused.
    QCOMPARE(copy(path("back"), server.uri()), 1);
    QVERIFY2(m_err.contains(QStringLiteral("o destino já tem as tabelas")), qPrintable(m_err));
}

QTEST_GUILESS_MAIN(tst_CopyCommand)
#include "tst_CopyCommand.moc"
