#include "data/ServerBackup.h"

#include "data/Schema.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/StoreLocation.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include <libpq-fe.h>

#include <fcntl.h>
#include <unistd.h>

#include <memory>

namespace {

const QStringList kTables { QStringLiteral("bddid"),  QStringLiteral("eco"),
                            QStringLiteral("imagem"), QStringLiteral("frase"),
                            QStringLiteral("eco_conclusoes"), QStringLiteral("medico"),
                            QStringLiteral("convencao") };

[[noreturn]] void fail(const QString &message)
{
    databaseError(message);
}

struct ConnectionDeleter
{
    void operator()(PGconn *c) const { PQfinish(c); }
};
using PgLink = std::unique_ptr<PGconn, ConnectionDeleter>;

struct ResultDeleter
{
    void operator()(PGresult *r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

QString serverText(const char *message)
{
    return QString::fromUtf8(message).trimmed();
}

// The location's options as libpq reads them; empty when it cannot read them.
QHash<QString, QString> options(const QString &location)
{
    QHash<QString, QString> found;
    char *error = nullptr;
    PQconninfoOption *parsed = PQconninfoParse(location.toUtf8().constData(), &error);
    if (!parsed) {
        PQfreemem(error);
        return found;
    }
    for (PQconninfoOption *o = parsed; o->keyword; ++o)
        if (o->val)
            found.insert(QString::fromLatin1(o->keyword), QString::fromUtf8(o->val));
    PQconninfoFree(parsed);
    return found;
}

// Where the URI's path (the database name) starts and ends: after the authority, up to the query.
std::pair<qsizetype, qsizetype> pathSpan(const QString &uri)
{
    const qsizetype scheme = uri.indexOf(QLatin1String("://"));
    const qsizetype authority = scheme < 0 ? 0 : scheme + 3;
    qsizetype query = uri.indexOf(QLatin1Char('?'), authority);
    if (query < 0)
        query = uri.size();
    qsizetype path = uri.indexOf(QLatin1Char('/'), authority);
    if (path < 0 || path > query)
        path = query;
    return { path, query };
}

QString withoutQueryOption(QString uri, const QString &key)
{
    const QRegularExpression option(QStringLiteral("([?&])%1=[^&]*(&|$)").arg(key));
    for (;;) {
        const QRegularExpressionMatch m = option.match(uri);
        if (!m.hasMatch())
            return uri;
        const bool more = m.captured(2) == QLatin1String("&");
        uri.replace(m.capturedStart(), m.capturedLength(), more ? m.captured(1) : QString());
    }
}

QString tool(const QString &name)
{
    // Debian keeps the server's tools per version, off the PATH; the newest reads every older
    // server's archives.
    QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(found.begin(), found.end(),
              [](const QString &a, const QString &b) { return a.toInt() > b.toInt(); });
    for (const QString &v : found) {
        const QString path = versions.filePath(v + QStringLiteral("/bin/") + name);
        if (QFileInfo(path).isExecutable())
            return path;
    }
    const QString onPath = QStandardPaths::findExecutable(name);
    if (onPath.isEmpty())
        fail(QStringLiteral("O programa %1 não está instalado (pacote postgresql-client).")
                 .arg(name));
    return onPath;
}

struct Run
{
    int exitCode = -1;
    QString output;
    QString errors;
};

// Runs one of the server's tools against location: the password, if the location has one, goes
// in the tool's environment; the tool never asks for one.
Run runTool(const QString &name, QStringList arguments, const QString &location)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!location.isEmpty()) {
        const QString password = options(location).value(QStringLiteral("password"));
        if (!password.isEmpty())
            env.insert(QStringLiteral("PGPASSWORD"), password);
        arguments.append(QStringLiteral("--dbname=") + ServerBackup::displayName(location));
    }
    p.setProcessEnvironment(env);
    p.start(tool(name), arguments);
    Run run;
    if (!p.waitForStarted(-1) || !p.waitForFinished(-1)) {
        run.errors = p.errorString();
        return run;
    }
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.output = QString::fromUtf8(p.readAllStandardOutput());
    run.errors = QString::fromUtf8(p.readAllStandardError()).trimmed();
    return run;
}

PgLink connect(const QString &location)
{
    PgLink c(PQconnectdb(location.toUtf8().constData()));
    if (!c || PQstatus(c.get()) != CONNECTION_OK)
        fail(QStringLiteral("Não foi possível ligar a %1: %2")
                 .arg(ServerBackup::displayName(location),
                      serverText(c ? PQerrorMessage(c.get()) : "sem memória")));
    return c;
}

// A connection to the server of location that is to none of the databases it will rename.
PgLink connectToServer(const QString &location)
{
    QString last;
    for (const char *maintenance : { "postgres", "template1" }) {
        try {
            return connect(ServerBackup::withDatabase(location, QLatin1String(maintenance)));
        } catch (const DatabaseError &e) {
            last = e.message();
        }
    }
    fail(last);
}

Result exec(PGconn *c, const QString &sql, const QStringList &params = {})
{
    std::vector<QByteArray> utf8;
    std::vector<const char *> values;
    for (const QString &p : params)
        utf8.push_back(p.toUtf8());
    for (const QByteArray &u : utf8)
        values.push_back(u.constData());
    Result r(PQexecParams(c, sql.toUtf8().constData(), int(values.size()), nullptr, values.data(),
                          nullptr, nullptr, 0));
    const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        fail(serverText(PQerrorMessage(c)));
    return r;
}

QString identifier(PGconn *c, const QString &name)
{
    const QByteArray utf8 = name.toUtf8();
    char *quoted = PQescapeIdentifier(c, utf8.constData(), size_t(utf8.size()));
    const QString result = QString::fromUtf8(quoted);
    PQfreemem(quoted);
    return result;
}

bool databaseExists(PGconn *c, const QString &name)
{
    return PQntuples(exec(c, QStringLiteral("select 1 from pg_database where datname = $1"),
                          { name })
                         .get())
        > 0;
}

int sevenTablesIn(const QString &location)
{
    PgLink c = connect(location);
    Result r = exec(c.get(),
                    QStringLiteral("select count(*) from information_schema.tables where "
                                   "table_schema = current_schema() and lower(table_name) = "
                                   "any(string_to_array($1, ','))"),
                    { kTables.join(QLatin1Char(',')) });
    return QByteArray(PQgetvalue(r.get(), 0, 0)).toInt();
}

// The schema version a restored copy holds; 0 when it has no version table.
int schemaVersion(const QString &location)
{
    PgLink c = connect(location);
    Result r = exec(c.get(),
                    QStringLiteral("select count(*) from information_schema.tables where "
                                   "table_schema = current_schema() and table_name = $1"),
                    { QLatin1String(Schema::VersionTable) });
    if (QByteArray(PQgetvalue(r.get(), 0, 0)).toInt() == 0)
        return 0;
    Result v = exec(c.get(), QStringLiteral("select max(version) from %1")
                                 .arg(QLatin1String(Schema::VersionTable)));
    return QByteArray(PQgetvalue(v.get(), 0, 0)).toInt();
}

void dropQuietly(PGconn *c, const QString &name)
{
    Result r(PQexec(c, (QStringLiteral("drop database if exists ") + identifier(c, name))
                           .toUtf8()
                           .constData()));
}

} // namespace

namespace ServerBackup {

bool isServerLocation(const QString &location)
{
    return StoreLocation::isServer(location);
}

QString displayName(const QString &location)
{
    return StoreLocation::shown(location);
}

QString databaseName(const QString &location)
{
    const QHash<QString, QString> o = options(location);
    return o.value(QStringLiteral("dbname"), o.value(QStringLiteral("user")));
}

QString withDatabase(const QString &location, const QString &database)
{
    QString uri = withoutQueryOption(location, QStringLiteral("dbname"));
    const auto [path, query] = pathSpan(uri);
    uri.replace(path, query - path,
                QLatin1Char('/') + QString::fromLatin1(QUrl::toPercentEncoding(database)));
    return uri;
}

QString fileName(const QString &location, const QDate &date)
{
    QString name = databaseName(location);
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    return QStringLiteral("taluvo-%1-%2.dump").arg(name, date.toString(QStringLiteral("yyyy-MM-dd")));
}

void make(const QString &location, const QString &target)
{
    if (QFileInfo::exists(target))
        fail(QStringLiteral("O ficheiro \"%1\" já existe.").arg(QDir::toNativeSeparators(target)));
    // Made here, owner-only, before the tool writes into it: it keeps the mode.
    QString part;
    int fd = -1;
    for (int n = 1; fd < 0 && n < 1000; ++n) {
        part = QStringLiteral("%1.part%2").arg(target).arg(n);
        fd = ::open(QFile::encodeName(part).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                    0600);
        if (fd < 0 && errno != EEXIST)
            fail(QStringLiteral("Não foi possível criar \"%1\": %2")
                     .arg(QDir::toNativeSeparators(part), QString::fromLocal8Bit(strerror(errno))));
    }
    ::close(fd);
    const Run dump = runTool(QStringLiteral("pg_dump"),
                             { QStringLiteral("--format=custom"), QStringLiteral("--no-password"),
                               QStringLiteral("--file=") + part },
                             location);
    QString problem;
    if (dump.exitCode != 0)
        problem = QStringLiteral("o pg_dump falhou: %1").arg(dump.errors);
    else
        problem = checkArchive(part);
    if (problem.isEmpty()) {
        const int sync = ::open(QFile::encodeName(part).constData(), O_RDONLY | O_CLOEXEC);
        if (sync >= 0) {
            ::fsync(sync);
            ::close(sync);
        }
        if (::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData())
            != 0)
            problem = QString::fromLocal8Bit(strerror(errno));
    }
    if (!problem.isEmpty()) {
        QFile::remove(part);
        fail(QStringLiteral("Não foi possível fazer a cópia de %1: %2")
                 .arg(displayName(location), problem));
    }
}

QString checkArchive(const QString &file)
{
    if (!QFileInfo(file).isFile())
        return QStringLiteral("o ficheiro \"%1\" não existe.").arg(QDir::toNativeSeparators(file));
    const Run list = runTool(QStringLiteral("pg_restore"), { QStringLiteral("--list"), file }, {});
    if (list.exitCode != 0)
        return QStringLiteral("\"%1\" não é uma cópia do servidor ou está danificada (%2).")
            .arg(QDir::toNativeSeparators(file), list.errors.section(QLatin1Char('\n'), 0, 0));
    // "215; 1259 16385 TABLE public bddid owner" and "3380; 0 16385 TABLE DATA public bddid owner"
    QStringList tables;
    QStringList data;
    static const QRegularExpression entry(
        QStringLiteral("^\\d+; \\d+ \\d+ (TABLE DATA|TABLE) \\S+ (\\S+) "));
    for (const QString &line : list.output.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = entry.match(line);
        if (m.hasMatch())
            (m.captured(1) == QLatin1String("TABLE") ? tables : data)
                .append(m.captured(2).toLower());
    }
    QStringList missing;
    for (const QString &t : kTables)
        if (!tables.contains(t) || !data.contains(t))
            missing.append(t);
    if (!missing.isEmpty())
        return QStringLiteral("\"%1\" não tem as tabelas do programa (faltam: %2).")
            .arg(QDir::toNativeSeparators(file), missing.join(QLatin1String(", ")));
    return {};
}

void restore(const QString &file, const QString &location, bool replace, const RestoreCheck &check,
             QList<DatabaseCheck::Finding> *findings, QString *keptAs)
{
    if (const QString problem = checkArchive(file); !problem.isEmpty())
        fail(problem);
    const QString target = databaseName(location);
    if (target.isEmpty())
        fail(QStringLiteral("%1 não diz o nome da base de dados.").arg(displayName(location)));
    PgLink server = connectToServer(location);
    PGconn *c = server.get();

    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddhhmmss"));
    const QString scratch = target.left(40) + QStringLiteral("_restauro_") + stamp;
    try {
        exec(c, QStringLiteral("create database ") + identifier(c, scratch));
    } catch (const DatabaseError &e) {
        fail(QStringLiteral("O servidor não deixou criar a base de dados para a verificação "
                            "(é precisa a permissão CREATEDB): %1")
                 .arg(e.message()));
    }
    const QString scratchLocation = withDatabase(location, scratch);
    try {
        const Run put = runTool(QStringLiteral("pg_restore"),
                                { QStringLiteral("--no-password"), QStringLiteral("--no-owner"),
                                  QStringLiteral("--no-privileges"),
                                  QStringLiteral("--exit-on-error"),
                                  QStringLiteral("--single-transaction"), file },
                                scratchLocation);
        if (put.exitCode != 0)
            fail(QStringLiteral("\"%1\" está danificada ou não se deixa restaurar: %2")
                     .arg(QDir::toNativeSeparators(file),
                          put.errors.section(QLatin1Char('\n'), 0, 0)));
        if (const int version = schemaVersion(scratchLocation); version > Schema::Version)
            fail(QStringLiteral("\"%1\" é de uma versão mais recente do programa (esquema %2; "
                                "este conhece até ao %3).")
                     .arg(QDir::toNativeSeparators(file))
                     .arg(version)
                     .arg(Schema::Version));
        if (check) {
            if (const QString refusal = check(scratchLocation, findings); !refusal.isEmpty())
                fail(refusal);
        }
        QString kept;
        if (databaseExists(c, target)) {
            if (!replace && sevenTablesIn(location) > 0)
                fail(QStringLiteral("A base de dados %1 já tem tabelas; para a substituir use "
                                    "--replace.")
                         .arg(displayName(location)));
            kept = target.left(40) + QStringLiteral("_antes_restauro");
            for (int n = 2; databaseExists(c, kept); ++n)
                kept = target.left(40) + QStringLiteral("_antes_restauro_%1").arg(n);
            try {
                exec(c, QStringLiteral("alter database %1 rename to %2")
                            .arg(identifier(c, target), identifier(c, kept)));
            } catch (const DatabaseError &e) {
                fail(QStringLiteral("Não foi possível pôr de lado a base de dados %1 (feche o "
                                    "programa em todos os postos): %2")
                         .arg(target, e.message()));
            }
        }
        try {
            exec(c, QStringLiteral("alter database %1 rename to %2")
                        .arg(identifier(c, scratch), identifier(c, target)));
        } catch (const DatabaseError &) {
            if (!kept.isEmpty())
                Result(PQexec(c, QStringLiteral("alter database %1 rename to %2")
                                     .arg(identifier(c, kept), identifier(c, target))
                                     .toUtf8()
                                     .constData()));
            throw;
        }
        if (keptAs)
            *keptAs = kept;
    } catch (...) {
        dropQuietly(c, scratch);
        throw;
    }
}

} // namespace ServerBackup
