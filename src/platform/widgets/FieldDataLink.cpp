#include "platform/widgets/FieldDataLink.h"

#include "platform/engine/Dataset.h"
#include "platform/engine/Field.h"
#include "platform/engine/FieldType.h"
#include "platform/engine/FormatSettings.h"
#include "platform/engine/Guard.h"
#include "platform/widgets/Dialogs.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <QWidget>

namespace {
bool insertsText(const QKeyEvent &event)
{
    const QString text = event.text();
    const Qt::KeyboardModifiers mods = event.modifiers();
    // Ctrl+Alt is how some keyboards report AltGr, which types characters.
    const bool altGr = (mods & Qt::ControlModifier) && (mods & Qt::AltModifier);
    if (text.isEmpty() || ((mods & (Qt::ControlModifier | Qt::MetaModifier)) && !altGr))
        return false;
    for (const QChar c : text) {
        if (!c.isPrint())
            return false;
    }
    return true;
}

bool changesText(const QKeyEvent &event)
{
    if (event.key() == Qt::Key_Backspace || event.key() == Qt::Key_Delete)
        return true;
    for (const auto key :
         { QKeySequence::Cut, QKeySequence::Paste, QKeySequence::Undo, QKeySequence::Redo,
           QKeySequence::DeleteEndOfWord, QKeySequence::DeleteStartOfWord,
           QKeySequence::DeleteEndOfLine, QKeySequence::DeleteCompleteLine }) {
        if (event.matches(key))
            return true;
    }
    return false;
}
} // namespace

void FieldDataLink::setFieldName(const QString &name)
{
    if (name == m_fieldName)
        return;
    m_fieldName = name;
    m_fieldIndex = -1;
    dataChanged();
    call(m_onEditingChange);
}

Field *FieldDataLink::field() const
{
    const Dataset *ds = dataset();
    if (!isActive() || !ds || !ds->isActive() || m_fieldName.isEmpty())
        return nullptr;
    // Fields of a dataset without declared fields are made anew at each opening: check the
    // remembered position against the name before trusting it.
    if (m_fieldIndex >= 0 && m_fieldIndex < ds->fieldCount()) {
        Field *f = ds->field(m_fieldIndex);
        if (f->fieldName().compare(m_fieldName, Qt::CaseInsensitive) == 0)
            return f;
    }
    Field *f = ds->findField(m_fieldName);
    m_fieldIndex = f ? f->index() : -1;
    return f;
}

void FieldDataLink::setReadOnly(bool readOnly)
{
    if (readOnly == m_readOnly)
        return;
    m_readOnly = readOnly;
    call(m_onEditingChange);
}

bool FieldDataLink::canModify() const
{
    const Field *f = field();
    return f && !m_readOnly && !f->isReadOnly() && f->dataset()->canModify();
}

bool FieldDataLink::edit()
{
    if (!canModify())
        return false;
    DataLink::edit();
    return isEditable();
}

bool FieldDataLink::acceptKey(const QKeyEvent &event)
{
    const bool typed = insertsText(event);
    if (!typed && !changesText(event))
        return true;
    if (typed) {
        const Field *f = field();
        for (const QChar c : event.text()) {
            if (f && !f->isValidChar(c)) {
                Dialogs::instance().beep();
                return false;
            }
        }
    }
    bool editable = false;
    guard([&] { editable = edit(); });
    return editable;
}

std::unique_ptr<QKeyEvent> FieldDataLink::keypadDecimal(const QKeyEvent &event,
                                                        const Field *f)
{
    if (!(event.modifiers() & Qt::KeypadModifier)
        || (event.key() != Qt::Key_Period && event.key() != Qt::Key_Comma))
        return nullptr;
    if (!f || !isNumericType(f->dataType()))
        return nullptr;
    const QChar separator = FormatSettings::current().decimalSeparator();
    if (event.text() == separator)
        return nullptr;
    const int key = separator == u',' ? Qt::Key_Comma
        : separator == u'.'           ? Qt::Key_Period
                                      : Qt::Key_unknown;
    return std::make_unique<QKeyEvent>(event.type(), key, event.modifiers(), QString(separator),
                                       event.isAutoRepeat(), event.count());
}

void FieldDataLink::reset()
{
    dataChanged();
}

void FieldDataLink::updateRecord()
{
    updateData();
}

bool FieldDataLink::leave(QWidget *control)
{
    if (guard([this] { updateRecord(); }))
        return true;
    if (control->isVisible() && control->isEnabled()) {
        // The exit has not happened: the user corrects the text or presses Esc.
        control->setFocus(Qt::OtherFocusReason);
        return false;
    }
    // Going away (its page hidden): the text that cannot be stored goes too.
    reset();
    return true;
}

void FieldDataLink::activeChanged()
{
    dataChanged();
    call(m_onEditingChange);
}

void FieldDataLink::editingChanged()
{
    call(m_onEditingChange);
}

void FieldDataLink::recordChanged(Field *changed)
{
    if (!changed || changed == field())
        dataChanged();
}

void FieldDataLink::updateData()
{
    if (!m_modified)
        return;
    if (field())
        call(m_onUpdateData);
    // Left set when the handler throws: the text is still the user's.
    m_modified = false;
}

void FieldDataLink::focusControl(Field *wanted)
{
    if (wanted && wanted == field())
        call(m_onFocusControl);
}

void FieldDataLink::dataChanged()
{
    m_modified = false;
    call(m_onDataChange);
}

void FieldDataLink::call(const Handler &handler) const
{
    if (handler)
        handler();
}
