#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class Dataset;
class DataSource;
class Field;

enum class DatasetState { Inactive, Browse, Edit, Insert };

enum class DataEvent {
    FieldChange, // a field of the current record was set
    RecordChange, // the current record changed as a whole (edit started, values reloaded)
    DataSetChange, // rows changed: open, post, cancel, delete, refresh, re-read
    DataSetScroll, // the cursor moved
    LayoutChange,
    UpdateRecord, // bound controls must write their pending text into their fields
    UpdateState, // the dataset's state changed
    CheckBrowseMode, // a master is leaving its row: details leave edit/insert
    FocusControl, // a field wants its control focused (a required field was empty)
};

// A link from something that follows a dataset (a control, a detail table) to a data source.
// Links are called synchronously, in the order they attached, and may throw: the exception goes
// back to whoever changed the dataset.
class DataLink
{
public:
    DataLink() = default;
    virtual ~DataLink();
    DataLink(const DataLink &) = delete;
    DataLink &operator=(const DataLink &) = delete;

    void setDataSource(DataSource *source);
    [[nodiscard]] DataSource *dataSource() const { return m_source; }
    [[nodiscard]] Dataset *dataset() const;
    [[nodiscard]] bool isActive() const { return m_active; }
    [[nodiscard]] bool isEditing() const { return m_editing; }
    // Puts the dataset into edit mode when the source edits automatically; true when editing.
    bool edit();

protected:
    virtual void activeChanged() { }
    virtual void editingChanged() { }
    virtual void recordChanged(Field *field) { }
    virtual void dataSetChanged() { recordChanged(nullptr); }
    virtual void dataSetScrolled() { dataSetChanged(); }
    virtual void layoutChanged() { dataSetChanged(); }
    virtual void updateData() { }
    virtual void checkBrowseMode() { }
    virtual void focusControl(Field *field) { }

private:
    friend class DataSource;
    void dataEvent(DataEvent event, Field *field);
    void updateState();

    DataSource *m_source = nullptr;
    bool m_active = false;
    bool m_editing = false;
};

// Joins a dataset to the controls and detail tables that follow it. With auto-edit on, a control
// that the user changes puts the dataset into edit mode by itself.
class DataSource : public QObject
{
    Q_OBJECT

public:
    explicit DataSource(QObject *parent = nullptr);
    ~DataSource() override;

    void setDataset(Dataset *dataset);
    [[nodiscard]] Dataset *dataset() const;
    [[nodiscard]] bool autoEdit() const { return m_autoEdit; }
    void setAutoEdit(bool autoEdit) { m_autoEdit = autoEdit; }
    [[nodiscard]] bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    [[nodiscard]] DatasetState state() const;
    // Starts editing when auto-edit is on and the dataset is browsing.
    void edit();

Q_SIGNALS:
    void stateChanged();
    // field is null when the whole record or the rows changed.
    void dataChanged(Field *field);
    void updateData();

private:
    friend class Dataset;
    friend class DataLink;
    void notify(DataEvent event, Field *field);
    void addLink(DataLink *link);
    void removeLink(DataLink *link);

    QPointer<Dataset> m_dataset;
    QList<DataLink *> m_links;
    bool m_autoEdit = true;
    bool m_enabled = true;
};
