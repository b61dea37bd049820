#include "platform/engine/Query.h"

#include "platform/engine/Convert.h"
#include "platform/engine/Database.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/LocalSql.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/StorageValue.h"

#include <sqlite3.h>

using namespace Convert;

void QueryParam::setValue(const QVariant &value)
{
    m_value = value;
    if (m_type != FieldType::Unknown)
        return;
    switch (value.typeId()) {
    case QMetaType::Bool:
        m_type = FieldType::Boolean;
        break;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        m_type = FieldType::Integer;
        break;
    case QMetaType::Double:
        m_type = FieldType::Float;
        break;
    case QMetaType::QDate:
        m_type = FieldType::Date;
        break;
    case QMetaType::QDateTime:
        m_type = FieldType::DateTime;
        break;
    default:
        m_type = FieldType::String;
        break;
    }
}

void QueryParam::setAsInteger(qint64 value)
{
    m_type = FieldType::Integer;
    m_value = value;
}

void QueryParam::setAsFloat(double value)
{
    m_type = FieldType::Float;
    m_value = value;
}

void QueryParam::setAsString(const QString &value)
{
    m_type = FieldType::String;
    m_value = value;
}

void QueryParam::setAsBoolean(bool value)
{
    m_type = FieldType::Boolean;
    m_value = value;
}

void QueryParam::setAsDate(const QDate &value)
{
    m_type = FieldType::Date;
    m_value = value;
}

void QueryParam::setAsDateTime(const QDateTime &value)
{
    m_type = FieldType::DateTime;
    m_value = value;
}

void QueryParam::clear()
{
    m_value = QVariant();
}

QVariant QueryParam::boundValue() const
{
    if (isNull())
        return QVariant();
    switch (m_value.typeId()) {
    case QMetaType::QDate:
        return dateToStorage(m_value.toDate());
    case QMetaType::QDateTime: {
        const QDateTime dt = m_value.toDateTime();
        // A date-time at midnight is a day: bound as a date it compares with date columns.
        if (dt.time() == QTime(0, 0))
            return dateToStorage(dt.date());
        return serialToStorage(dateTimeToSerial(dt));
    }
    case QMetaType::Bool:
        return qint64(m_value.toBool() ? 1 : 0);
    default:
        if (m_type == FieldType::Date && m_value.typeId() == QMetaType::Double)
            return dateToStorage(serialToDate(m_value.toDouble()));
        if (m_type == FieldType::DateTime && m_value.typeId() == QMetaType::Double)
            return serialToStorage(m_value.toDouble());
        return m_value;
    }
}

Query::Query(QObject *parent)
    : Dataset(parent)
{ }

Query::~Query()
{
    releaseCursor();
}

void Query::releaseCursor()
{
    m_cursor.reset();
    if (Database *db = Database::find(m_databaseName))
        db->removeReader(this);
}

void Query::keepCursor()
{
    Database *db = m_cursorHasRow ? database() : nullptr;
    if (!db) {
        releaseCursor();
        return;
    }
    // Read the rest before a write on this connection; the data sources see the new rows.
    db->addReader(this, [this]() {
        while (fetchMore()) { }
        dataEvent(DataEvent::DataSetChange);
    });
}

Database *Query::database() const
{
    return Database::find(m_databaseName);
}

void Query::setSql(const QStringList &lines)
{
    if (isActive())
        close();
    m_sql = lines;
    parseParams();
}

void Query::addSql(const QString &line)
{
    QStringList lines = m_sql;
    lines.append(line);
    setSql(lines);
}

void Query::setParamCheck(bool check)
{
    m_paramCheck = check;
    parseParams();
}

QueryParam &Query::param(int index)
{
    if (index < 0 || index >= int(m_params.size()))
        databaseError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return m_params[size_t(index)];
}

QueryParam &Query::paramByName(const QString &name)
{
    for (QueryParam &p : m_params) {
        if (p.name().compare(name, Qt::CaseInsensitive) == 0)
            return p;
    }
    databaseError(QStringLiteral("Parameter '%1' not found").arg(name));
}

QueryParam &Query::addParam(const QString &name)
{
    m_params.emplace_back(name);
    return m_params.back();
}

void Query::clearParams()
{
    m_params.clear();
}

QString Query::statementText() const
{
    return m_sql.join(QLatin1Char('\n'));
}

void Query::parseParams()
{
    const QString text = statementText();
    if (!m_paramCheck) {
        m_parsedSql = text;
        return;
    }
    std::vector<QueryParam> old = std::move(m_params);
    m_params.clear();
    QString out;
    out.reserve(text.size());
    const int n = int(text.size());
    for (int i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            // Copy a quoted literal or name untouched: a colon inside is not a parameter.
            out.append(c);
            int j = i + 1;
            while (j < n) {
                out.append(text[j]);
                if (text[j] == c) {
                    if (j + 1 < n && text[j + 1] == c) {
                        out.append(text[j + 1]);
                        j += 2;
                        continue;
                    }
                    break;
                }
                ++j;
            }
            i = j;
            continue;
        }
        if (c == QLatin1Char(':') && i + 1 < n
            && (text[i + 1].isLetterOrNumber() || text[i + 1] == QLatin1Char('_'))
            && (i == 0 || text[i - 1] != QLatin1Char(':'))) {
            int j = i + 1;
            while (j < n && (text[j].isLetterOrNumber() || text[j] == QLatin1Char('_')))
                ++j;
            const QString name = text.mid(i + 1, j - i - 1);
            QueryParam p(name);
            for (const QueryParam &o : old) {
                if (o.name().compare(name, Qt::CaseInsensitive) == 0) {
                    p = o;
                    break;
                }
            }
            m_params.push_back(p);
            out.append(QLatin1Char('?'));
            i = j - 1;
            continue;
        }
        out.append(c);
    }
    m_parsedSql = out;
}

std::unique_ptr<SqlStatement> Query::prepare()
{
    Database *db = database();
    if (!db)
        databaseError(QStringLiteral("Unknown database: %1").arg(m_databaseName));
    db->flushForRead();
    const QString sql
        = LocalSql::translate(m_paramCheck ? m_parsedSql : statementText(),
                              [db](const QString &column) { return db->columnTypeByName(column); });
    if (sql.trimmed().isEmpty())
        databaseError(QStringLiteral("No SQL statement available"));
    auto st = std::make_unique<SqlStatement>(db->handle(), sql);
    const int count = qMin(st->parameterCount(), int(m_params.size()));
    for (int i = 0; i < count; ++i)
        st->bind(i, m_params[size_t(i)].boundValue());
    return st;
}

void Query::doOpen()
{
    m_cursor = prepare();
    SqlStatement &st = *m_cursor;
    const int columns = st.columnCount();
    if (columns == 0) {
        m_cursor.reset();
        databaseError(QStringLiteral("Error creating cursor handle"));
    }
    m_cursorHasRow = st.step();

    // SQLite's names, made unique the way the grids and reports address them.
    QStringList names;
    for (int c = 0; c < columns; ++c) {
        const QString base = st.columnName(c);
        QString name = base;
        for (int k = 1; names.contains(name, Qt::CaseInsensitive); ++k)
            name = base + QLatin1Char('_') + QString::number(k);
        names.append(name);
    }

    m_columnOfField.clear();
    Database *db = database();
    if (hasDeclaredFields()) {
        for (Field *f : fields()) {
            int found = -1;
            for (int k = 0; k < names.size(); ++k) {
                if (names[k].compare(f->fieldName(), Qt::CaseInsensitive) == 0) {
                    found = k;
                    break;
                }
            }
            if (found < 0) {
                m_cursor.reset();
                databaseError(QStringLiteral("Field '%1' not found").arg(f->fieldName()));
            }
            f->setOrigin(st.originTable(found), st.originColumn(found));
            m_columnOfField.append(found);
        }
        keepCursor();
        return;
    }
    for (int c = 0; c < columns; ++c) {
        const QString table = st.originTable(c);
        const QString column = st.originColumn(c);
        FieldType type = FieldType::Unknown;
        int size = 0;
        if (!table.isEmpty() && db) {
            if (const auto known = db->columnType(table, column)) {
                type = known->type;
                size = known->size;
            }
        }
        if (type == FieldType::Unknown) {
            const QString decl = st.declaredType(c).toUpper();
            if (!decl.isEmpty()) {
                type = StorageValue::fromDeclaredType(decl, false);
                if (type == FieldType::Memo)
                    type = FieldType::String;
            } else if (m_cursorHasRow) {
                switch (st.columnType(c)) {
                case SQLITE_INTEGER:
                    type = FieldType::Integer;
                    break;
                case SQLITE_FLOAT:
                    type = FieldType::Float;
                    break;
                case SQLITE_BLOB:
                    type = FieldType::Blob;
                    break;
                default:
                    type = FieldType::String;
                    break;
                }
            } else {
                type = FieldType::String;
            }
        }
        if (type == FieldType::AutoInc)
            type = FieldType::Integer;
        Field *f = createField(names[c], type, size);
        f->setOrigin(table, column);
        m_columnOfField.append(c);
    }
    keepCursor();
}

bool Query::fetchMore()
{
    if (!m_cursor || !m_cursorHasRow)
        return false;
    SqlStatement &st = *m_cursor;
    const int n = fieldCount();
    for (int batch = 0; batch < 256 && m_cursorHasRow; ++batch) {
        DatasetRow row;
        row.values.resize(n);
        for (int i = 0; i < n; ++i)
            row.values[i] = StorageValue::read(st, m_columnOfField[i], field(i)->dataType());
        appendLoadedRow(std::move(row));
        m_cursorHasRow = st.step();
    }
    if (!m_cursorHasRow)
        releaseCursor();
    return true;
}

void Query::doClose()
{
    m_cursorHasRow = false;
    releaseCursor();
}

void Query::reloadRows()
{
    resetRows();
    m_cursor = prepare();
    m_cursorHasRow = m_cursor->step();
    keepCursor();
}

int Query::execSql()
{
    if (isActive())
        close();
    auto st = prepare();
    while (st->step()) { }
    m_rowsAffected = st->isReadOnly() ? 0 : sqlite3_changes(st->db());
    return m_rowsAffected;
}
