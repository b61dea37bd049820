#include "platform/widgets/DBEdit.h"

#include "platform/engine/Field.h"
#include "platform/engine/Guard.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QScopedValueRollback>

namespace {
// QLineEdit's own default: no limit set by anyone.
constexpr int NoMaxLength = 32767;

QString upper(QString text)
{
    // Letter by letter, so that the caret keeps its place.
    for (QChar &c : text)
        c = c.toUpper();
    return text;
}
} // namespace

DBEdit::DBEdit(QWidget *parent)
    : QLineEdit(parent)
{
    m_link.setDataChangeHandler([this] {
        const QString before = text();
        loadText();
        if (text() != before || m_storing)
            Q_EMIT changed();
    });
    m_link.setEditingChangeHandler([this] { updateReadOnly(); });
    m_link.setUpdateDataHandler([this] {
        // The reload that follows shows what was stored, maybe the very text typed: it is a
        // change all the same, for whoever checks stored values.
        const QScopedValueRollback<bool> storing(m_storing, true);
        m_link.field()->setText(text());
    });
    m_link.setFocusControlHandler([this] {
        if (isVisible() && isEnabled())
            setFocus(Qt::OtherFocusReason);
    });
    connect(this, &QLineEdit::textEdited, this, &DBEdit::userEdited);
    updateReadOnly();
}

DBEdit::~DBEdit() = default;

void DBEdit::setDataSource(DataSource *source)
{
    m_link.setDataSource(source);
}

void DBEdit::setDataField(const QString &name)
{
    m_link.setFieldName(name);
}

void DBEdit::setCharCase(CharCase charCase)
{
    m_charCase = charCase;
    if (m_charCase == CharCase::Upper)
        setText(upper(text()));
}

void DBEdit::loadText()
{
    const Field *f = m_link.field();
    applyMaxLength(f);
    QString value;
    if (f)
        value = m_focused && m_link.canModify() ? f->text() : f->displayText();
    if (m_charCase == CharCase::Upper)
        value = upper(value);
    // Reloading the same text would move the caret under a user who is about to type.
    if (value != text()) {
        setText(value);
        // A new text shows from its beginning: with the caret at its end, a text too long for
        // the box would lose its first letters.
        home(false);
    }
}

void DBEdit::updateReadOnly()
{
    setReadOnly(!m_link.isEditable());
}

void DBEdit::applyMaxLength(const Field *f)
{
    // A limit the window set itself stays; the field's size is only a default.
    if (!f || (maxLength() != NoMaxLength && maxLength() != m_fieldMaxLength))
        return;
    const bool sized = f->dataType() == FieldType::String && f->size() > 0;
    m_fieldMaxLength = sized ? f->size() : NoMaxLength;
    if (maxLength() != m_fieldMaxLength)
        setMaxLength(m_fieldMaxLength);
}

void DBEdit::userEdited()
{
    if (m_charCase == CharCase::Upper) {
        const QString fixed = upper(text());
        if (fixed != text()) {
            const int caret = cursorPosition();
            setText(fixed);
            setCursorPosition(caret);
        }
    }
    m_link.setModified();
    Q_EMIT changed();
}

void DBEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_link.isModified()) {
        m_link.reset();
        selectAll();
        event->accept();
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

void DBEdit::focusInEvent(QFocusEvent *event)
{
    const bool entering = !m_focused;
    if (entering) {
        m_focused = true;
        loadText();
    }
    QLineEdit::focusInEvent(event);
    if (entering)
        Q_EMIT entered();
}

void DBEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    if (!m_focused || !FieldDataLink::isExit(event->reason()))
        return;
    if (!m_link.leave(this)) {
        selectAll();
        return;
    }
    m_focused = false;
    loadText();
    home(false);
    Q_EMIT exited();
}
