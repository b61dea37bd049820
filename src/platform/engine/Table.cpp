#include "platform/engine/Table.h"

#include "platform/engine/Database.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/RecordLocks.h"
#include "platform/engine/StorageValue.h"
#include "platform/engine/TextFold.h"

#include <QRegularExpression>


#include <algorithm>
#include <limits>

namespace {

const QString kChangedMessage
    = QStringLiteral("Couldn't perform the edit because another user changed the record.");
const QString kDeletedMessage = QStringLiteral("Record/Key deleted.");

// A value as the store holds it; empty text is null, as it always reads back.
QVariant canonical(FieldType type, const QVariant &v)
{
    QVariant stored = StorageValue::toStorage(type, v);
    if (stored.typeId() == QMetaType::QString && stored.toString().isEmpty())
        return QVariant();
    return stored;
}

// Whether two values of a column would be stored alike: a timestamp read back from the store may
// differ from the one posted below the millisecond, and must not look changed.
bool sameStored(FieldType type, const QVariant &a, const QVariant &b)
{
    const QVariant x = canonical(type, a);
    const QVariant y = canonical(type, b);
    if (x.isNull() || y.isNull())
        return x.isNull() == y.isNull();
    return x == y;
}

int compareValues(const QVariant &a, const QVariant &b, FieldType type)
{
    const bool an = !a.isValid();
    const bool bn = !b.isValid();
    if (an || bn)
        return an == bn ? 0 : (an ? -1 : 1);
    if (isTextType(type)) {
        const int c = QString::compare(*static_cast<const QString *>(a.constData()),
                                       *static_cast<const QString *>(b.constData()));
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    if (type == FieldType::Date) {
        const QDate da = a.toDate();
        const QDate db = b.toDate();
        return da < db ? -1 : (db < da ? 1 : 0);
    }
    const double x = a.toDouble();
    const double y = b.toDouble();
    return x < y ? -1 : (y < x ? 1 : 0);
}

QString textWithoutAccents(const QVariant &value)
{
    return TextFold::withoutAccents(value.typeId() == QMetaType::QString
                                        ? *static_cast<const QString *>(value.constData())
                                        : value.toString());
}
} // namespace

// Follows the master's data source: re-reads the detail when the master moves or one of the
// link fields changes, and makes a pending detail row leave edit/insert when the master does.
class MasterLink : public DataLink
{
public:
    explicit MasterLink(Table *table)
        : m_table(table)
    {
    }

protected:
    void activeChanged() override { m_table->masterChanged(); }
    void recordChanged(Field *field) override
    {
        // Starting an edit of the master, typing into it or posting it without touching the link
        // values keeps the detail where it is, with any edit of its own pending.
        if (field ? isLinkField(field) : m_table->masterRecordChanged())
            m_table->masterChanged();
    }
    void checkBrowseMode() override
    {
        if (m_table->isActive())
            m_table->checkBrowseMode();
    }

private:
    bool isLinkField(const Field *field) const
    {
        for (const QString &name : m_table->m_masterFieldNames) {
            if (field->fieldName().compare(name, Qt::CaseInsensitive) == 0)
                return true;
        }
        return false;
    }

    Table *m_table;
};

Table::Table(QObject *parent)
    : Dataset(parent)
{
}

Table::~Table()
{
    unlockRow();
    // Detach from the master before the fields go, so no re-read reaches a half-destroyed table.
    m_masterLink.reset();
    m_select.reset();
}

QString Table::sqlTableName() const
{
    QString name = m_tableName;
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        name.truncate(dot);
    return name.toLower();
}

void Table::setIndexName(const QString &name)
{
    m_indexName = name;
    m_indexColumns.clear();
}

void Table::setIndexFieldNames(const QString &names)
{
    m_indexName.clear();
    m_indexColumns.clear();
    for (const QString &n : names.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        m_indexColumns.append(n.trimmed());
}

void Table::setMasterSource(DataSource *source)
{
    if (!source) {
        m_masterLink.reset();
        return;
    }
    if (!m_masterLink)
        m_masterLink = std::make_unique<MasterLink>(this);
    m_masterLink->setDataSource(source);
}

DataSource *Table::masterSource() const
{
    return m_masterLink ? m_masterLink->dataSource() : nullptr;
}

void Table::setMasterFields(const QString &names)
{
    m_masterFieldNames.clear();
    for (const QString &n : names.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        m_masterFieldNames.append(n.trimmed());
}

bool Table::canModify() const
{
    return isActive() && !m_readOnly;
}

Database *Table::database() const
{
    return Database::find(m_databaseName);
}

void Table::setFilter(const QString &expression)
{
    m_filterText = expression;
    if (isActive()) {
        applyFilter();
        first();
    }
}

void Table::setFiltered(bool filtered)
{
    if (filtered == m_filtered)
        return;
    if (isActive())
        checkBrowseMode();
    m_filtered = filtered;
    if (isActive()) {
        applyFilter();
        afterReload(0, false);
    }
}

void Table::applyFilter()
{
    if (!m_filtered || m_filterText.trimmed().isEmpty()) {
        setRowFilter(nullptr);
        return;
    }
    static const QRegularExpression re(QStringLiteral("^\\s*(\\w+)\\s*=\\s*(.+?)\\s*$"));
    const QRegularExpressionMatch m = re.match(m_filterText);
    if (!m.hasMatch())
        databaseError(QStringLiteral("Invalid filter expression: %1").arg(m_filterText));
    const Field *field = fieldByName(m.captured(1));
    const QString text = m.captured(2);
    QVariant wanted;
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        wanted = true;
    else if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        wanted = false;
    else if (text.size() >= 2 && (text.startsWith(QLatin1Char('\'')) || text.startsWith(QLatin1Char('"'))))
        wanted = text.mid(1, text.size() - 2);
    else {
        bool ok = false;
        const double d = text.toDouble(&ok);
        if (!ok)
            databaseError(QStringLiteral("Invalid filter expression: %1").arg(m_filterText));
        wanted = d;
    }
    const int index = field->index();
    const FieldType type = field->dataType();
    setRowFilter([index, type, wanted](const DatasetRow &row) {
        const QVariant &v = row.values[index];
        if (v.isNull())
            return false;
        if (wanted.typeId() == QMetaType::Bool)
            return type == FieldType::Boolean ? v.toBool() == wanted.toBool()
                                              : (v.toDouble() != 0) == wanted.toBool();
        if (wanted.typeId() == QMetaType::QString)
            return v.toString() == wanted.toString();
        return v.toDouble() == wanted.toDouble();
    });
}

void Table::doOpen()
{
    Database *db = database();
    if (!db)
        databaseError(QStringLiteral("Unknown database: %1").arg(m_databaseName));
    db->flushForRead();
    m_postgreSql = db->isPostgreSql();
    const QString table = sqlTableName();
    QStringList columns;
    QStringList types;
    QList<int> pkOrder;
    {
        for (const Connection::ColumnInfo &c : db->connection().tableInfo(table)) {
            columns.append(c.name);
            types.append(c.type);
            pkOrder.append(c.keyOrder);
        }
    }
    if (columns.isEmpty())
        databaseError(QStringLiteral("Table does not exist: %1").arg(m_tableName));

    QStringList pkColumns;
    for (int ord = 1; ord <= int(columns.size()); ++ord) {
        for (int i = 0; i < columns.size(); ++i) {
            if (pkOrder[i] == ord)
                pkColumns.append(columns[i]);
        }
    }
    const bool rowidKey = pkColumns.size() == 1
        && types[columns.indexOf(pkColumns.first())].compare(QLatin1String("INTEGER"),
                                                             Qt::CaseInsensitive)
            == 0;

    auto columnIndex = [&](const QString &name) {
        for (int i = 0; i < columns.size(); ++i) {
            if (columns[i].compare(name, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    };

    m_columnNames.clear();
    if (hasDeclaredFields()) {
        for (Field *f : fields()) {
            const int c = columnIndex(f->fieldName());
            if (c < 0)
                databaseError(QStringLiteral("Field '%1' not found in table %2")
                                  .arg(f->fieldName(), m_tableName));
            if (!StorageValue::compatible(f->dataType(), types[c]))
                databaseError(QStringLiteral("Field '%1' of table %2 is stored as %3, not as %4")
                                  .arg(f->fieldName(), m_tableName, types[c],
                                       fieldTypeName(f->dataType())));
            m_columnNames.append(columns[c]);
            db->registerColumnType(table, columns[c], f->dataType(), f->size());
        }
    } else {
        for (int c = 0; c < columns.size(); ++c) {
            const bool isKey = rowidKey && columns[c] == pkColumns.first();
            FieldType type = StorageValue::fromDeclaredType(types[c], isKey);
            int size = 0;
            if (const auto known = db->columnType(table, columns[c])) {
                type = known->type;
                size = known->size;
            }
            (void)createField(columns[c], type, size);
            m_columnNames.append(columns[c]);
        }
    }

    resolveIndex(columns, rowidKey ? QStringList() : pkColumns);
    // Index columns not exposed as fields are read with each row, after the fields.
    m_hiddenColumns.clear();
    m_readTypes.clear();
    for (int i = 0; i < fieldCount(); ++i)
        m_readTypes.append(field(i)->dataType());
    for (const QString &c : m_indexColumns) {
        if (findField(c))
            continue;
        const int at = columnIndex(c);
        m_hiddenColumns.append(columns[at]);
        m_readTypes.append(StorageValue::fromDeclaredType(types[at], false));
    }
    // The keys in index order, hidden ones in their place.
    {
        QList<SortKey> ordered;
        for (const QString &c : m_indexColumns) {
            if (const Field *f = findField(c)) {
                for (const SortKey &k : m_sortKeys) {
                    if (k.field == f->index())
                        ordered.append(k);
                }
            } else {
                const int h = int(m_hiddenColumns.indexOf(columns[columnIndex(c)]));
                ordered.append(SortKey { fieldCount() + h, false, m_readTypes[fieldCount() + h] });
            }
        }
        m_sortKeys = ordered;
    }
    resolveKey(pkColumns);
    m_detailFields.clear();
    if (m_masterLink) {
        if (m_masterFieldNames.size() > m_indexColumns.size())
            databaseError(QStringLiteral("Table %1 has no index for its master fields")
                              .arg(m_tableName));
        for (int i = 0; i < m_masterFieldNames.size(); ++i)
            m_detailFields.append(fieldByName(m_indexColumns[i])->index());
    }

    QStringList select{QStringLiteral("rowid")};
    for (const QString &c : m_columnNames)
        select.append(quoted(c));
    for (const QString &c : m_hiddenColumns)
        select.append(quoted(c));
    m_columnsSql = select.join(QLatin1String(", "));
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(m_columnsSql, quoted(table));
    if (!m_detailFields.isEmpty()) {
        QStringList where;
        for (int idx : m_detailFields)
            where.append(quoted(m_columnNames[idx]) + QStringLiteral(" = ?"));
        sql += QStringLiteral(" WHERE ") + where.join(QLatin1String(" AND "));
    }
    // A whole table is read in storage order and sorted here: a sequential scan plus an
    // in-memory sort beats following the index row by row, and the order is then exactly the
    // one new rows are placed in. Details are few rows and use the index.
    m_sortInMemory = m_detailFields.isEmpty() && m_hiddenColumns.isEmpty();
    // The order is then the engine's own, and text keys go by their letters without accents. A
    // detail keeps the order its index gives in SQLite, which knows nothing of accents.
    for (SortKey &k : m_sortKeys)
        k.withoutAccents = m_sortInMemory && isTextType(k.type);
    // Text keys exposed as fields take their order from a hidden key before them (a folded name):
    // without one, SQLite's order of them is not this table's, and the table is read whole.
    bool sqlOrdered = true;
    bool hiddenBefore = false;
    for (const SortKey &k : m_sortKeys) {
        if (k.field >= fieldCount())
            hiddenBefore = true;
        else if (isTextType(k.type) && !hiddenBefore)
            sqlOrdered = false;
    }
    bool windowed = false;
    if (sqlOrdered && m_detailFields.isEmpty() && m_filterText.trimmed().isEmpty()) {
        SqlStatement few(db->connection(), QStringLiteral("SELECT count(*) FROM (SELECT 1 FROM %1 LIMIT %2) AS few")
                                           .arg(quoted(table))
                                           .arg(m_windowSize + 1));
        windowed = few.step() && few.int64(0) > m_windowSize;
    }
    if (windowed)
        m_sortInMemory = false;
    setWindowed(windowed, m_windowSize);
    m_statements.clear();
    if (!m_sortInMemory) {
        QStringList order;
        for (const QString &c : m_indexColumns)
            order.append(quoted(c));
        order.append(QStringLiteral("rowid"));
        sql += QStringLiteral(" ORDER BY ")
            + order.join(QLatin1String(m_postgreSql ? " NULLS FIRST, " : ", "));
    }
    m_selectSql = sql;
    m_select.reset();

    applyFilter();
    loadRows();
}

void Table::resolveKey(const QStringList &pkColumns)
{
    // The primary key when every column of it is read; else the index columns read, made
    // unique by the rowid (the score table has no key: two rows for one exam are legal).
    m_keyFields.clear();
    m_keyWithRowid = pkColumns.isEmpty();
    for (const QString &c : pkColumns) {
        const Field *f = findField(c);
        if (!f) {
            m_keyFields.clear();
            m_keyWithRowid = true;
            break;
        }
        m_keyFields.append(f->index());
    }
    if (m_keyWithRowid) {
        for (const QString &c : m_indexColumns) {
            if (const Field *f = findField(c))
                m_keyFields.append(f->index());
        }
    }
    QStringList where;
    for (int idx : m_keyFields)
        // A key column is never null on PostgreSQL's side, where "IS" would miss its index.
        where.append(quoted(m_columnNames[idx])
                     + (!m_postgreSql ? QStringLiteral(" IS ?")
                        : m_keyWithRowid ? QStringLiteral(" IS NOT DISTINCT FROM ?")
                                         : QStringLiteral(" = ?")));
    if (m_keyWithRowid)
        where.append(QStringLiteral("rowid = ?"));
    m_keyWhere = where.join(QLatin1String(" AND "));
    QStringList select{QStringLiteral("rowid")};
    for (const QString &c : m_columnNames)
        select.append(quoted(c));
    m_checkSelect = QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                        .arg(select.join(QLatin1String(", ")), quoted(sqlTableName()),
                             m_keyWhere);
}

QStringList Table::keyColumns() const
{
    QStringList names;
    for (int idx : m_keyFields)
        names.append(m_columnNames.value(idx));
    return names;
}

void Table::resolveIndex(const QStringList &tableColumns, const QStringList &pkColumns)
{
    Database *db = database();
    if (!m_indexName.isEmpty()) {
        const QStringList cols = db->connection().indexColumns(m_indexName);
        if (cols.isEmpty())
            databaseError(QStringLiteral("Index '%1' not found for table %2")
                              .arg(m_indexName, m_tableName));
        m_indexColumns = cols;
    } else if (m_indexColumns.isEmpty()) {
        m_indexColumns = pkColumns;
    }
    m_sortKeys.clear();
    for (const QString &c : m_indexColumns) {
        bool known = false;
        for (const QString &t : tableColumns)
            known = known || t.compare(c, Qt::CaseInsensitive) == 0;
        if (!known)
            databaseError(QStringLiteral("Field '%1' not found in table %2").arg(c, m_tableName));
        if (Field *f = findField(c))
            m_sortKeys.append(SortKey { f->index(), false, f->dataType() });
    }
}

QVariantList Table::masterValues() const
{
    QVariantList values;
    DataSource *source = masterSource();
    Dataset *master = source ? source->dataset() : nullptr;
    if (!master || !master->isActive() || (master->isEmpty() && !master->isEditing()))
        return values;
    for (int i = 0; i < m_masterFieldNames.size(); ++i) {
        const Field *mf = master->fieldByName(m_masterFieldNames[i]);
        const Field *df = field(m_detailFields[i]);
        QVariant v = mf->value();
        if (!v.isNull() && mf->dataType() == FieldType::DateTime)
            v = mf->asVariant();
        values.append(df->toInternal(v));
    }
    return values;
}

bool Table::masterRecordChanged() const
{
    const Dataset *master = masterSource() ? masterSource()->dataset() : nullptr;
    const quint64 uid = master ? master->currentRecordUid() : 0;
    return uid != m_masterUid || masterValues() != m_masterKeys;
}

void Table::loadRows()
{
    Database *db = database();
    db->flushForRead();
    QVariantList keys;
    if (m_masterLink) {
        keys = masterValues();
        const Dataset *master = masterSource()->dataset();
        m_masterUid = master ? master->currentRecordUid() : 0;
        m_masterKeys = keys;
        if (keys.isEmpty())
            return; // no master row: no detail rows
        for (const QVariant &k : keys) {
            if (k.isNull())
                return;
        }
    }
    if (isWindowed()) {
        holdFromStart();
        return;
    }
    if (!m_select)
        m_select = std::make_unique<SqlStatement>(db->connection(), m_selectSql);
    SqlStatement &st = *m_select;
    st.reset();
    for (int i = 0; i < keys.size(); ++i)
        st.bind(i, StorageValue::toStorage(field(m_detailFields[i])->dataType(), keys[i]));
    const QVector<FieldType> &types = m_readTypes;
    const int n = int(types.size());
    if (m_sortInMemory) {
        // Counting is a cheap b-tree walk and saves growing the row vector step by step.
        SqlStatement count(db->connection(),
                           QStringLiteral("SELECT count(*) FROM %1").arg(quoted(sqlTableName())));
        if (count.step())
            m_rows.reserve(size_t(count.int64(0)));
    }
    try {
        while (st.step()) {
            DatasetRow row;
            row.rowid = st.int64(0);
            row.values.reserve(n);
            for (int i = 0; i < n; ++i)
                row.values.append(StorageValue::read(st, i + 1, types[i]));
            appendLoadedRow(std::move(row));
        }
    } catch (...) {
        st.reset();
        throw;
    }
    st.reset();
    if (m_sortInMemory && !m_sortKeys.isEmpty()) {
        sortLoadedRows();
        rebuildView();
    }
}

void Table::sortLoadedRows()
{
    if (!m_sortKeys.first().withoutAccents) {
        std::stable_sort(m_rows.begin(), m_rows.end(),
                         [this](const DatasetRow &a, const DatasetRow &b) {
                             return compareRows(a, b) < 0;
                         });
        return;
    }
    // Ordered by a text (the patients' names): each row's text without accents is made once here,
    // not in every comparison, and the sort compares it beside the row's number rather than
    // going to the row's memory for each comparison. Rows with the same text go by the rest.
    struct Entry
    {
        QStringView plain;
        QStringView text;
        int row = 0;
        bool null = false;
    };
    const int column = m_sortKeys.first().field;
    const size_t n = m_rows.size();
    std::vector<QString> made; // texts not held by the rows: those that had accents
    made.reserve(n);
    std::vector<Entry> order(n);
    for (size_t i = 0; i < n; ++i) {
        Entry &e = order[i];
        e.row = int(i);
        const QVariant &v = m_rows[i].values[column];
        if (!v.isValid()) {
            e.null = true;
            continue;
        }
        const QString &text = v.typeId() == QMetaType::QString
            ? *static_cast<const QString *>(v.constData())
            : made.emplace_back(v.toString());
        QString plain = TextFold::withoutAccents(text);
        e.text = text;
        // Moving a string within the vector leaves its characters where they are.
        e.plain = plain.constData() == text.constData()
            ? e.text
            : QStringView(made.emplace_back(std::move(plain)));
    }
    // Merging keeps to neighbouring entries, which suits rows stored nearly in order.
    std::stable_sort(order.begin(), order.end(), [this](const Entry &x, const Entry &y) {
        if (x.null != y.null)
            return x.null;
        if (!x.null) {
            if (const int c = x.plain.compare(y.plain))
                return c < 0;
            if (const int c = x.text.compare(y.text))
                return c < 0;
        }
        return compareRows(m_rows[size_t(x.row)], m_rows[size_t(y.row)], 1) < 0;
    });
    std::vector<DatasetRow> sorted;
    sorted.reserve(n);
    for (const Entry &e : order)
        sorted.push_back(std::move(m_rows[size_t(e.row)]));
    m_rows.swap(sorted);
}

void Table::doClose()
{
    m_select.reset();
    m_statements.clear();
    m_storedAfterConflict.clear();
}

void Table::reloadRows()
{
    m_storedAfterConflict.clear();
    if (isWindowed()) {
        // Read again around the current row, or from the start when it is gone.
        forgetCount();
        database()->flushForRead();
        const int pos = currentPosition() >= 0 ? findRowIndexByUid(currentRecordUid()) : -1;
        std::optional<DatasetRow> current
            = pos >= 0 ? readByRowid(m_rows[size_t(pos)].rowid) : std::nullopt;
        if (current)
            holdAround(std::move(*current));
        else
            holdFromStart();
        return;
    }
    resetRows();
    loadRows();
}

void Table::masterChanged()
{
    if (!isActive())
        return;
    checkBrowseMode();
    callHook(hooks().beforeScroll);
    reloadRows();
    afterReload(0, true);
}

void Table::initNewRecord()
{
    if (!m_masterLink)
        return;
    const QVariantList keys = masterValues();
    for (int i = 0; i < keys.size(); ++i)
        field(m_detailFields[i])->setValue(keys[i].isNull() ? QVariant() : keys[i]);
}

int Table::compareRows(const DatasetRow &a, const DatasetRow &b, int fromKey) const
{
    static const QVariant missing;
    for (int i = fromKey; i < m_sortKeys.size(); ++i) {
        const SortKey &k = m_sortKeys[i];
        // A new row has no hidden keys until the store has made them.
        const QVariant &x = k.field < a.values.size() ? a.values[k.field] : missing;
        const QVariant &y = k.field < b.values.size() ? b.values[k.field] : missing;
        int c = 0;
        if (k.withoutAccents && x.isValid() && y.isValid()) {
            c = QString::compare(textWithoutAccents(x), textWithoutAccents(y));
            c = c < 0 ? -1 : (c > 0 ? 1 : 0);
        }
        // Texts that differ only in their accents go by the accented form.
        if (c == 0)
            c = compareValues(x, y, k.type);
        if (c != 0)
            return c;
    }
    // Rows not yet stored have no rowid and go after the stored ones.
    const qint64 ra = a.rowid ? a.rowid : std::numeric_limits<qint64>::max();
    const qint64 rb = b.rowid ? b.rowid : std::numeric_limits<qint64>::max();
    return ra < rb ? -1 : (rb < ra ? 1 : 0);
}

int Table::placeInserted(const DatasetRow &row, int) const
{
    const auto it = std::upper_bound(m_rows.begin(), m_rows.end(), row,
                                     [this](const DatasetRow &x, const DatasetRow &y) {
                                         return compareRows(x, y) < 0;
                                     });
    return int(it - m_rows.begin());
}

struct Table::RowCheck
{
    QString select; // rowid and the columns read, of the row found by the key
    QVariantList key; // storage values bound to the key's markers
    QVector<FieldType> types;
    QVector<QVariant> asRead;
};

Table::RowCheck Table::rowCheck(const DatasetRow &asRead) const
{
    RowCheck check;
    check.select = m_checkSelect;
    for (int idx : m_keyFields)
        check.key.append(StorageValue::toStorage(field(idx)->dataType(), asRead.values[idx]));
    if (m_keyWithRowid)
        check.key.append(QVariant(asRead.rowid));
    check.types.reserve(fieldCount());
    for (int i = 0; i < fieldCount(); ++i)
        check.types.append(field(i)->dataType());
    check.asRead = asRead.values;
    return check;
}

qint64 Table::findAsRead(Connection &db, const RowCheck &check,
                         std::optional<QVector<QVariant>> *stored)
{
    SqlStatement st(db, check.select);
    for (int i = 0; i < check.key.size(); ++i)
        st.bind(i, check.key[i]);
    if (!st.step())
        return 0;
    const qint64 rowid = st.int64(0);
    QVector<QVariant> now;
    now.reserve(check.types.size());
    bool same = true;
    for (int i = 0; i < check.types.size(); ++i) {
        now.append(StorageValue::read(st, i + 1, check.types[i]));
        same = same && sameStored(check.types[i], now[i], check.asRead[i]);
    }
    if (same)
        return rowid;
    *stored = std::move(now);
    return 0;
}

void Table::rememberConflict(quint64 uid, std::optional<QVector<QVariant>> stored)
{
    m_storedAfterConflict[uid] = std::move(stored);
}

void Table::editCancelled(quint64 uid)
{
    const auto it = m_storedAfterConflict.find(uid);
    if (it == m_storedAfterConflict.end())
        return;
    const int i = findRowIndexByUid(uid);
    // A row deleted meanwhile stays shown until the rows are read again.
    if (i >= 0 && it->second)
        m_rows[size_t(i)].values = *it->second;
    m_storedAfterConflict.erase(it);
}

void Table::setLockOnEdit(bool lock)
{
    m_lockOnEdit = lock;
    if (!lock)
        unlockRow();
}

void Table::lockCurrentRow()
{
    Database *db = database();
    RecordLocks *locks = m_lockOnEdit && db ? db->recordLocks() : nullptr;
    if (!locks)
        return;
    // The row being edited is locked already, whatever its key fields now hold.
    if (state() == DatasetState::Edit && m_lockedKey)
        return;
    const QVector<QVariant> &values = currentValues();
    QVariantList key;
    for (int idx : m_keyFields)
        key.append(StorageValue::toStorage(field(idx)->dataType(), values.value(idx)));
    if (m_keyWithRowid)
        key.append(QVariant(currentRowid()));
    if (m_lockedKey == key)
        return;
    unlockRow();
    if (!locks->tryLock(sqlTableName(), key))
        databaseError(QStringLiteral("Record locked by another user."));
    m_lockedKey = std::move(key);
}

void Table::releaseRowLock()
{
    Database *db = database();
    if (!m_lockedKey || !db)
        return;
    // Kept when the operation fails and the row is being edited again.
    QPointer<Table> self(this);
    db->whenWriteGroupEnds([self]() {
        if (self && self->state() != DatasetState::Edit)
            self->unlockRow();
    });
}

void Table::unlockRow()
{
    if (!m_lockedKey)
        return;
    const QVariantList key = std::move(*m_lockedKey);
    m_lockedKey.reset();
    Database *db = database();
    if (RecordLocks *locks = db ? db->recordLocks() : nullptr)
        locks->unlock(sqlTableName(), key);
}

void Table::writeRecord(bool inserting, DatasetRow &row, const DatasetRow *original,
                        std::function<void()> undo)
{
    checkCanModify();
    Database *db = database();
    const QString table = quoted(sqlTableName());
    QStringList columns;
    QVariantList values;
    for (int i = 0; i < fieldCount(); ++i) {
        const Field *f = field(i);
        const QVariant &v = row.values[i];
        if (inserting) {
            if (f->dataType() == FieldType::AutoInc && v.isNull())
                continue;
        } else if (original && original->values[i] == v
                   && original->values[i].isNull() == v.isNull()) {
            continue;
        }
        columns.append(quoted(m_columnNames[i]));
        values.append(StorageValue::toStorage(f->dataType(), v));
    }
    QPointer<Table> self(this);
    const quint64 uid = row.uid;
    if (inserting) {
        QString sql;
        if (columns.isEmpty()) {
            sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table);
        } else {
            QStringList marks;
            for (int i = 0; i < columns.size(); ++i)
                marks.append(QStringLiteral("?"));
            sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(table, columns.join(QLatin1String(", ")),
                           marks.join(QLatin1String(", ")));
        }
        // The server gives back the row identity, and the key it numbered, which on SQLite is
        // the row identity itself.
        QString returning = QStringLiteral(" RETURNING rowid");
        for (int i = 0; i < fieldCount(); ++i) {
            if (field(i)->dataType() == FieldType::AutoInc) {
                returning += QStringLiteral(", ") + quoted(m_columnNames[i]);
                break;
            }
        }
        db->submit(Database::Write{
            [db, sql, returning, values, self, uid]() {
                Connection &conn = db->connection();
                const bool server = conn.isPostgreSql();
                SqlStatement st(conn, server ? sql + returning : sql);
                for (int i = 0; i < values.size(); ++i)
                    st.bind(i, values[i]);
                const bool row = st.step();
                const qint64 rowid = server ? (row ? st.int64(0) : 0) : conn.lastInsertRowid();
                std::optional<qint64> key;
                if (server && row && st.columnCount() > 1 && !st.isNull(1))
                    key = st.int64(1);
                if (self) {
                    self->applyInsertedRowid(uid, rowid, key);
                    self->readHiddenKeys(uid, rowid);
                }
            },
            std::move(undo)});
        return;
    }
    if (columns.isEmpty() || !original)
        return; // nothing changed: nothing to write
    QStringList sets;
    for (const QString &c : columns)
        sets.append(c + QStringLiteral(" = ?"));
    const QString update
        = QStringLiteral("UPDATE %1 SET %2 WHERE ").arg(table, sets.join(QLatin1String(", ")));
    const RowCheck check = rowCheck(*original);
    const bool whereAll = m_updateMode == UpdateMode::WhereAll;
    const QString sql = update + (whereAll ? QStringLiteral("rowid = ?") : m_keyWhere);
    const qint64 rowid = original->rowid;
    db->submit(Database::Write{
        [db, sql, values, check, whereAll, self, uid, rowid]() {
            QVariantList where = check.key;
            if (whereAll) {
                // The write group holds the write lock: nobody writes between check and update.
                std::optional<QVector<QVariant>> stored;
                const qint64 rowid = findAsRead(db->connection(), check, &stored);
                if (!rowid) {
                    if (self)
                        self->rememberConflict(uid, stored);
                    databaseError(stored ? kChangedMessage : kDeletedMessage);
                }
                where = {QVariant(rowid)};
            }
            SqlStatement st(db->connection(), sql);
            int n = 0;
            for (const QVariant &v : values)
                st.bind(n++, v);
            for (const QVariant &v : where)
                st.bind(n++, v);
            st.step();
            if (st.changes() == 0)
                databaseError(kDeletedMessage);
            if (self) {
                self->m_storedAfterConflict.erase(uid);
                self->readHiddenKeys(uid, rowid);
            }
        },
        std::move(undo)});
}

void Table::writeDelete(const DatasetRow &row, std::function<void()> undo)
{
    checkCanModify();
    Database *db = database();
    const RowCheck check = rowCheck(row);
    const bool whereAll = m_updateMode == UpdateMode::WhereAll;
    const QString sql = QStringLiteral("DELETE FROM %1 WHERE %2")
                            .arg(quoted(sqlTableName()),
                                 whereAll ? QStringLiteral("rowid = ?") : m_keyWhere);
    db->submit(Database::Write{[db, sql, check, whereAll]() {
                                   QVariantList where = check.key;
                                   if (whereAll) {
                                       std::optional<QVector<QVariant>> stored;
                                       const qint64 rowid
                                           = findAsRead(db->connection(), check, &stored);
                                       if (!rowid)
                                           databaseError(stored ? kChangedMessage
                                                                : kDeletedMessage);
                                       where = {QVariant(rowid)};
                                   }
                                   SqlStatement st(db->connection(), sql);
                                   for (int i = 0; i < where.size(); ++i)
                                       st.bind(i, where[i]);
                                   st.step();
                                   if (st.changes() == 0)
                                       databaseError(kDeletedMessage);
                               },
                               std::move(undo)});
}

qint64 Table::currentRowid() const
{
    const int i = findRowIndexByUid(currentRecordUid());
    return i >= 0 && !isEditing() ? m_rows[size_t(i)].rowid : 0;
}

void Table::gotoCurrent(Table &other)
{
    checkActive();
    other.checkActive();
    if (other.sqlTableName() != sqlTableName())
        databaseError(QStringLiteral("Tables %1 and %2 are not the same table")
                          .arg(m_tableName, other.tableName()));
    checkBrowseMode();
    other.checkBrowseMode();
    const qint64 rowid = other.currentRowid();
    if (!rowid)
        databaseError(QStringLiteral("Record not found"));
    int pos = positionOfRowid(rowid);
    if (pos < 0 && isWindowed()) {
        std::optional<DatasetRow> row = readByRowid(rowid);
        if (!row)
            databaseError(QStringLiteral("Record not found"));
        callHook(hooks().beforeScroll);
        holdAround(std::move(*row));
        moveTo(heldPosition(), false);
        callHook(hooks().afterScroll);
        return;
    }
    if (pos < 0) {
        // The other cursor may see a row this one has not read yet.
        reloadRows();
        pos = positionOfRowid(rowid);
        if (pos < 0) {
            afterReload(0, false);
            databaseError(QStringLiteral("Record not found"));
        }
    }
    callHook(hooks().beforeScroll);
    moveTo(pos, false);
    callHook(hooks().afterScroll);
}

QString Table::quoted(const QString &name) const
{
    return quoteSqlName(name, m_postgreSql);
}

SqlStatement &Table::cached(const QString &sql) const
{
    auto &st = m_statements[sql];
    if (!st)
        st = std::make_unique<SqlStatement>(database()->connection(), sql);
    return *st;
}

QString Table::orderBy(bool forward) const
{
    QStringList order;
    // PostgreSQL puts nulls last unless told: the order is SQLite's, nulls first.
    const QLatin1String desc(m_postgreSql ? (forward ? " NULLS FIRST" : " DESC NULLS LAST")
                                          : (forward ? "" : " DESC"));
    for (const QString &c : m_indexColumns)
        order.append(quoted(c) + desc);
    // Never null: as the indexes end with it, so that the server walks the index, not a sort.
    order.append(QLatin1String(forward ? "rowid" : "rowid DESC"));
    return order.join(QLatin1String(", "));
}

QVariantList Table::storedKey(const DatasetRow &row) const
{
    static const QVariant missing;
    QVariantList values;
    for (const SortKey &k : m_sortKeys) {
        const QVariant &v = k.field < row.values.size() ? row.values[k.field] : missing;
        values.append(k.field < fieldCount() ? StorageValue::toStorage(k.type, v) : v);
    }
    return values;
}

QList<std::pair<QString, QVariantList>> Table::nullsBefore(const DatasetRow &row) const
{
    QList<std::pair<QString, QVariantList>> parts;
    const QVariantList key = storedKey(row);
    for (const QVariant &v : key) {
        if (v.isNull())
            return {}; // spelled out by keysetWhere, nulls included
    }
    QStringList equal;
    QVariantList binds;
    for (int i = 0; i < key.size(); ++i) {
        const QString c = quoted(m_indexColumns[i]);
        QStringList where = equal;
        where.append(c + QStringLiteral(" IS NULL"));
        parts.append({ where.join(QLatin1String(" AND ")), binds });
        equal.append(c + QStringLiteral(" = ?"));
        binds.append(key[i]);
    }
    return parts;
}

QString Table::keysetWhere(const DatasetRow &row, bool after, QVariantList *binds) const
{
    QStringList columns;
    for (const QString &c : m_indexColumns)
        columns.append(quoted(c));
    QVariantList values = storedKey(row);
    bool anyNull = false;
    for (const QVariant &v : values)
        anyNull = anyNull || v.isNull();
    columns.append(QStringLiteral("rowid"));
    values.append(QVariant(row.rowid));
    const QLatin1String op(after ? ">" : "<");
    if (!anyNull) {
        // One comparison of row values: the store seeks the index to it.
        *binds += values;
        QStringList marks;
        for (int i = 0; i < values.size(); ++i)
            marks.append(QStringLiteral("?"));
        return QStringLiteral("(%1) %2 (%3)")
            .arg(columns.join(QLatin1String(", ")), op, marks.join(QLatin1String(", ")));
    }
    // Nulls come first in the order; spelled out key by key.
    QString where = QStringLiteral("rowid %1 ?").arg(op);
    QVariantList tail { values.last() };
    for (int i = int(columns.size()) - 2; i >= 0; --i) {
        const QString &c = columns[i];
        QVariantList b;
        if (values[i].isNull()) {
            where = after ? QStringLiteral("(%1 IS NOT NULL OR (%1 IS NULL AND %2))").arg(c, where)
                          : QStringLiteral("(%1 IS NULL AND %2)").arg(c, where);
        } else {
            where = after ? QStringLiteral("(%1 > ? OR (%1 = ? AND %2))").arg(c, where)
                          : QStringLiteral("(%1 IS NULL OR %1 < ? OR (%1 = ? AND %2))").arg(c, where);
            b = { values[i], values[i] };
        }
        tail = b + tail;
    }
    *binds += tail;
    return where;
}

std::vector<DatasetRow> Table::readSql(const QString &where, const QVariantList &binds,
                                       bool forward, int limit, qint64 offset) const
{
    database()->flushForRead();
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(m_columnsSql, quoted(sqlTableName()));
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    sql += QStringLiteral(" ORDER BY ") + orderBy(forward) + QStringLiteral(" LIMIT ? OFFSET ?");
    SqlStatement &st = cached(sql);
    st.reset();
    int n = 0;
    for (const QVariant &b : binds)
        st.bind(n++, b);
    st.bind(n++, QVariant(qint64(limit)));
    st.bind(n++, QVariant(offset));
    std::vector<DatasetRow> rows;
    rows.reserve(size_t(qMax(limit, 0)));
    try {
        while (st.step()) {
            DatasetRow row;
            row.rowid = st.int64(0);
            row.values.reserve(m_readTypes.size());
            for (int i = 0; i < m_readTypes.size(); ++i)
                row.values.append(StorageValue::read(st, i + 1, m_readTypes[i]));
            rows.push_back(std::move(row));
        }
    } catch (...) {
        st.reset();
        throw;
    }
    st.reset();
    return rows;
}

std::optional<DatasetRow> Table::readByRowid(qint64 rowid) const
{
    std::vector<DatasetRow> rows = readSql(QStringLiteral("rowid = ?"), { QVariant(rowid) }, true, 1);
    if (rows.empty())
        return std::nullopt;
    return std::move(rows.front());
}

std::vector<DatasetRow> Table::readRows(const DatasetRow *from, bool forward, int limit)
{
    QVariantList binds;
    const QString where = from ? keysetWhere(*from, forward, &binds) : QString();
    std::vector<DatasetRow> rows = readSql(where, binds, forward, limit);
    if (!from || forward)
        return rows;
    bool more = false;
    for (const auto &[nullWhere, nullBinds] : nullsBefore(*from)) {
        std::vector<DatasetRow> nulls = readSql(nullWhere, nullBinds, false, limit);
        more = more || !nulls.empty();
        rows.insert(rows.end(), std::make_move_iterator(nulls.begin()),
                    std::make_move_iterator(nulls.end()));
    }
    if (more) {
        std::sort(rows.begin(), rows.end(), [this](const DatasetRow &a, const DatasetRow &b) {
            return compareRows(b, a) < 0;
        });
        if (int(rows.size()) > limit)
            rows.resize(size_t(limit));
    }
    return rows;
}

std::vector<DatasetRow> Table::readRowsAt(qint64 offset, int limit)
{
    const qint64 total = countRows();
    const qint64 count = qMin<qint64>(limit, total - offset);
    if (count <= 0 || offset < 0)
        return {};
    // Skipping rows costs as many steps as rows skipped: count from the nearer end.
    if (offset <= total / 2)
        return readSql(QString(), {}, true, int(count), offset);
    std::vector<DatasetRow> rows = readSql(QString(), {}, false, int(count), total - offset - count);
    std::reverse(rows.begin(), rows.end());
    return rows;
}

qint64 Table::countRows() const
{
    database()->flushForRead();
    SqlStatement &st = cached(QStringLiteral("SELECT count(*) FROM %1").arg(quoted(sqlTableName())));
    st.reset();
    const qint64 n = st.step() ? st.int64(0) : 0;
    st.reset();
    return n;
}

qint64 Table::countRowsBefore(const DatasetRow &row) const
{
    database()->flushForRead();
    QVariantList binds;
    const QString where = keysetWhere(row, false, &binds);
    SqlStatement &st = cached(
        QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(quoted(sqlTableName()), where));
    st.reset();
    for (int i = 0; i < binds.size(); ++i)
        st.bind(i, binds[i]);
    qint64 n = st.step() ? st.int64(0) : 0;
    st.reset();
    for (const auto &[nullWhere, nullBinds] : nullsBefore(row)) {
        SqlStatement &nulls = cached(QStringLiteral("SELECT count(*) FROM %1 WHERE %2")
                                         .arg(quoted(sqlTableName()), nullWhere));
        nulls.reset();
        for (int i = 0; i < nullBinds.size(); ++i)
            nulls.bind(i, nullBinds[i]);
        n += nulls.step() ? nulls.int64(0) : 0;
        nulls.reset();
    }
    return n;
}

Dataset::Seek Table::seekFirst(const QList<Field *> &fields, const QVariantList &wanted,
                               LocateOptions options, DatasetRow *found)
{
    QStringList where;
    QVariantList binds;
    for (int i = 0; i < fields.size(); ++i) {
        const Field *f = fields[i];
        QString column = quoted(m_columnNames[f->index()]);
        const QVariant &w = wanted[i];
        const FieldType type = f->dataType();
        if (!w.isValid()) {
            where.append(column + QStringLiteral(" IS NULL"));
        } else if (isTextType(type) || type == FieldType::Blob) {
            if (options.caseInsensitive) {
                // The wanted text came folded; only a column the store keeps folded can match it.
                const QString folded
                    = database()->foldedColumn(sqlTableName(), m_columnNames[f->index()]);
                if (folded.isEmpty())
                    return Seek::CannotSeek;
                column = quoted(folded);
            }
            const QString key = w.toString();
            if (options.partialKey) {
                // Every text that starts with key sorts below key followed by the last code point.
                where.append(QStringLiteral("%1 >= ? AND %1 < ?").arg(column));
                binds << key << QVariant(key + QString::fromUcs4(U"\U0010FFFF"));
            } else {
                where.append(column + QStringLiteral(" = ?"));
                binds << key;
            }
        } else if (isNumericType(type) && type != FieldType::Boolean) {
            where.append(column + QStringLiteral(" = ?"));
            binds << QVariant(w.toDouble());
        } else {
            where.append(column + QStringLiteral(" = ?"));
            binds << StorageValue::toStorage(type, w);
        }
    }
    std::vector<DatasetRow> rows = readSql(where.join(QLatin1String(" AND ")), binds, true, 1);
    if (rows.empty())
        return Seek::NotFound;
    *found = std::move(rows.front());
    return Seek::Found;
}

void Table::readHiddenKeys(quint64 uid, qint64 rowid)
{
    if (m_hiddenColumns.isEmpty() || !rowid)
        return;
    QStringList columns;
    for (const QString &c : m_hiddenColumns)
        columns.append(quoted(c));
    SqlStatement &st = cached(QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?")
                                  .arg(columns.join(QLatin1String(", ")), quoted(sqlTableName())));
    st.reset();
    st.bind(0, QVariant(rowid));
    if (!st.step()) {
        st.reset();
        return;
    }
    QVariantList keys;
    for (int h = 0; h < m_hiddenColumns.size(); ++h)
        keys.append(StorageValue::read(st, h, m_readTypes[fieldCount() + h]));
    st.reset();
    auto apply = [&](DatasetRow &row) {
        row.values.resize(fieldCount() + m_hiddenColumns.size());
        for (int h = 0; h < keys.size(); ++h)
            row.values[fieldCount() + h] = keys[h];
    };
    if (editBufferUid() == uid)
        apply(editBuffer());
    const int i = findRowIndexByUid(uid);
    if (i >= 0)
        apply(m_rows[size_t(i)]);
}
