#include "platform/widgets/DBCheckBox.h"

#include "platform/engine/Field.h"
#include "platform/engine/Guard.h"

#include <QFocusEvent>

DBCheckBox::DBCheckBox(QWidget *parent)
    : DBCheckBox(QString(), parent)
{ }

DBCheckBox::DBCheckBox(const QString &text, QWidget *parent)
    : QCheckBox(text, parent)
{
    setTristate(true);
    m_link.setDataChangeHandler([this] { showValue(); });
    m_link.setFocusControlHandler([this] {
        if (isVisible() && isEnabled())
            setFocus(Qt::OtherFocusReason);
    });
    showValue();
}

DBCheckBox::~DBCheckBox() = default;

void DBCheckBox::setDataSource(DataSource *source)
{
    m_link.setDataSource(source);
}

void DBCheckBox::setDataField(const QString &name)
{
    m_link.setFieldName(name);
}

void DBCheckBox::showValue()
{
    const Field *f = m_link.field();
    Qt::CheckState state = Qt::Unchecked;
    if (f && f->isNull())
        state = Qt::PartiallyChecked;
    else if (f && f->asBoolean())
        state = Qt::Checked;
    setCheckState(state);
}

void DBCheckBox::nextCheckState()
{
    guard([this] {
        if (!m_link.edit())
            return;
        Field *f = m_link.field();
        f->setAsBoolean(f->isNull() || !f->asBoolean());
    });
    // The box shows the field, also when the click was refused.
    showValue();
}

void DBCheckBox::focusInEvent(QFocusEvent *event)
{
    QCheckBox::focusInEvent(event);
    if (!m_focused) {
        m_focused = true;
        Q_EMIT entered();
    }
}

void DBCheckBox::focusOutEvent(QFocusEvent *event)
{
    QCheckBox::focusOutEvent(event);
    if (!m_focused || !FieldDataLink::isExit(event->reason()))
        return;
    m_focused = false;
    Q_EMIT exited();
}
