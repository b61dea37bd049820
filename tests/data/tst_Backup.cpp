#include "app/Startup.h"
#include "cli/CommandLine.h"
#include "data/Backup.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/SqliteStore.h"
#include "platform/widgets/Clock.h"
#include "platform/widgets/DialogRecorder.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

#include <sqlite3.h>

namespace {

int run(const QStringList &args)
{
    QString out, err;
    QTextStream o(&out), e(&err);
    bool handled = false;
    return runCommandLine(args, &handled, o, e);
}

QByteArray digest(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

bool exec(const QString &file, const QByteArray &sql)
{
    sqlite3 *db = nullptr;
    const bool ok = sqlite3_open(QFile::encodeName(file).constData(), &db) == SQLITE_OK
        && sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

qint64 count(const QString &file, const char *sql)
{
    sqlite3 *db = nullptr;
    sqlite3_stmt *st = nullptr;
    sqlite3_open(QFile::encodeName(file).constData(), &db);
    qint64 n = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

QList<QDate> dates(const QList<Backup::Copy> &copies)
{
    QList<QDate> d;
    for (const Backup::Copy &c : copies)
        d.append(c.date);
    return d;
}

} // namespace

class tst_Backup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void dailyClosesLeaveWhatTheRuleKeeps_data();
    void dailyClosesLeaveWhatTheRuleKeeps();
    void backupWhileAnotherConnectionPosts();
    void damagedCopyIsRefusedAndNothingChanges_data();
    void damagedCopyIsRefusedAndNothingChanges();
    void failingFolderIsOneMessage();

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_data;
    QByteArray m_savedConfig;
};

void tst_Backup::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_tmp = std::make_unique<QTemporaryDir>();
    m_savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_tmp->filePath(QStringLiteral("config"))));
    m_data = m_tmp->filePath(QStringLiteral("dados"));
    QCOMPARE(run({ "db", "demo", m_data, "--patients", "20", "--exams", "40" }), 0);
}

void tst_Backup::cleanup()
{
    qputenv("XDG_CONFIG_HOME", m_savedConfig);
    m_tmp.reset();
    m_env.reset();
}

void tst_Backup::dailyClosesLeaveWhatTheRuleKeeps_data()
{
    QTest::addColumn<int>("days");
    QTest::addColumn<QStringList>("kept");
    // Closes every day from Monday 2024-01-01.
    QTest::newRow("a week") << 7
                            << QStringList { "2024-01-07", "2024-01-06", "2024-01-05",
                                             "2024-01-04", "2024-01-03", "2024-01-02",
                                             "2024-01-01" };
    // Seven days, the last day of four weeks (Sundays, and today), the month's last day.
    QTest::newRow("a month") << 31
                             << QStringList { "2024-01-31", "2024-01-30", "2024-01-29",
                                              "2024-01-28", "2024-01-27", "2024-01-26",
                                              "2024-01-25", "2024-01-21", "2024-01-14" };
    QTest::newRow("a year") << 366
                            << QStringList { "2024-12-31", "2024-12-30", "2024-12-29",
                                             "2024-12-28", "2024-12-27", "2024-12-26",
                                             "2024-12-25", "2024-12-22", "2024-12-15",
                                             "2024-11-30", "2024-10-31", "2024-09-30",
                                             "2024-08-31", "2024-07-31", "2024-06-30",
                                             "2024-05-31", "2024-04-30", "2024-03-31",
                                             "2024-02-29", "2024-01-31" };
}

void tst_Backup::dailyClosesLeaveWhatTheRuleKeeps()
{
    QFETCH(int, days);
    QFETCH(QStringList, kept);
    const QDate first(2024, 1, 1);
    for (int d = 0; d < days; ++d) {
        // Two closes a day: only the first makes a copy.
        for (int hour : { 9, 19 }) {
            m_env->clock().setNow(QDateTime(first.addDays(d), QTime(hour, 0)));
            Startup::backupAtClose(m_data);
        }
    }
    QCOMPARE(m_env->recorder().entries().size(), 0);
    QStringList names;
    for (const QDate &d : dates(Backup::list(QDir(m_data).filePath(QStringLiteral("backups")))))
        names.append(d.toString(QStringLiteral("yyyy-MM-dd")));
    QCOMPARE(names, kept);
}

void tst_Backup::backupWhileAnotherConnectionPosts()
{
    const QString file = SqliteStore::filePath(m_data);
    const qint64 base = count(file, "SELECT count(*) FROM eco");
    std::atomic<int> committed { 0 };
    std::thread writer([&] {
        sqlite3 *db = nullptr;
        sqlite3_open(QFile::encodeName(file).constData(), &db);
        sqlite3_busy_timeout(db, 10000);
        for (int i = 0; i < 1000; ++i) {
            // An exam and its score row, as the program posts them: one transaction.
            const QByteArray key = QStringLiteral("2030-01-01 00:%1:%2.000")
                                       .arg(i / 60, 2, 10, QLatin1Char('0'))
                                       .arg(i % 60, 2, 10, QLatin1Char('0'))
                                       .toLatin1();
            const QByteArray sql = "BEGIN IMMEDIATE;"
                                   "INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame) "
                                   "VALUES (1, '" + key + "', '2030-01-01');"
                                   "INSERT INTO imagem (CodpacienteI, DodExamei, C1) VALUES (1, '"
                + key + "', 1);COMMIT;";
            if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
                break;
            committed = i + 1;
        }
        sqlite3_close(db);
    });
    while (committed < 100)
        std::this_thread::yield();
    const int before = committed;
    const QString copy = m_tmp->filePath(QStringLiteral("copia.sqlite"));
    Backup::make(m_data, copy);
    writer.join();
    QCOMPARE(committed.load(), 1000);

    const QString restored = m_tmp->filePath(QStringLiteral("restaurada"));
    QCOMPARE(run({ "db", "restore", copy, restored }), 0);
    QCOMPARE(run({ "db", "check", restored }), 0);
    const qint64 exams = count(SqliteStore::filePath(restored), "SELECT count(*) FROM eco");
    QVERIFY2(exams >= base + before && exams <= base + 1000, qPrintable(QString::number(exams)));
    QCOMPARE(QFile::permissions(copy) & 0x0077, QFileDevice::Permissions());
}

void tst_Backup::damagedCopyIsRefusedAndNothingChanges_data()
{
    QTest::addColumn<QByteArray>("damage");
    QTest::addColumn<QString>("reason");
    QTest::newRow("pages overwritten") << QByteArray("pages") << "está danificado";
    QTest::newRow("cut short") << QByteArray("truncate") << "está danificado";
    QTest::newRow("not a database") << QByteArray("text") << "não é uma base de dados SQLite";
    QTest::newRow("newer program") << QByteArray("PRAGMA user_version = 99")
                                   << "versão mais recente do programa";
    QTest::newRow("another program") << QByteArray("DROP TABLE frase")
                                     << "não é uma base de dados do programa: falta a tabela frase";
    QTest::newRow("dates out of format")
        << QByteArray("UPDATE eco SET DataExame = '01/02/2024'") << "fora do formato";
}

void tst_Backup::damagedCopyIsRefusedAndNothingChanges()
{
    QFETCH(QByteArray, damage);
    QFETCH(QString, reason);
    const QString copy = m_tmp->filePath(QStringLiteral("copia.sqlite"));
    QCOMPARE(run({ "db", "backup", "--data", m_data, "--to", copy }), 0);
    QFile f(copy);
    if (damage == "pages" || damage == "truncate" || damage == "text") {
        QVERIFY(f.open(QIODevice::ReadWrite));
        if (damage == "pages") {
            f.seek(4096 * 2);
            f.write(QByteArray(4096 * 3, '\xA5'));
        } else if (damage == "truncate") {
            f.resize(f.size() / 2);
        } else {
            f.resize(0);
            f.write("NF;NOME\n1;ANA\n");
        }
        f.close();
    } else {
        QVERIFY(exec(copy, damage));
    }

    const QByteArray current = digest(SqliteStore::filePath(m_data));
    QString out, err;
    QTextStream o(&out), e(&err);
    bool handled = false;
    QCOMPARE(runCommandLine({ "db", "restore", copy, m_data, "--replace" }, &handled, o, e), 1);
    e.flush();
    QVERIFY2(err.contains(QStringLiteral("recusado, nada foi alterado")) && err.contains(reason),
             qPrintable(err));
    QCOMPARE(digest(SqliteStore::filePath(m_data)), current);
    QVERIFY(!QFile::exists(SqliteStore::filePath(m_data) + QStringLiteral(".before-restore")));
}

void tst_Backup::failingFolderIsOneMessage()
{
    // A folder that cannot be made (a file stands where it should be); the close still ends.
    QDir().mkpath(m_tmp->filePath(QStringLiteral("config/taluvo")));
    QFile ini(m_tmp->filePath(QStringLiteral("config/taluvo/engine.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    const QString blocked = m_tmp->filePath(QStringLiteral("ficheiro/copias"));
    ini.write("[Backup]\nDir=" + QFile::encodeName(blocked) + "\nKeep=2,1,1\n");
    ini.close();
    QFile(m_tmp->filePath(QStringLiteral("ficheiro"))).open(QIODevice::WriteOnly);

    Startup::backupAtClose(m_data);
    const auto entries = m_env->recorder().entries();
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries[0].text,
             QStringLiteral("Não foi possível fazer a cópia de segurança diária na pasta \"%1\": "
                            "não foi possível criar a pasta '%1'")
                 .arg(blocked));
    QCOMPARE(Backup::Settings::load(m_data).keep.daily, 2);
}

QTEST_MAIN(tst_Backup)
#include "tst_Backup.moc"
