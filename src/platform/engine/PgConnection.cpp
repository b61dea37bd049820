#include "platform/engine/PgConnection.h"

#include "platform/engine/DatabaseError.h"
#include "platform/engine/StoreLocation.h"

#include <libpq-fe.h>

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace {
// Type oids of the built-in types results carry.
constexpr Oid BoolOid = 16;
constexpr Oid ByteaOid = 17;
constexpr Oid Int8Oid = 20;
constexpr Oid Int2Oid = 21;
constexpr Oid Int4Oid = 23;
constexpr Oid OidOid = 26;
constexpr Oid Float4Oid = 700;
constexpr Oid Float8Oid = 701;
constexpr Oid NumericOid = 1700;

bool isIdentifierChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

QString sqlTypeOf(const QString &pgType)
{
    const QString t = pgType.toLower();
    if (t == QLatin1String("smallint") || t == QLatin1String("integer")
        || t == QLatin1String("bigint"))
        return QStringLiteral("INTEGER");
    if (t == QLatin1String("double precision") || t == QLatin1String("real")
        || t.startsWith(QLatin1String("numeric")))
        return QStringLiteral("REAL");
    if (t == QLatin1String("bytea"))
        return QStringLiteral("BLOB");
    if (t == QLatin1String("text") || t.startsWith(QLatin1String("character")))
        return QStringLiteral("TEXT");
    return t.toUpper();
}
} // namespace

PgConnection::PgConnection(const QString &uri)
    : m_shown(StoreLocation::shown(uri))
    , m_password(StoreLocation::password(uri))
{
    m_conn = PQconnectdb(uri.trimmed().toUtf8().constData());
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        QString reason = m_conn ? QString::fromUtf8(PQerrorMessage(m_conn)).trimmed()
                                : QStringLiteral("out of memory");
        if (!m_password.isEmpty())
            reason.replace(m_password, QLatin1String("***"));
        PQfinish(m_conn);
        m_conn = nullptr;
        databaseError(QStringLiteral("Cannot connect to the database server '%1': %2")
                          .arg(m_shown, reason));
    }
    // Messages of the server stay out of the terminal; errors come back with each result.
    PQsetNoticeProcessor(m_conn, [](void *, const char *) {}, nullptr);
    setUp();
}

void PgConnection::setUp()
{
    PQsetClientEncoding(m_conn, "UTF8");
    exec(QStringLiteral("SET datestyle = ISO; SET extra_float_digits = 1"));
}

void PgConnection::reconnectIfLost()
{
    if (!m_conn || !m_idle || PQstatus(m_conn) == CONNECTION_OK)
        return;
    m_streaming = nullptr;
    PQreset(m_conn);
    if (PQstatus(m_conn) != CONNECTION_OK)
        return; // the statement fails, naming the loss
    m_prepared.clear();
    m_relations.clear();
    ++m_generation;
    setUp();
}

PgConnection::~PgConnection()
{
    close(false);
}

void PgConnection::close(bool)
{
    if (m_streaming)
        m_streaming->drain();
    m_streaming = nullptr;
    PQfinish(m_conn);
    m_conn = nullptr;
}

void PgConnection::fail(PGresult *result)
{
    const char *state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    // The server's own words, without its "ERROR:" prefix and context lines.
    const char *primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    QString message = QString::fromUtf8(primary ? primary
                                        : result ? PQresultErrorMessage(result)
                                                 : PQerrorMessage(m_conn))
                          .trimmed();
    if (message.isEmpty() && m_conn)
        message = QString::fromUtf8(PQerrorMessage(m_conn)).trimmed();
    if (message.startsWith(QLatin1String("ERROR:")))
        message = message.mid(6).trimmed();
    const QByteArray code = state ? QByteArray(state) : QByteArray();
    PQclear(result);
    if (!m_password.isEmpty())
        message.replace(m_password, QLatin1String("***"));
    if (code == "23505")
        databaseError(QStringLiteral("Key violation."));
    // libpq words a loss over indented lines; a message box wants one paragraph.
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK)
        databaseError(QStringLiteral("The connection to the database server '%1' was lost: %2")
                          .arg(m_shown, message.simplified()));
    if (code == "55P03" || code == "40001" || code == "40P01")
        databaseError(QStringLiteral("The table is locked by another user: %1").arg(message));
    databaseError(message);
}

void PgConnection::finishStreaming()
{
    if (m_streaming) {
        PgStatement *st = m_streaming;
        m_streaming = nullptr;
        st->drain();
    }
}

PGresult *PgConnection::run(const QByteArray &sql)
{
    if (!m_conn)
        databaseError(QStringLiteral("The database connection is closed"));
    reconnectIfLost();
    finishStreaming();
    PGresult *r = PQexec(m_conn, sql.constData());
    const ExecStatusType status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        fail(r);
    noteTransactionState();
    return r;
}

void PgConnection::exec(const QString &sql)
{
    PQclear(run(sql.toUtf8()));
}

void PgConnection::noteTransactionState()
{
    m_idle = PQtransactionStatus(m_conn) == PQTRANS_IDLE;
}

void PgConnection::begin()
{
    exec(QStringLiteral("BEGIN"));
}

void PgConnection::commit()
{
    try {
        exec(QStringLiteral("COMMIT"));
    } catch (...) {
        // Failed or not, the transaction is over.
        m_idle = true;
        throw;
    }
}

void PgConnection::rollback()
{
    m_idle = true;
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK)
        return;
    finishStreaming();
    if (PQtransactionStatus(m_conn) != PQTRANS_IDLE)
        PQclear(PQexec(m_conn, "ROLLBACK"));
}

void PgConnection::addNameSpelling(const QString &name)
{
    // "table.column" names a column of one table; a bare column name serves every other.
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    m_spellings.insert(name.toLower(), name.mid(dot + 1));
}

QString PgConnection::spelling(const QString &name) const
{
    return m_spellings.value(name, name);
}

QString PgConnection::spelling(const QString &table, const QString &column) const
{
    const auto it = m_spellings.constFind(table.toLower() + QLatin1Char('.') + column);
    return it != m_spellings.constEnd() ? *it : spelling(column);
}

std::vector<Connection::ColumnInfo> PgConnection::tableInfo(const QString &table)
{
    std::vector<ColumnInfo> columns;
    // The engine's row identity column stays out of the table's columns.
    PgStatement st(*this, QStringLiteral(
        "SELECT a.attname, format_type(a.atttypid, a.atttypmod), "
        "coalesce((SELECT k.n FROM unnest(i.indkey::int2[]) WITH ORDINALITY AS k(att, n) "
        "WHERE k.att = a.attnum), 0) "
        "FROM pg_attribute a JOIN pg_class c ON c.oid = a.attrelid "
        "LEFT JOIN pg_index i ON i.indrelid = c.oid AND i.indisprimary "
        "WHERE c.relname = lower(?) AND c.relkind IN ('r', 'p', 'v') "
        "AND c.relnamespace = current_schema()::regnamespace "
        "AND a.attnum > 0 AND NOT a.attisdropped AND a.attname <> 'rowid' ORDER BY a.attnum"));
    st.bind(0, table);
    while (st.step())
        columns.push_back(ColumnInfo{spelling(table, st.text(0)), sqlTypeOf(st.text(1)),
                                     int(st.int64(2))});
    return columns;
}

QStringList PgConnection::indexColumns(const QString &index)
{
    QStringList columns;
    PgStatement st(*this, QStringLiteral(
        "SELECT a.attname FROM pg_index i JOIN pg_class ic ON ic.oid = i.indexrelid "
        "JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = ANY(i.indkey) "
        "WHERE ic.relname = lower(?) AND ic.relnamespace = current_schema()::regnamespace "
        "AND a.attname <> 'rowid' ORDER BY array_position(i.indkey::int2[], a.attnum)"));
    st.bind(0, index);
    while (st.step())
        columns.append(spelling(st.text(0)));
    return columns;
}

QStringList PgConnection::tables()
{
    QStringList names;
    PgStatement st(*this, QStringLiteral("SELECT tablename FROM pg_tables "
                                         "WHERE schemaname = current_schema()"));
    while (st.step())
        names.append(st.text(0).toLower());
    return names;
}

QString PgConnection::numberMarkers(const QString &sql, int *count)
{
    QString out;
    out.reserve(sql.size() + 8);
    QHash<QString, int> named;
    int next = 0;
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            qsizetype j = i + 1;
            while (j < n) {
                if (sql[j] == c) {
                    if (j + 1 < n && sql[j + 1] == c) {
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            out += sql.mid(i, j - i + 1);
            i = j;
            continue;
        }
        if (c == QLatin1Char('-') && i + 1 < n && sql[i + 1] == QLatin1Char('-')) {
            const qsizetype end = sql.indexOf(QLatin1Char('\n'), i);
            const qsizetype stop = end < 0 ? n : end;
            out += sql.mid(i, stop - i);
            i = stop - 1;
            continue;
        }
        if (c == QLatin1Char('/') && i + 1 < n && sql[i + 1] == QLatin1Char('*')) {
            const qsizetype end = sql.indexOf(QLatin1String("*/"), i + 2);
            const qsizetype stop = end < 0 ? n : end + 2;
            out += sql.mid(i, stop - i);
            i = stop - 1;
            continue;
        }
        if (c == QLatin1Char('?')) {
            qsizetype j = i + 1;
            while (j < n && sql[j].isDigit())
                ++j;
            if (j > i + 1) {
                const int number = sql.mid(i + 1, j - i - 1).toInt();
                next = qMax(next, number);
                out += QLatin1Char('$') + QString::number(number);
                i = j - 1;
            } else {
                out += QLatin1Char('$') + QString::number(++next);
            }
            continue;
        }
        if (c == QLatin1Char(':') && i + 1 < n && isIdentifierChar(sql[i + 1])
            && !sql[i + 1].isDigit() && (i == 0 || sql[i - 1] != QLatin1Char(':'))) {
            qsizetype j = i + 1;
            while (j < n && isIdentifierChar(sql[j]))
                ++j;
            const QString name = sql.mid(i + 1, j - i - 1).toLower();
            // A name seen again is the same parameter.
            int &number = named[name];
            if (number == 0)
                number = ++next;
            out += QLatin1Char('$') + QString::number(number);
            i = j - 1;
            continue;
        }
        out += c;
    }
    *count = next;
    return out;
}

std::shared_ptr<PgConnection::Prepared> PgConnection::prepare(const QString &sql)
{
    reconnectIfLost();
    if (auto found = m_prepared.value(sql))
        return found;
    if (!m_conn)
        databaseError(QStringLiteral("The database connection is closed"));
    finishStreaming();
    auto p = std::make_shared<Prepared>();
    p->generation = m_generation;
    const QString text = numberMarkers(sql, &p->parameters);
    p->name = "taluvo_" + QByteArray::number(++m_counter);
    PGresult *r = PQprepare(m_conn, p->name.constData(), text.toUtf8().constData(), 0, nullptr);
    if (!r || PQresultStatus(r) != PGRES_COMMAND_OK)
        fail(r);
    PQclear(r);
    r = PQdescribePrepared(m_conn, p->name.constData());
    if (!r || PQresultStatus(r) != PGRES_COMMAND_OK)
        fail(r);
    p->parameters = PQnparams(r);
    p->columns = PQnfields(r);
    describeOrigins(*p, r);
    for (int c = 0; c < p->columns; ++c) {
        p->types.push_back(PQftype(r, c));
        const QString name = QString::fromUtf8(PQfname(r, c));
        // A column read as it is named in its table takes that table's spelling of it.
        p->columnNames.append(
            p->originColumns[c].compare(name, Qt::CaseInsensitive) == 0
                ? p->originColumns[c]
                : spelling(name));
    }
    const QString head = sql.trimmed().section(QLatin1Char(' '), 0, 0).toLower();
    p->readOnly = p->columns > 0 && (head == QLatin1String("select") || head == QLatin1String("with")
                                     || head == QLatin1String("values")
                                     || head == QLatin1String("(select"));
    PQclear(r);
    m_prepared.insert(sql, p);
    return p;
}

void PgConnection::describeOrigins(Prepared &prepared, PGresult *description)
{
    for (int c = 0; c < prepared.columns; ++c) {
        const Oid table = PQftable(description, c);
        const int column = PQftablecol(description, c);
        if (table == InvalidOid || column <= 0) {
            prepared.originTables.append(QString());
            prepared.originColumns.append(QString());
            continue;
        }
        if (!m_relations.contains(table)) {
            QPair<QString, QHash<int, QString>> relation;
            const QByteArray sql = "SELECT c.relname, a.attnum, a.attname FROM pg_class c JOIN "
                                   "pg_attribute a ON a.attrelid = c.oid WHERE a.attnum > 0 AND c.oid = "
                + QByteArray::number(table);
            PGresult *r = PQexec(m_conn, sql.constData());
            if (!r || PQresultStatus(r) != PGRES_TUPLES_OK)
                fail(r);
            for (int row = 0; row < PQntuples(r); ++row) {
                relation.first = QString::fromUtf8(PQgetvalue(r, row, 0));
                relation.second.insert(
                    std::atoi(PQgetvalue(r, row, 1)),
                    spelling(relation.first, QString::fromUtf8(PQgetvalue(r, row, 2))));
            }
            PQclear(r);
            m_relations.insert(table, relation);
        }
        const auto &relation = m_relations[table];
        prepared.originTables.append(relation.first);
        prepared.originColumns.append(relation.second.value(column));
    }
}

// ---------------------------------------------------------------------------------------------

PgStatement::PgStatement(PgConnection &connection, const QString &sql)
    : m_conn(connection)
    , m_connAlive(connection.lifetime())
    , m_sql(sql)
{
    m_keep = connection.prepare(sql);
    m_prepared = m_keep.get();
    const size_t n = size_t(m_prepared->parameters);
    m_values.resize(n);
    m_formats.assign(n, 0);
    m_nulls.assign(n, true);
}

PgStatement::~PgStatement()
{
    if (!m_connAlive.expired() && m_conn.streaming() == this) {
        m_conn.setStreaming(nullptr);
        // The rest of the rows are read and dropped: the connection must be free for the next.
        drain();
    }
    clearResults();
}

void PgStatement::clearResults()
{
    PQclear(m_result);
    m_result = nullptr;
    for (PGresult *r : m_drained)
        PQclear(r);
    m_drained.clear();
    m_row = -1;
}

void PgStatement::bind(int index, const QVariant &value)
{
    if (index < 0 || index >= int(m_values.size()))
        databaseError(QStringLiteral("Parameter %1 out of range").arg(index + 1));
    const size_t i = size_t(index);
    m_formats[i] = 0;
    if (!value.isValid() || value.isNull()) {
        m_nulls[i] = true;
        m_values[i].clear();
        return;
    }
    m_nulls[i] = false;
    switch (value.typeId()) {
    case QMetaType::Bool:
        m_values[i] = value.toBool() ? "1" : "0";
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
        m_values[i] = QByteArray::number(value.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float: {
        char buffer[32];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, value.toDouble()).ptr;
        m_values[i] = QByteArray(buffer, int(end - buffer));
        break;
    }
    case QMetaType::QByteArray:
        m_values[i] = value.toByteArray();
        m_formats[i] = 1;
        break;
    default:
        m_values[i] = value.toString().toUtf8();
        break;
    }
}

void PgStatement::execute()
{
    if (m_connAlive.expired())
        databaseError(QStringLiteral("The database connection is closed"));
    m_conn.reconnectIfLost();
    m_conn.finishStreaming();
    PGconn *conn = m_conn.native();
    if (!conn)
        databaseError(QStringLiteral("The database connection is closed"));
    if (m_prepared->generation != m_conn.generation()) {
        m_keep = m_conn.prepare(m_sql);
        m_prepared = m_keep.get();
    }
    const int n = int(m_values.size());
    std::vector<const char *> values(size_t(n) + 1);
    std::vector<int> lengths(size_t(n) + 1);
    for (int i = 0; i < n; ++i) {
        values[size_t(i)] = m_nulls[size_t(i)] ? nullptr : m_values[size_t(i)].constData();
        lengths[size_t(i)] = int(m_values[size_t(i)].size());
    }
    m_executed = true;
    m_changes = 0;
    if (m_wantStreaming && m_prepared->columns > 0) {
        if (!PQsendQueryPrepared(conn, m_prepared->name.constData(), n, values.data(),
                                 lengths.data(), m_formats.data(), 0))
            m_conn.fail(nullptr);
        PQsetSingleRowMode(conn);
        m_onWire = true;
        m_conn.setStreaming(this);
        return;
    }
    PGresult *r = PQexecPrepared(conn, m_prepared->name.constData(), n, values.data(),
                                 lengths.data(), m_formats.data(), 0);
    const ExecStatusType status = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        m_conn.fail(r);
    m_conn.noteTransactionState();
    const char *tuples = PQcmdTuples(r);
    m_changes = tuples && *tuples ? std::atoll(tuples) : 0;
    m_result = r;
}

PGresult *PgStatement::nextStreamed()
{
    PGconn *conn = m_connAlive.expired() ? nullptr : m_conn.native();
    while (true) {
        PGresult *r = nullptr;
        if (!m_drained.empty()) {
            r = m_drained.front();
            m_drained.pop_front();
        } else if (m_onWire && conn) {
            r = PQgetResult(conn);
            if (!r)
                m_onWire = false;
        }
        if (!r) {
            if (!conn) {
                if (m_onWire)
                    databaseError(QStringLiteral("The database connection is closed"));
                return nullptr;
            }
            if (m_conn.streaming() == this)
                m_conn.setStreaming(nullptr);
            return nullptr;
        }
        const ExecStatusType status = PQresultStatus(r);
        if (status == PGRES_SINGLE_TUPLE)
            return r;
        if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) {
            PQclear(r); // the end of the rows
            continue;
        }
        if (!conn) {
            const QString message = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
            PQclear(r);
            databaseError(message);
        }
        // Whatever follows the failure is read off the wire before it is told.
        drain();
        m_conn.fail(r);
    }
}

void PgStatement::drain()
{
    if (m_connAlive.expired()) {
        m_onWire = false;
        return;
    }
    if (m_conn.streaming() == this)
        m_conn.setStreaming(nullptr);
    PGconn *conn = m_connAlive.expired() ? nullptr : m_conn.native();
    while (m_onWire) {
        PGresult *r = conn ? PQgetResult(conn) : nullptr;
        if (!r) {
            m_onWire = false;
            break;
        }
        m_drained.push_back(r);
    }
}

bool PgStatement::step()
{
    if (!m_executed)
        execute();
    if (m_onWire || !m_drained.empty()) {
        PQclear(m_result);
        m_result = nextStreamed();
        m_row = 0;
        return m_result != nullptr;
    }
    if (!m_result)
        return false;
    if (PQresultStatus(m_result) != PGRES_TUPLES_OK)
        return false;
    ++m_row;
    return m_row < PQntuples(m_result);
}

void PgStatement::reset()
{
    if (!m_connAlive.expired() && m_conn.streaming() == this) {
        m_conn.setStreaming(nullptr);
        drain();
    }
    clearResults();
    m_onWire = false;
    m_executed = false;
}

QString PgStatement::columnName(int column) const
{
    return m_prepared->columnNames.value(column);
}

QString PgStatement::originTable(int column) const
{
    return m_prepared->originTables.value(column);
}

QString PgStatement::originColumn(int column) const
{
    return m_prepared->originColumns.value(column);
}

QString PgStatement::declaredType(int column) const
{
    // As SQLite: only a column read straight from a table has a declared type.
    if (m_prepared->originTables.value(column).isEmpty())
        return QString();
    switch (m_prepared->types[size_t(column)]) {
    case BoolOid:
    case Int2Oid:
    case Int4Oid:
    case Int8Oid:
        return QStringLiteral("INTEGER");
    case Float4Oid:
    case Float8Oid:
    case NumericOid:
        return QStringLiteral("REAL");
    case ByteaOid:
        return QStringLiteral("BLOB");
    default:
        return QStringLiteral("TEXT");
    }
}

bool PgStatement::isNull(int column) const
{
    return !m_result || PQgetisnull(m_result, m_row, column);
}

SqlType PgStatement::columnType(int column) const
{
    if (isNull(column))
        return SqlType::Null;
    switch (m_prepared->types[size_t(column)]) {
    case BoolOid:
    case Int2Oid:
    case Int4Oid:
    case Int8Oid:
    case OidOid:
        return SqlType::Integer;
    case Float4Oid:
    case Float8Oid:
        return SqlType::Float;
    case NumericOid: {
        // A sum or an average of whole numbers: whole when it has no fraction, as SQLite's.
        const char *p = PQgetvalue(m_result, m_row, column);
        return std::strpbrk(p, ".eEN") ? SqlType::Float : SqlType::Integer;
    }
    case ByteaOid:
        return SqlType::Blob;
    default:
        return SqlType::Text;
    }
}

qint64 PgStatement::int64(int column) const
{
    if (isNull(column))
        return 0;
    const char *p = PQgetvalue(m_result, m_row, column);
    const int len = PQgetlength(m_result, m_row, column);
    if (len == 1 && (*p == 't' || *p == 'f'))
        return *p == 't' ? 1 : 0;
    qint64 v = 0;
    const auto [end, ec] = std::from_chars(p, p + len, v);
    if (ec == std::errc() && end == p + len)
        return v;
    return qint64(real(column));
}

double PgStatement::real(int column) const
{
    if (isNull(column))
        return 0;
    const char *p = PQgetvalue(m_result, m_row, column);
    const int len = PQgetlength(m_result, m_row, column);
    double v = 0;
    if (std::from_chars(p, p + len, v).ec != std::errc()) {
        if (len == 1 && (*p == 't' || *p == 'f'))
            return *p == 't' ? 1 : 0;
        return 0;
    }
    return v;
}

QString PgStatement::text(int column) const
{
    if (isNull(column))
        return QString();
    return QString::fromUtf8(PQgetvalue(m_result, m_row, column),
                             PQgetlength(m_result, m_row, column));
}

const char *PgStatement::textData(int column, int *length) const
{
    if (isNull(column)) {
        *length = 0;
        return "";
    }
    *length = PQgetlength(m_result, m_row, column);
    return PQgetvalue(m_result, m_row, column);
}

QVariant PgStatement::value(int column) const
{
    switch (columnType(column)) {
    case SqlType::Integer:
        return QVariant(int64(column));
    case SqlType::Float:
        return QVariant(real(column));
    case SqlType::Text:
        return QVariant(text(column));
    case SqlType::Blob: {
        size_t n = 0;
        unsigned char *bytes = PQunescapeBytea(
            reinterpret_cast<const unsigned char *>(PQgetvalue(m_result, m_row, column)), &n);
        QByteArray b(reinterpret_cast<const char *>(bytes), qsizetype(n));
        PQfreemem(bytes);
        return QVariant(b);
    }
    case SqlType::Null:
        break;
    }
    return QVariant();
}
