#pragma once

#include "platform/widgets/FieldDataLink.h"

#include <QCheckBox>

class DataSource;
class Field;

// A check box bound to a logical field. It shows null as partially checked, true as checked and
// false as unchecked (and unchecked while the dataset is closed). A click makes a null or false
// field true and a true field false; nothing brings a field back to null. Clicks change nothing
// unless the dataset is in edit or insert mode, or the data source edits automatically and the
// dataset's rules let the edit start. The value is stored at once.
//
// entered() and exited() follow the focus, for the windows' focus colours.
class DBCheckBox : public QCheckBox
{
    Q_OBJECT
    Q_PROPERTY(QString dataField READ dataField WRITE setDataField)

public:
    explicit DBCheckBox(QWidget *parent = nullptr);
    explicit DBCheckBox(const QString &text, QWidget *parent = nullptr);
    ~DBCheckBox() override;

    void setDataSource(DataSource *source);
    [[nodiscard]] DataSource *dataSource() const { return m_link.dataSource(); }
    void setDataField(const QString &name);
    [[nodiscard]] QString dataField() const { return m_link.fieldName(); }
    [[nodiscard]] Field *field() const { return m_link.field(); }

    void setDataReadOnly(bool readOnly) { m_link.setReadOnly(readOnly); }
    [[nodiscard]] bool isDataReadOnly() const { return m_link.isReadOnly(); }

Q_SIGNALS:
    void entered();
    void exited();

protected:
    void nextCheckState() override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void showValue();

    FieldDataLink m_link;
    bool m_focused = false;
};
