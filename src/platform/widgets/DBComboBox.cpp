#include "platform/widgets/DBComboBox.h"

#include "platform/engine/Field.h"
#include "platform/engine/Guard.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWheelEvent>

namespace {
constexpr int NoMaxLength = 32767;

QString upper(QString text)
{
    for (QChar &c : text)
        c = c.toUpper();
    return text;
}

bool movesThroughList(const QKeyEvent &event)
{
    if (event.modifiers() & Qt::AltModifier)
        return false;
    switch (event.key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    default:
        return false;
    }
}
} // namespace

DBComboBox::DBComboBox(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(true);
    // The text is stored as typed: no completion from the items, no typed text added to them.
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    m_link.setDataChangeHandler([this] { loadText(); });
    m_link.setEditingChangeHandler([this] { updateReadOnly(); });
    m_link.setUpdateDataHandler([this] { m_link.field()->setText(currentText()); });
    m_link.setFocusControlHandler([this] {
        if (isVisible() && isEnabled())
            setFocus(Qt::OtherFocusReason);
    });
    connect(lineEdit(), &QLineEdit::textEdited, this, &DBComboBox::userEdited);
    connect(this, qOverload<int>(&QComboBox::activated), this, &DBComboBox::itemChosen);
    updateReadOnly();
}

DBComboBox::~DBComboBox() = default;

void DBComboBox::setDataSource(DataSource *source)
{
    m_link.setDataSource(source);
}

void DBComboBox::setDataField(const QString &name)
{
    m_link.setFieldName(name);
}

void DBComboBox::setCharCase(CharCase charCase)
{
    m_charCase = charCase;
    if (m_charCase == CharCase::Upper)
        setEditText(upper(currentText()));
}

void DBComboBox::setMaxLength(int length)
{
    m_maxLength = length;
    applyMaxLength();
}

void DBComboBox::applyMaxLength()
{
    int length = m_maxLength;
    const Field *f = m_link.field();
    if (length <= 0 && f && f->dataType() == FieldType::String)
        length = f->size();
    // Setting the limit sets the text again, and the caret goes to its end.
    const int limit = length > 0 ? length : NoMaxLength;
    if (lineEdit()->maxLength() != limit)
        lineEdit()->setMaxLength(limit);
}

void DBComboBox::loadText()
{
    applyMaxLength();
    const Field *f = m_link.field();
    QString value;
    if (f)
        value = m_focused && m_link.canModify() ? f->text() : f->displayText();
    if (m_charCase == CharCase::Upper)
        value = upper(value);
    const int index = findText(value, Qt::MatchExactly | Qt::MatchCaseSensitive);
    const QString before = lineEdit()->text();
    if (index != currentIndex())
        setCurrentIndex(index);
    if (currentText() != value)
        setEditText(value);
    // A new text shows from its beginning: with the caret at its end, a text too long for the
    // box would lose its first letters.
    if (lineEdit()->text() != before)
        lineEdit()->home(false);
}

void DBComboBox::updateReadOnly()
{
    lineEdit()->setReadOnly(!m_link.isEditable());
}

bool DBComboBox::startEdit()
{
    bool editable = false;
    guard([&] { editable = m_link.edit(); });
    return editable;
}

void DBComboBox::userEdited()
{
    if (m_charCase == CharCase::Upper) {
        QLineEdit *edit = lineEdit();
        const QString fixed = upper(edit->text());
        if (fixed != edit->text()) {
            const int caret = edit->cursorPosition();
            edit->setText(fixed);
            edit->setCursorPosition(caret);
        }
    }
    m_link.setModified();
}

void DBComboBox::itemChosen()
{
    const QString chosen = m_charCase == CharCase::Upper ? upper(currentText()) : currentText();
    if (!startEdit()) {
        loadText();
        return;
    }
    // Starting the edit reloads the record, and with it the field's old text.
    if (currentText() != chosen)
        setEditText(chosen);
    m_link.setModified();
}

void DBComboBox::showPopup()
{
    if (startEdit())
        QComboBox::showPopup();
}

void DBComboBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_link.isModified()) {
        m_link.reset();
        lineEdit()->selectAll();
        event->accept();
        return;
    }
    const bool allowed = movesThroughList(*event) ? startEdit() : m_link.acceptKey(*event);
    if (!allowed) {
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void DBComboBox::wheelEvent(QWheelEvent *event)
{
    if (!startEdit()) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}

void DBComboBox::focusInEvent(QFocusEvent *event)
{
    const bool entering = !m_focused;
    if (entering) {
        m_focused = true;
        loadText();
    }
    QComboBox::focusInEvent(event);
    if (entering)
        Q_EMIT entered();
}

void DBComboBox::focusOutEvent(QFocusEvent *event)
{
    QComboBox::focusOutEvent(event);
    if (!m_focused || !FieldDataLink::isExit(event->reason()))
        return;
    if (!m_link.leave(this)) {
        lineEdit()->selectAll();
        return;
    }
    m_focused = false;
    loadText();
    lineEdit()->home(false);
    Q_EMIT exited();
}
