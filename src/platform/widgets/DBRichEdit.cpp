#include "platform/widgets/DBRichEdit.h"

#include "platform/engine/Field.h"
#include "platform/engine/Guard.h"
#include "platform/richtext/RichText.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QTextDocument>

DBRichEdit::DBRichEdit(QWidget *parent)
    : QTextEdit(parent)
{
    setAcceptRichText(true);
    m_link.setDataChangeHandler([this] {
        // The value this editor has just written is what it shows already.
        if (!m_storing)
            loadValue();
    });
    m_link.setEditingChangeHandler([this] { updateReadOnly(); });
    m_link.setUpdateDataHandler([this] { storeValue(); });
    m_link.setFocusControlHandler([this] {
        if (isVisible() && isEnabled())
            setFocus(Qt::OtherFocusReason);
    });
    connect(document(), &QTextDocument::contentsChanged, this, [this] {
        if (!m_loading) {
            m_changedSinceLoad = true;
            m_link.setModified();
        }
    });
    updateReadOnly();
}

DBRichEdit::~DBRichEdit() = default;

void DBRichEdit::setDataSource(DataSource *source)
{
    m_link.setDataSource(source);
}

void DBRichEdit::setDataField(const QString &name)
{
    m_link.setFieldName(name);
}

bool DBRichEdit::startEdit()
{
    bool editable = false;
    guard([&] { editable = m_link.edit(); });
    return editable;
}

void DBRichEdit::loadValue()
{
    const Field *f = m_link.field();
    const QString stored = f && !f->isNull() ? f->asString() : QString();
    // Starting an edit announces the record again; reloading the same text would throw the caret
    // back to the start under the key that started the edit.
    if (m_shown && *m_shown == stored && !m_changedSinceLoad)
        return;
    const QScopedValueRollback<bool> loading(m_loading, true);
    RichText::load(*document(), stored);
    m_shown = stored;
    m_changedSinceLoad = false;
    moveCursor(QTextCursor::Start);
}

void DBRichEdit::storeValue()
{
    Field *f = m_link.field();
    if (!f)
        return;
    const QScopedValueRollback<bool> storing(m_storing, true);
    f->setAsString(RichText::toRtf(*document()));
}

void DBRichEdit::updateReadOnly()
{
    setReadOnly(!m_link.isEditable());
}

void DBRichEdit::keyPressEvent(QKeyEvent *event)
{
    // Line breaks and an inserted tab change the text as much as a typed letter.
    const bool breaksLine = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter
        || (event->key() == Qt::Key_Tab && !tabChangesFocus()
            && event->modifiers() == Qt::NoModifier);
    const bool accepted = breaksLine ? startEdit() : m_link.acceptKey(*event);
    if (!accepted) {
        event->accept();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

void DBRichEdit::insertFromMimeData(const QMimeData *source)
{
    if (!isReadOnly() || startEdit())
        QTextEdit::insertFromMimeData(source);
}

void DBRichEdit::focusInEvent(QFocusEvent *event)
{
    QTextEdit::focusInEvent(event);
    if (!m_focused) {
        m_focused = true;
        Q_EMIT entered();
    }
}

void DBRichEdit::focusOutEvent(QFocusEvent *event)
{
    QTextEdit::focusOutEvent(event);
    if (!m_focused || !FieldDataLink::isExit(event->reason()))
        return;
    if (!m_link.leave(this))
        return;
    m_focused = false;
    Q_EMIT exited();
}
