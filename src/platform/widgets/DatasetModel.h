#pragma once

// Dataset.h brings DataSource.h, whose inline accessors need Dataset complete.
#include "platform/engine/Dataset.h"
#include "platform/widgets/DBGridColumn.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QList>
#include <QVector>

#include <functional>
#include <memory>

// The records of the dataset behind a data source as a table model: one row per record in the
// dataset's order, plus the record being inserted where it stands, and one column per configured
// column (every visible field when none is configured). Cells show the field's display text,
// the column's words for logical fields and a marker for memos and blobs ("(MEMO)" or "(Memo)"
// when null; "(BLOB)" or "(Blob)" for formatted memos and blobs). The current record is read
// from the dataset's edit buffer, so what is typed shows before it is posted.
//
// Nothing is read up front: the model holds the rows the dataset has loaded and, for a lazily
// fetched query, asks for more through canFetchMore()/fetchMore() as views scroll.
//
// The model follows the dataset through a data link and tells its owner after each change
// (event handler). It changes the dataset only through moveToRow() and setCellText(), which throw
// the engine's errors, and through setData(), which reports them through guard().
class DatasetModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit DatasetModel(QObject *parent = nullptr);
    ~DatasetModel() override;

    void setDataSource(DataSource *source);
    [[nodiscard]] DataSource *dataSource() const;
    // The dataset while it is open and its source enabled, else null.
    [[nodiscard]] Dataset *dataset() const;

    void setColumns(const QList<DBGridColumn> &columns);
    [[nodiscard]] const QList<DBGridColumn> &columns() const { return m_config; }
    // The column as shown: the configured one, or the one made for a field when none is.
    [[nodiscard]] DBGridColumn column(int column) const;
    // The field of a column; null while the dataset is closed or has no such field.
    [[nodiscard]] Field *field(int column) const;

    // No cell is editable.
    void setReadOnly(bool readOnly);
    [[nodiscard]] bool isReadOnly() const { return m_readOnly; }
    // Colours of cells and titles where the column sets none; invalid: the view's palette.
    void setCellColors(const QColor &background, const QColor &text);
    void setTitleColor(const QColor &text);

    // The row of the dataset's current record (the inserted one while inserting); -1 if none.
    [[nodiscard]] int currentRow() const;
    // The model is following a change of the dataset: what views do in answer to its signals
    // (a selection moved off a removed row) must not move the dataset.
    [[nodiscard]] bool isFollowing() const { return m_following > 0; }
    // Makes the record of a row current, leaving the current one by the dataset's rules first:
    // posted if modified, dropped or cancelled if not. Throws the dataset's errors.
    void moveToRow(int row);
    // The column may be edited in the grid, on the current record.
    [[nodiscard]] bool canEdit(int column) const;
    // The text an editor of the current record starts from, and storing what it holds (throws on
    // a conversion error). Logical columns with their own words read and write those.
    [[nodiscard]] QString editText(int column) const;
    void setCellText(int column, const QString &text);

    [[nodiscard]] int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index,
                                int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role = Qt::DisplayRole) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    [[nodiscard]] bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

    // Called after the model has followed a data event: DataSetChange stands for anything that
    // may have replaced the rows (open and close included), DataSetScroll for a move,
    // UpdateState for a change of state, FocusControl for a field that wants the focus.
    using EventHandler = std::function<void(DataEvent, Field *)>;
    void setEventHandler(EventHandler handler) { m_onEvent = std::move(handler); }

private:
    class Link;
    friend class Link;

    void followActive();
    void followRows(bool valuesChanged);
    void followRecord(Field *changed);
    void followIndicator();
    void notify(DataEvent event, Field *field = nullptr);
    void resolveColumns();
    // Dataset position of a row; -1 for the record being inserted.
    [[nodiscard]] int positionOfRow(int row) const;
    [[nodiscard]] const QVector<QVariant> *valuesOfRow(int row) const;
    [[nodiscard]] QString cellText(int row, int column) const;
    [[nodiscard]] int rowOfUid(quint64 uid, int near) const;

    std::unique_ptr<Link> m_link;
    QList<DBGridColumn> m_config;
    QList<DBGridColumn> m_columns; // as shown
    QVector<Field *> m_fields; // per shown column, resolved when the dataset opens
    bool m_readOnly = false;
    QColor m_background;
    QColor m_text;
    QColor m_title;
    int m_following = 0;
    int m_storedRows = 0; // dataset rows the views know of
    int m_insertRow = -1; // where the record being inserted shows
    int m_indicatorRow = -1;
    DatasetState m_indicatorState = DatasetState::Inactive;
    EventHandler m_onEvent;
};
