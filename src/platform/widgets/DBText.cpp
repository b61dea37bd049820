#include "platform/widgets/DBText.h"

#include "platform/engine/Field.h"

DBText::DBText(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    m_link.setDataChangeHandler([this] {
        const Field *f = m_link.field();
        setText(f ? f->displayText() : QString());
    });
}

DBText::~DBText() = default;

void DBText::setDataSource(DataSource *source)
{
    m_link.setDataSource(source);
}

void DBText::setDataField(const QString &name)
{
    m_link.setFieldName(name);
}
