#include "platform/engine/StorageValue.h"

#include "platform/engine/Convert.h"
#include "platform/engine/SqlStatement.h"


using namespace Convert;

namespace {
// Digits of an ISO date or timestamp straight from SQLite's UTF-8 bytes: far cheaper than
// building a QString first, and tables of a hundred thousand patients read a date per row.
int digits(const char *p, int n, bool *ok)
{
    int v = 0;
    for (int i = 0; i < n; ++i) {
        const char c = p[i];
        if (c < '0' || c > '9') {
            *ok = false;
            return 0;
        }
        v = v * 10 + (c - '0');
    }
    return v;
}

bool parseIso(const char *p, int len, QDate *date, int *msOfDay)
{
    bool ok = true;
    if (len < 10 || p[4] != '-' || p[7] != '-')
        return false;
    const int y = digits(p, 4, &ok);
    const int m = digits(p + 5, 2, &ok);
    const int d = digits(p + 8, 2, &ok);
    if (!ok)
        return false;
    *date = QDate(y, m, d);
    if (!date->isValid())
        return false;
    *msOfDay = 0;
    if (len == 10)
        return true;
    if (len < 16 || (p[10] != ' ' && p[10] != 'T') || p[13] != ':')
        return false;
    const int h = digits(p + 11, 2, &ok);
    const int mi = digits(p + 14, 2, &ok);
    int s = 0;
    int ms = 0;
    if (len >= 19) {
        if (p[16] != ':')
            return false;
        s = digits(p + 17, 2, &ok);
        if (len > 20 && p[19] == '.') {
            const int n = qMin(len - 20, 3);
            ms = digits(p + 20, n, &ok);
            for (int i = n; i < 3; ++i)
                ms *= 10;
        }
    }
    if (!ok || h > 23 || mi > 59 || s > 59)
        return false;
    *msOfDay = ((h * 60 + mi) * 60 + s) * 1000 + ms;
    return true;
}
} // namespace

QVariant StorageValue::toStorage(FieldType type, const QVariant &v)
{
    if (v.isNull() || !v.isValid())
        return QVariant();
    switch (type) {
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::LargeInt:
    case FieldType::AutoInc:
        return QVariant(v.toLongLong());
    case FieldType::Float:
        return QVariant(v.toDouble());
    case FieldType::Boolean:
        return QVariant(qint64(v.toBool() ? 1 : 0));
    case FieldType::Date:
        return QVariant(dateToStorage(v.toDate()));
    case FieldType::DateTime:
        return QVariant(serialToStorage(v.toDouble()));
    case FieldType::Blob:
        return QVariant(v.toByteArray());
    default:
        return QVariant(v.toString());
    }
}

QVariant StorageValue::read(const SqlStatement &st, int column, FieldType type)
{
    const SqlType sqlType = st.columnType(column);
    if (sqlType == SqlType::Null)
        return QVariant();
    switch (type) {
    case FieldType::String:
    case FieldType::Memo:
    case FieldType::FmtMemo:
        if (sqlType == SqlType::Text) {
            int len = 0;
            const char *p = st.textData(column, &len);
            if (len == 0)
                return QVariant(); // empty text reads as null, as it was always written
            return QVariant(QString::fromUtf8(p, len));
        }
        return QVariant(st.value(column).toString());
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::LargeInt:
    case FieldType::AutoInc:
        if (sqlType == SqlType::Float)
            return QVariant(qint64(qRound64(st.real(column))));
        return QVariant(qint64(st.int64(column)));
    case FieldType::Float:
        return QVariant(st.real(column));
    case FieldType::Boolean:
        return QVariant(st.int64(column) != 0);
    case FieldType::Date:
    case FieldType::DateTime: {
        if (sqlType == SqlType::Integer || sqlType == SqlType::Float) {
            const double serial = st.real(column);
            if (type == FieldType::Date)
                return QVariant(serialToDate(serial));
            return QVariant(serial);
        }
        int len = 0;
        const char *p = st.textData(column, &len);
        QDate date;
        int ms = 0;
        if (!parseIso(p, len, &date, &ms))
            return QVariant();
        if (type == FieldType::Date)
            return QVariant(date);
        return QVariant(dateTimeToSerial(date, QTime::fromMSecsSinceStartOfDay(ms)));
    }
    case FieldType::Blob:
        return st.value(column);
    default:
        return st.value(column);
    }
}

FieldType StorageValue::fromDeclaredType(const QString &sqlType, bool rowidKey)
{
    const QString t = sqlType.toUpper();
    if (rowidKey)
        return FieldType::AutoInc;
    if (t.contains(QLatin1String("INT")))
        return FieldType::Integer;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA"))
        || t.contains(QLatin1String("DOUB")) || t.contains(QLatin1String("NUM")))
        return FieldType::Float;
    if (t.contains(QLatin1String("BLOB")))
        return FieldType::Blob;
    return FieldType::Memo;
}

bool StorageValue::compatible(FieldType type, const QString &sqlType)
{
    const QString t = sqlType.toUpper();
    const bool isInt = t.contains(QLatin1String("INT"));
    const bool isReal = t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA"))
        || t.contains(QLatin1String("DOUB")) || t.contains(QLatin1String("NUM"));
    const bool isText = t.contains(QLatin1String("TEXT")) || t.contains(QLatin1String("CHAR"))
        || t.contains(QLatin1String("CLOB"));
    switch (type) {
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::LargeInt:
    case FieldType::AutoInc:
    case FieldType::Boolean:
        return isInt;
    case FieldType::Float:
        return isReal || isInt;
    case FieldType::String:
    case FieldType::Memo:
    case FieldType::FmtMemo:
    case FieldType::Date:
    case FieldType::DateTime:
        return isText;
    case FieldType::Blob:
        return t.contains(QLatin1String("BLOB")) || t.isEmpty();
    default:
        return true;
    }
}
