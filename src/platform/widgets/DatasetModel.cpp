#include "platform/widgets/DatasetModel.h"

#include "platform/engine/Field.h"
#include "platform/engine/Guard.h"

#include <QBrush>
#include <QScopedValueRollback>

#include <utility>

namespace {
const QString MemoMarker = QStringLiteral("(MEMO)");
const QString NullMemoMarker = QStringLiteral("(Memo)");
const QString BlobMarker = QStringLiteral("(BLOB)");
const QString NullBlobMarker = QStringLiteral("(Blob)");

bool holdsValue(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return false;
    if (v.typeId() == QMetaType::QByteArray)
        return !v.toByteArray().isEmpty();
    return !v.toString().isEmpty();
}

// "O;." -> {"O", "."}
std::pair<QString, QString> words(const QString &displayValues)
{
    const int semi = int(displayValues.indexOf(QLatin1Char(';')));
    if (semi < 0)
        return { displayValues, QString() };
    return { displayValues.left(semi), displayValues.mid(semi + 1) };
}

bool customWords(const Field *f, const DBGridColumn &column)
{
    return f->dataType() == FieldType::Boolean && !column.displayValues().isEmpty();
}

Qt::Alignment withVerticalCentre(Qt::Alignment a)
{
    return (a & Qt::AlignVertical_Mask) ? a : a | Qt::AlignVCenter;
}
} // namespace

class DatasetModel::Link : public DataLink
{
public:
    explicit Link(DatasetModel *model)
        : m_model(model)
    { }

protected:
    void activeChanged() override { m_model->followActive(); }
    void editingChanged() override
    {
        m_model->followRows(false);
        m_model->notify(DataEvent::UpdateState);
    }
    void recordChanged(Field *field) override
    {
        m_model->followRecord(field);
        m_model->notify(DataEvent::RecordChange, field);
    }
    void dataSetChanged() override
    {
        m_model->followRows(true);
        m_model->notify(DataEvent::DataSetChange);
    }
    void dataSetScrolled() override
    {
        m_model->followRows(false);
        m_model->notify(DataEvent::DataSetScroll);
    }
    void layoutChanged() override { dataSetChanged(); }
    void focusControl(Field *field) override { m_model->notify(DataEvent::FocusControl, field); }

private:
    DatasetModel *m_model;
};

DatasetModel::DatasetModel(QObject *parent)
    : QAbstractTableModel(parent)
    , m_link(std::make_unique<Link>(this))
{ }

DatasetModel::~DatasetModel()
{
    // Detach before the members the link's callbacks use go.
    m_link.reset();
}

void DatasetModel::setDataSource(DataSource *source)
{
    if (source == m_link->dataSource())
        return;
    m_link->setDataSource(source);
    // The link reports only a change of activity; a switch between two open datasets is one too.
    followActive();
}

DataSource *DatasetModel::dataSource() const
{
    return m_link->dataSource();
}

Dataset *DatasetModel::dataset() const
{
    Dataset *ds = m_link->dataset();
    return m_link->isActive() && ds && ds->isActive() ? ds : nullptr;
}

void DatasetModel::setColumns(const QList<DBGridColumn> &columns)
{
    QScopedValueRollback<int> following(m_following, m_following + 1);
    beginResetModel();
    m_config = columns;
    resolveColumns();
    endResetModel();
    notify(DataEvent::DataSetChange);
}

DBGridColumn DatasetModel::column(int column) const
{
    return column >= 0 && column < m_columns.size() ? m_columns[column] : DBGridColumn();
}

Field *DatasetModel::field(int column) const
{
    if (column < 0 || column >= m_fields.size() || !dataset())
        return nullptr;
    return m_fields[column];
}

void DatasetModel::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    if (rowCount() > 0 && columnCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

void DatasetModel::setCellColors(const QColor &background, const QColor &text)
{
    m_background = background;
    m_text = text;
    if (rowCount() > 0 && columnCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1),
                           { Qt::BackgroundRole, Qt::ForegroundRole });
}

void DatasetModel::setTitleColor(const QColor &text)
{
    m_title = text;
    if (columnCount() > 0)
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void DatasetModel::resolveColumns()
{
    Dataset *ds = dataset();
    m_columns = m_config;
    if (m_config.isEmpty() && ds) {
        for (Field *f : ds->fields()) {
            if (f->isVisible())
                m_columns.append(DBGridColumn(f->fieldName()));
        }
    }
    // Fields of a query are made anew at each opening: look them up again every time.
    m_fields.fill(nullptr, m_columns.size());
    for (int c = 0; ds && c < m_columns.size(); ++c)
        m_fields[c] = ds->findField(m_columns[c].fieldName());
}

int DatasetModel::currentRow() const
{
    const Dataset *ds = dataset();
    if (!ds)
        return -1;
    if (m_insertRow >= 0)
        return ds->state() == DatasetState::Insert ? m_insertRow : -1;
    const int pos = ds->currentPosition();
    return pos >= 0 && pos < m_storedRows ? pos : -1;
}

int DatasetModel::positionOfRow(int row) const
{
    if (m_insertRow >= 0) {
        if (row == m_insertRow)
            return -1;
        if (row > m_insertRow)
            return row - 1;
    }
    return row;
}

const QVector<QVariant> *DatasetModel::valuesOfRow(int row) const
{
    const Dataset *ds = dataset();
    if (!ds || row < 0 || row >= rowCount())
        return nullptr;
    if (row == m_insertRow)
        return ds->state() == DatasetState::Insert ? &ds->currentValues() : nullptr;
    const int pos = positionOfRow(row);
    // Rows loaded behind the model's back (controls disabled) wait until it hears of them.
    if (pos >= ds->rowCount())
        return nullptr;
    if (ds->state() == DatasetState::Edit && pos == ds->currentPosition())
        return &ds->currentValues();
    return &ds->rowAt(pos).values;
}

int DatasetModel::rowOfUid(quint64 uid, int near) const
{
    const Dataset *ds = dataset();
    const int n = ds ? ds->rowCount() : 0;
    // Usually the row is where it was, or one place off after an inserted record went.
    for (const int p : { near, near - 1, near + 1 }) {
        if (p >= 0 && p < n && ds->rowAt(p).uid == uid)
            return p;
    }
    // A windowed dataset is not read through for it.
    if (ds->isWindowed())
        return -1;
    for (int p = 0; p < n; ++p) {
        if (ds->rowAt(p).uid == uid)
            return p;
    }
    return -1;
}

void DatasetModel::moveToRow(int row)
{
    Dataset *ds = dataset();
    if (!ds || row < 0 || row >= rowCount() || row == currentRow())
        return;
    const int pos = positionOfRow(row);
    if (pos < 0 || pos >= ds->rowCount())
        return;
    const quint64 uid = ds->rowAt(pos).uid;
    ds->checkBrowseMode();
    // Leaving the record may have posted it into its place in the order, or dropped an inserted
    // one: find the wanted record again.
    int target = rowOfUid(uid, pos);
    if (target < 0 && ds->isWindowed())
        target = pos;
    if (target >= 0 && target != ds->currentPosition())
        ds->setRecNo(target + 1);
}

bool DatasetModel::canEdit(int column) const
{
    if (m_readOnly || column < 0 || column >= m_columns.size() || m_columns[column].isReadOnly())
        return false;
    const Field *f = field(column);
    return f && !f->isReadOnly() && !isMemoType(f->dataType()) && f->dataset()->canModify();
}

QString DatasetModel::editText(int column) const
{
    const Field *f = field(column);
    if (!f)
        return QString();
    if (!customWords(f, m_columns[column]) || f->isNull())
        return f->text();
    const auto [yes, no] = words(m_columns[column].displayValues());
    return f->asBoolean() ? yes : no;
}

void DatasetModel::setCellText(int column, const QString &text)
{
    Field *f = field(column);
    if (!f)
        return;
    if (customWords(f, m_columns[column])) {
        const auto [yes, no] = words(m_columns[column].displayValues());
        const QString t = text.trimmed();
        if (t.isEmpty()) {
            f->clear();
            return;
        }
        if (t.compare(yes, Qt::CaseInsensitive) == 0) {
            f->setAsBoolean(true);
            return;
        }
        if (t.compare(no, Qt::CaseInsensitive) == 0) {
            f->setAsBoolean(false);
            return;
        }
    }
    f->setText(text);
}

int DatasetModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return m_storedRows + (m_insertRow >= 0 ? 1 : 0);
}

int DatasetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QString DatasetModel::cellText(int row, int column) const
{
    const Field *f = field(column);
    const QVector<QVariant> *values = f ? valuesOfRow(row) : nullptr;
    if (!values || f->index() >= values->size())
        return QString();
    const QVariant &v = values->at(f->index());
    switch (f->dataType()) {
    case FieldType::Memo:
        return holdsValue(v) ? MemoMarker : NullMemoMarker;
    case FieldType::FmtMemo:
    case FieldType::Blob:
        return holdsValue(v) ? BlobMarker : NullBlobMarker;
    case FieldType::Boolean:
        if (customWords(f, m_columns[column])) {
            if (!v.isValid())
                return QString();
            const auto [yes, no] = words(m_columns[column].displayValues());
            return v.toBool() ? yes : no;
        }
        break;
    default:
        break;
    }
    return f->internalToString(v);
}

QVariant DatasetModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return QVariant();
    const DBGridColumn &c = m_columns[index.column()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return cellText(index.row(), index.column());
    case Qt::TextAlignmentRole: {
        Qt::Alignment a = c.alignment() & Qt::AlignHorizontal_Mask;
        if (!a) {
            const Field *f = field(index.column());
            a = f && isNumericType(f->dataType()) ? Qt::AlignRight : Qt::AlignLeft;
        }
        return int(withVerticalCentre(a | (c.alignment() & Qt::AlignVertical_Mask)));
    }
    case Qt::BackgroundRole: {
        const QColor colour = c.color().isValid() ? c.color() : m_background;
        return colour.isValid() ? QVariant(QBrush(colour)) : QVariant();
    }
    case Qt::ForegroundRole: {
        const QColor colour = c.textColor().isValid() ? c.textColor() : m_text;
        return colour.isValid() ? QVariant(QBrush(colour)) : QVariant();
    }
    case Qt::FontRole:
        return c.font() ? QVariant(*c.font()) : QVariant();
    default:
        return QVariant();
    }
}

QVariant DatasetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        if (section < 0 || section >= rowCount())
            return QVariant();
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignCenter);
        if (role != Qt::DisplayRole)
            return QVariant();
        if (section != m_indicatorRow)
            return QString();
        switch (m_indicatorState) {
        case DatasetState::Edit:
            return QStringLiteral("I");
        case DatasetState::Insert:
            return QStringLiteral("*");
        default:
            return QStringLiteral("\u25B6");
        }
    }
    if (section < 0 || section >= columnCount())
        return QVariant();
    const DBGridColumn &c = m_columns[section];
    switch (role) {
    case Qt::DisplayRole: {
        if (!c.title().isEmpty())
            return c.title();
        const Field *f = field(section);
        return f ? f->displayName() : c.fieldName();
    }
    case Qt::TextAlignmentRole: {
        const Qt::Alignment a = c.titleAlignment() & Qt::AlignHorizontal_Mask;
        return int(withVerticalCentre((a ? a : Qt::AlignLeft)
                                      | (c.titleAlignment() & Qt::AlignVertical_Mask)));
    }
    case Qt::ForegroundRole: {
        const QColor colour = c.titleColor().isValid() ? c.titleColor() : m_title;
        return colour.isValid() ? QVariant(QBrush(colour)) : QVariant();
    }
    case Qt::BackgroundRole:
        return c.titleBackground().isValid() ? QVariant(QBrush(c.titleBackground())) : QVariant();
    default:
        return QVariant();
    }
}

Qt::ItemFlags DatasetModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (canEdit(index.column()))
        f |= Qt::ItemIsEditable;
    return f;
}

bool DatasetModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.row() != currentRow()
        || !canEdit(index.column()))
        return false;
    bool stored = false;
    guard([&] {
        if (!m_link->edit())
            return;
        setCellText(index.column(), value.toString());
        stored = true;
    });
    return stored;
}

bool DatasetModel::canFetchMore(const QModelIndex &parent) const
{
    const Dataset *ds = dataset();
    return !parent.isValid() && ds && !isFollowing() && ds->canFetchMore();
}

void DatasetModel::fetchMore(const QModelIndex &parent)
{
    Dataset *ds = dataset();
    // Views and testers ask from inside the signals of a change being followed: later.
    if (parent.isValid() || !ds || isFollowing())
        return;
    guard([ds] { ds->fetchMoreRows(); });
    followRows(false);
}

void DatasetModel::followActive()
{
    QScopedValueRollback<int> following(m_following, m_following + 1);
    beginResetModel();
    resolveColumns();
    const Dataset *ds = dataset();
    m_storedRows = ds ? ds->rowCount() : 0;
    const int inserting = ds ? ds->insertPosition() : -1;
    m_insertRow = inserting < 0 ? -1 : qBound(0, inserting, m_storedRows);
    m_indicatorRow = currentRow();
    m_indicatorState = ds ? ds->state() : DatasetState::Inactive;
    endResetModel();
    notify(DataEvent::DataSetChange);
}

void DatasetModel::followRows(bool valuesChanged)
{
    QScopedValueRollback<int> following(m_following, m_following + 1);
    const Dataset *ds = dataset();
    if (!ds)
        return;
    // Views hear of rows as they come and go at the end, and of the record being inserted where
    // it stands; rows that changed in between are repainted as a whole.
    const int stored = ds->rowCount();
    const int inserting = ds->insertPosition();
    const int insertRow = inserting < 0 ? -1 : qBound(0, inserting, stored);
    if (m_insertRow >= 0 && (insertRow != m_insertRow || stored != m_storedRows)) {
        if (insertRow < 0 && stored == m_storedRows + 1) {
            // Posted: the inserted record is a stored one now, wherever the order put it.
            m_insertRow = -1;
            m_storedRows = stored;
            valuesChanged = true;
        } else {
            beginRemoveRows(QModelIndex(), m_insertRow, m_insertRow);
            m_insertRow = -1;
            endRemoveRows();
        }
    }
    if (stored > m_storedRows) {
        beginInsertRows(QModelIndex(), m_storedRows, stored - 1);
        m_storedRows = stored;
        endInsertRows();
    } else if (stored < m_storedRows) {
        beginRemoveRows(QModelIndex(), stored, m_storedRows - 1);
        m_storedRows = stored;
        endRemoveRows();
        valuesChanged = true;
    }
    if (insertRow >= 0 && m_insertRow < 0) {
        beginInsertRows(QModelIndex(), insertRow, insertRow);
        m_insertRow = insertRow;
        endInsertRows();
        valuesChanged = true;
    }
    if (valuesChanged && rowCount() > 0 && columnCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    followIndicator();
}

void DatasetModel::followRecord(Field *changed)
{
    QScopedValueRollback<int> following(m_following, m_following + 1);
    const int row = currentRow();
    if (row < 0 || columnCount() == 0)
        return;
    if (!changed) {
        Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
        return;
    }
    for (int c = 0; c < m_fields.size(); ++c) {
        if (m_fields[c] == changed)
            Q_EMIT dataChanged(index(row, c), index(row, c));
    }
}

void DatasetModel::followIndicator()
{
    const Dataset *ds = dataset();
    const int row = currentRow();
    const DatasetState state = ds ? ds->state() : DatasetState::Inactive;
    if (row == m_indicatorRow && state == m_indicatorState)
        return;
    const int old = m_indicatorRow;
    m_indicatorRow = row;
    m_indicatorState = state;
    const int n = rowCount();
    if (old >= 0 && old < n)
        Q_EMIT headerDataChanged(Qt::Vertical, old, old);
    if (row >= 0 && row < n && row != old)
        Q_EMIT headerDataChanged(Qt::Vertical, row, row);
}

void DatasetModel::notify(DataEvent event, Field *field)
{
    if (m_onEvent)
        m_onEvent(event, field);
}
