#pragma once

#include "platform/engine/Dataset.h"

#include <QStringList>

#include <memory>
#include <optional>
#include <unordered_map>

class SqlStatement;
class MasterLink;
class Connection;

// A table of the logical database, opened by its file name ("eco.DB" is the SQL table eco).
// It loads its rows into memory in index order; as a detail it holds only the rows that match
// its master's current row and re-reads them when the master goes to another record (a move, an
// insert, a re-read) or a link value changes; an edit of the master's other fields keeps them.
// Read whole, a table orders its text keys as people read names: by their letters without
// accents, then as written, so ÁLVARO comes between ALFREDO and AMÉLIA; a detail keeps the order
// of its index in SQLite. An index whose text keys follow a column the store keeps folded gives
// that order itself: such a table, once larger than its window, is windowed (see Dataset) and
// reads its rows with keyset queries on the index, the columns of the index it does not expose
// being read along with each row.
// A table with declared fields exposes only those; opening fails when the table or a declared
// column is missing. The filter "field = value" can be switched on and off.
//
// Other programs and other instances write the same file. An update or delete finds its row by
// the key values this table read (its primary key; for a table without one, its index columns
// and the rowid) and, by default, only if every column it read still holds what it read; when
// another writer changed the row the write fails with "Couldn't perform the edit because another
// user changed the record.", when the row is gone with "Record/Key deleted.", and the dataset
// keeps what was typed. Cancelling such an edit shows the row as it is stored now.
class Table : public Dataset
{
    Q_OBJECT

public:
    explicit Table(QObject *parent = nullptr);
    ~Table() override;

    void setDatabaseName(const QString &name) { m_databaseName = name; }
    [[nodiscard]] const QString &databaseName() const { return m_databaseName; }
    void setTableName(const QString &fileName) { m_tableName = fileName; }
    [[nodiscard]] const QString &tableName() const { return m_tableName; }
    // SQL name: file name without extension, lower case.
    [[nodiscard]] QString sqlTableName() const;

    void setIndexName(const QString &name);
    [[nodiscard]] const QString &indexName() const { return m_indexName; }
    void setIndexFieldNames(const QString &names); // "CodigoPaciente;CodigoExame"
    [[nodiscard]] QStringList indexFields() const { return m_indexColumns; }

    void setMasterSource(DataSource *source);
    [[nodiscard]] DataSource *masterSource() const;
    void setMasterFields(const QString &names); // master's fields, matched to the index fields

    void setFilter(const QString &expression); // "activo = true"
    [[nodiscard]] const QString &filter() const { return m_filterText; }
    void setFiltered(bool filtered);
    [[nodiscard]] bool isFiltered() const { return m_filtered; }

    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    [[nodiscard]] bool isReadOnly() const { return m_readOnly; }
    [[nodiscard]] bool canModify() const override;

    // Moves this table onto the row that another table over the same file is on.
    void gotoCurrent(Table &other);
    [[nodiscard]] qint64 currentRowid() const;

    [[nodiscard]] Database *database() const override;

    // WhereAll refuses to write over a row another writer changed; KeyOnly only needs the key.
    enum class UpdateMode { WhereAll, KeyOnly };
    void setUpdateMode(UpdateMode mode) { m_updateMode = mode; }
    [[nodiscard]] UpdateMode updateMode() const { return m_updateMode; }
    // The stored columns that find a row: the primary key, else the index columns; with the
    // rowid as well when keyIncludesRowid().
    [[nodiscard]] QStringList keyColumns() const;
    [[nodiscard]] bool keyIncludesRowid() const { return m_keyWithRowid; }

    // With record locks on the database, an edit or delete of a stored row first takes the row's
    // lock (its primary key values; the key columns and rowid for a table without one), refused
    // with "Record locked by another user." while another workstation holds it. Inserts take none.
    void setLockOnEdit(bool lock);
    [[nodiscard]] bool lockOnEdit() const { return m_lockOnEdit; }
    [[nodiscard]] bool holdsRowLock() const { return m_lockedKey.has_value(); }

    // Rows a windowed table holds at most; one with no more rows than this is read whole.
    void setWindowSize(int rows) { m_windowSize = rows; }
    [[nodiscard]] int windowSize() const { return m_windowSize; }

protected:
    void doOpen() override;
    void doClose() override;
    void writeRecord(bool inserting, DatasetRow &row, const DatasetRow *original,
                     std::function<void()> undo) override;
    void writeDelete(const DatasetRow &row, std::function<void()> undo) override;
    [[nodiscard]] int placeInserted(const DatasetRow &row, int insertPosition) const override;
    void reloadRows() override;
    void initNewRecord() override;
    void editCancelled(quint64 uid) override;
    void lockCurrentRow() override;
    void releaseRowLock() override;
    std::vector<DatasetRow> readRows(const DatasetRow *from, bool forward, int limit) override;
    std::vector<DatasetRow> readRowsAt(qint64 offset, int limit) override;
    [[nodiscard]] qint64 countRows() const override;
    [[nodiscard]] qint64 countRowsBefore(const DatasetRow &row) const override;
    Seek seekFirst(const QList<Field *> &fields, const QVariantList &wanted, LocateOptions options,
                   DatasetRow *found) override;

private:
    friend class MasterLink;
    void masterChanged();
    // The master shows another record, or other link values, than the detail rows were read for.
    [[nodiscard]] bool masterRecordChanged() const;
    void loadRows();
    void resolveIndex(const QStringList &tableColumns, const QStringList &pkColumns);
    void applyFilter();
    void sortLoadedRows();
    // Index order, from the key fromKey on (the keys before it known equal).
    [[nodiscard]] int compareRows(const DatasetRow &a, const DatasetRow &b, int fromKey = 0) const;
    [[nodiscard]] QVariantList masterValues() const;
    void resolveKey(const QStringList &pkColumns);
    struct RowCheck;
    [[nodiscard]] RowCheck rowCheck(const DatasetRow &asRead) const;
    [[nodiscard]] static qint64 findAsRead(Connection &db, const RowCheck &check,
                                           std::optional<QVector<QVariant>> *stored);
    void rememberConflict(quint64 uid, std::optional<QVector<QVariant>> stored);
    // Index order as SQL: the rows after (or before) row, with the values to bind.
    [[nodiscard]] QString keysetWhere(const DatasetRow &row, bool after, QVariantList *binds) const;
    [[nodiscard]] QString orderBy(bool forward) const;
    [[nodiscard]] QString quoted(const QString &name) const;
    // Rows before row that a comparison of row values leaves out: those whose key is null where
    // row's is not, after keys equal to row's; each with its values to bind.
    [[nodiscard]] QList<std::pair<QString, QVariantList>> nullsBefore(const DatasetRow &row) const;
    [[nodiscard]] QVariantList storedKey(const DatasetRow &row) const;
    std::vector<DatasetRow> readSql(const QString &where, const QVariantList &binds, bool forward,
                                    int limit, qint64 offset = 0) const;
    [[nodiscard]] SqlStatement &cached(const QString &sql) const;
    [[nodiscard]] std::optional<DatasetRow> readByRowid(qint64 rowid) const;
    // The index columns the table does not expose, as the store now holds them for the row.
    void readHiddenKeys(quint64 uid, qint64 rowid);
    void unlockRow();

    QString m_databaseName = QStringLiteral("BDC");
    QString m_tableName;
    QString m_indexName;
    QStringList m_indexColumns; // as requested or resolved
    QStringList m_masterFieldNames;
    QString m_filterText;
    bool m_filtered = false;
    bool m_readOnly = false;
    QStringList m_columnNames; // stored column name per field
    // One key of the index order: a field, compared as stored or by its text without accents.
    struct SortKey
    {
        int field = -1; // index of the value in a row: a field, or a hidden column after them
        bool withoutAccents = false;
        FieldType type = FieldType::Unknown;
    };
    QList<SortKey> m_sortKeys;
    QList<int> m_detailFields; // field indexes matched to the master fields
    std::unique_ptr<MasterLink> m_masterLink;
    std::unique_ptr<SqlStatement> m_select;
    QString m_selectSql;
    QStringList m_hiddenColumns; // index columns that are not fields, read after the fields
    QVector<FieldType> m_readTypes; // per value read: the fields', then the hidden columns'
    QString m_columnsSql; // rowid, the fields' columns, the hidden ones
    int m_windowSize = 256;
    mutable std::unordered_map<QString, std::unique_ptr<SqlStatement>> m_statements;
    bool m_sortInMemory = false;
    // The master record and link values the detail rows were read for.
    quint64 m_masterUid = 0;
    QVariantList m_masterKeys;
    UpdateMode m_updateMode = UpdateMode::WhereAll;
    QList<int> m_keyFields;
    bool m_keyWithRowid = true;
    bool m_postgreSql = false;
    QString m_keyWhere; // "k1" IS ? AND ... [AND rowid = ?]
    QString m_checkSelect; // rowid and every column read, of the row m_keyWhere finds
    // Rows whose write found them changed or gone: what the store held then (nothing if gone),
    // shown once the user cancels the edit.
    std::unordered_map<quint64, std::optional<QVector<QVariant>>> m_storedAfterConflict;
    bool m_lockOnEdit = false;
    std::optional<QVariantList> m_lockedKey; // the row lock this table holds
};
