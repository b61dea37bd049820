#include "platform/engine/Database.h"

#include "platform/engine/DatabaseError.h"
#include "platform/engine/RecordLocks.h"
#include "platform/engine/PgConnection.h"
#include "platform/engine/PgRecordLocks.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/SqliteStore.h"
#include "platform/engine/StoreLocation.h"
#include "platform/engine/StorageFault.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>

namespace {
QHash<QString, Database *> &registry()
{
    static QHash<QString, Database *> databases;
    return databases;
}

QString &commandLineDir()
{
    static QString dir;
    return dir;
}

QString typeKey(const QString &table, const QString &column)
{
    return table.toLower() + QLatin1Char('.') + column.toLower();
}

int connectionCounter = 0;
} // namespace

Database::Database(const QString &databaseName)
    : m_name(databaseName)
{
    registry().insert(m_name.toUpper(), this);
}

Database::~Database()
{
    close();
    if (registry().value(m_name.toUpper()) == this)
        registry().remove(m_name.toUpper());
}

void Database::setCommandLineDirectory(const QString &dir)
{
    commandLineDir() = dir;
}

QString Database::commandLineDirectory()
{
    return commandLineDir();
}

QString Database::settingsFilePath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/taluvo/engine.ini");
}

QString Database::resolveAlias(const QString &alias)
{
    if (!commandLineDir().isEmpty())
        return commandLineDir();
    const QString env = qEnvironmentVariable("TALUVO_DATA");
    if (!env.isEmpty())
        return env;
    const QString ini = settingsFilePath();
    if (QFileInfo(ini).isFile()) {
        QSettings settings(ini, QSettings::IniFormat);
        const QString dir = settings.value(QStringLiteral("Aliases/") + alias).toString();
        if (!dir.isEmpty())
            return dir;
    }
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/taluvo/") + alias;
}

Database *Database::find(const QString &databaseName)
{
    return registry().value(databaseName.toUpper(), nullptr);
}

void Database::open()
{
    if (isConnected())
        return;
    const QString dir = resolveAlias(m_alias);
    if (StoreLocation::isServer(dir)) {
        connectToServer(dir);
        return;
    }
    if (!QFileInfo(dir).isDir())
        databaseError(QStringLiteral("Cannot connect to database '%1': the directory '%2' of alias "
                                     "'%3' does not exist")
                          .arg(m_name, dir, m_alias));
    if (!SqliteStore::exists(dir))
        databaseError(QStringLiteral("Cannot connect to database '%1': alias '%2' names '%3', "
                                     "which holds no %4")
                          .arg(m_name, m_alias, dir, QLatin1String(SqliteStore::FileName)));
    connectTo(dir);
}

void Database::openDirectory(const QString &dir)
{
    if (isConnected())
        close();
    if (!QFileInfo(dir).isDir() || !SqliteStore::exists(dir))
        databaseError(QStringLiteral("Cannot connect to database '%1': no %2 in '%3'")
                          .arg(m_name, QLatin1String(SqliteStore::FileName), dir));
    connectTo(dir);
}

void Database::openLocation(const QString &location)
{
    if (!StoreLocation::isServer(location)) {
        openDirectory(location);
        return;
    }
    if (isConnected())
        close();
    connectToServer(location);
}

void Database::connectToServer(const QString &uri)
{
    std::unique_ptr<PgConnection> conn;
    try {
        conn = std::make_unique<PgConnection>(uri);
    } catch (const DatabaseError &e) {
        // libpq's reason, the location without its password.
        databaseError(QStringLiteral("Cannot connect to database '%1' of alias '%2': %3")
                          .arg(m_name, m_alias, e.message()));
    }
    const QStringList tables = conn->tables();
    const QString shown = StoreLocation::shown(uri);
    if (!m_expectedTables.isEmpty()) {
        bool any = false;
        for (const QString &t : tables)
            any = any || m_expectedTables.contains(t, Qt::CaseInsensitive);
        if (!any)
            throw StorageFault(StorageFault::Kind::NotADatabase, shown);
    }
    int version = 0;
    if (tables.contains(QLatin1String("taluvo_schema"))) {
        SqlStatement st(*conn, QStringLiteral("SELECT max(version) FROM taluvo_schema"));
        if (st.step())
            version = int(st.int64(0));
    }
    if (m_newestVersion >= 0 && version > m_newestVersion)
        throw StorageFault(StorageFault::Kind::NewerVersion, shown, version, m_newestVersion);
    m_unprotected.clear();
    m_readOnly = false;
    m_storedVersion = version;
    m_directory = uri;
    m_conn = std::move(conn);
    // Several workstations share a server: an edit holds its row against the others.
    if (!m_recordLocks)
        m_recordLocks = recordLocksFor(uri);
    for (const QString &name : std::as_const(m_spellings))
        m_conn->addNameSpelling(name);
}

void Database::connectTo(const QString &dir)
{
    const SqliteStore::Probe probe = SqliteStore::probe(dir);
    if (!m_expectedTables.isEmpty()) {
        bool any = false;
        for (const QString &t : probe.tables)
            any = any || m_expectedTables.contains(t, Qt::CaseInsensitive);
        if (!any)
            throw StorageFault(StorageFault::Kind::NotADatabase, SqliteStore::filePath(dir));
    }
    if (m_newestVersion >= 0 && probe.userVersion > m_newestVersion)
        throw StorageFault(StorageFault::Kind::NewerVersion, SqliteStore::filePath(dir),
                           probe.userVersion, m_newestVersion);
    m_unprotected = SqliteStore::protect(dir);
    const QString connectionName
        = QStringLiteral("taluvo-%1-%2").arg(m_name).arg(++connectionCounter);
    m_conn = std::make_unique<SqliteConnection>(dir, connectionName, probe.readOnly);
    m_readOnly = probe.readOnly;
    m_storedVersion = probe.userVersion;
    m_directory = dir;
}

void Database::close(bool keepStatistics)
{
    if (m_recordLocks)
        m_recordLocks->unlockAll();
    if (!m_conn)
        return;
    if (m_transactionOpen) {
        try {
            m_conn->rollback();
        } catch (const DatabaseError &) {
        }
        m_transactionOpen = false;
    }
    m_pending.clear();
    m_done.clear();
    std::unique_ptr<Connection> conn = std::move(m_conn);
    conn->close(keepStatistics && !m_readOnly);
}

QString Database::filePath() const
{
    if (m_directory.isEmpty())
        return QString();
    return StoreLocation::isServer(m_directory) ? StoreLocation::shown(m_directory)
                                                : SqliteStore::filePath(m_directory);
}

QString Database::shownLocation() const
{
    return StoreLocation::shown(m_directory);
}

Connection &Database::connection() const
{
    if (!m_conn)
        databaseError(QStringLiteral("Database '%1' is not connected").arg(m_name));
    return *m_conn;
}

sqlite3 *Database::handle() const
{
    sqlite3 *h = connection().sqlite();
    if (!h)
        databaseError(QStringLiteral("This operation needs an SQLite database; '%1' is on the "
                                     "database server %2")
                          .arg(m_name, shownLocation()));
    return h;
}

void Database::registerNames(const QStringList &names)
{
    for (const QString &name : names) {
        m_spellings.insert(name.toLower(), name);
        if (m_conn)
            m_conn->addNameSpelling(name);
    }
}

void Database::registerColumnType(const QString &table, const QString &column, FieldType type,
                                  int size)
{
    m_columnTypes.insert(typeKey(table, column), ColumnType{type, size});
    if (!m_spellings.contains(column.toLower()))
        registerNames({column, table + QLatin1Char('.') + column});
}

void Database::registerFoldedColumn(const QString &table, const QString &column,
                                    const QString &folded)
{
    m_foldedColumns.insert(typeKey(table, column), folded);
}

QString Database::foldedColumn(const QString &table, const QString &column) const
{
    return m_foldedColumns.value(typeKey(table, column));
}

std::optional<Database::ColumnType> Database::columnType(const QString &table,
                                                         const QString &column) const
{
    const auto it = m_columnTypes.constFind(typeKey(table, column));
    if (it == m_columnTypes.constEnd())
        return std::nullopt;
    return *it;
}

std::optional<FieldType> Database::columnTypeByName(const QString &column) const
{
    const QString suffix = QLatin1Char('.') + column.toLower();
    std::optional<FieldType> found;
    for (auto it = m_columnTypes.constBegin(); it != m_columnTypes.constEnd(); ++it) {
        if (!it.key().endsWith(suffix))
            continue;
        if (found && *found != it->type)
            return std::nullopt;
        found = it->type;
    }
    return found;
}

void Database::submit(Write write)
{
    if (m_groupDepth == 0) {
        // A write outside any operation is a group of its own.
        WriteGroup group(this);
        m_pending.push_back(std::move(write));
        group.commit();
        return;
    }
    m_pending.push_back(std::move(write));
}

void Database::addReader(const void *owner, std::function<void()> finish)
{
    removeReader(owner);
    m_readers.emplace_back(owner, std::move(finish));
}

void Database::removeReader(const void *owner)
{
    m_readers.erase(std::remove_if(m_readers.begin(), m_readers.end(),
                                   [owner](const auto &r) { return r.first == owner; }),
                    m_readers.end());
}

void Database::beginTransaction()
{
    if (m_transactionOpen)
        return;
    if (m_readOnly)
        throw StorageFault(StorageFault::Kind::ReadOnly, filePath());
    while (!m_readers.empty()) {
        const auto reader = m_readers.back();
        reader.second();
        removeReader(reader.first);
    }
    connection().begin();
    m_transactionOpen = true;
}

void Database::runPending()
{
    while (!m_pending.empty()) {
        Write w = std::move(m_pending.front());
        m_pending.erase(m_pending.begin());
        m_done.push_back(w);
        if (w.exec)
            w.exec();
    }
}

void Database::flushForRead()
{
    if (m_pending.empty())
        return;
    beginTransaction();
    runPending();
}

void Database::commitAll()
{
    if (m_pending.empty() && !m_transactionOpen) {
        m_done.clear();
        return;
    }
    beginTransaction();
    runPending();
    connection().commit();
    m_transactionOpen = false;
    m_done.clear();
}

void Database::rollbackAll()
{
    if (m_transactionOpen && m_conn) {
        try {
            m_conn->rollback();
        } catch (const DatabaseError &) {
        }
    }
    m_transactionOpen = false;
    std::vector<Write> undo = std::move(m_done);
    for (auto &w : m_pending)
        undo.push_back(std::move(w));
    m_pending.clear();
    m_done.clear();
    for (auto it = undo.rbegin(); it != undo.rend(); ++it) {
        if (it->undo)
            it->undo();
    }
}

void Database::setRecordLocks(std::unique_ptr<RecordLocks> locks)
{
    if (m_recordLocks)
        m_recordLocks->unlockAll();
    m_recordLocks = std::move(locks);
}

void Database::whenWriteGroupEnds(std::function<void()> fn)
{
    if (m_groupDepth == 0) {
        fn();
        return;
    }
    m_groupEnd.push_back(std::move(fn));
}

Database::WriteGroup::WriteGroup(Database *db)
    : m_db(db)
{
    if (m_db)
        ++m_db->m_groupDepth;
}

Database::WriteGroup::~WriteGroup()
{
    if (!m_db)
        return;
    --m_db->m_groupDepth;
    if (m_db->m_groupDepth == 0 && !m_done) {
        // Left by an exception (or without commit): nothing of this operation is kept.
        if (!m_db->m_pending.empty() || !m_db->m_done.empty() || m_db->m_transactionOpen)
            m_db->rollbackAll();
    }
    if (m_db->m_groupDepth == 0 && !m_db->m_groupEnd.empty()) {
        std::vector<std::function<void()>> ends = std::move(m_db->m_groupEnd);
        m_db->m_groupEnd.clear();
        for (auto &fn : ends)
            fn();
    }
}

void Database::WriteGroup::commit()
{
    if (!m_db || m_db->m_groupDepth != 1) {
        m_done = true;
        return;
    }
    try {
        m_db->commitAll();
    } catch (...) {
        m_db->rollbackAll();
        m_done = true;
        throw;
    }
    m_done = true;
}
