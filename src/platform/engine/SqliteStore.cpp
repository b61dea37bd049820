#include "platform/engine/SqliteStore.h"

#include "platform/engine/DatabaseError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

QString SqliteStore::filePath(const QString &dir)
{
    return QDir(dir).filePath(QLatin1String(FileName));
}

bool SqliteStore::exists(const QString &dir)
{
    return QFileInfo(filePath(dir)).isFile();
}

QSqlDatabase SqliteStore::open(const QString &dir, const QString &connectionName, bool create)
{
    const QString path = filePath(dir);
    if (create) {
        if (!QFileInfo(dir).isDir()) {
            if (!QDir().mkpath(dir))
                databaseError(QStringLiteral("Cannot create the directory '%1'").arg(dir));
            ::chmod(QFile::encodeName(dir).constData(), 0700);
        }
        // Create the file ourselves so that it never exists with wider permissions.
        const int fd = ::open(QFile::encodeName(path).constData(), O_CREAT | O_RDWR | O_CLOEXEC,
                              0600);
        if (fd < 0)
            databaseError(QStringLiteral("Cannot create the database file '%1'").arg(path));
        ::close(fd);
    } else if (!QFileInfo(path).isFile()) {
        databaseError(QStringLiteral("Database file '%1' does not exist").arg(path));
    }

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        const QString message = db.lastError().text();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        databaseError(QStringLiteral("Cannot open the database file '%1': %2").arg(path, message));
    }
    sqlite3 *h = handle(db);
    try {
        exec(h, QStringLiteral("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; "
                               "PRAGMA foreign_keys=OFF; PRAGMA cache_size=-65536; "
                               "PRAGMA mmap_size=268435456;"));
    } catch (...) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        throw;
    }
    return db;
}

void SqliteStore::close(const QString &connectionName)
{
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

sqlite3 *SqliteStore::handle(const QSqlDatabase &db)
{
    const QVariant v = db.driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        databaseError(QStringLiteral("The database connection is not an SQLite connection"));
    sqlite3 *h = *static_cast<sqlite3 *const *>(v.constData());
    if (!h)
        databaseError(QStringLiteral("The database connection is closed"));
    return h;
}

void SqliteStore::exec(sqlite3 *db, const QString &sql)
{
    char *err = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        const QString message = QString::fromUtf8(err ? err : sqlite3_errmsg(db));
        sqlite3_free(err);
        databaseError(message);
    }
}
