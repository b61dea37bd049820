#pragma once

#include "platform/widgets/FieldDataLink.h"

#include <QComboBox>
#include <QVariantList>

class DataSource;
class Field;

// A drop-down list bound to a key field (an exam's doctor code) that shows, in place of the key,
// a field of the row with that key in a list dataset (the doctors' names). The items are the
// list dataset's rows in its order, re-read whenever it changes. A key that is null, or that no
// row of the list has (a filtered-out doctor), shows an empty box and stays stored. Choosing an
// item stores its row's key, after putting the dataset into edit mode when the data source edits
// automatically; while the box may not change the field, its list does not open and keys and the
// wheel do not move through it. Keys compare by value when both read as numbers (7.0 is 7).
//
// Without a data source the box is bound to no record: its key value is a free value that the
// window reads and sets (keyValue(), setKeyValue()), starting null; choosing an item sets it.
class DBLookupComboBox : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(QString dataField READ dataField WRITE setDataField)
    Q_PROPERTY(QString keyField READ keyField WRITE setKeyField)
    Q_PROPERTY(QString listField READ listField WRITE setListField)

public:
    explicit DBLookupComboBox(QWidget *parent = nullptr);
    ~DBLookupComboBox() override;

    void setDataSource(DataSource *source);
    [[nodiscard]] DataSource *dataSource() const { return m_link.dataSource(); }
    void setDataField(const QString &name);
    [[nodiscard]] QString dataField() const { return m_link.fieldName(); }
    [[nodiscard]] Field *field() const { return m_link.field(); }

    void setListSource(DataSource *source);
    [[nodiscard]] DataSource *listSource() const { return m_listLink.dataSource(); }
    void setKeyField(const QString &name);
    [[nodiscard]] const QString &keyField() const { return m_keyField; }
    void setListField(const QString &name);
    [[nodiscard]] QString listField() const { return m_listLink.fieldName(); }

    void setDataReadOnly(bool readOnly) { m_link.setReadOnly(readOnly); }
    [[nodiscard]] bool isDataReadOnly() const { return m_link.isReadOnly(); }

    // Unbound boxes only: the chosen key, null when none.
    [[nodiscard]] QVariant keyValue() const { return m_keyValue; }
    void setKeyValue(const QVariant &key);
    [[nodiscard]] bool isUnbound() const { return !m_link.dataSource(); }

    // The key of each item, in item order.
    [[nodiscard]] const QVariantList &keys() const { return m_keys; }

    void showPopup() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void readList();
    void showKey();
    void itemChosen(int index);
    [[nodiscard]] bool startEdit();

    FieldDataLink m_link;
    FieldDataLink m_listLink;
    QString m_keyField;
    QVariantList m_keys;
    QVariant m_keyValue; // unbound boxes only
};
