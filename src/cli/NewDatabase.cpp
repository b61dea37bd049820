#include "cli/NewDatabase.h"

#include "data/Schema.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/SqliteStore.h"

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

bool NewDatabase::present(const QString &dir)
{
    for (const QString &file : databaseFiles(SqliteStore::filePath(dir))) {
        if (QFileInfo::exists(file))
            return true;
    }
    return false;
}

NewDatabase::Outcome NewDatabase::create(const QString &dir,
                                         const std::function<void(sqlite3 *)> &fill,
                                         QString *message, bool replaceEmptyFile,
                                         bool withSchema)
{
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
            fill(handle);
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
