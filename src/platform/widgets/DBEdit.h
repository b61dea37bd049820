#pragma once

#include "platform/widgets/FieldDataLink.h"

#include <QLineEdit>

class DataSource;
class Field;

// A line edit bound to one field. It shows the field's text (empty for null or a closed dataset)
// and is read-only unless its dataset is in edit or insert mode; when the data source edits
// automatically, the first key that changes the text puts the dataset into edit mode, and the key
// is dropped if the dataset's rules refuse. Typed characters that cannot occur in the field are
// refused with a beep. Changes reach the field when the edit is left and before the record is
// posted. A text that does not convert shows the engine's message in the application's error
// box and keeps the focus, with the whole text selected and the field unchanged; Esc brings the
// field's value back.
//
// entered() follows every focus-in, exited() only a focus-out whose changes were stored: windows
// hang their focus colours on the pair. changed() follows every change of the shown text, typed or
// reloaded, and the reload of a value this edit has just stored, even one that shows as typed.
class DBEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(QString dataField READ dataField WRITE setDataField)

public:
    enum class CharCase { Normal, Upper };

    explicit DBEdit(QWidget *parent = nullptr);
    ~DBEdit() override;

    void setDataSource(DataSource *source);
    [[nodiscard]] DataSource *dataSource() const { return m_link.dataSource(); }
    void setDataField(const QString &name);
    [[nodiscard]] QString dataField() const { return m_link.fieldName(); }
    [[nodiscard]] Field *field() const { return m_link.field(); }

    // Never changes the field, whatever the dataset's state.
    void setDataReadOnly(bool readOnly) { m_link.setReadOnly(readOnly); }
    [[nodiscard]] bool isDataReadOnly() const { return m_link.isReadOnly(); }

    // Upper: every letter typed, pasted or shown is upper case.
    void setCharCase(CharCase charCase);
    [[nodiscard]] CharCase charCase() const { return m_charCase; }

Q_SIGNALS:
    void entered();
    void exited();
    void changed();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void loadText();
    void updateReadOnly();
    void applyMaxLength(const Field *field);
    void userEdited();

    FieldDataLink m_link;
    CharCase m_charCase = CharCase::Normal;
    bool m_focused = false;
    bool m_storing = false; // writing its text into the field
    int m_fieldMaxLength = 0; // the limit last taken from the field
};
