#pragma once

#include "platform/widgets/DBGridColumn.h"

#include <QList>
#include <QPointer>
#include <QTableView>

class DataSource;
class Dataset;
class DatasetModel;
class Field;
enum class DataEvent;

namespace DBGridDetail {
class CellEditor;
class Delegate;
} // namespace DBGridDetail

// A table of the records of a data source's dataset, one row per record, one column per
// configured DBGridColumn (every visible field when none is configured). The current row is the
// dataset's current record: moving either moves the other, and leaving a row follows the
// dataset's rules (posted if modified, cancelled if not).
//
// Unless the grid is read-only, typing into a cell of an editable column puts the dataset into
// edit mode (when its data source edits automatically) and the text reaches the field when the
// cell editor closes or the record is posted; a text that does not convert shows the engine's
// message in the application's error box and the editor stays. Keys: Insert inserts a record at
// the current row, Down on the last row appends one, Esc reverts the cell being typed or, with
// nothing typed, cancels the record, Ctrl+Delete deletes the current record (after the toolkit's
// "Delete record?" when the grid is set to confirm).
// An inserted record that nothing was typed into is dropped when the focus leaves the grid for
// another control of the window.
//
// Errors of the dataset's rules go to the application's error box; none leaves an event handler.
class DBGrid : public QTableView
{
    Q_OBJECT

public:
    enum Option {
        Titles = 0x01, // a title row
        Indicator = 0x02, // a column marking the current record and its state
        ColumnLines = 0x04,
        RowLines = 0x08,
        ResizeColumns = 0x10, // the user may drag column borders
        TabMovesCells = 0x20, // Tab and Shift+Tab move from cell to cell
        // With TabMovesCells: past the row's last (first) cell Tab (Shift+Tab) goes to the next
        // control instead of another record.
        TabLeavesAtRowEnd = 0x40,
    };
    Q_DECLARE_FLAGS(Options, Option)
    Q_FLAG(Options)

    explicit DBGrid(QWidget *parent = nullptr);
    ~DBGrid() override;

    void setDataSource(DataSource *source);
    [[nodiscard]] DataSource *dataSource() const;
    [[nodiscard]] DatasetModel *datasetModel() const { return m_model; }

    void setColumns(const QList<DBGridColumn> &columns);
    void addColumn(const DBGridColumn &column);
    [[nodiscard]] QList<DBGridColumn> columns() const;

    // All options are on by default.
    void setOptions(Options options);
    [[nodiscard]] Options options() const { return m_options; }
    // No cell editing and no inserting or deleting records from the keyboard.
    void setReadOnly(bool readOnly);
    [[nodiscard]] bool isReadOnly() const { return m_readOnly; }
    // Ctrl+Delete asks before deleting; off by default.
    void setConfirmDelete(bool confirm) { m_confirmDelete = confirm; }
    // Where the columns set none; invalid colours keep the palette's.
    void setCellColors(const QColor &background, const QColor &text);
    void setTitleColor(const QColor &text);

    // The row of the current record, -1 when there is none.
    [[nodiscard]] int currentRow() const;
    // What a double-click on a row does: makes its record current and, if it became so, emits
    // rowDoubleClicked(). A row out of range stands for the empty part below the rows.
    void doubleClickRow(int row);

Q_SIGNALS:
    // The user double-clicked the current record's row, or the empty part below the rows (the
    // current record stays; there may be none).
    void rowDoubleClicked();

protected:
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyboardSearch(const QString &search) override;

protected Q_SLOTS:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void commitData(QWidget *editor) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private:
    friend class DBGridDetail::Delegate;

    [[nodiscard]] Dataset *dataset() const;
    [[nodiscard]] bool canChangeRecords() const;
    void datasetEvent(DataEvent event, Field *field);
    // Puts the view's current cell on the dataset's current record.
    void followDataset(int column);
    // Writes what the open editor holds and closes it; false (error shown, editor kept) when the
    // text does not convert.
    bool commitEditor();
    void discardEditor();
    void keepEditor();
    void editorCreated(DBGridDetail::CellEditor *editor);
    void editorDestroyed(QWidget *editor);
    void down();
    void up();
    void focusMoved(QWidget *from);
    void applyOptions();
    void applyWidths();
    [[nodiscard]] int defaultWidth(int column) const;

    DatasetModel *m_model;
    DBGridDetail::Delegate *m_delegate;
    QPointer<DBGridDetail::CellEditor> m_editor;
    Options m_options;
    bool m_readOnly = false;
    bool m_confirmDelete = false;
    bool m_following = false; // the view's current cell is being put where the dataset is
    bool m_commitFailed = false;
    bool m_applyingWidths = false;
    QList<int> m_userWidths; // per column, -1 until the user drags its border
    QMetaObject::Connection m_focusConnection;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(DBGrid::Options)
