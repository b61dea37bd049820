#include "platform/engine/Dataset.h"

#include "platform/engine/Convert.h"
#include "platform/engine/Database.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/FormatSettings.h"
#include "platform/engine/TextFold.h"

#include <algorithm>

using namespace Convert;

quint64 Dataset::s_uidCounter = 0;
const QVector<QVariant> Dataset::s_emptyValues;

Dataset::Dataset(QObject *parent)
    : QObject(parent)
{ }

Dataset::~Dataset()
{
    // Pending edits are discarded with the dataset; followers are told it is gone.
    m_state = DatasetState::Inactive;
    const auto sources = m_sources;
    for (const QPointer<DataSource> &s : sources) {
        if (s)
            s->setDataset(nullptr);
    }
}

Field *Dataset::createField(const QString &name, FieldType type, int size)
{
    auto field = std::make_unique<Field>(this, name, type, size);
    field->setIndex(int(m_fields.size()));
    m_fields.push_back(std::move(field));
    return m_fields.back().get();
}

Field *Dataset::addField(const QString &name, FieldType type, int size)
{
    if (isActive())
        databaseError(QStringLiteral("Cannot perform this operation on an open dataset"));
    if (findField(name))
        databaseError(QStringLiteral("Duplicate field name '%1'").arg(name));
    m_declared = true;
    return createField(name, type, size);
}

void Dataset::clearFields()
{
    m_fields.clear();
}

Field *Dataset::findField(const QString &name) const
{
    for (const auto &f : m_fields) {
        if (f->fieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    }
    return nullptr;
}

Field *Dataset::fieldByName(const QString &name) const
{
    Field *f = findField(name);
    if (!f)
        databaseError(QStringLiteral("Field '%1' not found").arg(name));
    return f;
}

QList<Field *> Dataset::fields() const
{
    QList<Field *> list;
    list.reserve(int(m_fields.size()));
    for (const auto &f : m_fields)
        list.append(f.get());
    return list;
}

void Dataset::addDataSource(DataSource *source)
{
    if (!m_sources.contains(source))
        m_sources.append(source);
}

void Dataset::removeDataSource(DataSource *source)
{
    m_sources.removeAll(source);
}

void Dataset::dataEvent(DataEvent event, Field *field)
{
    if (m_disableCount > 0 && event != DataEvent::CheckBrowseMode
        && event != DataEvent::UpdateRecord) {
        if (event != DataEvent::FocusControl)
            m_pendingChange = true;
        return;
    }
    const auto sources = m_sources;
    for (const QPointer<DataSource> &s : sources) {
        if (s && s->isEnabled())
            s->notify(event, field);
        else if (s && event == DataEvent::UpdateState)
            s->notify(event, field);
    }
}

void Dataset::disableControls()
{
    ++m_disableCount;
}

void Dataset::enableControls()
{
    if (m_disableCount == 0)
        return;
    if (--m_disableCount == 0 && m_pendingChange) {
        m_pendingChange = false;
        dataEvent(DataEvent::UpdateState);
        dataEvent(DataEvent::DataSetChange);
    }
}

void Dataset::callHook(const DatasetHooks::Hook &hook)
{
    if (hook)
        hook(*this);
}

void Dataset::setState(DatasetState state)
{
    if (state == m_state)
        return;
    const bool editEnded = m_state == DatasetState::Edit;
    m_state = state;
    if (state != DatasetState::Edit && state != DatasetState::Insert)
        m_modified = false;
    if (editEnded)
        releaseRowLock();
    dataEvent(DataEvent::UpdateState);
}

void Dataset::checkActive() const
{
    if (!isActive())
        databaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void Dataset::checkCanModify() const
{
    if (!canModify())
        databaseError(QStringLiteral("Cannot modify a read-only dataset"));
}

quint64 Dataset::nextUid()
{
    return ++s_uidCounter;
}

void Dataset::setRowFilter(std::function<bool(const DatasetRow &)> filter)
{
    m_filter = std::move(filter);
    rebuildView();
}

void Dataset::rebuildView()
{
    rowsChanged();
    m_view.clear();
    if (!m_filter)
        return;
    for (int i = 0; i < int(m_rows.size()); ++i) {
        if (m_filter(m_rows[size_t(i)]))
            m_view.push_back(i);
    }
}

void Dataset::resetRows()
{
    rowsChanged();
    m_rows.clear();
    m_view.clear();
    m_pos = -1;
    m_bof = true;
    m_eof = true;
}

void Dataset::appendLoadedRow(DatasetRow &&row)
{
    rowsChanged();
    row.uid = nextUid();
    m_rows.push_back(std::move(row));
    if (m_filter && m_filter(m_rows.back()))
        m_view.push_back(int(m_rows.size()) - 1);
}

int Dataset::rowIndex(int position) const
{
    return m_filter ? m_view[size_t(position)] : position;
}

int Dataset::heldCount() const
{
    return m_filter ? int(m_view.size()) : int(m_rows.size());
}

int Dataset::rowCount() const
{
    return m_windowed ? int(totalRows()) : heldCount();
}

const DatasetRow &Dataset::rowAt(int position) const
{
    if (m_windowed) {
        const qint64 at = position - heldOffset();
        if (at >= 0 && at < heldCount())
            return m_rows[size_t(at)];
        return pageRow(position);
    }
    ensureRow(position);
    return m_rows[size_t(rowIndex(position))];
}

int Dataset::currentPosition() const
{
    if (m_pos < 0 || !m_windowed)
        return m_pos;
    return int(heldOffset() + m_pos);
}

int Dataset::insertPosition() const
{
    if (m_state != DatasetState::Insert)
        return -1;
    return m_windowed ? int(heldOffset() + m_insertPosition) : m_insertPosition;
}

bool Dataset::ensureRow(int position) const
{
    auto *self = const_cast<Dataset *>(this);
    while (position >= heldCount()) {
        if (m_windowed) {
            if (m_heldToEnd || m_rows.empty())
                return false;
            std::vector<DatasetRow> rows = self->readRows(&m_rows.back(), true, m_holdLimit / 4);
            if (int(rows.size()) < m_holdLimit / 4)
                self->m_heldToEnd = true;
            if (rows.empty())
                return false;
            adoptRows(rows);
            self->rowsChanged();
            for (DatasetRow &r : rows)
                self->m_rows.push_back(std::move(r));
            continue;
        }
        if (!self->fetchMore())
            return false;
    }
    return position >= 0;
}

void Dataset::ensureAllFetched() const
{
    // A windowed dataset is never read whole; its callers ask the store instead.
    if (m_windowed)
        return;
    auto *self = const_cast<Dataset *>(this);
    while (self->fetchMore()) { }
}

std::vector<DatasetRow> Dataset::readRows(const DatasetRow *, bool, int)
{
    return {};
}

std::vector<DatasetRow> Dataset::readRowsAt(qint64, int)
{
    return {};
}

qint64 Dataset::countRowsBefore(const DatasetRow &) const
{
    return 0;
}

Dataset::Seek Dataset::seekFirst(const QList<Field *> &, const QVariantList &, LocateOptions,
                                 DatasetRow *)
{
    return Seek::CannotSeek;
}

void Dataset::setWindowed(bool windowed, int holdLimit)
{
    m_windowed = windowed;
    m_holdLimit = qMax(holdLimit, 8);
    m_heldFromStart = m_heldToEnd = true;
    m_heldFrom = 0;
    m_total = -1;
    rowsChanged();
}

void Dataset::adoptRows(std::vector<DatasetRow> &rows) const
{
    // A row read again is the same record: it keeps the identity controls and details know it by.
    for (DatasetRow &r : rows) {
        r.uid = 0;
        for (const DatasetRow &held : m_rows) {
            if (held.rowid == r.rowid && r.rowid) {
                r.uid = held.uid;
                break;
            }
        }
        if (!r.uid)
            r.uid = ++s_uidCounter;
    }
}

void Dataset::holdFromStart()
{
    std::vector<DatasetRow> rows = readRows(nullptr, true, m_holdLimit / 2);
    adoptRows(rows);
    rowsChanged();
    m_heldFromStart = true;
    m_heldToEnd = int(rows.size()) < m_holdLimit / 2;
    m_heldFrom = 0;
    m_rows = std::move(rows);
    m_pos = m_rows.empty() ? -1 : 0;
}

void Dataset::holdToEnd()
{
    std::vector<DatasetRow> rows = readRows(nullptr, false, m_holdLimit / 2);
    std::reverse(rows.begin(), rows.end());
    adoptRows(rows);
    rowsChanged();
    m_heldToEnd = true;
    m_heldFromStart = int(rows.size()) < m_holdLimit / 2;
    m_heldFrom = m_heldFromStart ? 0 : -1;
    m_rows = std::move(rows);
    m_pos = int(m_rows.size()) - 1;
}

void Dataset::holdAround(DatasetRow &&anchor)
{
    const int half = m_holdLimit / 4;
    std::vector<DatasetRow> before = readRows(&anchor, false, half);
    std::vector<DatasetRow> after = readRows(&anchor, true, half);
    std::vector<DatasetRow> rows;
    rows.reserve(before.size() + after.size() + 1);
    rows.insert(rows.end(), std::make_move_iterator(before.rbegin()),
                std::make_move_iterator(before.rend()));
    rows.push_back(std::move(anchor));
    rows.insert(rows.end(), std::make_move_iterator(after.begin()),
                std::make_move_iterator(after.end()));
    adoptRows(rows);
    rowsChanged();
    m_heldFromStart = int(before.size()) < half;
    m_heldToEnd = int(after.size()) < half;
    m_heldFrom = m_heldFromStart ? 0 : -1;
    m_pos = int(before.size());
    m_rows = std::move(rows);
}

void Dataset::holdAtPosition(qint64 position)
{
    const int half = m_holdLimit / 4;
    const qint64 start = qMax<qint64>(0, position - half);
    std::vector<DatasetRow> rows = readRowsAt(start, 2 * half);
    adoptRows(rows);
    rowsChanged();
    m_heldFromStart = start == 0;
    m_heldToEnd = int(rows.size()) < 2 * half;
    m_heldFrom = start;
    m_rows = std::move(rows);
    m_pos = m_rows.empty() ? -1 : int(qMin<qint64>(position - start, qint64(m_rows.size()) - 1));
}

bool Dataset::holdEarlier()
{
    if (m_heldFromStart || m_rows.empty())
        return false;
    std::vector<DatasetRow> rows = readRows(&m_rows.front(), false, m_holdLimit / 4);
    if (int(rows.size()) < m_holdLimit / 4)
        m_heldFromStart = true;
    if (rows.empty()) {
        m_heldFrom = 0;
        return false;
    }
    std::reverse(rows.begin(), rows.end());
    adoptRows(rows);
    rowsChanged();
    const int n = int(rows.size());
    m_rows.insert(m_rows.begin(), std::make_move_iterator(rows.begin()),
                  std::make_move_iterator(rows.end()));
    m_pos += n;
    if (m_state == DatasetState::Insert)
        m_insertPosition += n;
    m_heldFrom = m_heldFromStart ? 0 : (m_heldFrom >= 0 ? qMax<qint64>(0, m_heldFrom - n) : -1);
    return true;
}

void Dataset::trimWindow()
{
    if (!m_windowed || isEditing() || int(m_rows.size()) <= m_holdLimit)
        return;
    // Keep the cursor's row in the middle of what stays.
    const int n = int(m_rows.size());
    const int keepFrom = qBound(0, m_pos - m_holdLimit / 2, n - m_holdLimit);
    const int keepTo = keepFrom + m_holdLimit;
    rowsChanged();
    if (keepTo < n) {
        m_rows.erase(m_rows.begin() + keepTo, m_rows.end());
        m_heldToEnd = false;
    }
    if (keepFrom > 0) {
        m_rows.erase(m_rows.begin(), m_rows.begin() + keepFrom);
        m_heldFromStart = false;
        if (m_heldFrom >= 0)
            m_heldFrom += keepFrom;
        m_pos -= keepFrom;
    }
}

qint64 Dataset::totalRows() const
{
    if (m_total < 0)
        m_total = const_cast<Dataset *>(this)->countRows();
    return m_total;
}

qint64 Dataset::heldOffset() const
{
    if (m_heldFrom >= 0)
        return m_heldFrom;
    if (m_heldFromStart || m_rows.empty())
        m_heldFrom = 0;
    else if (m_heldToEnd)
        m_heldFrom = qMax<qint64>(0, totalRows() - qint64(m_rows.size()));
    else
        m_heldFrom = countRowsBefore(m_rows.front());
    return m_heldFrom;
}

const DatasetRow &Dataset::pageRow(qint64 position) const
{
    // Pages of rows a grid shows away from the cursor; two, so that a screen across a page's end
    // does not read both in turn.
    constexpr int PageRows = 64;
    static const DatasetRow none;
    for (const Page &page : m_pages) {
        if (page.start >= 0 && position >= page.start
            && position < page.start + qint64(page.rows.size()))
            return page.rows[size_t(position - page.start)];
    }
    auto *self = const_cast<Dataset *>(this);
    const qint64 start = position / PageRows * PageRows;
    std::vector<DatasetRow> rows;
    // Scrolling on from a page read reads on from its last row rather than counting from an end.
    bool read = false;
    for (const Page &page : m_pages) {
        if (page.start >= 0 && !page.rows.empty()
            && page.start + qint64(page.rows.size()) == start) {
            rows = self->readRows(&page.rows.back(), true, PageRows);
            read = true;
        } else if (page.start == start + PageRows && !page.rows.empty()) {
            rows = self->readRows(&page.rows.front(), false, PageRows);
            std::reverse(rows.begin(), rows.end());
            read = true;
        }
        if (read)
            break;
    }
    if (!read)
        rows = self->readRowsAt(start, PageRows);
    for (DatasetRow &r : rows)
        r.uid = ++s_uidCounter;
    Page &page = m_pages[m_nextPage];
    m_nextPage = 1 - m_nextPage;
    page.start = start;
    page.rows = std::move(rows);
    if (position - start < qint64(page.rows.size()))
        return page.rows[size_t(position - start)];
    return none;
}

const QVector<QVariant> &Dataset::currentValues() const
{
    if (isEditing())
        return m_editBuffer.values;
    if (m_pos < 0 || m_pos >= heldCount())
        return s_emptyValues;
    return m_rows[size_t(rowIndex(m_pos))].values;
}

quint64 Dataset::currentRecordUid() const
{
    if (isEditing())
        return m_editBuffer.uid;
    if (m_pos < 0 || m_pos >= heldCount())
        return 0;
    return m_rows[size_t(rowIndex(m_pos))].uid;
}

QVariant Dataset::fieldValue(int fieldIndex) const
{
    const QVector<QVariant> &values = currentValues();
    if (fieldIndex < 0 || fieldIndex >= values.size())
        return QVariant();
    return values[fieldIndex];
}

void Dataset::setFieldValue(Field *field, const QVariant &internalValue)
{
    checkActive();
    if (field->isReadOnly())
        databaseError(QStringLiteral("Field '%1' cannot be modified").arg(field->displayName()));
    if (!isEditing())
        databaseError(QStringLiteral("Dataset not in edit or insert mode"));
    m_editBuffer.values[field->index()] = internalValue;
    m_modified = true;
    dataEvent(DataEvent::FieldChange, field);
    field->changed();
}

void Dataset::open()
{
    if (isActive())
        return;
    callHook(m_hooks.beforeOpen);
    resetRows();
    try {
        doOpen();
    } catch (...) {
        // A dataset that failed to open keeps no statement: the connection must stay closable.
        doClose();
        resetRows();
        if (!m_declared)
            clearFields();
        throw;
    }
    for (int i = 0; i < int(m_fields.size()); ++i)
        m_fields[size_t(i)]->setIndex(i);
    m_modified = false;
    m_pos = ensureRow(0) ? 0 : -1;
    m_bof = true;
    m_eof = m_pos < 0;
    setState(DatasetState::Browse);
    dataEvent(DataEvent::DataSetChange);
    callHook(m_hooks.afterOpen);
    if (!isEmpty())
        callHook(m_hooks.afterScroll);
}

void Dataset::close()
{
    if (!isActive())
        return;
    callHook(m_hooks.beforeClose);
    m_editBuffer = DatasetRow();
    m_modified = false;
    doClose();
    resetRows();
    m_state = DatasetState::Inactive;
    releaseRowLock();
    if (!m_declared)
        clearFields();
    dataEvent(DataEvent::UpdateState);
    callHook(m_hooks.afterClose);
}

void Dataset::setActive(bool active)
{
    if (active)
        open();
    else
        close();
}

bool Dataset::isEmpty() const
{
    return m_bof && m_eof && m_state != DatasetState::Insert;
}

int Dataset::recordCount() const
{
    checkActive();
    ensureAllFetched();
    return rowCount();
}

int Dataset::recNo() const
{
    if (!isActive() || m_pos < 0)
        return 0;
    return currentPosition() + 1;
}

void Dataset::setRecNo(int recNo)
{
    checkActive();
    checkBrowseMode();
    if (m_windowed) {
        if (recNo < 1 || recNo > totalRows())
            return;
        callHook(m_hooks.beforeScroll);
        const qint64 at = recNo - 1 - heldOffset();
        if (at >= 0 && at < heldCount())
            m_pos = int(at);
        else
            holdAtPosition(recNo - 1);
        if (m_pos >= 0)
            moveTo(m_pos, true);
        callHook(m_hooks.afterScroll);
        return;
    }
    if (!ensureRow(recNo - 1))
        return;
    callHook(m_hooks.beforeScroll);
    moveTo(recNo - 1, true);
    callHook(m_hooks.afterScroll);
}

bool Dataset::isOnFirstRow() const
{
    if (!isActive() || m_state == DatasetState::Insert || m_pos < 0)
        return false;
    if (m_pos > 0)
        return false;
    if (m_windowed && !m_heldFromStart)
        return const_cast<Dataset *>(this)->readRows(&m_rows.front(), false, 1).empty();
    return true;
}

bool Dataset::isOnLastRow() const
{
    if (!isActive() || m_state == DatasetState::Insert || m_pos < 0)
        return false;
    if (m_windowed)
        return !ensureRow(m_pos + 1);
    return m_pos + 1 >= heldCount() && !canFetchMore();
}

void Dataset::moveTo(int position, bool scrolled)
{
    m_pos = position;
    m_bof = false;
    m_eof = false;
    dataEvent(scrolled ? DataEvent::DataSetScroll : DataEvent::DataSetChange);
}

void Dataset::first()
{
    checkActive();
    checkBrowseMode();
    callHook(m_hooks.beforeScroll);
    if (m_windowed && !m_heldFromStart)
        holdFromStart();
    m_pos = ensureRow(0) ? 0 : -1;
    m_bof = true;
    m_eof = m_pos < 0;
    dataEvent(DataEvent::DataSetChange);
    callHook(m_hooks.afterScroll);
}

void Dataset::last()
{
    checkActive();
    checkBrowseMode();
    callHook(m_hooks.beforeScroll);
    ensureAllFetched();
    if (m_windowed && !m_heldToEnd)
        holdToEnd();
    m_pos = heldCount() - 1;
    m_eof = true;
    m_bof = m_pos < 0;
    dataEvent(DataEvent::DataSetChange);
    callHook(m_hooks.afterScroll);
}

int Dataset::moveBy(int distance)
{
    checkActive();
    checkBrowseMode();
    callHook(m_hooks.beforeScroll);
    int moved = 0;
    if ((distance > 0 && !m_eof) || (distance < 0 && !m_bof)) {
        m_bof = false;
        m_eof = false;
        while (distance > 0) {
            if (!ensureRow(m_pos + 1)) {
                m_eof = true;
                break;
            }
            ++m_pos;
            --distance;
            ++moved;
            trimWindow();
        }
        while (distance < 0) {
            if (m_pos <= 0 && !holdEarlier()) {
                m_bof = true;
                break;
            }
            --m_pos;
            ++distance;
            --moved;
            // A long move keeps only a window's worth of the rows it passes.
            trimWindow();
        }
        trimWindow();
        // Reaching an end changes eof/bof even without a move; navigators must hear of it.
        dataEvent(DataEvent::DataSetScroll);
        callHook(m_hooks.afterScroll);
    }
    return moved;
}

void Dataset::next()
{
    moveBy(1);
}

void Dataset::prior()
{
    moveBy(-1);
}

void Dataset::append()
{
    doInsert(true);
}

void Dataset::insert()
{
    doInsert(false);
}

void Dataset::doInsert(bool appending)
{
    checkActive();
    checkBrowseMode();
    checkCanModify();
    callHook(m_hooks.beforeInsert);
    callHook(m_hooks.beforeScroll);
    if (appending)
        ensureAllFetched();
    if (appending && m_windowed && !m_heldToEnd)
        holdToEnd();
    m_editBuffer = DatasetRow();
    m_editBuffer.values.resize(fieldCount());
    m_editBuffer.uid = nextUid();
    m_insertPosition = appending ? heldCount() : qMax(m_pos, 0);
    setState(DatasetState::Insert);
    try {
        initNewRecord();
        callHook(m_hooks.onNewRecord);
    } catch (...) {
        m_editBuffer = DatasetRow();
        setState(DatasetState::Browse);
        dataEvent(DataEvent::DataSetChange);
        throw;
    }
    m_modified = false;
    dataEvent(DataEvent::DataSetChange);
    callHook(m_hooks.afterInsert);
    callHook(m_hooks.afterScroll);
}

void Dataset::edit()
{
    if (isEditing())
        return;
    checkActive();
    if (isEmpty()) {
        insert();
        return;
    }
    checkCanModify();
    callHook(m_hooks.beforeEdit);
    lockCurrentRow();
    m_editBuffer = m_rows[size_t(rowIndex(m_pos))];
    m_modified = false;
    setState(DatasetState::Edit);
    dataEvent(DataEvent::RecordChange);
    callHook(m_hooks.afterEdit);
}

void Dataset::updateRecord()
{
    if (!isEditing())
        databaseError(QStringLiteral("Dataset not in edit or insert mode"));
    dataEvent(DataEvent::UpdateRecord);
}

void Dataset::checkRequiredFields()
{
    for (const auto &f : m_fields) {
        if (f->isRequired() && !f->isReadOnly() && !m_editBuffer.values[f->index()].isValid()) {
            dataEvent(DataEvent::FocusControl, f.get());
            databaseError(QStringLiteral("Field '%1' must have a value").arg(f->displayName()));
        }
    }
}

void Dataset::writeRecord(bool, DatasetRow &, const DatasetRow *, std::function<void()>)
{
    checkCanModify();
}

void Dataset::writeDelete(const DatasetRow &, std::function<void()>)
{
    checkCanModify();
}

int Dataset::placeInserted(const DatasetRow &, int insertPosition) const
{
    // Without an index order, a new row stays where it was inserted.
    if (!m_filter)
        return qBound(0, insertPosition, int(m_rows.size()));
    if (insertPosition >= int(m_view.size()))
        return int(m_rows.size());
    return m_view[size_t(insertPosition)];
}

void Dataset::post()
{
    checkActive();
    updateRecord();
    if (!isEditing())
        return;
    Database::WriteGroup group(database());
    dataEvent(DataEvent::CheckBrowseMode);
    checkRequiredFields();
    callHook(m_hooks.beforePost);
    if (!isEditing())
        return;
    const bool inserting = m_state == DatasetState::Insert;
    const int index = inserting ? -1 : rowIndex(m_pos);
    const DatasetRow original = inserting ? DatasetRow() : m_rows[size_t(index)];

    // If the transaction fails, this dataset goes back to editing what the user typed.
    QPointer<Dataset> self(this);
    const DatasetRow buffer = m_editBuffer;
    const int insertPosition = m_insertPosition;
    const int pos = m_pos;
    const DatasetState stateBefore = m_state;
    auto undo = [self, buffer, original, insertPosition, pos, stateBefore, inserting]() {
        if (!self)
            return;
        const int i = self->findRowIndexByUid(buffer.uid);
        if (i >= 0) {
            if (inserting)
                self->m_rows.erase(self->m_rows.begin() + i);
            else
                self->m_rows[size_t(i)].values = original.values;
            self->rebuildView();
        }
        self->m_editBuffer = buffer;
        self->m_insertPosition = insertPosition;
        self->m_pos = qMin(pos, self->heldCount() - 1);
        self->m_bof = self->m_eof = self->heldCount() == 0;
        self->setState(stateBefore);
        self->m_modified = true;
        self->dataEvent(DataEvent::DataSetChange);
    };
    writeRecord(inserting, m_editBuffer, inserting ? nullptr : &original, std::move(undo));
    group.commit();
    DatasetRow posted = std::move(m_editBuffer);
    m_editBuffer = DatasetRow();
    applyPostedRow(inserting, std::move(posted));
}

void Dataset::applyPostedRow(bool inserting, DatasetRow &&row)
{
    const quint64 uid = row.uid;
    if (inserting) {
        const int at = placeInserted(row, m_insertPosition);
        m_rows.insert(m_rows.begin() + at, std::move(row));
    } else {
        const int i = findRowIndexByUid(uid);
        if (i >= 0) {
            DatasetRow moved = std::move(row);
            m_rows.erase(m_rows.begin() + i);
            // An edited key may move the row in index order.
            const int at = placeInserted(moved, i);
            m_rows.insert(m_rows.begin() + at, std::move(moved));
        }
    }
    rebuildView();
    int pos = -1;
    for (int p = 0; p < heldCount(); ++p) {
        if (m_rows[size_t(rowIndex(p))].uid == uid) {
            pos = p;
            break;
        }
    }
    if (m_windowed) {
        if (inserting && m_total >= 0)
            ++m_total;
        // At an end of the held rows with more beyond, the row may belong among rows not held:
        // the window moves to it.
        const bool beyond = pos >= 0
            && ((pos == 0 && !m_heldFromStart)
                || (pos == heldCount() - 1 && !m_heldToEnd));
        if (beyond) {
            DatasetRow anchor = m_rows[size_t(pos)];
            holdAround(std::move(anchor));
            pos = m_pos;
        }
    }
    if (pos < 0)
        pos = qMin(qMax(m_pos, 0), heldCount() - 1);
    m_pos = pos;
    m_bof = false;
    m_eof = heldCount() == 0;
    if (m_eof)
        m_bof = true;
    setState(DatasetState::Browse);
    dataEvent(DataEvent::DataSetChange);
    callHook(m_hooks.afterPost);
}

int Dataset::findRowIndexByUid(quint64 uid) const
{
    for (int i = int(m_rows.size()) - 1; i >= 0; --i) {
        if (m_rows[size_t(i)].uid == uid)
            return i;
    }
    return -1;
}

int Dataset::positionOfRowid(qint64 rowid) const
{
    const int n = heldCount();
    for (int p = 0; p < n; ++p) {
        if (m_rows[size_t(rowIndex(p))].rowid == rowid)
            return p;
    }
    return -1;
}

void Dataset::applyInsertedRowid(quint64 uid, qint64 rowid, std::optional<qint64> key)
{
    rowsChanged();
    bool keyed = false;
    auto apply = [&](DatasetRow &row) {
        row.rowid = rowid;
        for (const auto &f : m_fields) {
            if (f->dataType() == FieldType::AutoInc && !row.values[f->index()].isValid()) {
                row.values[f->index()] = QVariant(key.value_or(rowid));
                keyed = true;
            }
        }
    };
    if (m_editBuffer.uid == uid)
        apply(m_editBuffer);
    const int i = findRowIndexByUid(uid);
    if (i < 0)
        return;
    keyed = false;
    apply(m_rows[size_t(i)]);
    if (!keyed)
        return;
    // A post inside a larger write (a move leaving the row) placed the row before its key was
    // known: put it where the order wants it, the cursor staying on its record.
    const int pos = m_pos >= 0 && m_pos < heldCount() ? m_pos : -1;
    const quint64 current = pos >= 0 ? m_rows[size_t(rowIndex(pos))].uid : 0;
    DatasetRow row = std::move(m_rows[size_t(i)]);
    m_rows.erase(m_rows.begin() + i);
    rebuildView();
    const int at = placeInserted(row, i);
    m_rows.insert(m_rows.begin() + at, std::move(row));
    rebuildView();
    if (at == i)
        return;
    for (int p = 0; current && p < heldCount(); ++p) {
        if (m_rows[size_t(rowIndex(p))].uid == current) {
            m_pos = p;
            break;
        }
    }
    dataEvent(DataEvent::DataSetChange);
}

void Dataset::cancel()
{
    checkActive();
    if (!isEditing())
        return;
    Database::WriteGroup group(database());
    // Before-cancel runs first so that a rule can drop a detail row that the master's cancel
    // would otherwise post.
    callHook(m_hooks.beforeCancel);
    dataEvent(DataEvent::CheckBrowseMode);
    group.commit();
    if (m_state == DatasetState::Edit)
        editCancelled(m_editBuffer.uid);
    m_editBuffer = DatasetRow();
    m_modified = false;
    if (m_pos >= heldCount())
        m_pos = heldCount() - 1;
    m_bof = m_eof = heldCount() == 0;
    setState(DatasetState::Browse);
    dataEvent(DataEvent::DataSetChange);
    callHook(m_hooks.afterCancel);
}

void Dataset::deleteRecord()
{
    checkActive();
    if (m_state == DatasetState::Insert) {
        cancel();
        return;
    }
    if (isEmpty())
        databaseError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    checkCanModify();
    lockCurrentRow();
    // Given up however the delete ends (a row still being edited after a failure keeps it).
    struct Release
    {
        Dataset *d;
        ~Release() { d->releaseRowLock(); }
    } release { this };
    Database::WriteGroup group(database());
    dataEvent(DataEvent::CheckBrowseMode);
    callHook(m_hooks.beforeDelete);
    callHook(m_hooks.beforeScroll);
    if (m_pos < 0 || m_pos >= heldCount())
        databaseError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    const int index = rowIndex(m_pos);
    const DatasetRow row = m_rows[size_t(index)];
    QPointer<Dataset> self(this);
    const int pos = m_pos;
    const DatasetState stateBefore = m_state;
    const DatasetRow buffer = m_editBuffer;
    auto undo = [self, row, index, pos, stateBefore, buffer]() {
        if (!self)
            return;
        if (self->findRowIndexByUid(row.uid) < 0) {
            const int at = qBound(0, index, int(self->m_rows.size()));
            self->m_rows.insert(self->m_rows.begin() + at, row);
            self->rebuildView();
        }
        self->m_editBuffer = buffer;
        self->m_pos = qMin(pos, self->heldCount() - 1);
        self->m_bof = self->m_eof = self->heldCount() == 0;
        self->setState(stateBefore);
        self->dataEvent(DataEvent::DataSetChange);
    };
    writeDelete(row, std::move(undo));
    group.commit();
    const int i = findRowIndexByUid(row.uid);
    if (i >= 0)
        m_rows.erase(m_rows.begin() + i);
    rebuildView();
    m_editBuffer = DatasetRow();
    if (m_windowed) {
        if (m_total > 0)
            --m_total;
        // The row after the deleted one becomes current, read if it was not held.
        if (m_rows.empty() && !(m_heldFromStart && m_heldToEnd)) {
            std::vector<DatasetRow> after = readRows(&row, true, m_holdLimit / 4);
            if (after.empty()) {
                holdToEnd();
            } else {
                adoptRows(after);
                m_heldToEnd = int(after.size()) < m_holdLimit / 4;
                m_heldFromStart = false;
                m_heldFrom = -1;
                m_rows = std::move(after);
                m_pos = 0;
            }
        } else if (m_pos >= heldCount()) {
            ensureRow(m_pos);
        }
    }
    const int n = heldCount();
    if (n == 0) {
        m_pos = -1;
        m_bof = m_eof = true;
    } else {
        m_pos = qMin(m_pos, n - 1);
        m_bof = m_eof = false;
    }
    setState(DatasetState::Browse);
    trimWindow();
    dataEvent(DataEvent::DataSetChange);
    callHook(m_hooks.afterDelete);
    callHook(m_hooks.afterScroll);
}

void Dataset::refresh()
{
    checkActive();
    checkBrowseMode();
    const qint64 rowid
        = (m_pos >= 0 && m_pos < heldCount()) ? m_rows[size_t(rowIndex(m_pos))].rowid : 0;
    const int oldPos = m_pos;
    reloadRows();
    // Checked here rather than at the next key press of a search typed letter by letter.
    if (m_prefixIndex && m_prefixIndex->generation != m_rowsGeneration
        && prefixIndexStillFits(*m_prefixIndex))
        m_prefixIndex->generation = m_rowsGeneration;
    int pos = rowid ? positionOfRowid(rowid) : -1;
    if (pos < 0)
        pos = qMin(qMax(oldPos, 0), heldCount() - 1);
    m_pos = pos;
    m_bof = m_eof = heldCount() == 0;
    dataEvent(DataEvent::DataSetChange);
}

void Dataset::checkBrowseMode()
{
    checkActive();
    Database::WriteGroup group(database());
    dataEvent(DataEvent::CheckBrowseMode);
    if (isEditing()) {
        updateRecord();
        if (m_modified)
            post();
        else
            cancel();
    }
    group.commit();
}

bool Dataset::locate(const QString &fieldNames, const QVariant &value, LocateOptions options)
{
    QVariantList values;
    if (value.typeId() == QMetaType::QVariantList)
        values = value.toList();
    else
        values.append(value);
    return locate(fieldNames, values, options);
}

namespace {
bool valueMatches(const Field *field, const QVariant &stored, const QVariant &wanted,
                  LocateOptions options)
{
    if (!wanted.isValid())
        return !stored.isValid();
    if (!stored.isValid())
        return false;
    const FieldType type = field->dataType();
    if (isTextType(type) || type == FieldType::Blob) {
        const QString *s = stored.typeId() == QMetaType::QString
            ? static_cast<const QString *>(stored.constData())
            : nullptr;
        const QString holder = s ? QString() : stored.toString();
        const QString &text = s ? *s : holder;
        const QString &key = *static_cast<const QString *>(wanted.constData());
        // Without regard to case means without regard to accents too; the key came folded.
        if (options.caseInsensitive)
            return TextFold::matchesSearchKey(text, key, !options.partialKey);
        return options.partialKey ? text.startsWith(key) : text == key;
    }
    if (type == FieldType::Date)
        return stored.toDate() == wanted.toDate();
    if (type == FieldType::Boolean)
        return stored.toBool() == wanted.toBool();
    // Numbers and date-times compare by value, so 7.0 finds the integer key 7.
    return stored.toDouble() == wanted.toDouble();
}
} // namespace

bool Dataset::rowMatches(const DatasetRow &row, const QList<Field *> &fields,
                         const QVariantList &values, LocateOptions options) const
{
    for (int i = 0; i < fields.size(); ++i) {
        if (!valueMatches(fields[i], row.values[fields[i]->index()], values[i], options))
            return false;
    }
    return true;
}

bool Dataset::locate(const QString &fieldNames, const QVariantList &values, LocateOptions options)
{
    checkActive();
    checkBrowseMode();
    QList<Field *> fields;
    for (const QString &name : fieldNames.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        fields.append(fieldByName(name.trimmed()));
    if (fields.size() != values.size())
        databaseError(QStringLiteral("Locate needs one value per field"));
    // Bring each wanted value into the form the rows hold it in.
    QVariantList wanted;
    for (int i = 0; i < fields.size(); ++i) {
        const QVariant &v = values[i];
        const FieldType type = fields[i]->dataType();
        if (!v.isValid() || v.isNull())
            wanted.append(QVariant());
        else if (isTextType(type) || type == FieldType::Blob)
            wanted.append(QVariant(options.caseInsensitive ? TextFold::searchKey(v.toString())
                                                           : v.toString()));
        else if (isNumericType(type) && v.canConvert<double>() && v.typeId() != QMetaType::QString)
            wanted.append(QVariant(v.toDouble()));
        else
            wanted.append(fields[i]->toInternal(v));
    }
    if (m_windowed) {
        DatasetRow found;
        const Seek seek = seekFirst(fields, wanted, options, &found);
        if (seek == Seek::CannotSeek)
            return locateByScan(fields, wanted, options);
        if (seek == Seek::NotFound)
            return false;
        callHook(m_hooks.beforeScroll);
        const int held = positionOfRowid(found.rowid);
        if (held >= 0)
            m_pos = held;
        else
            holdAround(std::move(found));
        moveTo(m_pos, false);
        callHook(m_hooks.afterScroll);
        return true;
    }
    ensureAllFetched();
    const int n = heldCount();
    // A name typed letter by letter into a search is located on every key press.
    constexpr int IndexedFrom = 2000;
    if (fields.size() == 1 && options.caseInsensitive && options.partialKey && n >= IndexedFrom
        && isTextType(fields[0]->dataType()) && wanted[0].isValid()) {
        const int p = locatePrefixIndexed(fields[0], wanted[0].toString());
        if (p < 0)
            return false;
        callHook(m_hooks.beforeScroll);
        moveTo(p, false);
        callHook(m_hooks.afterScroll);
        return true;
    }
    for (int p = 0; p < n; ++p) {
        if (rowMatches(m_rows[size_t(rowIndex(p))], fields, wanted, options)) {
            callHook(m_hooks.beforeScroll);
            moveTo(p, false);
            callHook(m_hooks.afterScroll);
            return true;
        }
    }
    return false;
}

bool Dataset::locateByScan(const QList<Field *> &fields, const QVariantList &wanted,
                           LocateOptions options)
{
    constexpr int Batch = 256;
    std::vector<DatasetRow> rows = readRows(nullptr, true, Batch);
    while (!rows.empty()) {
        for (DatasetRow &r : rows) {
            if (rowMatches(r, fields, wanted, options)) {
                callHook(m_hooks.beforeScroll);
                holdAround(std::move(r));
                moveTo(m_pos, false);
                callHook(m_hooks.afterScroll);
                return true;
            }
        }
        if (int(rows.size()) < Batch)
            break;
        const DatasetRow last = std::move(rows.back());
        rows = readRows(&last, true, Batch);
    }
    return false;
}

void Dataset::afterReload(qint64 keepRowid, bool scrollHooks)
{
    int pos = keepRowid ? positionOfRowid(keepRowid) : -1;
    if (pos < 0)
        pos = ensureRow(0) ? 0 : -1;
    m_pos = pos;
    m_bof = true;
    m_eof = m_pos < 0;
    dataEvent(DataEvent::DataSetChange);
    if (scrollHooks)
        callHook(m_hooks.afterScroll);
}

bool Dataset::prefixIndexStillFits(const PrefixIndex &index) const
{
    if (index.source.size() != m_rows.size())
        return false;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const QVariant &v = m_rows[i].values[index.field];
        const QString &was = index.source[i];
        if (!v.isValid()) {
            if (!was.isNull())
                return false;
            continue;
        }
        if (was.isNull())
            return false;
        if (v.typeId() == QMetaType::QString) {
            if (*static_cast<const QString *>(v.constData()) != was)
                return false;
        } else if (v.toString() != was) {
            return false;
        }
    }
    return true;
}

int Dataset::locatePrefixIndexed(const Field *field, const QString &folded)
{
    // Re-reading a table makes new rows; when they hold the same texts the index still serves,
    // and checking that costs far less than sorting a hundred thousand names again.
    if (m_prefixIndex && m_prefixIndex->field == field->index()
        && m_prefixIndex->generation != m_rowsGeneration && prefixIndexStillFits(*m_prefixIndex))
        m_prefixIndex->generation = m_rowsGeneration;
    if (!m_prefixIndex || m_prefixIndex->field != field->index()
        || m_prefixIndex->generation != m_rowsGeneration) {
        auto index = std::make_unique<PrefixIndex>();
        index->field = field->index();
        index->generation = m_rowsGeneration;
        index->keys.reserve(m_rows.size());
        index->source.reserve(m_rows.size());
        for (int i = 0; i < int(m_rows.size()); ++i) {
            const QVariant &v = m_rows[size_t(i)].values[field->index()];
            if (v.isValid()) {
                QString text = v.toString();
                if (text.isNull())
                    text = QLatin1String("");
                index->keys.emplace_back(TextFold::searchKey(text), i);
                index->source.push_back(std::move(text));
            } else {
                index->source.emplace_back();
            }
        }
        std::sort(index->keys.begin(), index->keys.end());
        m_prefixIndex = std::move(index);
    }
    const auto &keys = m_prefixIndex->keys;
    auto it = std::lower_bound(
        keys.begin(), keys.end(), folded,
        [](const std::pair<QString, int> &entry, const QString &k) { return entry.first < k; });
    // Every match follows; the first in the dataset's own order wins.
    int best = -1;
    for (; it != keys.end() && it->first.startsWith(folded); ++it) {
        const int row = it->second;
        if (m_filter && !m_filter(m_rows[size_t(row)]))
            continue;
        if (best < 0 || row < best)
            best = row;
    }
    if (best < 0)
        return -1;
    if (!m_filter)
        return best;
    const auto pos = std::lower_bound(m_view.begin(), m_view.end(), best);
    return int(pos - m_view.begin());
}
