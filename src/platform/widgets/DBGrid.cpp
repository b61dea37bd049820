#include "platform/widgets/DBGrid.h"

#include "platform/engine/Dataset.h"
#include "platform/engine/Field.h"
#include "platform/engine/Guard.h"
#include "platform/widgets/DatasetModel.h"
#include "platform/widgets/Dialogs.h"
#include "platform/widgets/FieldDataLink.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>

namespace DBGridDetail {

// The line edit a cell is typed into, bound to the column's field the way a DBEdit is: the first
// key that changes the text puts the dataset into edit mode (or is dropped if it may not edit),
// characters the field cannot hold are refused with a beep, and a post writes the text.
class CellEditor : public QLineEdit
{
public:
    CellEditor(QWidget *parent, DatasetModel *model, int column)
        : QLineEdit(parent)
        , m_model(model)
        , m_column(column)
    {
        setFrame(false);
        m_link.setDataChangeHandler([this] { load(); });
        m_link.setUpdateDataHandler([this] { m_model->setCellText(m_column, text()); });
        m_link.setReadOnly(!model->canEdit(column));
        m_link.setDataSource(model->dataSource());
        m_link.setFieldName(model->column(column).fieldName());
        if (const Field *f = model->field(column);
            f && f->dataType() == FieldType::String && f->size() > 0)
            setMaxLength(f->size());
        connect(this, &QLineEdit::textEdited, this, [this] { m_link.setModified(); });
    }

    [[nodiscard]] FieldDataLink &link() { return m_link; }
    [[nodiscard]] bool hasPendingText() const { return m_link.isModified(); }
    void load()
    {
        const QString value = m_model->editText(m_column);
        if (value != text())
            setText(value);
    }
    void detach() { m_link.setDataSource(nullptr); }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        const auto mods = event->modifiers() & ~Qt::KeypadModifier;
        // Keys the grid acts on go through to it.
        if ((event->key() == Qt::Key_Delete && mods == Qt::ControlModifier)
            || (event->key() == Qt::Key_Insert && mods == Qt::NoModifier)) {
            event->ignore();
            return;
        }
        if (const auto typed = FieldDataLink::keypadDecimal(*event, m_link.field())) {
            keyPressEvent(typed.get());
            event->setAccepted(typed->isAccepted());
            return;
        }
        if (!m_link.acceptKey(*event)) {
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }

    void focusOutEvent(QFocusEvent *event) override
    {
        QLineEdit::focusOutEvent(event);
        // Kept by the grid (its text does not convert): the line edit has just dropped the
        // selection the grid made.
        if (hasFocus())
            selectAll();
    }

private:
    DatasetModel *m_model;
    int m_column;
    FieldDataLink m_link;
};

class Delegate : public QStyledItemDelegate
{
public:
    explicit Delegate(DBGrid *grid)
        : QStyledItemDelegate(grid)
        , m_grid(grid)
    { }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &,
                          const QModelIndex &index) const override
    {
        auto *editor = new CellEditor(parent, m_grid->m_model, index.column());
        m_grid->editorCreated(editor);
        return editor;
    }

    void setEditorData(QWidget *editor, const QModelIndex &) const override
    {
        // What the user typed stays until it is written or abandoned.
        auto *cell = static_cast<CellEditor *>(editor);
        if (!cell->hasPendingText())
            cell->load();
    }

    // The grid writes through the editor's link, where a conversion error can keep the editor.
    void setModelData(QWidget *, QAbstractItemModel *, const QModelIndex &) const override { }

    void destroyEditor(QWidget *editor, const QModelIndex &index) const override
    {
        m_grid->editorDestroyed(editor);
        static_cast<CellEditor *>(editor)->detach();
        QStyledItemDelegate::destroyEditor(editor, index);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        // The view draws lines in both directions or none; one direction is drawn here.
        const bool rows = m_grid->options().testFlag(DBGrid::RowLines);
        const bool columns = m_grid->options().testFlag(DBGrid::ColumnLines);
        if (rows == columns)
            return;
        const int hint
            = m_grid->style()->styleHint(QStyle::SH_Table_GridLineColor, &option, m_grid);
        painter->save();
        painter->setPen(QColor::fromRgba(static_cast<QRgb>(hint)));
        const QRect r = option.rect;
        if (rows)
            painter->drawLine(r.bottomLeft(), r.bottomRight());
        else
            painter->drawLine(r.topRight(), r.bottomRight());
        painter->restore();
    }

private:
    DBGrid *m_grid;
};

} // namespace DBGridDetail

using DBGridDetail::CellEditor;

namespace {
// Characters a field shows by default, for columns without a width.
int defaultDisplayChars(const Field *f)
{
    switch (f->dataType()) {
    case FieldType::String:
        return f->size() > 0 ? qMin(f->size(), 64) : 20;
    case FieldType::SmallInt:
        return 6;
    case FieldType::Integer:
    case FieldType::AutoInc:
        return 11;
    case FieldType::LargeInt:
        return 15;
    case FieldType::Boolean:
        return 5;
    case FieldType::DateTime:
        return 18;
    default:
        return 10;
    }
}
} // namespace

DBGrid::DBGrid(QWidget *parent)
    : QTableView(parent)
    , m_model(new DatasetModel(this))
    , m_delegate(new DBGridDetail::Delegate(this))
    , m_options(Titles | Indicator | ColumnLines | RowLines | ResizeColumns | TabMovesCells)
{
    setModel(m_model);
    setItemDelegate(m_delegate);
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectItems);
    setEditTriggers(AnyKeyPressed | EditKeyPressed | DoubleClicked);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    // Clicking a title or the indicator would select a whole column or row, moving the record.
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setSectionsClickable(false);
    verticalHeader()->setHighlightSections(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setFixedWidth(fontMetrics().height() + 4);

    m_model->setEventHandler([this](DataEvent event, Field *field) { datasetEvent(event, field); });
    // Connected after the view's own: the header has forgotten its widths when this runs.
    connect(m_model, &QAbstractItemModel::modelReset, this, &DBGrid::applyWidths);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int size) {
                if (!m_applyingWidths && column < m_userWidths.size())
                    m_userWidths[column] = size;
            });
    m_focusConnection = connect(qApp, &QApplication::focusChanged, this,
                                [this](QWidget *from, QWidget *) { focusMoved(from); });
    applyOptions();
}

DBGrid::~DBGrid()
{
    // Nothing may reach the grid while its bases and children go: focus moves, data events.
    disconnect(m_focusConnection);
    m_model->setEventHandler({});
    if (m_editor)
        m_editor->detach();
    m_model->setDataSource(nullptr);
}

void DBGrid::setDataSource(DataSource *source)
{
    discardEditor();
    m_model->setDataSource(source);
}

DataSource *DBGrid::dataSource() const
{
    return m_model->dataSource();
}

Dataset *DBGrid::dataset() const
{
    return m_model->dataset();
}

void DBGrid::setColumns(const QList<DBGridColumn> &columns)
{
    discardEditor();
    m_userWidths.clear();
    m_model->setColumns(columns);
}

void DBGrid::addColumn(const DBGridColumn &column)
{
    QList<DBGridColumn> all = m_model->columns();
    all.append(column);
    setColumns(all);
}

QList<DBGridColumn> DBGrid::columns() const
{
    return m_model->columns();
}

void DBGrid::setOptions(Options options)
{
    m_options = options;
    applyOptions();
}

void DBGrid::applyOptions()
{
    horizontalHeader()->setVisible(m_options.testFlag(Titles));
    verticalHeader()->setVisible(m_options.testFlag(Indicator));
    setShowGrid(m_options.testFlag(RowLines) && m_options.testFlag(ColumnLines));
    horizontalHeader()->setSectionResizeMode(
        m_options.testFlag(ResizeColumns) ? QHeaderView::Interactive : QHeaderView::Fixed);
    setTabKeyNavigation(m_options.testFlag(TabMovesCells));
    viewport()->update();
}

void DBGrid::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    if (readOnly)
        discardEditor();
    m_model->setReadOnly(readOnly);
}

void DBGrid::setCellColors(const QColor &background, const QColor &text)
{
    m_model->setCellColors(background, text);
    // The part of the viewport below the last row too.
    QPalette p = palette();
    p.setColor(QPalette::Base,
               background.isValid() ? background : QPalette().color(QPalette::Base));
    setPalette(p);
}

void DBGrid::setTitleColor(const QColor &text)
{
    m_model->setTitleColor(text);
}

int DBGrid::currentRow() const
{
    return m_model->currentRow();
}

bool DBGrid::canChangeRecords() const
{
    const Dataset *ds = dataset();
    return !m_readOnly && ds && ds->canModify();
}

void DBGrid::applyWidths()
{
    QScopedValueRollback<bool> applying(m_applyingWidths, true);
    const int n = m_model->columnCount();
    if (m_userWidths.size() != n)
        m_userWidths = QList<int>(n, -1);
    for (int c = 0; c < n; ++c) {
        const int configured = m_model->column(c).width();
        const int width = m_userWidths[c] >= 0 ? m_userWidths[c]
            : configured > 0                   ? configured
                                               : defaultWidth(c);
        setColumnWidth(c, width);
    }
}

int DBGrid::defaultWidth(int column) const
{
    const Field *f = m_model->field(column);
    const int chars = !f ? 10 : f->displayWidth() > 0 ? f->displayWidth() : defaultDisplayChars(f);
    const int cells = chars * fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const QString title = m_model->headerData(column, Qt::Horizontal).toString();
    const int titles = horizontalHeader()->fontMetrics().horizontalAdvance(title);
    return qMax(cells, titles) + 8;
}

void DBGrid::datasetEvent(DataEvent event, Field *field)
{
    switch (event) {
    case DataEvent::DataSetChange:
    case DataEvent::DataSetScroll:
        // Another record or other rows: what an editor held was written or abandoned already.
        discardEditor();
        followDataset(currentIndex().column());
        break;
    case DataEvent::UpdateState:
        followDataset(currentIndex().column());
        break;
    case DataEvent::FocusControl:
        for (int c = 0; c < m_model->columnCount(); ++c) {
            if (m_model->field(c) == field) {
                followDataset(c);
                if (isVisible() && isEnabled())
                    setFocus(Qt::OtherFocusReason);
                break;
            }
        }
        break;
    default:
        break;
    }
}

void DBGrid::followDataset(int column)
{
    const int row = m_model->currentRow();
    const int columns = m_model->columnCount();
    const QModelIndex wanted = row >= 0 && columns > 0
        ? m_model->index(row, qBound(0, column, columns - 1))
        : QModelIndex();
    if (wanted == currentIndex() && (!wanted.isValid() || selectionModel()->isSelected(wanted)))
        return;
    QScopedValueRollback<bool> following(m_following, true);
    // A grid that selects whole rows shows the record's whole row selected, however it got there.
    const QItemSelectionModel::SelectionFlags select = selectionBehavior() == SelectRows
        ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
        : QItemSelectionModel::ClearAndSelect;
    if (wanted.isValid())
        selectionModel()->setCurrentIndex(wanted, select);
    else
        selectionModel()->clear();
}

void DBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    if (!m_following && !m_model->isFollowing() && current.isValid()
        && current.row() != m_model->currentRow()) {
        const int row = current.row();
        if (commitEditor())
            guard([&] { m_model->moveToRow(row); });
        followDataset(current.column());
        // When the record ended up elsewhere, the view has followed it already.
        if (currentIndex() != current)
            return;
    }
    QTableView::currentChanged(current, previous);
}

bool DBGrid::commitEditor()
{
    if (!m_editor)
        return true;
    if (!guard([this] { m_editor->link().updateRecord(); })) {
        keepEditor();
        return false;
    }
    discardEditor();
    return true;
}

void DBGrid::discardEditor()
{
    m_commitFailed = false;
    if (QWidget *editor = m_editor) {
        m_editor = nullptr;
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void DBGrid::keepEditor()
{
    if (!m_editor)
        return;
    m_editor->setFocus(Qt::OtherFocusReason);
    m_editor->selectAll();
}

void DBGrid::editorCreated(CellEditor *editor)
{
    m_commitFailed = false;
    m_editor = editor;
}

void DBGrid::editorDestroyed(QWidget *editor)
{
    if (m_editor == editor)
        m_editor = nullptr;
}

void DBGrid::commitData(QWidget *editor)
{
    if (m_editor && editor == m_editor) {
        m_commitFailed = !guard([this] { m_editor->link().updateRecord(); });
        return;
    }
    QTableView::commitData(editor);
}

void DBGrid::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (m_editor && editor == m_editor) {
        if (hint == QAbstractItemDelegate::RevertModelCache) {
            // Esc: a typed text goes; with nothing typed, the record's changes go.
            const bool typed = m_editor->hasPendingText();
            discardEditor();
            if (!typed)
                guard([this] {
                    if (Dataset *ds = dataset())
                        ds->cancel();
                });
            return;
        }
        if (m_commitFailed) {
            m_commitFailed = false;
            keepEditor();
            return;
        }
        m_editor = nullptr;
    }
    const bool next = hint == QAbstractItemDelegate::EditNextItem;
    const bool leaving = (next || hint == QAbstractItemDelegate::EditPreviousItem)
        && !moveCursor(next ? MoveNext : MovePrevious, Qt::NoModifier).isValid();
    QTableView::closeEditor(editor, hint);
    if (leaving)
        focusNextPrevChild(next);
}

QModelIndex DBGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    // Tab goes along the record's cells and then on to the next control, never onto another
    // record: what is typed after it must not edit a row the user did not choose.
    if ((action == MoveNext || action == MovePrevious) && m_options.testFlag(TabLeavesAtRowEnd)) {
        const QModelIndex current = currentIndex();
        if (!current.isValid())
            return QTableView::moveCursor(action, modifiers);
        const int step = action == MoveNext ? 1 : -1;
        for (int c = current.column() + step; c >= 0 && c < model()->columnCount(); c += step) {
            if (!isColumnHidden(c))
                return current.siblingAtColumn(c);
        }
        return QModelIndex();
    }
    return QTableView::moveCursor(action, modifiers);
}

bool DBGrid::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    // Only the current record is edited: it is the one the dataset's edit buffer holds.
    if (index.isValid() && index.row() != m_model->currentRow())
        return false;
    if (trigger != NoEditTriggers && index.isValid() && m_model->canEdit(index.column())) {
        const Dataset *ds = dataset();
        const DataSource *source = dataSource();
        if (!ds->isEditing() && !(source && source->autoEdit()))
            return false;
        if (trigger == AnyKeyPressed && event && event->type() == QEvent::KeyPress) {
            const Field *f = m_model->field(index.column());
            const auto *key = static_cast<QKeyEvent *>(event);
            const auto typed = FieldDataLink::keypadDecimal(*key, f);
            for (const QChar c : (typed ? typed.get() : key)->text()) {
                if (c.isPrint() && !f->isValidChar(c)) {
                    Dialogs::instance().beep();
                    return true;
                }
            }
        }
    }
    return QTableView::edit(index, trigger, event);
}

void DBGrid::keyPressEvent(QKeyEvent *event)
{
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    switch (event->key()) {
    case Qt::Key_Insert:
        if (mods != Qt::NoModifier)
            break;
        if (canChangeRecords() && commitEditor())
            guard([this] { dataset()->insert(); });
        event->accept();
        return;
    case Qt::Key_Delete:
        if (mods != Qt::ControlModifier)
            break;
        if (canChangeRecords()) {
            discardEditor();
            guard([this] {
                Dataset *ds = dataset();
                if (ds->state() != DatasetState::Insert && ds->isEmpty())
                    return;
                if (!m_confirmDelete
                    || Dialogs::instance().confirm(QStringLiteral("Delete record?")))
                    ds->deleteRecord();
            });
        }
        event->accept();
        return;
    case Qt::Key_Escape:
        if (mods != Qt::NoModifier || !dataset() || !dataset()->isEditing())
            break;
        guard([this] { dataset()->cancel(); });
        event->accept();
        return;
    case Qt::Key_Down:
    case Qt::Key_Up:
        if (mods != Qt::NoModifier)
            break;
        if (commitEditor())
            guard([this, event] {
                if (event->key() == Qt::Key_Down)
                    down();
                else
                    up();
            });
        event->accept();
        return;
    default:
        break;
    }
    QTableView::keyPressEvent(event);
}

void DBGrid::down()
{
    Dataset *ds = dataset();
    if (!ds)
        return;
    if (ds->state() == DatasetState::Insert && !ds->isModified()) {
        // Dropping an untouched inserted record brings up the one below it; on the last row there
        // is nothing to go to.
        if (m_model->currentRow() < m_model->rowCount() - 1)
            ds->cancel();
        return;
    }
    if (ds->isEmpty()) {
        if (canChangeRecords())
            ds->append();
        return;
    }
    ds->next();
    if (ds->eof() && canChangeRecords())
        ds->append();
}

void DBGrid::up()
{
    Dataset *ds = dataset();
    if (!ds)
        return;
    if (ds->state() == DatasetState::Insert && !ds->isModified()) {
        const int above = m_model->currentRow() - 1;
        ds->cancel();
        if (above >= 0)
            ds->setRecNo(above + 1);
        return;
    }
    ds->prior();
}

void DBGrid::mousePressEvent(QMouseEvent *event)
{
    if (m_editor) {
        // Leaving the editor has tried to write its text already: one still held does not
        // convert, and the editor stays until it is corrected or abandoned.
        if (m_editor->hasPendingText()) {
            keepEditor();
            event->accept();
            return;
        }
        discardEditor();
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && index.row() != m_model->currentRow()) {
        const int row = index.row();
        guard([&] { m_model->moveToRow(row); });
        followDataset(index.column());
        // Refused, or leaving the record shifted the rows under the mouse.
        if (m_model->currentRow() != row) {
            event->accept();
            return;
        }
    }
    QTableView::mousePressEvent(event);
}

void DBGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton
        && (!index.isValid() || index.row() == m_model->currentRow()))
        Q_EMIT rowDoubleClicked();
}

void DBGrid::doubleClickRow(int row)
{
    if (row >= 0 && row < m_model->rowCount() && row != m_model->currentRow()) {
        if (commitEditor())
            guard([&] { m_model->moveToRow(row); });
        followDataset(currentIndex().column());
        if (m_model->currentRow() != row)
            return;
    }
    Q_EMIT rowDoubleClicked();
}

void DBGrid::keyboardSearch(const QString &)
{
    // Letters are typed into cells, never used to jump between rows.
}

void DBGrid::focusMoved(QWidget *from)
{
    if (!from || (from != this && !isAncestorOf(from)))
        return;
    QWidget *now = QApplication::focusWidget();
    // A box or another window taking the focus is no exit: the user comes back.
    if (!now || now == this || isAncestorOf(now) || now->window() != window())
        return;
    guard([this] {
        Dataset *ds = dataset();
        if (ds && ds->state() == DatasetState::Insert && !ds->isModified())
            ds->cancel();
    });
}
