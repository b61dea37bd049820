#include "platform/widgets/DBLookupComboBox.h"

#include "platform/engine/Dataset.h"
#include "platform/engine/Field.h"
#include "platform/engine/Guard.h"

#include <QKeyEvent>
#include <QWheelEvent>

namespace {
// Codes are held as numbers in one table and as text or floating point in another.
bool sameKey(const QVariant &a, const QVariant &b)
{
    if (!a.isValid() || !b.isValid())
        return false;
    bool aNumber = false;
    bool bNumber = false;
    const double x = a.toDouble(&aNumber);
    const double y = b.toDouble(&bNumber);
    if (aNumber && bNumber)
        return x == y;
    return a.toString() == b.toString();
}

bool choosesItem(const QKeyEvent &event)
{
    if (event.modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier))
        return false;
    switch (event.key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        // Letters search the items.
        return !event.text().isEmpty() && event.text().at(0).isPrint()
            && event.key() != Qt::Key_Space;
    }
}
} // namespace

DBLookupComboBox::DBLookupComboBox(QWidget *parent)
    : QComboBox(parent)
{
    m_link.setDataChangeHandler([this] { showKey(); });
    m_link.setFocusControlHandler([this] {
        if (isVisible() && isEnabled())
            setFocus(Qt::OtherFocusReason);
    });
    m_listLink.setDataChangeHandler([this] { readList(); });
    connect(this, qOverload<int>(&QComboBox::activated), this, &DBLookupComboBox::itemChosen);
}

DBLookupComboBox::~DBLookupComboBox() = default;

void DBLookupComboBox::setDataSource(DataSource *source)
{
    m_link.setDataSource(source);
}

void DBLookupComboBox::setDataField(const QString &name)
{
    m_link.setFieldName(name);
}

void DBLookupComboBox::setListSource(DataSource *source)
{
    m_listLink.setDataSource(source);
}

void DBLookupComboBox::setKeyField(const QString &name)
{
    m_keyField = name;
    readList();
}

void DBLookupComboBox::setListField(const QString &name)
{
    m_listLink.setFieldName(name);
}

void DBLookupComboBox::readList()
{
    clear();
    m_keys.clear();
    const Field *shown = m_listLink.field();
    const Field *key = shown ? shown->dataset()->findField(m_keyField) : nullptr;
    if (key) {
        // Rows are read in place: the list dataset's cursor is shared with other controls.
        const Dataset *list = shown->dataset();
        const int count = list->recordCount();
        for (int p = 0; p < count; ++p) {
            const DatasetRow &row = list->rowAt(p);
            addItem(shown->internalToString(row.values.value(shown->index())));
            m_keys.append(row.values.value(key->index()));
        }
    }
    showKey();
}

void DBLookupComboBox::showKey()
{
    const Field *f = m_link.field();
    int index = -1;
    const bool hasKey
        = isUnbound() ? !m_keyValue.isNull() && m_keyValue.isValid() : f && !f->isNull();
    if (hasKey) {
        const QVariant stored = isUnbound() ? m_keyValue : f->value();
        for (int i = 0; i < m_keys.size(); ++i) {
            if (sameKey(m_keys.at(i), stored)) {
                index = i;
                break;
            }
        }
    }
    if (index != currentIndex())
        setCurrentIndex(index);
}

bool DBLookupComboBox::startEdit()
{
    if (isUnbound())
        return true;
    bool editable = false;
    guard([&] { editable = m_link.edit(); });
    return editable;
}

void DBLookupComboBox::itemChosen(int index)
{
    // Taken first: starting the edit reloads the record and the box with it.
    const QVariant key = m_keys.value(index);
    if (isUnbound()) {
        if (index >= 0)
            m_keyValue = key;
        showKey();
        return;
    }
    guard([&] {
        if (index >= 0 && m_link.edit())
            m_link.field()->setValue(key);
    });
    showKey();
}

void DBLookupComboBox::showPopup()
{
    if (startEdit())
        QComboBox::showPopup();
}

void DBLookupComboBox::keyPressEvent(QKeyEvent *event)
{
    if (choosesItem(*event) && !startEdit()) {
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void DBLookupComboBox::wheelEvent(QWheelEvent *event)
{
    if (!startEdit()) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}

void DBLookupComboBox::setKeyValue(const QVariant &key)
{
    m_keyValue = key;
    showKey();
}
