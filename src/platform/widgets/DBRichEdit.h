#pragma once

#include <optional>

#include "platform/widgets/FieldDataLink.h"

#include <QTextEdit>

class DataSource;
class Field;

// A rich-text editor bound to a memo field. A stored value that starts as RTF loads as rich text,
// anything else as plain text (an RTF that cannot be read shows as the plain text it is, so
// nothing stored is hidden). The editor writes RTF back, and only after the user changed the
// document: a memo never touched keeps its value, null included, and an emptied editor writes an
// empty RTF document rather than null.
//
// Read-only unless the dataset is edited or inserted; with a data source that edits by itself,
// the first key that would change the text starts the edit, and is dropped if the dataset's
// rules refuse. Changes reach the field when the editor is left and before the record is posted.
// entered() and exited() follow the focus, for the windows' focus colours.
class DBRichEdit : public QTextEdit
{
    Q_OBJECT
    Q_PROPERTY(QString dataField READ dataField WRITE setDataField)

public:
    explicit DBRichEdit(QWidget *parent = nullptr);
    ~DBRichEdit() override;

    void setDataSource(DataSource *source);
    [[nodiscard]] DataSource *dataSource() const { return m_link.dataSource(); }
    void setDataField(const QString &name);
    [[nodiscard]] QString dataField() const { return m_link.fieldName(); }
    [[nodiscard]] Field *field() const { return m_link.field(); }

    // The document changed since it was loaded, and will be written.
    [[nodiscard]] bool isDataModified() const { return m_link.isModified(); }
    // Starts the edit as a key would; false when the editor stays read-only.
    bool startEdit();

Q_SIGNALS:
    void entered();
    void exited();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    void loadValue();
    void storeValue();
    void updateReadOnly();

    FieldDataLink m_link;
    bool m_loading = false;
    bool m_storing = false;
    // The stored value on show, and whether the user has changed the text since it was loaded.
    std::optional<QString> m_shown;
    bool m_changedSinceLoad = false;
    bool m_focused = false;
};
