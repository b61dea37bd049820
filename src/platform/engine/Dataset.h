#pragma once

#include "platform/engine/DataSource.h"
#include "platform/engine/Field.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QVariant>
#include <QVector>

#include <functional>
#include <optional>
#include <memory>
#include <vector>

class Database;
class Dataset;

struct DatasetHooks
{
    using Hook = std::function<void(Dataset &)>;
    Hook beforeOpen, afterOpen, beforeClose, afterClose;
    Hook beforeInsert, afterInsert, beforeEdit, afterEdit;
    Hook beforePost, afterPost, beforeCancel, afterCancel;
    Hook beforeDelete, afterDelete, beforeScroll, afterScroll;
    Hook onNewRecord;
};

struct LocateOptions
{
    // Text compares without regard to case or accents: "alvaro" finds "ÁLVARO".
    bool caseInsensitive = false;
    bool partialKey = false;
};

// A row as the engine holds it: one internal value per field, the SQLite rowid when stored, and
// a number unique in the process that follows the row while positions shift.
struct DatasetRow
{
    QVector<QVariant> values;
    qint64 rowid = 0;
    quint64 uid = 0;
};

// The cursor over rows that tables and queries share: states, navigation, editing through an
// edit buffer, hooks, data events to the data sources that follow it.
//
// Rules kept here because the rest of the system relies on them:
// - Leaving a row in edit or insert (moving, locating, a master moving) posts it if it was
//   modified and cancels it otherwise.
// - Edit on an empty dataset starts an insert.
// - Post writes pending control text (update-record), checks required fields, lets details leave
//   edit/insert, runs before-post, then writes; cancel and moves make details leave edit/insert
//   too. All writes of one such operation go to the database in one transaction.
// - Closing discards an unposted edit.
// Errors are DatabaseError with the engine's English messages.
//
// A windowed dataset holds only the rows around its current one, read from the store a few at a
// time in the dataset's order as the cursor moves; positions (recNo, rowAt) still count from the
// first row of the whole dataset, and rows asked for by position beyond those held are read into
// a small cache of pages.
class Dataset : public QObject
{
    Q_OBJECT

public:
    explicit Dataset(QObject *parent = nullptr);
    ~Dataset() override;

    // Fields declared before opening; a dataset with declared fields exposes only those.
    Field *addField(const QString &name, FieldType type, int size = 0);
    [[nodiscard]] Field *findField(const QString &name) const;
    [[nodiscard]] Field *fieldByName(const QString &name) const; // throws "Field 'X' not found"
    [[nodiscard]] Field *field(int index) const { return m_fields.at(index).get(); }
    [[nodiscard]] int fieldCount() const { return int(m_fields.size()); }
    [[nodiscard]] QList<Field *> fields() const;

    void open();
    void close();
    void setActive(bool active);
    [[nodiscard]] bool isActive() const { return m_state != DatasetState::Inactive; }
    [[nodiscard]] DatasetState state() const { return m_state; }
    [[nodiscard]] bool isEditing() const
    {
        return m_state == DatasetState::Edit || m_state == DatasetState::Insert;
    }

    void first();
    void last();
    void next();
    void prior();
    int moveBy(int distance);
    [[nodiscard]] bool eof() const { return m_eof; }
    [[nodiscard]] bool bof() const { return m_bof; }
    [[nodiscard]] bool isEmpty() const;
    [[nodiscard]] int recordCount() const;
    // 1-based position of the current row, 0 when there is none.
    [[nodiscard]] int recNo() const;
    void setRecNo(int recNo);
    // The current row is the first, or the last, of the dataset (never while inserting).
    [[nodiscard]] bool isOnFirstRow() const;
    [[nodiscard]] bool isOnLastRow() const;
    [[nodiscard]] bool isWindowed() const { return m_windowed; }
    // Rows held in memory: every row of a whole dataset, those around the cursor of a windowed one.
    [[nodiscard]] int heldRowCount() const { return int(m_rows.size()); }

    void append();
    void insert();
    void edit();
    void post();
    void cancel();
    void deleteRecord();
    void refresh();
    void checkBrowseMode();
    void updateRecord();
    [[nodiscard]] bool isModified() const { return m_modified; }
    [[nodiscard]] virtual bool canModify() const { return false; }

    bool locate(const QString &fieldNames, const QVariant &value, LocateOptions options = {});
    bool locate(const QString &fieldNames, const QVariantList &values, LocateOptions options = {});

    [[nodiscard]] DatasetHooks &hooks() { return m_hooks; }

    // While disabled, data sources hear nothing; enabling sends one dataset change.
    void disableControls();
    void enableControls();
    [[nodiscard]] bool controlsDisabled() const { return m_disableCount > 0; }

    // Current record values (the edit buffer while editing); null when there is no row.
    [[nodiscard]] QVariant fieldValue(int fieldIndex) const;
    void setFieldValue(Field *field, const QVariant &internalValue);

    // Row access for grids: visible rows in order (fetches lazily loaded rows as needed). The row
    // given by rowAt() may be overwritten by the next call for a row not held.
    [[nodiscard]] int rowCount() const;
    [[nodiscard]] const DatasetRow &rowAt(int position) const;
    [[nodiscard]] int currentPosition() const;
    [[nodiscard]] const QVector<QVariant> &currentValues() const;
    // Identity of the record shown (the edit buffer's while editing): it changes when the cursor
    // goes to another row, a new record is inserted or the rows are read again; 0 when none.
    [[nodiscard]] quint64 currentRecordUid() const;
    // Lazily fetched datasets: rows still waiting in the store, and loading the next batch of
    // them without telling the data sources (false when none came).
    [[nodiscard]] virtual bool canFetchMore() const { return false; }
    bool fetchMoreRows() { return isActive() && fetchMore(); }
    // Where the record being inserted stands among the rows; -1 unless inserting.
    [[nodiscard]] int insertPosition() const;

    [[nodiscard]] virtual Database *database() const { return nullptr; }

protected:
    // Makes the fields (unless declared) and loads the first rows.
    virtual void doOpen() = 0;
    virtual void doClose() { }
    // Lazily fetched datasets load more rows here; false when all are in.
    virtual bool fetchMore() { return false; }
    // Queues the write of m_editBuffer (insert or update) through database()->submit().
    // undo puts the dataset back as before the write if the transaction fails.
    virtual void writeRecord(bool inserting, DatasetRow &row, const DatasetRow *original,
                             std::function<void()> undo);
    virtual void writeDelete(const DatasetRow &row, std::function<void()> undo);
    // Where a posted new row goes among the rows (index order for tables).
    [[nodiscard]] virtual int placeInserted(const DatasetRow &row, int insertPosition) const;
    // Reloads every row from the store (refresh, master change).
    virtual void reloadRows() { }
    // Copies link values into a new row (details).
    virtual void initNewRecord() { }
    // The edit of the stored row uid was cancelled (its row may now show newer stored values).
    virtual void editCancelled(quint64 uid) { Q_UNUSED(uid); }
    // Record locks: the current row's lock is taken before an edit or a delete leaves browse
    // (throws when refused), and given up when the edit or delete is over.
    virtual void lockCurrentRow() { }
    virtual void releaseRowLock() { }

    // Windowed datasets read their rows through these. Rows come with values and rowid, no uid.
    // Up to limit rows after (forward) or before `from` in the dataset's order, nearest first;
    // from the first (forward) or the last row when from is null.
    virtual std::vector<DatasetRow> readRows(const DatasetRow *from, bool forward, int limit);
    // Up to limit rows from position offset on, in order.
    virtual std::vector<DatasetRow> readRowsAt(qint64 offset, int limit);
    [[nodiscard]] virtual qint64 countRows() const { return 0; }
    [[nodiscard]] virtual qint64 countRowsBefore(const DatasetRow &row) const;
    // The first row, in order, whose fields hold the wanted values (in the form locate() brings
    // them to); CannotSeek when the store cannot be asked that and the rows must be scanned.
    enum class Seek { Found, NotFound, CannotSeek };
    virtual Seek seekFirst(const QList<Field *> &fields, const QVariantList &wanted,
                           LocateOptions options, DatasetRow *found);

    // Windowing: the held rows become those read from the start, or around anchor (read from the
    // store; the cursor goes onto it); rows already held keep their identity.
    void setWindowed(bool windowed, int holdLimit);
    void holdFromStart();
    void holdAround(DatasetRow &&anchor);
    void forgetCount() { m_total = -1; }
    [[nodiscard]] int heldPosition() const { return m_pos; }
    [[nodiscard]] quint64 editBufferUid() const { return m_editBuffer.uid; }
    [[nodiscard]] DatasetRow &editBuffer() { return m_editBuffer; }

    [[nodiscard]] Field *createField(const QString &name, FieldType type, int size);
    void clearFields();
    [[nodiscard]] bool hasDeclaredFields() const { return m_declared; }
    // Row filter (tables); rows failing it are invisible.
    void setRowFilter(std::function<bool(const DatasetRow &)> filter);
    void rebuildView();
    void resetRows();
    void appendLoadedRow(DatasetRow &&row);
    [[nodiscard]] quint64 nextUid();
    void checkActive() const;
    void checkCanModify() const;
    void dataEvent(DataEvent event, Field *field = nullptr);
    void callHook(const DatasetHooks::Hook &hook);
    void setState(DatasetState state);
    // Puts the cursor on the first row (or nothing) after a reload, with scroll hooks.
    void afterReload(qint64 keepRowid, bool scrollHooks);
    void applyInsertedRowid(quint64 uid, qint64 rowid, std::optional<qint64> key = std::nullopt);
    [[nodiscard]] int findRowIndexByUid(quint64 uid) const;
    [[nodiscard]] int positionOfRowid(qint64 rowid) const;
    void moveTo(int position, bool scrolled);

    std::vector<DatasetRow> m_rows;

private:
    friend class DataSource;
    void addDataSource(DataSource *source);
    void removeDataSource(DataSource *source);
    void ensureAllFetched() const;
    [[nodiscard]] int heldCount() const;
    // Makes the held row index exist if the dataset has it, reading on for a windowed one.
    bool ensureRow(int position) const;
    // Reads the rows before the first held one; false when there are none.
    bool holdEarlier();
    void holdToEnd();
    void holdAtPosition(qint64 position);
    // Drops held rows far from the cursor beyond the window's limit.
    void trimWindow();
    void adoptRows(std::vector<DatasetRow> &rows) const;
    [[nodiscard]] qint64 heldOffset() const;
    [[nodiscard]] qint64 totalRows() const;
    [[nodiscard]] const DatasetRow &pageRow(qint64 position) const;
    // Locate through every row of a windowed dataset, a window at a time.
    bool locateByScan(const QList<Field *> &fields, const QVariantList &wanted,
                      LocateOptions options);
    [[nodiscard]] int rowIndex(int position) const;
    void checkRequiredFields();
    void doInsert(bool appending);
    void applyPostedRow(bool inserting, DatasetRow &&row);
    [[nodiscard]] bool rowMatches(const DatasetRow &row, const QList<Field *> &fields,
                                  const QVariantList &values, LocateOptions options) const;
    // Position of the first row whose text field starts with folded (a TextFold::searchKey),
    // ignoring case and accents, through a folded sorted copy of the column kept until the rows
    // change; -1 when none.
    [[nodiscard]] int locatePrefixIndexed(const Field *field, const QString &folded);
    void rowsChanged()
    {
        ++m_rowsGeneration;
        m_pages[0].start = m_pages[1].start = -1;
    }

    std::vector<std::unique_ptr<Field>> m_fields;
    bool m_declared = false;
    QList<QPointer<DataSource>> m_sources;
    DatasetState m_state = DatasetState::Inactive;
    DatasetHooks m_hooks;
    std::function<bool(const DatasetRow &)> m_filter;
    std::vector<int> m_view; // row indexes passing the filter, when filtered
    int m_pos = -1;
    bool m_bof = true;
    bool m_eof = true;
    bool m_modified = false;
    int m_disableCount = 0;
    bool m_pendingChange = false;
    // Edit buffer: the record being edited or inserted.
    DatasetRow m_editBuffer;
    int m_insertPosition = 0;
    quint64 m_rowsGeneration = 0;
    struct PrefixIndex
    {
        int field = -1;
        quint64 generation = 0;
        std::vector<std::pair<QString, int>> keys; // search key of the text, row index
        std::vector<QString> source; // per row index, the text its key was made from
    };
    // The rows hold the same texts, in the same places, as when the index was made (a refresh
    // that brought nothing new).
    [[nodiscard]] bool prefixIndexStillFits(const PrefixIndex &index) const;
    std::unique_ptr<PrefixIndex> m_prefixIndex;
    bool m_windowed = false;
    int m_holdLimit = 0;
    bool m_heldFromStart = true; // no row before the first held one
    bool m_heldToEnd = true; // no row after the last held one
    mutable qint64 m_heldFrom = 0; // position of the first held row; -1 until asked for
    mutable qint64 m_total = -1; // rows of a windowed dataset; -1 until asked for
    struct Page
    {
        qint64 start = -1;
        std::vector<DatasetRow> rows;
    };
    mutable Page m_pages[2];
    mutable int m_nextPage = 0;
    static quint64 s_uidCounter;
    static const QVector<QVariant> s_emptyValues;
};
