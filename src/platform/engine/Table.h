#pragma once

#include "platform/engine/Dataset.h"

#include <QStringList>

#include <memory>

class SqlStatement;
class MasterLink;

// A table of the logical database, opened by its file name ("eco.DB" is the SQL table eco).
// It loads its rows into memory in index order; as a detail it holds only the rows that match
// its master's current row and re-reads them when the master goes to another record (a move, an
// insert, a re-read) or a link value changes; an edit of the master's other fields keeps them.
// Read whole, a table orders its text keys as people read names: by their letters without
// accents, then as written, so ÁLVARO comes between ALFREDO and AMÉLIA; a detail keeps the order
// of its index in SQLite.
// A table with declared fields exposes only those; opening fails when the table or a declared
// column is missing. The filter "field = value" can be switched on and off.
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

protected:
    void doOpen() override;
    void doClose() override;
    void writeRecord(bool inserting, DatasetRow &row, const DatasetRow *original,
                     std::function<void()> undo) override;
    void writeDelete(const DatasetRow &row, std::function<void()> undo) override;
    [[nodiscard]] int placeInserted(const DatasetRow &row, int insertPosition) const override;
    void reloadRows() override;
    void initNewRecord() override;

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
        int field = -1;
        bool withoutAccents = false;
    };
    QList<SortKey> m_sortKeys;
    QList<int> m_detailFields; // field indexes matched to the master fields
    std::unique_ptr<MasterLink> m_masterLink;
    std::unique_ptr<SqlStatement> m_select;
    QString m_selectSql;
    bool m_sortInMemory = false;
    // The master record and link values the detail rows were read for.
    quint64 m_masterUid = 0;
    QVariantList m_masterKeys;
};
