#pragma once

#include "platform/widgets/FieldDataLink.h"

#include <QLabel>

class DataSource;
class Field;

// A label showing a field's display text as plain text; empty for null or a closed dataset.
class DBText : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(QString dataField READ dataField WRITE setDataField)

public:
    explicit DBText(QWidget *parent = nullptr);
    ~DBText() override;

    void setDataSource(DataSource *source);
    [[nodiscard]] DataSource *dataSource() const { return m_link.dataSource(); }
    void setDataField(const QString &name);
    [[nodiscard]] QString dataField() const { return m_link.fieldName(); }
    [[nodiscard]] Field *field() const { return m_link.field(); }

private:
    FieldDataLink m_link;
};
