#include "platform/engine/SqlStatement.h"

#include "platform/engine/DatabaseError.h"
#include "platform/engine/PgConnection.h"
#include "platform/engine/StorageFault.h"

#include <sqlite3.h>

void throwSqliteError(sqlite3 *db, int rc)
{
    const int extended = db ? sqlite3_extended_errcode(db) : rc;
    if (extended == SQLITE_CONSTRAINT_UNIQUE || extended == SQLITE_CONSTRAINT_PRIMARYKEY)
        databaseError(QStringLiteral("Key violation."));
    // Faults of the file itself are told in plain words, naming it.
    const QString path = db ? QString::fromUtf8(sqlite3_db_filename(db, "main")) : QString();
    switch (rc & 0xff) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        throw StorageFault(StorageFault::Kind::Damaged, path);
    case SQLITE_FULL:
        throw StorageFault(StorageFault::Kind::DiskFull, path);
    case SQLITE_READONLY:
        throw StorageFault(StorageFault::Kind::ReadOnly, path);
    default:
        break;
    }
    if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED)
        databaseError(QStringLiteral("The table is locked by another user: %1")
                          .arg(QString::fromUtf8(sqlite3_errmsg(db))));
    databaseError(QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
}

SqlStatement::SqlStatement(Connection &connection, const QString &sql)
{
    if (PgConnection *pg = connection.pg()) {
        m_pg = std::make_unique<PgStatement>(*pg, sql);
        return;
    }
    m_db = connection.sqlite();
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throwSqliteError(m_db, rc);
    }
    if (!m_stmt)
        databaseError(QStringLiteral("Empty SQL statement"));
}

SqlStatement::SqlStatement(sqlite3 *db, const QString &sql)
    : m_db(db)
{
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throwSqliteError(db, rc);
    }
    if (!m_stmt)
        databaseError(QStringLiteral("Empty SQL statement"));
}

SqlStatement::~SqlStatement()
{
    sqlite3_finalize(m_stmt);
}

void SqlStatement::fail(int rc) const
{
    throwSqliteError(m_db, rc);
}

void SqlStatement::bind(int index, const QVariant &value)
{
    if (m_pg)
        return m_pg->bind(index, value);
    int rc = SQLITE_OK;
    const int i = index + 1;
    if (!value.isValid() || value.isNull()) {
        rc = sqlite3_bind_null(m_stmt, i);
    } else {
        switch (value.typeId()) {
        case QMetaType::Bool:
            rc = sqlite3_bind_int64(m_stmt, i, value.toBool() ? 1 : 0);
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Long:
            rc = sqlite3_bind_int64(m_stmt, i, value.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(m_stmt, i, value.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray b = value.toByteArray();
            rc = sqlite3_bind_blob64(m_stmt, i, b.constData(), sqlite3_uint64(b.size()),
                                     SQLITE_TRANSIENT);
            break;
        }
        default: {
            const QByteArray t = value.toString().toUtf8();
            rc = sqlite3_bind_text64(m_stmt, i, t.constData(), sqlite3_uint64(t.size()),
                                     SQLITE_TRANSIENT, SQLITE_UTF8);
            break;
        }
        }
    }
    if (rc != SQLITE_OK)
        fail(rc);
}

int SqlStatement::parameterCount() const
{
    if (m_pg)
        return m_pg->parameterCount();
    return sqlite3_bind_parameter_count(m_stmt);
}

bool SqlStatement::step()
{
    if (m_pg)
        return m_pg->step();
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    sqlite3_reset(m_stmt);
    fail(rc);
}

void SqlStatement::reset()
{
    if (m_pg)
        return m_pg->reset();
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int SqlStatement::columnCount() const
{
    if (m_pg)
        return m_pg->columnCount();
    return sqlite3_column_count(m_stmt);
}

QString SqlStatement::columnName(int column) const
{
    if (m_pg)
        return m_pg->columnName(column);
    return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
}

QString SqlStatement::originTable(int column) const
{
    if (m_pg)
        return m_pg->originTable(column);
    return QString::fromUtf8(sqlite3_column_table_name(m_stmt, column));
}

QString SqlStatement::originColumn(int column) const
{
    if (m_pg)
        return m_pg->originColumn(column);
    return QString::fromUtf8(sqlite3_column_origin_name(m_stmt, column));
}

QString SqlStatement::declaredType(int column) const
{
    if (m_pg)
        return m_pg->declaredType(column);
    return QString::fromUtf8(sqlite3_column_decltype(m_stmt, column));
}

SqlType SqlStatement::columnType(int column) const
{
    if (m_pg)
        return m_pg->columnType(column);
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_INTEGER:
        return SqlType::Integer;
    case SQLITE_FLOAT:
        return SqlType::Float;
    case SQLITE_TEXT:
        return SqlType::Text;
    case SQLITE_BLOB:
        return SqlType::Blob;
    default:
        return SqlType::Null;
    }
}

void SqlStatement::setStreaming(bool streaming)
{
    if (m_pg)
        m_pg->setStreaming(streaming);
}

qint64 SqlStatement::changes() const
{
    if (m_pg)
        return m_pg->changes();
    return sqlite3_changes64(m_db);
}

bool SqlStatement::isNull(int column) const
{
    if (m_pg)
        return m_pg->isNull(column);
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

qint64 SqlStatement::int64(int column) const
{
    if (m_pg)
        return m_pg->int64(column);
    return sqlite3_column_int64(m_stmt, column);
}

double SqlStatement::real(int column) const
{
    if (m_pg)
        return m_pg->real(column);
    return sqlite3_column_double(m_stmt, column);
}

QString SqlStatement::text(int column) const
{
    if (m_pg)
        return m_pg->text(column);
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    return QString::fromUtf8(p, sqlite3_column_bytes(m_stmt, column));
}

const char *SqlStatement::textData(int column, int *length) const
{
    if (m_pg)
        return m_pg->textData(column, length);
    const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
    *length = sqlite3_column_bytes(m_stmt, column);
    return p;
}

QVariant SqlStatement::value(int column) const
{
    if (m_pg)
        return m_pg->value(column);
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(m_stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_stmt, column));
    case SQLITE_TEXT:
        return QVariant(text(column));
    case SQLITE_BLOB: {
        const auto *p = static_cast<const char *>(sqlite3_column_blob(m_stmt, column));
        return QVariant(QByteArray(p, sqlite3_column_bytes(m_stmt, column)));
    }
    default:
        return QVariant();
    }
}

bool SqlStatement::isReadOnly() const
{
    if (m_pg)
        return m_pg->isReadOnly();
    return sqlite3_stmt_readonly(m_stmt) != 0;
}
