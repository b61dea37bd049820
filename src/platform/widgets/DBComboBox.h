#pragma once

#include "platform/widgets/FieldDataLink.h"

#include <QComboBox>

class DataSource;
class Field;

// An editable combo box bound to one field: the text shown is the field's, the list offers
// usual values, and whatever text the box holds (an item or typed free text) is what it stores.
// Read-only state, automatic edit, key filtering, storing on exit and before a post, conversion
// errors and Esc behave as in DBEdit. While the box may not change the field, its list does not
// open and the arrow keys and wheel do not move through it.
//
// entered() follows every focus-in, exited() only a focus-out whose text was stored.
class DBComboBox : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(QString dataField READ dataField WRITE setDataField)

public:
    enum class CharCase { Normal, Upper };

    explicit DBComboBox(QWidget *parent = nullptr);
    ~DBComboBox() override;

    void setDataSource(DataSource *source);
    [[nodiscard]] DataSource *dataSource() const { return m_link.dataSource(); }
    void setDataField(const QString &name);
    [[nodiscard]] QString dataField() const { return m_link.fieldName(); }
    [[nodiscard]] Field *field() const { return m_link.field(); }

    void setDataReadOnly(bool readOnly) { m_link.setReadOnly(readOnly); }
    [[nodiscard]] bool isDataReadOnly() const { return m_link.isReadOnly(); }

    void setCharCase(CharCase charCase);
    [[nodiscard]] CharCase charCase() const { return m_charCase; }
    // 0 takes the size of a text field.
    void setMaxLength(int length);
    [[nodiscard]] int maxLength() const { return m_maxLength; }

    void showPopup() override;

Q_SIGNALS:
    void entered();
    void exited();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void loadText();
    void updateReadOnly();
    void applyMaxLength();
    void userEdited();
    void itemChosen();
    [[nodiscard]] bool startEdit();

    FieldDataLink m_link;
    CharCase m_charCase = CharCase::Normal;
    int m_maxLength = 0;
    bool m_focused = false;
};
