#pragma once

#include "platform/engine/FieldType.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVariant>

#include <functional>

class Dataset;

// One column of a dataset, typed, named without regard to case. Reads and writes go to the
// dataset's current record (the edit buffer while editing). Conversions follow the engine's rules
// and fail with its English messages, naming the field by its display label.
//
// Values are held as: text -> QString, integer types -> qint64, Float -> double, Boolean -> bool,
// Date -> QDate, DateTime -> double (days since 30/12/1899), Blob -> QByteArray; null -> invalid.
class Field
{
public:
    Field(Dataset *dataset, const QString &name, FieldType type, int size);

    [[nodiscard]] Dataset *dataset() const { return m_dataset; }
    [[nodiscard]] const QString &fieldName() const { return m_name; }
    [[nodiscard]] FieldType dataType() const { return m_type; }
    [[nodiscard]] int size() const { return m_size; }
    [[nodiscard]] int index() const { return m_index; }

    [[nodiscard]] const QString &displayLabel() const { return m_displayLabel; }
    void setDisplayLabel(const QString &label) { m_displayLabel = label; }
    // The label if there is one, else the name: what messages and grid titles show.
    [[nodiscard]] QString displayName() const;

    [[nodiscard]] bool isRequired() const { return m_required; }
    void setRequired(bool required) { m_required = required; }
    [[nodiscard]] bool isReadOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    [[nodiscard]] bool isVisible() const { return m_visible; }
    void setVisible(bool visible) { m_visible = visible; }
    [[nodiscard]] int displayWidth() const { return m_displayWidth; }
    void setDisplayWidth(int width) { m_displayWidth = width; }

    // Boolean texts "true;false" (default "True;False").
    [[nodiscard]] QString displayValues() const;
    void setDisplayValues(const QString &values);
    [[nodiscard]] const QString &constraintErrorMessage() const { return m_constraintMessage; }
    void setConstraintErrorMessage(const QString &m) { m_constraintMessage = m; }

    // Key filtering of data-entry controls: may this character be typed into the field?
    [[nodiscard]] bool isValidChar(QChar c) const;

    [[nodiscard]] QVariant value() const; // internal representation
    [[nodiscard]] bool isNull() const;
    void clear();

    [[nodiscard]] QString asString() const;
    [[nodiscard]] qint64 asInteger() const;
    [[nodiscard]] double asFloat() const;
    [[nodiscard]] bool asBoolean() const;
    [[nodiscard]] QDate asDate() const;
    [[nodiscard]] QDateTime asDateTime() const;
    // A user-facing variant: QDateTime for date-times, QDate for dates, else as held.
    [[nodiscard]] QVariant asVariant() const;

    void setAsString(const QString &text);
    void setAsInteger(qint64 value);
    void setAsFloat(double value);
    void setAsBoolean(bool value);
    void setAsDate(const QDate &value);
    void setAsDateTime(const QDateTime &value);
    void setValue(const QVariant &value); // converts from any variant; null clears

    // What a control shows while not editing, and the text it edits.
    [[nodiscard]] QString displayText() const;
    [[nodiscard]] QString text() const;
    // The text a control writes back when it is left; empty text clears the field.
    void setText(const QString &text);

    // Converts a value to this field's internal representation (throws on a bad conversion).
    [[nodiscard]] QVariant toInternal(const QVariant &value) const;
    // Text of an internal value as asString() would give it.
    [[nodiscard]] QString internalToString(const QVariant &internal) const;

    using ChangeHook = std::function<void(Field &)>;
    void setOnChange(ChangeHook hook) { m_onChange = std::move(hook); }
    // Runs before a new value (internal form, null included) is stored; it refuses the value by
    // throwing, and the field keeps what it held.
    using ValidateHook = std::function<void(Field &, const QVariant &)>;
    void setOnValidate(ValidateHook hook) { m_onValidate = std::move(hook); }

    // For query results: the table and column the value comes from, when known.
    [[nodiscard]] const QString &originTable() const { return m_originTable; }
    [[nodiscard]] const QString &originColumn() const { return m_originColumn; }
    void setOrigin(const QString &table, const QString &column);

private:
    friend class Dataset;
    void setIndex(int index) { m_index = index; }
    void store(const QVariant &internal);
    void changed();
    [[nodiscard]] QVariant parseText(const QString &text) const;
    [[nodiscard]] QVariant checkedInteger(qint64 value) const;
    [[nodiscard]] QVariant checkedString(const QString &value) const;

    Dataset *m_dataset;
    QString m_name;
    FieldType m_type;
    int m_size;
    int m_index = -1;
    QString m_displayLabel;
    bool m_required = false;
    bool m_readOnly = false;
    bool m_visible = true;
    int m_displayWidth = 0;
    QString m_trueText;
    QString m_falseText;
    QString m_constraintMessage;
    QString m_originTable;
    QString m_originColumn;
    ChangeHook m_onChange;
    ValidateHook m_onValidate;
};

Q_DECLARE_METATYPE(Field *)
