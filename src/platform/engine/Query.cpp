#include "platform/engine/Query.h"

#include "platform/engine/Convert.h"
#include "platform/engine/Database.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/LocalSql.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/StorageValue.h"


#include <algorithm>
#include <iterator>

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
    if (isWindowed()) {
        // The next read starts again from the last row's key.
        db->addReader(this, [this]() {
            m_cursorHasRow = false;
            releaseCursor();
        });
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

std::unique_ptr<SqlStatement> Query::prepare(const QString &text)
{
    Database *db = database();
    if (!db)
        databaseError(QStringLiteral("Unknown database: %1").arg(m_databaseName));
    db->flushForRead();
    const QString source = !text.isEmpty() ? text : m_paramCheck ? m_parsedSql : statementText();
    const QString sql = LocalSql::translate(
        source, [db](const QString &column) { return db->columnTypeByName(column); },
        db->isPostgreSql() ? LocalSql::Dialect::PostgreSql : LocalSql::Dialect::Sqlite);
    if (sql.trimmed().isEmpty())
        databaseError(QStringLiteral("No SQL statement available"));
    auto st = std::make_unique<SqlStatement>(db->connection(), sql);
    const int count = qMin(st->parameterCount(), int(m_params.size()));
    for (int i = 0; i < count; ++i)
        st->bind(i, m_params[size_t(i)].boundValue());
    return st;
}

void Query::doOpen()
{
    m_atStart = true;
    m_atEnd = !isWindowed();
    m_cursorSegment = Segment::All;
    m_cursorLimit = isWindowed() ? cursorLimit() : 0;
    m_cursorRead = 0;
    m_cursor = isWindowed() ? prepare(windowStatement(Range(), true, m_cursorLimit)) : prepare();
    SqlStatement &st = *m_cursor;
    // The first rows show before the whole result is read.
    st.setStreaming(true);
    // The keys' values come last, after the columns the fields read.
    const int columns = st.columnCount() - int(m_keys.size());
    if (columns <= 0) {
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
    // The server's row identity column, which "select *" takes, is not one of the table's.
    const bool hideRowid = db && db->isPostgreSql()
        && !statementText().contains(QLatin1String("rowid"), Qt::CaseInsensitive);
    for (int c = 0; c < columns; ++c) {
        const QString table = st.originTable(c);
        const QString column = st.originColumn(c);
        if (hideRowid && column == QLatin1String("rowid"))
            continue;
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
                case SqlType::Integer:
                    type = FieldType::Integer;
                    break;
                case SqlType::Float:
                    type = FieldType::Float;
                    break;
                case SqlType::Blob:
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

bool Query::canFetchMore() const
{
    if (isWindowed())
        return isActive() && !m_atEnd;
    return m_cursor && m_cursorHasRow;
}

DatasetRow Query::readRow(const SqlStatement &st)
{
    const int n = fieldCount();
    const int keys = int(m_keys.size());
    DatasetRow row;
    row.values.resize(n + keys);
    for (int i = 0; i < n; ++i)
        row.values[i] = StorageValue::read(st, m_columnOfField[i], field(i)->dataType());
    // Stored as stored, to be bound again as they are.
    const int base = st.columnCount() - keys;
    for (int k = 0; k < keys; ++k)
        row.values[n + k] = st.value(base + k);
    return row;
}

bool Query::fetchMore()
{
    if (isWindowed())
        return fetchWindowed();
    if (!m_cursor || !m_cursorHasRow)
        return false;
    SqlStatement &st = *m_cursor;
    for (int batch = 0; batch < 256 && m_cursorHasRow; ++batch) {
        appendLoadedRow(readRow(st));
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
    m_atStart = m_atEnd = true;
}

void Query::reloadRows()
{
    resetRows();
    if (isWindowed()) {
        m_cursorHasRow = false;
        releaseCursor();
        m_atStart = true;
        m_atEnd = false;
        fetchWindowed();
        return;
    }
    m_cursor = prepare();
    m_cursor->setStreaming(true);
    m_cursorHasRow = m_cursor->step();
    keepCursor();
}

void Query::setSortKeys(const QStringList &expressions, bool descending)
{
    if (isActive())
        databaseError(QStringLiteral("Cannot perform this operation on an open dataset"));
    m_keys = expressions;
    m_descending = descending;
}

namespace {
// Where the clauses of a select start, outside quotes and parentheses; -1 when absent.
struct Clauses
{
    int from = -1;
    int where = -1;
    int orderBy = -1;
    bool plain = true; // no GROUP BY, HAVING, compound select or LIMIT
};

Clauses clausesOf(const QString &sql)
{
    Clauses c;
    int depth = 0;
    const int n = int(sql.size());
    auto wordAt = [&](int i) {
        int j = i;
        while (j < n && (sql[j].isLetterOrNumber() || sql[j] == QLatin1Char('_')))
            ++j;
        return sql.mid(i, j - i).toLower();
    };
    for (int i = 0; i < n; ++i) {
        const QChar ch = sql[i];
        if (ch == QLatin1Char('\'') || ch == QLatin1Char('"') || ch == QLatin1Char('[')) {
            const QChar close = ch == QLatin1Char('[') ? QLatin1Char(']') : ch;
            for (++i; i < n && sql[i] != close; ++i) { }
            continue;
        }
        if (ch == QLatin1Char('(')) {
            ++depth;
            continue;
        }
        if (ch == QLatin1Char(')')) {
            --depth;
            continue;
        }
        if (depth > 0 || !ch.isLetter()
            || (i > 0 && (sql[i - 1].isLetterOrNumber() || sql[i - 1] == QLatin1Char('_'))))
            continue;
        const QString word = wordAt(i);
        if (word == QLatin1String("from") && c.from < 0) {
            c.from = i;
        } else if (word == QLatin1String("where") && c.from >= 0 && c.where < 0) {
            c.where = i;
        } else if (word == QLatin1String("order")) {
            int j = i + 5;
            while (j < n && sql[j].isSpace())
                ++j;
            if (wordAt(j) == QLatin1String("by"))
                c.orderBy = i;
        } else if (word == QLatin1String("group") || word == QLatin1String("having")
                   || word == QLatin1String("union") || word == QLatin1String("except")
                   || word == QLatin1String("intersect") || word == QLatin1String("limit")) {
            c.plain = false;
        }
        i += int(word.size()) - 1;
    }
    return c;
}

QString rowValue(const QStringList &items)
{
    return items.size() == 1 ? items.front()
                             : QLatin1Char('(') + items.join(QLatin1String(", ")) + QLatin1Char(')');
}
} // namespace

QString Query::windowStatement(const Range &range, bool towardsEnd, int limit) const
{
    const QString sql = m_paramCheck ? m_parsedSql : statementText();
    const Clauses c = clausesOf(sql);
    if (c.from < 0 || !c.plain)
        databaseError(QStringLiteral("A query read by window needs a plain ordered select"));
    const int end = c.orderBy >= 0 ? c.orderBy : int(sql.size());
    QStringList conditions;
    if (c.where >= 0)
        conditions.append(QLatin1Char('(') + sql.mid(c.where + 5, end - c.where - 5).trimmed()
                          + QLatin1Char(')'));
    if (!range.condition.isEmpty())
        conditions.append(range.condition);
    // Read towards the start, the order runs backwards.
    // SQLite's order, nulls first, on every store.
    const bool postgreSql = database() && database()->isPostgreSql();
    const QString direction = QLatin1String(
        m_descending == towardsEnd ? (postgreSql ? " desc nulls last" : " desc")
                                   : (postgreSql ? " asc nulls first" : " asc"));
    // A rowid is never null: ordered as the indexes that end with it are, so the server can walk
    // one instead of sorting.
    const QLatin1String plainDirection(m_descending == towardsEnd ? " desc" : " asc");
    QStringList order;
    for (const QString &key : m_keys)
        order.append(key
                     + (key == QLatin1String("rowid") || key.endsWith(QLatin1String(".rowid"))
                            ? plainDirection
                            : direction));
    QString text = sql.left(c.from).trimmed() + QLatin1String(", ")
        + m_keys.join(QLatin1String(", ")) + QLatin1Char('\n')
        + sql.mid(c.from, (c.where >= 0 ? c.where : end) - c.from).trimmed();
    if (!conditions.isEmpty())
        text += QLatin1String("\nwhere ") + conditions.join(QLatin1String(" and "));
    text += QLatin1String("\norder by ") + order.join(QLatin1String(", "));
    if (limit > 0)
        text += QLatin1String(" limit ") + QString::number(limit);
    return text;
}

Query::Range Query::rangeAfter(const DatasetRow &row, bool towardsEnd) const
{
    const int base = fieldCount();
    const QString op = QLatin1String(towardsEnd == m_descending ? " < " : " > ");
    QStringList marks;
    Range range;
    for (int k = 0; k < m_keys.size(); ++k) {
        range.bound.append(row.values[base + k]);
        marks.append(QStringLiteral("?"));
    }
    if (!range.bound.front().isNull()) {
        // A row value compared with a null first key is null: the other segment stays out.
        range.segment = Segment::Values;
        range.condition = rowValue(m_keys) + op + rowValue(marks);
        return range;
    }
    range.segment = Segment::Nulls;
    range.bound.removeFirst();
    marks.removeFirst();
    range.condition = m_keys.front() + QLatin1String(" is null and ");
    range.condition += range.bound.isEmpty()
        ? QStringLiteral("0")
        : rowValue(m_keys.mid(1)) + op + rowValue(marks);
    return range;
}

Query::Range Query::rangeFrom(const QVariantList &keyPrefix) const
{
    const int n = qMin(int(keyPrefix.size()), int(m_keys.size()));
    if (n == 0)
        return Range();
    Range range;
    QStringList marks;
    for (int k = 0; k < n; ++k) {
        QueryParam value;
        value.setValue(keyPrefix[k]);
        range.bound.append(value.boundValue());
        marks.append(QStringLiteral("?"));
    }
    const QString op = QLatin1String(m_descending ? " <= " : " >= ");
    if (!range.bound.front().isNull()) {
        range.segment = Segment::Values;
        range.condition = rowValue(m_keys.mid(0, n)) + op + rowValue(marks);
        return range;
    }
    range.segment = Segment::Nulls;
    range.bound.removeFirst();
    marks.removeFirst();
    range.condition = m_keys.front() + QLatin1String(" is null");
    if (!range.bound.isEmpty())
        range.condition += QLatin1String(" and ") + rowValue(m_keys.mid(1, n - 1)) + op
            + rowValue(marks);
    return range;
}

bool Query::segmentFollows(Segment segment, bool towardsEnd) const
{
    if (segment == Segment::All)
        return false;
    // SQLite orders nulls before every value.
    const Segment first = m_descending ? Segment::Values : Segment::Nulls;
    return towardsEnd == (segment == first);
}

Query::Range Query::wholeSegment(bool nulls) const
{
    Range range;
    range.segment = nulls ? Segment::Nulls : Segment::Values;
    range.condition = m_keys.front() + QLatin1String(nulls ? " is null" : " is not null");
    return range;
}

namespace {
void bindRange(SqlStatement &st, const QVariantList &bound)
{
    // The range's markers are the statement's last.
    const int first = st.parameterCount() - int(bound.size());
    for (int i = 0; i < bound.size(); ++i)
        st.bind(first + i, bound[i]);
}
} // namespace

void Query::openCursor(const Range &range)
{
    m_cursorLimit = cursorLimit();
    m_cursorRead = 0;
    m_cursor = prepare(windowStatement(range, true, m_cursorLimit));
    m_cursor->setStreaming(true);
    bindRange(*m_cursor, range.bound);
    m_cursorSegment = range.segment;
    m_cursorHasRow = m_cursor->step();
    keepCursor();
}

std::vector<DatasetRow> Query::readRange(Range range, bool towardsEnd, int limit, bool *reachedEnd)
{
    std::vector<DatasetRow> rows;
    *reachedEnd = false;
    while (int(rows.size()) < limit) {
        const auto st = prepare(windowStatement(range, towardsEnd, limit - int(rows.size())));
        bindRange(*st, range.bound);
        while (int(rows.size()) < limit && st->step())
            rows.push_back(readRow(*st));
        if (int(rows.size()) >= limit)
            break;
        if (!segmentFollows(range.segment, towardsEnd)) {
            *reachedEnd = true;
            break;
        }
        range = wholeSegment(range.segment == Segment::Values);
    }
    return rows;
}

int Query::cursorLimit() const
{
    const Database *db = database();
    return db && db->isPostgreSql() ? 1024 : 0;
}

bool Query::fetchWindowed()
{
    if (m_atEnd)
        return false;
    int added = 0;
    while (added < 256) {
        if (!m_cursor) {
            if (m_rows.empty()) {
                m_atStart = true;
                openCursor(Range());
            } else {
                openCursor(rangeAfter(m_rows.back(), true));
            }
        }
        if (!m_cursorHasRow && m_cursorLimit > 0 && m_cursorRead >= m_cursorLimit) {
            // A limited run ended, not the rows: the next run starts after the last row.
            releaseCursor();
            openCursor(rangeAfter(m_rows.back(), true));
            continue;
        }
        if (!m_cursorHasRow) {
            const Segment segment = m_cursorSegment;
            releaseCursor();
            if (segmentFollows(segment, true)) {
                openCursor(wholeSegment(segment == Segment::Values));
                // An empty segment ends the list; reopening after the last row would go round.
                if (m_cursorHasRow)
                    continue;
                releaseCursor();
            }
            m_atEnd = true;
            break;
        }
        appendLoadedRow(readRow(*m_cursor));
        ++added;
        ++m_cursorRead;
        m_cursorHasRow = m_cursor->step();
    }
    return added > 0;
}

bool Query::sameKey(const DatasetRow &a, const DatasetRow &b) const
{
    const int base = fieldCount();
    for (int k = 0; k < m_keys.size(); ++k) {
        if (a.values[base + k] != b.values[base + k])
            return false;
    }
    return true;
}

void Query::replaceRows(std::vector<DatasetRow> &&rows, int current)
{
    resetRows();
    m_rows = std::move(rows);
    rebuildView();
    if (current >= 0 && !m_rows.empty())
        moveTo(qBound(0, current, int(m_rows.size()) - 1), false);
    else
        dataEvent(DataEvent::DataSetChange);
}

int Query::fetchPrior(int count)
{
    if (!canFetchPrior() || count <= 0)
        return 0;
    if (m_rows.empty()) {
        m_atStart = true;
        return 0;
    }
    bool reachedStart = false;
    std::vector<DatasetRow> rows
        = readRange(rangeAfter(m_rows.front(), false), false, count, &reachedStart);
    m_atStart = reachedStart;
    const int n = int(rows.size());
    if (n == 0)
        return 0;
    std::reverse(rows.begin(), rows.end());
    for (DatasetRow &row : rows)
        row.uid = nextUid();
    const int current = currentPosition();
    rows.insert(rows.end(), std::make_move_iterator(m_rows.begin()),
                std::make_move_iterator(m_rows.end()));
    replaceRows(std::move(rows), current >= 0 ? current + n : -1);
    return n;
}

int Query::keepRows(int first, int last)
{
    const int n = rowCount();
    if (!isWindowed() || n == 0)
        return 0;
    first = qBound(0, first, n - 1);
    last = qBound(first, last, n - 1);
    if (first == 0 && last == n - 1)
        return 0;
    const int pos = currentPosition();
    const bool moves = pos >= 0 && (pos < first || pos > last);
    if (moves)
        callHook(hooks().beforeScroll);
    if (first > 0)
        m_atStart = false;
    if (last < n - 1) {
        // The cursor stood after the last row; the next read starts from the new last one.
        m_cursorHasRow = false;
        releaseCursor();
        m_atEnd = false;
    }
    std::vector<DatasetRow> kept(std::make_move_iterator(m_rows.begin() + first),
                                 std::make_move_iterator(m_rows.begin() + last + 1));
    replaceRows(std::move(kept), pos < 0 ? -1 : qBound(first, pos, last) - first);
    if (moves)
        callHook(hooks().afterScroll);
    return first;
}

bool Query::seek(const QVariantList &keyPrefix,
                 const std::function<bool(const DatasetRow &)> &accept, int before)
{
    checkActive();
    checkBrowseMode();
    if (!isWindowed())
        databaseError(QStringLiteral("A query read by window needs a plain ordered select"));
    bool reachedEnd = false;
    std::vector<DatasetRow> found = readRange(rangeFrom(keyPrefix), true, 1, &reachedEnd);
    if (found.empty() || !accept(found.front()))
        return false;
    DatasetRow row = std::move(found.front());
    for (int p = 0; p < int(m_rows.size()); ++p) {
        if (sameKey(m_rows[size_t(p)], row)) {
            if (p != currentPosition()) {
                callHook(hooks().beforeScroll);
                moveTo(p, true);
                callHook(hooks().afterScroll);
            }
            return true;
        }
    }
    bool reachedStart = false;
    std::vector<DatasetRow> rows
        = before > 0 ? readRange(rangeAfter(row, false), false, before, &reachedStart)
                     : std::vector<DatasetRow>();
    if (before <= 0)
        reachedStart = false;
    std::reverse(rows.begin(), rows.end());
    const int at = int(rows.size());
    rows.push_back(std::move(row));
    for (DatasetRow &r : rows)
        r.uid = nextUid();
    callHook(hooks().beforeScroll);
    m_cursorHasRow = false;
    releaseCursor();
    resetRows();
    m_rows = std::move(rows);
    rebuildView();
    m_atStart = reachedStart;
    m_atEnd = false;
    // The rows below it come now, so the grid shows a full page at once.
    fetchWindowed();
    moveTo(at, false);
    callHook(hooks().afterScroll);
    return true;
}

int Query::execSql()
{
    if (isActive())
        close();
    auto st = prepare();
    while (st->step()) { }
    m_rowsAffected = st->isReadOnly() ? 0 : int(st->changes());
    return m_rowsAffected;
}
