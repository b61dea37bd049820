#include "platform/engine/Field.h"

#include "platform/engine/Convert.h"
#include "platform/engine/Dataset.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/FormatSettings.h"

#include <cmath>

using namespace Convert;

namespace {
QString quoted(const QString &s)
{
    return QLatin1Char('\'') + s + QLatin1Char('\'');
}

bool rangeOf(FieldType type, qint64 *low, qint64 *high)
{
    switch (type) {
    case FieldType::SmallInt:
        *low = -32768;
        *high = 32767;
        return true;
    case FieldType::Integer:
    case FieldType::AutoInc:
        *low = -2147483647LL - 1;
        *high = 2147483647LL;
        return true;
    default:
        return false;
    }
}

double textAsSerial(const QString &text)
{
    double serial = 0;
    if (!parseUserDateTime(text, FormatSettings::current(), &serial))
        databaseError(QStringLiteral("%1 is not a valid date and time").arg(quoted(text)));
    return serial;
}
} // namespace

Field::Field(Dataset *dataset, const QString &name, FieldType type, int size)
    : m_dataset(dataset)
    , m_name(name)
    , m_type(type)
    , m_size(size)
    , m_readOnly(type == FieldType::AutoInc)
    , m_trueText(QStringLiteral("True"))
    , m_falseText(QStringLiteral("False"))
{
}

QString Field::displayName() const
{
    return m_displayLabel.isEmpty() ? m_name : m_displayLabel;
}

QString Field::displayValues() const
{
    return m_trueText + QLatin1Char(';') + m_falseText;
}

void Field::setDisplayValues(const QString &values)
{
    const int semi = values.indexOf(QLatin1Char(';'));
    if (semi < 0) {
        m_trueText = values;
        m_falseText.clear();
    } else {
        m_trueText = values.left(semi);
        m_falseText = values.mid(semi + 1);
    }
}

bool Field::isValidChar(QChar c) const
{
    if (isIntegerType(m_type))
        return c.isDigit() || c == QLatin1Char('+') || c == QLatin1Char('-');
    if (m_type == FieldType::Float)
        return c.isDigit() || c == QLatin1Char('+') || c == QLatin1Char('-')
            || c == QLatin1Char('E') || c == QLatin1Char('e')
            || c == FormatSettings::current().decimalSeparator();
    return true;
}

void Field::setOrigin(const QString &table, const QString &column)
{
    m_originTable = table;
    m_originColumn = column;
}

QVariant Field::value() const
{
    return m_dataset->fieldValue(m_index);
}

bool Field::isNull() const
{
    return !m_dataset->fieldValue(m_index).isValid();
}

void Field::clear()
{
    store(QVariant());
}

QString Field::internalToString(const QVariant &v) const
{
    if (v.isNull())
        return QString();
    const FormatSettings &fs = FormatSettings::current();
    switch (m_type) {
    case FieldType::Float:
        return formatFloatGeneral(v.toDouble(), fs.decimalSeparator());
    case FieldType::Boolean:
        return v.toBool() ? m_trueText : m_falseText;
    case FieldType::Date:
        return formatUserDate(v.toDate(), fs);
    case FieldType::DateTime:
        return formatUserDateTime(v.toDouble(), fs);
    case FieldType::Blob:
        return QString::fromLatin1(v.toByteArray());
    default:
        return v.toString();
    }
}

QString Field::asString() const
{
    return internalToString(value());
}

qint64 Field::asInteger() const
{
    const QVariant v = value();
    if (v.isNull())
        return 0;
    switch (m_type) {
    case FieldType::Float:
        return qint64(std::llround(v.toDouble()));
    case FieldType::Boolean:
        return v.toBool() ? 1 : 0;
    case FieldType::Date:
        return qint64(dateToSerial(v.toDate()));
    case FieldType::DateTime:
        return qint64(std::trunc(v.toDouble()));
    case FieldType::String:
    case FieldType::Memo:
    case FieldType::FmtMemo: {
        qint64 n = 0;
        if (!parseInteger(v.toString(), &n))
            databaseError(QStringLiteral("%1 is not a valid integer value").arg(quoted(v.toString())));
        return n;
    }
    default:
        return v.toLongLong();
    }
}

double Field::asFloat() const
{
    const QVariant v = value();
    if (v.isNull())
        return 0.0;
    switch (m_type) {
    case FieldType::Date:
        return dateToSerial(v.toDate());
    case FieldType::Boolean:
        return v.toBool() ? 1.0 : 0.0;
    case FieldType::String:
    case FieldType::Memo:
    case FieldType::FmtMemo: {
        double d = 0;
        if (!parseFloat(v.toString(), FormatSettings::current().decimalSeparator(), &d))
            databaseError(QStringLiteral("%1 is not a valid floating point value")
                              .arg(quoted(v.toString())));
        return d;
    }
    default:
        return v.toDouble();
    }
}

bool Field::asBoolean() const
{
    const QVariant v = value();
    if (v.isNull())
        return false;
    if (m_type == FieldType::Boolean)
        return v.toBool();
    if (isNumericType(m_type))
        return v.toDouble() != 0;
    if (isTextType(m_type)) {
        const QString s = v.toString();
        if (s.compare(m_trueText, Qt::CaseInsensitive) == 0
            || s.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
            return true;
        if (s.compare(m_falseText, Qt::CaseInsensitive) == 0
            || s.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
            return false;
        databaseError(QStringLiteral("%1 is not a valid boolean value for field '%2'")
                          .arg(quoted(s), displayName()));
    }
    databaseError(QStringLiteral("Invalid type conversion for field '%1'").arg(displayName()));
}

QDate Field::asDate() const
{
    const QVariant v = value();
    if (v.isNull())
        return serialToDate(0);
    switch (m_type) {
    case FieldType::Date:
        return v.toDate();
    case FieldType::DateTime:
    case FieldType::Float:
        return serialToDate(v.toDouble());
    default:
        return serialToDate(textAsSerial(v.toString()));
    }
}

QDateTime Field::asDateTime() const
{
    const QVariant v = value();
    if (v.isNull())
        return serialToDateTime(0);
    switch (m_type) {
    case FieldType::Date:
        return QDateTime(v.toDate(), QTime(0, 0));
    case FieldType::DateTime:
    case FieldType::Float:
        return serialToDateTime(v.toDouble());
    default:
        return serialToDateTime(textAsSerial(v.toString()));
    }
}

QVariant Field::asVariant() const
{
    const QVariant v = value();
    if (!v.isNull() && m_type == FieldType::DateTime)
        return serialToDateTime(v.toDouble());
    return v;
}

QVariant Field::checkedInteger(qint64 n) const
{
    qint64 low = 0;
    qint64 high = 0;
    if (rangeOf(m_type, &low, &high) && (n < low || n > high))
        databaseError(QStringLiteral("%1 is not a valid value for field '%2'. The allowed range is "
                                     "%3 to %4")
                          .arg(n)
                          .arg(displayName())
                          .arg(low)
                          .arg(high));
    return QVariant(n);
}

QVariant Field::checkedString(const QString &s) const
{
    // Text longer than the column is refused rather than cut, so nothing is lost unseen.
    if (m_type == FieldType::String && m_size > 0 && s.size() > m_size)
        databaseError(QStringLiteral("The text is too long for field '%1': %2 characters, at most "
                                     "%3 allowed")
                          .arg(displayName())
                          .arg(s.size())
                          .arg(m_size));
    return QVariant(s);
}

QVariant Field::parseText(const QString &text) const
{
    const FormatSettings &fs = FormatSettings::current();
    // Empty text is null, as the engine has always stored it.
    if (isTextType(m_type))
        return text.isEmpty() ? QVariant() : checkedString(text);
    if (text.trimmed().isEmpty())
        return QVariant();
    switch (m_type) {
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::LargeInt:
    case FieldType::AutoInc: {
        qint64 n = 0;
        if (!parseInteger(text, &n))
            databaseError(QStringLiteral("%1 is not a valid integer value for field '%2'")
                              .arg(quoted(text), displayName()));
        return checkedInteger(n);
    }
    case FieldType::Float: {
        double d = 0;
        if (!parseFloat(text, fs.decimalSeparator(), &d))
            databaseError(QStringLiteral("%1 is not a valid floating point value for field '%2'")
                              .arg(quoted(text), displayName()));
        return QVariant(d);
    }
    case FieldType::Boolean: {
        const QString t = text.trimmed();
        if (m_falseText.startsWith(t, Qt::CaseInsensitive))
            return QVariant(false);
        if (m_trueText.startsWith(t, Qt::CaseInsensitive))
            return QVariant(true);
        databaseError(QStringLiteral("%1 is not a valid boolean value for field '%2'")
                          .arg(quoted(text), displayName()));
    }
    case FieldType::Date: {
        QDate d;
        if (!parseUserDate(text, fs, &d))
            databaseError(QStringLiteral("%1 is not a valid date").arg(quoted(text)));
        return QVariant(d);
    }
    case FieldType::DateTime: {
        double serial = 0;
        if (!parseUserDateTime(text, fs, &serial))
            databaseError(QStringLiteral("%1 is not a valid date and time").arg(quoted(text)));
        return QVariant(serial);
    }
    case FieldType::Blob:
        return QVariant(text.toLatin1());
    default:
        databaseError(QStringLiteral("Invalid type conversion for field '%1'").arg(displayName()));
    }
}

QVariant Field::toInternal(const QVariant &v) const
{
    // Internally null is always an invalid variant, never a valid one holding a null value.
    if (!v.isValid() || v.isNull())
        return QVariant();
    switch (v.typeId()) {
    case QMetaType::QString:
        return parseText(v.toString());
    case QMetaType::Bool:
        if (m_type == FieldType::Boolean)
            return v;
        if (isIntegerType(m_type))
            return checkedInteger(v.toBool() ? 1 : 0);
        if (isTextType(m_type))
            return checkedString(v.toBool() ? m_trueText : m_falseText);
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::Double:
    case QMetaType::Float: {
        const bool isInt = v.typeId() != QMetaType::Double && v.typeId() != QMetaType::Float;
        const double d = v.toDouble();
        switch (m_type) {
        case FieldType::SmallInt:
        case FieldType::Integer:
        case FieldType::LargeInt:
        case FieldType::AutoInc:
            return checkedInteger(isInt ? v.toLongLong() : qint64(std::llround(d)));
        case FieldType::Float:
        case FieldType::DateTime:
            return QVariant(d);
        case FieldType::Date:
            return QVariant(serialToDate(d));
        case FieldType::Boolean:
            return QVariant(d != 0);
        case FieldType::String:
        case FieldType::Memo:
        case FieldType::FmtMemo:
            return checkedString(isInt ? QString::number(v.toLongLong())
                                       : formatFloatGeneral(d, FormatSettings::current()
                                                                   .decimalSeparator()));
        default:
            break;
        }
        break;
    }
    case QMetaType::QDate:
        switch (m_type) {
        case FieldType::Date:
            return v;
        case FieldType::DateTime:
        case FieldType::Float:
            return QVariant(dateToSerial(v.toDate()));
        case FieldType::String:
        case FieldType::Memo:
            return checkedString(formatUserDate(v.toDate(), FormatSettings::current()));
        default:
            break;
        }
        break;
    case QMetaType::QDateTime: {
        const QDateTime dt = v.toDateTime();
        switch (m_type) {
        case FieldType::Date:
            return QVariant(dt.date());
        case FieldType::DateTime:
        case FieldType::Float:
            return QVariant(dateTimeToSerial(dt));
        case FieldType::String:
        case FieldType::Memo:
            return checkedString(formatUserDateTime(dateTimeToSerial(dt), FormatSettings::current()));
        default:
            break;
        }
        break;
    }
    case QMetaType::QByteArray:
        if (m_type == FieldType::Blob)
            return v;
        return parseText(QString::fromUtf8(v.toByteArray()));
    default:
        break;
    }
    databaseError(QStringLiteral("Invalid type conversion for field '%1'").arg(displayName()));
}

void Field::setAsString(const QString &text)
{
    store(parseText(text));
}

void Field::setAsInteger(qint64 value)
{
    store(toInternal(QVariant(value)));
}

void Field::setAsFloat(double value)
{
    store(toInternal(QVariant(value)));
}

void Field::setAsBoolean(bool value)
{
    store(toInternal(QVariant(value)));
}

void Field::setAsDate(const QDate &value)
{
    store(value.isValid() ? toInternal(QVariant(value)) : QVariant());
}

void Field::setAsDateTime(const QDateTime &value)
{
    store(value.isValid() ? toInternal(QVariant(value)) : QVariant());
}

void Field::setValue(const QVariant &value)
{
    store(toInternal(value));
}

QString Field::displayText() const
{
    return asString();
}

QString Field::text() const
{
    return asString();
}

void Field::setText(const QString &text)
{
    setAsString(text);
}

void Field::store(const QVariant &internal)
{
    if (m_onValidate)
        m_onValidate(*this, internal);
    m_dataset->setFieldValue(this, internal);
}

void Field::changed()
{
    if (m_onChange)
        m_onChange(*this);
}
