#include "data/Backup.h"

#include "data/Schema.h"
#include "platform/engine/Database.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/SqliteStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString sqliteMessage(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

class SqliteFile
{
public:
    SqliteFile(const QString &path, int flags)
    {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, flags, nullptr)
            != SQLITE_OK) {
            const QString message = sqliteMessage(m_db);
            sqlite3_close(m_db);
            m_db = nullptr;
            databaseError(QStringLiteral("não foi possível abrir '%1': %2").arg(path, message));
        }
        sqlite3_busy_timeout(m_db, 5000);
    }
    ~SqliteFile() { sqlite3_close(m_db); }
    SqliteFile(const SqliteFile &) = delete;
    SqliteFile &operator=(const SqliteFile &) = delete;
    sqlite3 *get() const { return m_db; }
    // The first column of the first row, as text; empty when there is none.
    QString text(const QString &sql) const
    {
        SqlStatement st(m_db, sql);
        return st.step() ? st.text(0) : QString();
    }
    void exec(const QString &sql) const { SqliteStore::exec(m_db, sql); }

private:
    sqlite3 *m_db = nullptr;
};

// A file of our own beside target, made exclusively and owner-only; removed unless released.
class TemporaryFile
{
public:
    explicit TemporaryFile(const QString &target)
    {
        for (int i = 0; i < 100 && m_path.isEmpty(); ++i) {
            const QString candidate = QStringLiteral("%1.part%2").arg(target).arg(i);
            const int fd = ::open(QFile::encodeName(candidate).constData(),
                                  O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
            if (fd >= 0) {
                ::close(fd);
                m_path = candidate;
            } else if (errno != EEXIST) {
                break;
            }
        }
        if (m_path.isEmpty())
            databaseError(QStringLiteral("não foi possível criar um ficheiro em '%1': %2")
                              .arg(QFileInfo(target).absolutePath(),
                                   QString::fromLocal8Bit(strerror(errno))));
    }
    ~TemporaryFile()
    {
        if (!m_path.isEmpty()) {
            QFile::remove(m_path);
            QFile::remove(m_path + QLatin1String("-journal"));
        }
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;
    const QString &path() const { return m_path; }
    // Gives the file its final name (atomically, in the same folder) and stops owning it.
    void renameTo(const QString &target)
    {
        if (::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(target).constData())
            != 0)
            databaseError(QStringLiteral("não foi possível dar o nome '%1' à cópia: %2")
                              .arg(target, QString::fromLocal8Bit(strerror(errno))));
        m_path.clear();
    }

private:
    QString m_path;
};

void syncFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Copies the database at source into the (empty) file at copy, from one read snapshot, and
// leaves it in rollback-journal mode so that the copy is one self-contained file.
void copyDatabase(const QString &source, const QString &copy)
{
    SqliteFile from(source, SQLITE_OPEN_READONLY);
    SqliteFile to(copy, SQLITE_OPEN_READWRITE);
    // Mapped reads, and no journal nor syncs for a file nobody else sees yet: it is synced once
    // whole before it gets its name.
    from.exec(QStringLiteral("PRAGMA mmap_size=4294967296"));
    to.exec(QStringLiteral("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA mmap_size=4294967296"));
    sqlite3_backup *backup = sqlite3_backup_init(to.get(), "main", from.get(), "main");
    if (!backup)
        databaseError(QStringLiteral("não foi possível copiar '%1': %2")
                          .arg(source, sqliteMessage(to.get())));
    int rc = SQLITE_OK;
    // All pages in one step: one read transaction, so the copy is one moment of the database
    // even while other instances write (they go on in the write-ahead log).
    for (int tries = 0; tries < 50; ++tries) {
        rc = sqlite3_backup_step(backup, -1);
        if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
            break;
        sqlite3_sleep(100);
    }
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        databaseError(QStringLiteral("não foi possível copiar '%1': %2")
                          .arg(source, QString::fromUtf8(sqlite3_errstr(rc))));
    to.exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
    const QString check = to.text(QStringLiteral("PRAGMA quick_check"));
    if (check != QLatin1String("ok"))
        databaseError(QStringLiteral("a cópia de '%1' não passou a verificação (quick_check: %2)")
                          .arg(source, check));
}

const QRegularExpression &copyName()
{
    static const QRegularExpression re(QStringLiteral("^taluvo-(\\d{4}-\\d{2}-\\d{2})\\.sqlite$"));
    return re;
}

void makeFolder(const QString &folder)
{
    if (QFileInfo(folder).isDir())
        return;
    if (!QDir().mkpath(folder))
        databaseError(QStringLiteral("não foi possível criar a pasta '%1'").arg(folder));
    ::chmod(QFile::encodeName(folder).constData(), 0700);
}

} // namespace

Backup::Settings Backup::Settings::load(const QString &dataDir)
{
    Settings s;
    s.dir = QDir(dataDir).filePath(QStringLiteral("backups"));
    const QString ini = Database::settingsFilePath();
    if (!QFileInfo(ini).isFile())
        return s;
    QSettings settings(ini, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Backup"));
    const QString dir = settings.value(QStringLiteral("Dir")).toString().trimmed();
    if (!dir.isEmpty())
        s.dir = QDir(dataDir).filePath(QDir::fromNativeSeparators(dir));
    const QVariant keep = settings.value(QStringLiteral("Keep"));
    if (keep.isValid()) {
        // QSettings reads "7,4,12" as a list.
        const QString text = keep.typeId() == QMetaType::QStringList
            ? keep.toStringList().join(QLatin1Char(','))
            : keep.toString();
        if (const auto parsed = BackupRotation::Keep::parse(text))
            s.keep = *parsed;
        else
            s.problem = QStringLiteral("Keep=%1 não são três números (diários, semanais, "
                                       "mensais); ficou 7,4,12")
                            .arg(text);
    }
    const QString enabled = settings.value(QStringLiteral("Enabled")).toString().trimmed().toLower();
    if (enabled == QLatin1String("false") || enabled == QLatin1String("0")
        || enabled == QLatin1String("no") || enabled == QLatin1String("não"))
        s.enabled = false;
    return s;
}

void Backup::make(const QString &dataDir, const QString &target)
{
    const QString source = SqliteStore::filePath(dataDir);
    if (!QFileInfo(source).isFile())
        databaseError(QStringLiteral("não há base de dados em '%1'").arg(dataDir));
    if (QFileInfo::exists(target))
        databaseError(QStringLiteral("'%1' já existe; ficou como estava").arg(target));
    TemporaryFile part(target);
    copyDatabase(source, part.path());
    syncFile(part.path());
    part.renameTo(target);
}

QString Backup::fileName(const QDate &date)
{
    return QStringLiteral("taluvo-%1.sqlite").arg(date.toString(QStringLiteral("yyyy-MM-dd")));
}

QList<Backup::Copy> Backup::list(const QString &folder)
{
    QList<Copy> copies;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files, QDir::Name | QDir::Reversed);
    for (const QFileInfo &entry : entries) {
        const QRegularExpressionMatch m = copyName().match(entry.fileName());
        if (!m.hasMatch())
            continue;
        const QDate date = QDate::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd"));
        if (date.isValid())
            copies.append({ entry.absoluteFilePath(), date, entry.size() });
    }
    return copies;
}

QString Backup::atClose(const QString &dataDir, const Settings &settings, const QDate &today)
{
    if (!settings.enabled || !SqliteStore::exists(dataDir))
        return {};
    const QList<Copy> before = list(settings.dir);
    if (!before.isEmpty() && before.first().date >= today)
        return {};
    makeFolder(settings.dir);
    const QString made = QDir(settings.dir).filePath(fileName(today));
    make(dataDir, made);

    QList<QDate> dates { today };
    for (const Copy &c : before)
        dates.append(c.date);
    const QList<QDate> keep = BackupRotation::kept(dates, settings.keep);
    for (const Copy &c : before) {
        if (!keep.contains(c.date) && !QFile::remove(c.path))
            databaseError(QStringLiteral("não foi possível apagar a cópia antiga '%1'").arg(c.path));
    }
    return made;
}

QString Backup::checkForRestore(const QString &file, QList<DatabaseCheck::Finding> *findings)
{
    findings->clear();
    if (!QFileInfo(file).isFile())
        return QStringLiteral("'%1' não existe").arg(file);
    try {
        SqliteFile db(file, SQLITE_OPEN_READONLY);
        QString integrity;
        try {
            integrity = db.text(QStringLiteral("PRAGMA integrity_check(20)"));
        } catch (const DatabaseError &e) {
            return QStringLiteral("'%1' está danificado ou não é uma base de dados SQLite (%2)")
                .arg(file, e.message());
        }
        if (integrity != QLatin1String("ok"))
            return QStringLiteral("'%1' está danificado (integrity_check: %2)").arg(file, integrity);
        const int version = db.text(QStringLiteral("PRAGMA user_version")).toInt();
        if (version > Schema::Version)
            return QStringLiteral("'%1' foi escrito por uma versão mais recente do programa "
                                  "(versão %2 da base de dados; esta lê até à %3)")
                .arg(file)
                .arg(version)
                .arg(Schema::Version);
        for (const TableDef &t : Schema::tables()) {
            const QString sql = QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = "
                                               "'table' AND name = '%1' COLLATE NOCASE")
                                    .arg(t.name);
            if (db.text(sql) != QLatin1String("1"))
                return QStringLiteral("'%1' não é uma base de dados do programa: falta a tabela %2")
                    .arg(file, t.name);
        }
    } catch (const DatabaseError &e) {
        return e.message();
    }
    const QList<DatabaseCheck::Finding> all = DatabaseCheck::runFile(file);
    QStringList damage;
    for (const DatabaseCheck::Finding &f : all) {
        if (f.count == 0)
            continue;
        if (f.damage)
            damage.append(QStringLiteral("%1: %2").arg(f.what).arg(f.count));
        else
            findings->append(f);
    }
    if (!damage.isEmpty())
        return QStringLiteral("'%1' tem valores fora do formato de armazenamento (%2)")
            .arg(file, damage.join(QLatin1String("; ")));
    return {};
}

void Backup::restore(const QString &file, const QString &dir, bool replace, QString *keptAs)
{
    keptAs->clear();
    QList<DatabaseCheck::Finding> findings;
    const QString refusal = checkForRestore(file, &findings);
    if (!refusal.isEmpty())
        databaseError(refusal);
    const QString target = SqliteStore::filePath(dir);
    const bool present = QFileInfo::exists(target) || QFileInfo::exists(target + QLatin1String("-wal"));
    if (present && !replace)
        databaseError(QStringLiteral("'%1' já tem uma base de dados; para a substituir use "
                                     "--replace (fica guardada ao lado)")
                          .arg(dir));
    makeFolder(dir);

    TemporaryFile part(target);
    copyDatabase(file, part.path());
    {
        // The program keeps its databases in write-ahead-log mode.
        SqliteFile db(part.path(), SQLITE_OPEN_READWRITE);
        db.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    }
    syncFile(part.path());

    if (present) {
        // Everything of the old database into its main file first, so that it moves whole.
        if (QFileInfo::exists(target)) {
            SqliteFile old(target, SQLITE_OPEN_READWRITE);
            old.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        }
        QString kept = target + QLatin1String(".before-restore");
        for (int n = 2; QFileInfo::exists(kept); ++n)
            kept = target + QStringLiteral(".before-restore.%1").arg(n);
        if (::rename(QFile::encodeName(target).constData(), QFile::encodeName(kept).constData())
            != 0)
            databaseError(QStringLiteral("não foi possível guardar a base de dados actual como "
                                         "'%1': %2")
                              .arg(kept, QString::fromLocal8Bit(strerror(errno))));
        QFile::remove(target + QLatin1String("-wal"));
        QFile::remove(target + QLatin1String("-shm"));
        *keptAs = kept;
    }
    part.renameTo(target);
    ::chmod(QFile::encodeName(target).constData(), 0600);
}
