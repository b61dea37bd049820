#include "platform/report/ReportDataField.h"

#include "platform/engine/Dataset.h"
#include "platform/engine/Field.h"
#include "platform/engine/FormatSettings.h"
#include "platform/widgets/NumberFormat.h"

namespace {

int runLength(const QString &mask, int at, QChar c)
{
    int n = 0;
    while (at + n < mask.size() && mask.at(at + n).toLower() == c)
        ++n;
    return n;
}

QString twoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

ReportDataField::ReportDataField(ReportBand *band, Dataset *dataset, const QString &fieldName)
    : ReportTextItem(band)
    , m_dataset(dataset)
    , m_fieldName(fieldName)
{ }

ReportDataField::~ReportDataField() = default;

QString ReportDataField::printText(ReportGenerator &)
{
    if (!m_dataset || !m_dataset->isActive())
        return QString();
    const Field *field = m_dataset->fieldByName(m_fieldName);
    if (field->isNull())
        return QString();
    return format(*field, m_mask);
}

QString ReportDataField::format(const Field &field, const QString &mask)
{
    if (field.isNull())
        return QString();
    if (!mask.isEmpty()) {
        const FieldType type = field.dataType();
        if (type == FieldType::Date || type == FieldType::DateTime)
            return formatDateTime(field.asDateTime(), mask);
        if (isNumericType(type))
            return formatFloat(mask, field.asFloat());
    }
    return field.displayText();
}

QString ReportDataField::formatDateTime(const QDateTime &value, const QString &mask)
{
    const QDate date = value.date();
    const QTime time = value.time();
    const QLocale &locale = FormatSettings::current().locale();
    QString out;
    bool afterHour = false;
    for (int i = 0; i < mask.size();) {
        const QChar c = mask.at(i);
        const QChar lower = c.toLower();
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            const int end = mask.indexOf(c, i + 1);
            const int stop = end < 0 ? int(mask.size()) : end;
            out += mask.mid(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        int n = 1;
        if (lower == QLatin1Char('d')) {
            n = qMin(runLength(mask, i, lower), 4);
            if (n == 1)
                out += QString::number(date.day());
            else if (n == 2)
                out += twoDigits(date.day());
            else
                out += locale.dayName(date.dayOfWeek(),
                                      n == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
        } else if (lower == QLatin1Char('m')) {
            n = qMin(runLength(mask, i, lower), 4);
            if (afterHour && n <= 2)
                out += n == 1 ? QString::number(time.minute()) : twoDigits(time.minute());
            else if (n == 1)
                out += QString::number(date.month());
            else if (n == 2)
                out += twoDigits(date.month());
            else
                out += locale.monthName(date.month(),
                                        n == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
            afterHour = false;
        } else if (lower == QLatin1Char('y')) {
            n = runLength(mask, i, lower);
            out += n <= 2 ? twoDigits(date.year() % 100) : QString::number(date.year());
        } else if (lower == QLatin1Char('h')) {
            n = qMin(runLength(mask, i, lower), 2);
            out += n == 1 ? QString::number(time.hour()) : twoDigits(time.hour());
            afterHour = true;
        } else if (lower == QLatin1Char('n')) {
            n = qMin(runLength(mask, i, lower), 2);
            out += n == 1 ? QString::number(time.minute()) : twoDigits(time.minute());
        } else if (lower == QLatin1Char('s')) {
            n = qMin(runLength(mask, i, lower), 2);
            out += n == 1 ? QString::number(time.second()) : twoDigits(time.second());
        } else if (lower == QLatin1Char('z')) {
            n = qMin(runLength(mask, i, lower), 3);
            out += n == 1 ? QString::number(time.msec())
                          : QStringLiteral("%1").arg(time.msec(), 3, 10, QLatin1Char('0'));
        } else {
            out += c;
        }
        i += n;
    }
    return out;
}
