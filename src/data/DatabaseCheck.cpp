#include "data/DatabaseCheck.h"

#include "platform/engine/DatabaseError.h"
#include "platform/engine/LocalSql.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/SqliteStore.h"
#include "platform/engine/StorageFault.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace {
// GLOB patterns of the storage format: YYYY-MM-DD and YYYY-MM-DD HH:MM:SS.zzz.
const QString kDate = QStringLiteral("[0-9][0-9][0-9][0-9]-[01][0-9]-[0-3][0-9]");
const QString kTimestamp
    = kDate + QStringLiteral(" [0-2][0-9]:[0-5][0-9]:[0-5][0-9].[0-9][0-9][0-9]");

QString notDate(const QString &column)
{
    return QStringLiteral("(%1 IS NOT NULL AND (typeof(%1) <> 'text' OR %1 NOT GLOB '%2'))")
        .arg(column, kDate);
}

QString notTimestamp(const QString &column)
{
    return QStringLiteral("(typeof(%1) <> 'text' OR %1 NOT GLOB '%2')").arg(column, kTimestamp);
}

QString notNumber(const QString &column)
{
    return QStringLiteral("typeof(%1) NOT IN ('integer', 'real')").arg(column);
}

// Counts the rows of sql (whose first column is a key text) and keeps the first keys.
// Statements in the store's own SQL are run as they are (native).
void count(Connection &db, const QString &sql, DatabaseCheck::Finding &f,
           int keyLimit = DatabaseCheck::FirstKeys, bool native = false)
{
    // On a server through the local SQL's dialect: a patient number stored as a float prints as
    // its whole part there too.
    SqlStatement st(db,
                    db.isPostgreSql() && !native
                        ? LocalSql::translate(sql, {}, LocalSql::Dialect::PostgreSql)
                        : sql);
    while (st.step()) {
        if (keyLimit < 0 || f.firstKeys.size() < keyLimit)
            f.firstKeys.append(st.value(0).toString());
        ++f.count;
    }
}

DatabaseCheck::Finding finding(const char *what, bool damage, const char *note = nullptr,
                               const char *table = nullptr)
{
    DatabaseCheck::Finding f;
    f.what = QString::fromUtf8(what);
    if (table)
        f.table = QString::fromLatin1(table);
    f.damage = damage;
    if (note)
        f.note = QString::fromUtf8(note);
    return f;
}

// Exam key as printed: patient number and the exam's timestamp.
const QString kEcoKey = QStringLiteral("CAST(CodigoPaciente AS INTEGER) || ' ' || CodigoExame");
const QString kImgKey = QStringLiteral("CAST(CodpacienteI AS INTEGER) || ' ' || DodExamei");
} // namespace

QList<DatabaseCheck::Finding> DatabaseCheck::run(const QString &dir)
{
    return runGuarded(SqliteStore::filePath(dir), SqliteStore::probe(dir).readOnly);
}

QList<DatabaseCheck::Finding> DatabaseCheck::runFile(const QString &path)
{
    return runGuarded(path, true);
}

QList<DatabaseCheck::Finding> DatabaseCheck::runGuarded(const QString &path, bool readOnly)
{
    try {
        return runChecks(path, readOnly);
    } catch (const StorageFault &fault) {
        if (fault.kind() != StorageFault::Kind::Damaged)
            throw;
        // SQLite cannot even read its way through: that is the whole finding.
        Finding f = finding("Problemas na estrutura do ficheiro (integrity_check)", true);
        f.count = 1;
        f.firstKeys.append(QStringLiteral("o SQLite não consegue ler o ficheiro"));
        return { f };
    }
}

QList<DatabaseCheck::Finding> DatabaseCheck::runChecks(const QString &path, bool readOnly)
{
    sqlite3 *db = nullptr;
    const int flags = readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr) != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        databaseError(QStringLiteral("Cannot open the database file '%1': %2").arg(path, message));
    }
    sqlite3_busy_timeout(db, 5000);
    QList<Finding> findings;
    try {
        // Opened for writing only so that closing it removes the -wal it made; never written.
        SqliteStore::exec(db, QStringLiteral("PRAGMA query_only = 1"));

        Finding integrity = finding("Problemas na estrutura do ficheiro (integrity_check)", true);
        {
            SqlStatement st(db, QStringLiteral("PRAGMA integrity_check(100)"));
            while (st.step()) {
                const QString line = st.text(0);
                if (line == QLatin1String("ok"))
                    continue;
                if (integrity.firstKeys.size() < FirstKeys)
                    integrity.firstKeys.append(line);
                ++integrity.count;
            }
        }
        findings.append(integrity);
        // Nothing else can be trusted in a file whose pages are broken.
        if (integrity.count > 0) {
            sqlite3_close(db);
            return findings;
        }

        SqliteConnection conn(db);
        Finding f = finding("Exames com chave ou datas fora do formato", true);
        count(conn,
              QStringLiteral("SELECT quote(CodigoPaciente) || ' ' || quote(CodigoExame) FROM eco "
                             "WHERE %1 OR %2 OR %3")
                  .arg(notNumber(QStringLiteral("CodigoPaciente")),
                       notTimestamp(QStringLiteral("CodigoExame")),
                       notDate(QStringLiteral("DataExame"))),
              f);
        findings.append(f);
        f = finding("Linhas de pontuação com chave fora do formato", true);
        count(conn,
              QStringLiteral("SELECT quote(CodpacienteI) || ' ' || quote(DodExamei) FROM imagem "
                             "WHERE %1 OR %2")
                  .arg(notNumber(QStringLiteral("CodpacienteI")),
                       notTimestamp(QStringLiteral("DodExamei"))),
              f);
        findings.append(f);
        f = finding("Pacientes com datas fora do formato", true);
        count(conn,
              QStringLiteral("SELECT NF FROM bddid WHERE %1 OR %2")
                  .arg(notDate(QStringLiteral("DNASC")), notDate(QStringLiteral("D1CONS"))),
              f);
        findings.append(f);

        findings.append(recordRules(db));
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
    return findings;
}

QList<DatabaseCheck::Finding> DatabaseCheck::runServer(Connection &db)
{
    // The server keeps its pages sound itself and its number columns are typed: what other
    // software can still get wrong is the text of dates and timestamps.
    const QString date = QStringLiteral("[0-9]{4}-[01][0-9]-[0-3][0-9]");
    const QString timestamp = date + QStringLiteral(" [0-2][0-9]:[0-5][0-9]:[0-5][0-9][.][0-9]{3}");
    const auto notMatching = [](const QString &column, const QString &re, bool nullable) {
        const QString wrong = QStringLiteral("%1 !~ '^%2$'").arg(column, re);
        return nullable ? wrong : QStringLiteral("(%1 IS NULL OR %2)").arg(column, wrong);
    };
    QList<Finding> findings;
    Finding f = finding("Exames com chave ou datas fora do formato", true);
    count(db,
          QStringLiteral("SELECT quote_nullable(CodigoPaciente) || ' ' || "
                         "quote_nullable(CodigoExame) FROM eco WHERE %1 OR %2")
              .arg(notMatching(QStringLiteral("CodigoExame"), timestamp, false),
                   notMatching(QStringLiteral("DataExame"), date, true)),
          f, FirstKeys, true);
    findings.append(f);
    f = finding("Linhas de pontuação com chave fora do formato", true);
    count(db,
          QStringLiteral("SELECT quote_nullable(CodpacienteI) || ' ' || quote_nullable(DodExamei) "
                         "FROM imagem WHERE CodpacienteI IS NULL OR %1")
              .arg(notMatching(QStringLiteral("DodExamei"), timestamp, false)),
          f, FirstKeys, true);
    findings.append(f);
    f = finding("Pacientes com datas fora do formato", true);
    count(db,
          QStringLiteral("SELECT NF::text FROM bddid WHERE %1 OR %2")
              .arg(notMatching(QStringLiteral("DNASC"), date, true),
                   notMatching(QStringLiteral("D1CONS"), date, true)),
          f, FirstKeys, true);
    findings.append(f);
    findings.append(recordRules(db));
    return findings;
}

QList<DatabaseCheck::Finding> DatabaseCheck::recordRules(sqlite3 *handle, int keyLimit)
{
    SqliteConnection db(handle);
    return recordRules(db, keyLimit);
}

QList<DatabaseCheck::Finding> DatabaseCheck::recordRules(Connection &db, int keyLimit)
{
    QList<Finding> findings;
    Finding f;
    f = finding("Linhas de pontuação sem o seu exame", false, nullptr, "imagem");
    count(db,
          QStringLiteral("SELECT %1 FROM imagem i WHERE NOT EXISTS (SELECT 1 FROM eco e "
                         "WHERE e.CodigoPaciente = i.CodpacienteI "
                         "AND e.CodigoExame = i.DodExamei)")
              .arg(kImgKey),
          f, keyLimit);
    findings.append(f);
    f = finding("Exames de um paciente que não existe", false, nullptr, "eco");
    count(db,
          QStringLiteral("SELECT %1 FROM eco e WHERE NOT EXISTS (SELECT 1 FROM bddid p "
                         "WHERE p.NF = e.CodigoPaciente)")
              .arg(kEcoKey),
          f, keyLimit);
    findings.append(f);
    f = finding("Exames sem linha de pontuação", false,
                "as janelas criam-na com todas as pontuações a 1 quando o exame é editado", "eco");
    count(db,
          QStringLiteral("SELECT %1 FROM eco e WHERE NOT EXISTS (SELECT 1 FROM imagem i "
                         "WHERE i.CodpacienteI = e.CodigoPaciente "
                         "AND i.DodExamei = e.CodigoExame)")
              .arg(kEcoKey),
          f, keyLimit);
    findings.append(f);
    f = finding("Exames com várias linhas de pontuação", false,
                "as janelas mostram e alteram só a primeira", "imagem");
    count(db,
          QStringLiteral("SELECT CAST(CodpacienteI AS INTEGER) || ' ' || DodExamei FROM imagem "
                         "GROUP BY CodpacienteI, DodExamei HAVING count(*) > 1"),
          f, keyLimit);
    findings.append(f);
    return findings;
}
