#include "cli/NewDatabase.h"

#include "data/Schema.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/PgConnection.h"
#include "platform/engine/SqliteStore.h"
#include "platform/engine/StoreLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString connectionName()
{
    return QStringLiteral("taluvo-new-database");
}

// The database file and the files SQLite keeps beside it; any of them means "a database is here".
QStringList databaseFiles(const QString &path)
{
    return { path, path + QLatin1String("-wal"), path + QLatin1String("-shm"),
             path + QLatin1String("-journal") };
}

} // namespace

NewDatabase::Outcome NewDatabase::createOnServer(const QString &uri,
                                                 const std::function<void(Connection &)> &fill,
                                                 QString *message)
{
    const QString shown = StoreLocation::shown(uri);
    std::unique_ptr<PgConnection> conn;
    try {
        conn = std::make_unique<PgConnection>(uri);
    } catch (const DatabaseError &e) {
        *message = e.message();
        return Outcome::Unusable;
    }
    try {
        QStringList held;
        const QStringList tables = conn->tables();
        for (const TableDef &t : Schema::tables()) {
            if (tables.contains(t.name))
                held.append(t.name);
        }
        if (tables.contains(QLatin1String(Schema::VersionTable)))
            held.append(QLatin1String(Schema::VersionTable));
        if (!held.isEmpty()) {
            *message = QStringLiteral("'%1' já tem uma base de dados (tabelas %2); ficou como estava")
                           .arg(shown, held.join(QLatin1String(", ")));
            return Outcome::Refused;
        }
        conn->begin();
        Schema::create(*conn);
        fill(*conn);
        conn->commit();
        // The planner's statistics of the rows just written, before anyone reads them.
        conn->exec(QStringLiteral("ANALYZE"));
    } catch (const DatabaseError &e) {
        conn->rollback();
        *message = e.message();
        return Outcome::Failed;
    } catch (const std::exception &e) {
        conn->rollback();
        *message = QString::fromLocal8Bit(e.what());
        return Outcome::Failed;
    }
    return Outcome::Done;
}

bool NewDatabase::present(const QString &dir)
{
    if (StoreLocation::isServer(dir)) {
        try {
            PgConnection conn(dir);
            return conn.tables().contains(Schema::tables().first().name);
        } catch (const DatabaseError &) {
            return false;
        }
    }
    for (const QString &file : databaseFiles(SqliteStore::filePath(dir))) {
        if (QFileInfo::exists(file))
            return true;
    }
    return false;
}

NewDatabase::Outcome NewDatabase::create(const QString &dir,
                                         const std::function<void(Connection &)> &fill,
                                         QString *message, bool replaceEmptyFile,
                                         bool withSchema)
{
    if (StoreLocation::isServer(dir))
        return createOnServer(dir, fill, message);
    const QString path = SqliteStore::filePath(dir);
    const QFileInfo dirInfo(dir);
    if (dirInfo.exists() && !dirInfo.isDir()) {
        *message = QStringLiteral("'%1' não é uma pasta").arg(dir);
        return Outcome::Unusable;
    }
    const QString refusal = QStringLiteral("'%1' já tem uma base de dados; ficou como estava").arg(dir);
    // An empty file alone (a creation that never started) is no database: it may be replaced.
    if (replaceEmptyFile && QFileInfo(path).isFile() && QFileInfo(path).size() == 0) {
        bool alone = true;
        for (const QString &file : databaseFiles(path).mid(1))
            alone = alone && !QFileInfo::exists(file);
        if (alone && !QFile::remove(path)) {
            *message = QStringLiteral("não foi possível substituir o ficheiro vazio '%1'").arg(path);
            return Outcome::Unusable;
        }
    }
    if (present(dir)) {
        *message = refusal;
        return Outcome::Refused;
    }

    bool madeDir = false;
    if (!dirInfo.exists()) {
        if (!QDir().mkpath(dir)) {
            *message = QStringLiteral("não foi possível criar a pasta '%1'").arg(dir);
            return Outcome::Unusable;
        }
        ::chmod(QFile::encodeName(dir).constData(), 0700);
        madeDir = true;
    }
    // O_EXCL: from here on the file is ours, so removing it after a failure destroys nothing else.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
        const bool exists = errno == EEXIST;
        if (madeDir)
            QDir().rmdir(dir);
        *message = exists ? refusal : QStringLiteral("não foi possível criar '%1'").arg(path);
        return exists ? Outcome::Refused : Outcome::Unusable;
    }
    ::close(fd);

    QString failure;
    try {
        {
            const QSqlDatabase db = SqliteStore::open(dir, connectionName(), false);
            sqlite3 *handle = SqliteStore::handle(db);
            if (withSchema)
                Schema::create(handle);
            SqliteConnection conn(handle);
            fill(conn);
        }
        SqliteStore::close(connectionName());
    } catch (const DatabaseError &e) {
        failure = e.message();
    } catch (const std::exception &e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    if (failure.isNull())
        return Outcome::Done;
    SqliteStore::close(connectionName());
    for (const QString &file : databaseFiles(path))
        QFile::remove(file);
    if (madeDir) {
        // Whatever the fill left beside the database (a report) stays, and so does the folder.
        QDir().rmdir(dir);
    }
    *message = failure;
    return Outcome::Failed;
}
