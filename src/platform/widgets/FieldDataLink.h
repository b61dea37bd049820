#pragma once

// Dataset.h brings DataSource.h, whose inline accessors need Dataset complete.
#include "platform/engine/Dataset.h"

#include <QString>

class QWidget;

#include <functional>
#include <memory>

class Field;
class QKeyEvent;

// The link between a data-aware control and one field of a data source. The control installs
// handlers for what it has to do and tells the link when the user changed its text; the link
// calls the handlers as the dataset changes:
// - data change: the field's value or the whole record changed (another row, edit started,
//   cancel, a value stored); the control reloads what it shows. Pending changes are forgotten.
// - editing change: the dataset entered or left edit/insert, or the link became (in)active; the
//   control updates its read-only state.
// - update data: the dataset is about to post, or the control is being left, and the control has
//   pending changes; the control writes them into the field. An exception thrown there stops the
//   post and leaves the changes pending.
// - focus control: the dataset wants the control of this field focused (a required field).
// The field is looked up by name on each use, so a dataset may be closed and reopened freely; it
// is null while the link is inactive or the name is unknown.
class FieldDataLink : public DataLink
{
public:
    using Handler = std::function<void()>;

    FieldDataLink() = default;

    void setFieldName(const QString &name);
    [[nodiscard]] const QString &fieldName() const { return m_fieldName; }
    [[nodiscard]] Field *field() const;

    // A control that must never change its field (a code shown for reference).
    void setReadOnly(bool readOnly);
    [[nodiscard]] bool isReadOnly() const { return m_readOnly; }

    // The field exists, neither it, the link nor the dataset is read-only.
    [[nodiscard]] bool canModify() const;
    // Editing and allowed to change the field: what a control's read-only state follows.
    [[nodiscard]] bool isEditable() const { return isEditing() && canModify(); }
    // Puts the dataset into edit mode when the source edits automatically. Exceptions of the
    // dataset's rules propagate. True when the control may change the field.
    bool edit();

    // The control's text differs from the field's value.
    void setModified() { m_modified = true; }
    [[nodiscard]] bool isModified() const { return m_modified; }
    // Key filtering of controls that edit the field as text: a typed character that cannot occur
    // in the field is refused with a beep, and a key that would change the text first puts the
    // dataset into edit mode (errors of its rules are shown, the silent abort dropped). False when
    // the control must drop the key.
    [[nodiscard]] bool acceptKey(const QKeyEvent &event);
    // The keypad's decimal key types the locale's decimal separator into a number field, whatever
    // the keyboard layout sends for it: the key the control should handle instead, or null when
    // the key is another.
    [[nodiscard]] static std::unique_ptr<QKeyEvent> keypadDecimal(const QKeyEvent &event,
                                                                  const Field *field);

    // A focus-out towards a popup or another window comes back unchanged: it is no exit, and
    // nothing is stored.
    [[nodiscard]] static bool isExit(Qt::FocusReason reason)
    {
        return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
    }

    // Drops pending changes and reloads the control.
    void reset();
    // Writes pending changes into the field now (the control is being left); may throw.
    void updateRecord();
    // The control is being left: writes its text. False when that failed (the error is shown)
    // and the control, still visible, has taken the focus back; a hidden control drops its text.
    bool leave(QWidget *control);

    void setDataChangeHandler(Handler handler) { m_onDataChange = std::move(handler); }
    void setEditingChangeHandler(Handler handler) { m_onEditingChange = std::move(handler); }
    void setUpdateDataHandler(Handler handler) { m_onUpdateData = std::move(handler); }
    void setFocusControlHandler(Handler handler) { m_onFocusControl = std::move(handler); }

protected:
    void activeChanged() override;
    void editingChanged() override;
    void recordChanged(Field *field) override;
    void updateData() override;
    void focusControl(Field *field) override;

private:
    void dataChanged();
    void call(const Handler &handler) const;

    QString m_fieldName;
    mutable int m_fieldIndex = -1;
    bool m_readOnly = false;
    bool m_modified = false;
    Handler m_onDataChange;
    Handler m_onEditingChange;
    Handler m_onUpdateData;
    Handler m_onFocusControl;
};
