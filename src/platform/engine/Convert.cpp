#include "platform/engine/Convert.h"

#include "platform/engine/FormatSettings.h"

#include <QVarLengthArray>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace Convert {

namespace {

constexpr qint64 MsPerDay = 86400000;
constexpr double MsPerDayF = 86400000.0;
// Julian day of 30 December 1899, day 0 of the serials.
constexpr qint64 EpochJulianDay = 2415019;
// 1 January 0001 and the day after 31 December 9999.
constexpr double MinSerial = -693593.0;
constexpr double EndSerial = 2958466.0;

bool isDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

int digitValue(QChar c)
{
    return c.unicode() - u'0';
}

QStringView trimmed(QStringView text)
{
    return text.trimmed();
}

// Fifteen significant digits of |value| (> 0) in scientific form: digits[0..14] and the decimal
// exponent of digits[0]. std::to_chars ignores the C locale, which QCoreApplication changes.
int scientific15(double value, char *digits)
{
    char buf[40];
    const auto res
        = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
    // buf is "d.ddddddddddddddde[+-]xx"
    const char *p = buf;
    digits[0] = *p++;
    ++p;
    for (int i = 1; i < 15; ++i)
        digits[i] = *p++;
    ++p; // 'e'
    const bool negativeExponent = *p == '-';
    ++p;
    int exponent = 0;
    for (; p < res.ptr; ++p)
        exponent = exponent * 10 + (*p - '0');
    return negativeExponent ? -exponent : exponent;
}

qint64 julianDayOfSerialDay(qint64 day)
{
    return day + EpochJulianDay;
}

// Splits a serial into its day and its time of day in milliseconds, rounding to the nearest
// millisecond; false when it names no day of the years 1 to 9999.
bool splitSerial(double serial, qint64 *day, int *msOfDay)
{
    if (!std::isfinite(serial) || serial <= MinSerial - 1.0 || serial >= EndSerial)
        return false;
    const qint64 ms = std::llround(serial * MsPerDayF);
    const qint64 d = ms / MsPerDay; // truncation: the integer part is the day
    if (d < qint64(MinSerial) || d >= qint64(EndSerial))
        return false;
    *day = d;
    *msOfDay = int(std::llabs(ms) % MsPerDay);
    return true;
}

double makeSerial(qint64 day, qint64 msOfDay)
{
    if (msOfDay >= MsPerDay) {
        day += msOfDay / MsPerDay;
        msOfDay %= MsPerDay;
    }
    const double fraction = double(msOfDay) / MsPerDayF;
    return day >= 0 ? double(day) + fraction : double(day) - fraction;
}

qint64 serialDayOf(QDate date)
{
    return date.toJulianDay() - EpochJulianDay;
}

void putDigits(char16_t *&out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        out[i] = char16_t(u'0' + value % 10);
        value /= 10;
    }
    out += width;
}

char16_t *putDate(char16_t *out, QDate date)
{
    int y = 0;
    int m = 0;
    int d = 0;
    date.getDate(&y, &m, &d);
    putDigits(out, y, 4);
    *out++ = u'-';
    putDigits(out, m, 2);
    *out++ = u'-';
    putDigits(out, d, 2);
    return out;
}

// Reads exactly `count` digits at text[pos].
bool fixedDigits(QStringView text, qsizetype pos, int count, int *value)
{
    if (pos + count > text.size())
        return false;
    int v = 0;
    for (int i = 0; i < count; ++i) {
        const QChar c = text[pos + i];
        if (!isDigit(c))
            return false;
        v = v * 10 + digitValue(c);
    }
    *value = v;
    return true;
}

bool parseStorage(QStringView text, QDate *date, qint64 *msOfDay)
{
    int y = 0;
    int mo = 0;
    int d = 0;
    if (text.size() < 10 || !fixedDigits(text, 0, 4, &y) || text[4] != u'-'
        || !fixedDigits(text, 5, 2, &mo) || text[7] != u'-' || !fixedDigits(text, 8, 2, &d))
        return false;
    if (!QDate::isValid(y, mo, d))
        return false;
    qint64 ms = 0;
    if (text.size() > 10) {
        int h = 0;
        int mi = 0;
        int s = 0;
        if ((text[10] != u' ' && text[10] != u'T') || !fixedDigits(text, 11, 2, &h)
            || text.size() < 16 || text[13] != u':' || !fixedDigits(text, 14, 2, &mi))
            return false;
        qsizetype pos = 16;
        if (pos < text.size()) {
            if (text[pos] != u':' || !fixedDigits(text, pos + 1, 2, &s))
                return false;
            pos += 3;
        }
        int fraction = 0;
        if (pos < text.size()) {
            if (text[pos] != u'.' || pos + 1 >= text.size())
                return false;
            ++pos;
            // Milliseconds from the first three digits, rounded by the fourth.
            int scale = 100;
            bool roundUp = false;
            for (qsizetype i = 0; pos < text.size(); ++pos, ++i) {
                if (!isDigit(text[pos]))
                    return false;
                if (i < 3) {
                    fraction += digitValue(text[pos]) * scale;
                    scale /= 10;
                } else if (i == 3) {
                    roundUp = digitValue(text[pos]) >= 5;
                }
            }
            fraction += roundUp ? 1 : 0;
        }
        if (h > 23 || mi > 59 || s > 59)
            return false;
        ms = ((h * 60 + mi) * 60 + s) * qint64(1000) + fraction;
    }
    *date = QDate(y, mo, d);
    *msOfDay = ms;
    return true;
}

// The order of day, month and year in a short date format, and the format's separator.
struct DateLayout
{
    char order[3] = { 'd', 'm', 'y' };
    QChar separator = u'/';
};

DateLayout dateLayout(const QString &format)
{
    DateLayout layout;
    int n = 0;
    bool separatorFound = false;
    char last = 0;
    for (const QChar c : format) {
        char part = 0;
        if (c == u'd')
            part = 'd';
        else if (c == u'M')
            part = 'm';
        else if (c == u'y')
            part = 'y';
        if (part) {
            if (part != last && n < 3)
                layout.order[n++] = part;
            last = part;
        } else if (n > 0 && !separatorFound && !c.isLetter()) {
            layout.separator = c;
            separatorFound = true;
        }
    }
    if (n != 3)
        layout = DateLayout();
    return layout;
}

// A short date format of day, month and year numbers and other signs ("dd/MM/yyyy", "d.M.yy"),
// taken apart once: QDate::toString reads its format anew at every call, and grids and
// searches write a date per row. Names of days or months, and quoted text, are left to it.
struct NumericDateFormat
{
    struct Part
    {
        char16_t field = 0; // 'd', 'M', 'y', or 0 for a sign written as it is
        int width = 0;
        char16_t sign = 0;
    };
    QString format;
    bool ready = false;
    bool numeric = false;
    std::vector<Part> parts;
};

NumericDateFormat numericDateFormat(const QString &format)
{
    NumericDateFormat f;
    f.format = format;
    f.ready = true;
    for (qsizetype i = 0; i < format.size();) {
        const char16_t c = format.at(i).unicode();
        if (c == u'd' || c == u'M' || c == u'y') {
            qsizetype end = i;
            while (end < format.size() && format.at(end).unicode() == c)
                ++end;
            const int run = int(end - i);
            if (c == u'y' ? run != 2 && run != 4 : run > 2)
                return f;
            f.parts.push_back({ c, run, 0 });
            i = end;
        } else if (format.at(i).isLetter() || c == u'\'' || c >= 0xD800) {
            return f;
        } else {
            f.parts.push_back({ 0, 0, c });
            ++i;
        }
    }
    f.numeric = f.parts.size() <= 16;
    return f;
}

bool isDateSeparator(QChar c, QChar own)
{
    return c == u'/' || c == u'-' || c == u'.' || c == own;
}

// The day with a one- or two-digit year nearest to the reference day within
// (reference - 80 years, reference + 20 years]: birth dates lie behind, appointments a little ahead.
QDate windowedDate(int shortYear, int month, int day, QDate reference)
{
    const QDate earliest = reference.addYears(-80);
    const QDate latest = reference.addYears(20);
    for (int year = earliest.year(); year <= latest.year(); ++year) {
        if (year % 100 != shortYear || !QDate::isValid(year, month, day))
            continue;
        const QDate candidate(year, month, day);
        if (candidate > earliest && candidate <= latest)
            return candidate;
    }
    return QDate();
}

bool parseUserDateImpl(QStringView text, const DateLayout &layout, QDate reference, QDate *out)
{
    int values[3] = {};
    int lengths[3] = {};
    int parts = 0;
    qsizetype i = 0;
    while (true) {
        if (parts == 3)
            return false;
        int v = 0;
        int len = 0;
        while (i < text.size() && isDigit(text[i])) {
            if (++len > 4)
                return false;
            v = v * 10 + digitValue(text[i++]);
        }
        if (len == 0)
            return false;
        values[parts] = v;
        lengths[parts] = len;
        ++parts;
        if (i == text.size())
            break;
        if (!isDateSeparator(text[i], layout.separator))
            return false;
        ++i;
    }
    if (parts < 2)
        return false;

    int day = 0;
    int month = 0;
    int year = reference.year();
    int yearLength = 4;
    int p = 0;
    for (const char part : layout.order) {
        if (part == 'y' && parts == 2)
            continue;
        const int v = values[p];
        const int len = lengths[p];
        ++p;
        if (part == 'd') {
            if (len > 2)
                return false;
            day = v;
        } else if (part == 'm') {
            if (len > 2)
                return false;
            month = v;
        } else {
            year = v;
            yearLength = len;
        }
    }
    if (yearLength == 3)
        return false;
    QDate date;
    if (yearLength <= 2)
        date = windowedDate(year, month, day, reference);
    else if (QDate::isValid(year, month, day))
        date = QDate(year, month, day);
    if (!date.isValid())
        return false;
    *out = date;
    return true;
}

bool readNumber(QStringView text, qsizetype *pos, int maxDigits, int *value, int *length)
{
    int v = 0;
    int len = 0;
    while (*pos < text.size() && isDigit(text[*pos])) {
        if (++len > maxDigits)
            return false;
        v = v * 10 + digitValue(text[(*pos)++]);
    }
    *value = v;
    *length = len;
    return len > 0;
}

// "h:mm", "h:mm:ss" or "h:mm:ss.zzz"; the milliseconds may follow '.' or the decimal separator.
bool parseUserTime(QStringView text, QChar decimalSeparator, qint64 *msOfDay)
{
    qsizetype pos = 0;
    int h = 0;
    int m = 0;
    int s = 0;
    int ms = 0;
    int len = 0;
    if (!readNumber(text, &pos, 2, &h, &len) || pos >= text.size() || text[pos] != u':')
        return false;
    ++pos;
    if (!readNumber(text, &pos, 2, &m, &len))
        return false;
    if (pos < text.size()) {
        if (text[pos] != u':')
            return false;
        ++pos;
        if (!readNumber(text, &pos, 2, &s, &len))
            return false;
        if (pos < text.size()) {
            if (text[pos] != u'.' && text[pos] != decimalSeparator)
                return false;
            ++pos;
            if (!readNumber(text, &pos, 3, &ms, &len) || pos != text.size())
                return false;
            for (; len < 3; ++len)
                ms *= 10;
        }
    }
    if (h > 23 || m > 59 || s > 59)
        return false;
    *msOfDay = ((h * 60 + m) * 60 + s) * qint64(1000) + ms;
    return true;
}

std::function<QDate()> &todayProvider()
{
    static std::function<QDate()> provider;
    return provider;
}

} // namespace

QString formatFloatGeneral(double value, QChar decimalSeparator)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (value == 0)
        return QStringLiteral("0");

    char digits[15];
    const int exponent = scientific15(value, digits);
    int count = 15;
    while (count > 1 && digits[count - 1] == '0')
        --count;

    char16_t buf[48];
    char16_t *out = buf;
    if (value < 0)
        *out++ = u'-';
    const char16_t sep = decimalSeparator.unicode();
    if (exponent >= -5 && exponent < 15) {
        if (exponent < 0) {
            *out++ = u'0';
            *out++ = sep;
            for (int i = -1; i > exponent; --i)
                *out++ = u'0';
            for (int i = 0; i < count; ++i)
                *out++ = char16_t(digits[i]);
        } else {
            for (int i = 0; i <= exponent; ++i)
                *out++ = i < count ? char16_t(digits[i]) : u'0';
            if (count > exponent + 1) {
                *out++ = sep;
                for (int i = exponent + 1; i < count; ++i)
                    *out++ = char16_t(digits[i]);
            }
        }
    } else {
        *out++ = char16_t(digits[0]);
        if (count > 1) {
            *out++ = sep;
            for (int i = 1; i < count; ++i)
                *out++ = char16_t(digits[i]);
        }
        *out++ = u'E';
        int e = exponent;
        if (e < 0) {
            *out++ = u'-';
            e = -e;
        }
        char16_t rev[4];
        int n = 0;
        do {
            rev[n++] = char16_t(u'0' + e % 10);
            e /= 10;
        } while (e > 0);
        while (n > 0)
            *out++ = rev[--n];
    }
    return QString(reinterpret_cast<const QChar *>(buf), out - buf);
}

bool parseFloat(QStringView text, QChar decimalSeparator, double *out)
{
    text = trimmed(text);
    if (text.isEmpty())
        return false;

    // Validate and copy into a plain ASCII number with '.' for std::from_chars.
    QVarLengthArray<char, 64> buf;
    qsizetype i = 0;
    bool negative = false;
    if (text[0] == u'+' || text[0] == u'-') {
        negative = text[0] == u'-';
        ++i;
    }
    if (negative)
        buf.append('-');
    int intDigits = 0;
    int leadingZeros = 0; // zeros before the first significant digit
    bool significantSeen = false;
    int significantIntDigits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        buf.append(char(text[i].unicode()));
        ++intDigits;
        if (text[i] != u'0')
            significantSeen = true;
        if (significantSeen)
            ++significantIntDigits;
    }
    int fracDigits = 0;
    if (i < text.size() && text[i] == decimalSeparator) {
        ++i;
        if (intDigits == 0)
            buf.append('0');
        buf.append('.');
        for (; i < text.size() && isDigit(text[i]); ++i) {
            buf.append(char(text[i].unicode()));
            ++fracDigits;
            if (!significantSeen && text[i] == u'0')
                ++leadingZeros;
            else
                significantSeen = true;
        }
        if (fracDigits == 0)
            buf.append('0');
    }
    if (intDigits == 0 && fracDigits == 0)
        return false;
    long exponent = 0;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        buf.append('e');
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
            negativeExponent = text[i] == u'-';
            if (negativeExponent)
                buf.append('-');
            ++i;
        }
        int expDigits = 0;
        for (; i < text.size() && isDigit(text[i]); ++i) {
            buf.append(char(text[i].unicode()));
            ++expDigits;
            if (exponent < 100000)
                exponent = exponent * 10 + digitValue(text[i]);
        }
        if (expDigits == 0)
            return false;
        if (negativeExponent)
            exponent = -exponent;
    }
    if (i != text.size())
        return false;

    double value = 0;
    const auto res = std::from_chars(buf.constData(), buf.constData() + buf.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
        // Too small to represent is zero; too large is not a number at all.
        const long magnitude
            = (significantIntDigits > 0 ? significantIntDigits : -leadingZeros) + exponent;
        if (magnitude > 0)
            return false;
        value = negative ? -0.0 : 0.0;
    } else if (res.ec != std::errc() || res.ptr != buf.constData() + buf.size()) {
        return false;
    }
    *out = value;
    return true;
}

bool parseInteger(QStringView text, qint64 *out)
{
    text = trimmed(text);
    if (text.isEmpty())
        return false;
    qsizetype i = 0;
    bool negative = false;
    if (text[0] == u'+' || text[0] == u'-') {
        negative = text[0] == u'-';
        ++i;
    }
    if (i == text.size())
        return false;
    const quint64 limit = negative ? quint64(std::numeric_limits<qint64>::max()) + 1
                                   : quint64(std::numeric_limits<qint64>::max());
    quint64 v = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i]))
            return false;
        const unsigned d = unsigned(digitValue(text[i]));
        if (v > (limit - d) / 10)
            return false;
        v = v * 10 + d;
    }
    *out = negative ? qint64(0 - v) : qint64(v);
    return true;
}

double dateToSerial(QDate date)
{
    return date.isValid() ? double(serialDayOf(date)) : 0.0;
}

double dateTimeToSerial(QDate date, QTime time)
{
    if (!date.isValid())
        return 0.0;
    return makeSerial(serialDayOf(date), time.isValid() ? time.msecsSinceStartOfDay() : 0);
}

double dateTimeToSerial(const QDateTime &dateTime)
{
    return dateTimeToSerial(dateTime.date(), dateTime.time());
}

QDate serialToDate(double serial)
{
    qint64 day = 0;
    int ms = 0;
    if (!splitSerial(serial, &day, &ms))
        return QDate();
    return QDate::fromJulianDay(julianDayOfSerialDay(day));
}

QTime serialToTime(double serial)
{
    qint64 day = 0;
    int ms = 0;
    if (!splitSerial(serial, &day, &ms))
        return QTime();
    return QTime::fromMSecsSinceStartOfDay(ms);
}

QDateTime serialToDateTime(double serial)
{
    qint64 day = 0;
    int ms = 0;
    if (!splitSerial(serial, &day, &ms))
        return QDateTime();
    return QDateTime(QDate::fromJulianDay(julianDayOfSerialDay(day)),
                     QTime::fromMSecsSinceStartOfDay(ms), Qt::LocalTime);
}

QString dateToStorage(QDate date)
{
    if (!date.isValid() || date.year() < 1 || date.year() > 9999)
        return QString();
    char16_t buf[10];
    putDate(buf, date);
    return QString(reinterpret_cast<const QChar *>(buf), 10);
}

QString serialToStorage(double serial)
{
    qint64 day = 0;
    int ms = 0;
    if (!splitSerial(serial, &day, &ms))
        return QString();
    char16_t buf[23];
    char16_t *out = putDate(buf, QDate::fromJulianDay(julianDayOfSerialDay(day)));
    *out++ = u' ';
    putDigits(out, ms / 3600000, 2);
    *out++ = u':';
    putDigits(out, ms / 60000 % 60, 2);
    *out++ = u':';
    putDigits(out, ms / 1000 % 60, 2);
    *out++ = u'.';
    putDigits(out, ms % 1000, 3);
    return QString(reinterpret_cast<const QChar *>(buf), 23);
}

bool parseStorageDate(QStringView text, QDate *out)
{
    QDate date;
    qint64 ms = 0;
    if (!parseStorage(text, &date, &ms))
        return false;
    *out = date;
    return true;
}

bool parseStorageTimestamp(QStringView text, double *serialOut)
{
    QDate date;
    qint64 ms = 0;
    if (!parseStorage(text, &date, &ms))
        return false;
    *serialOut = makeSerial(serialDayOf(date), ms);
    return true;
}

QDate today()
{
    const auto &provider = todayProvider();
    return provider ? provider() : QDate::currentDate();
}

void setTodayProvider(std::function<QDate()> provider)
{
    todayProvider() = std::move(provider);
}

bool parseUserDate(QStringView text, const FormatSettings &settings, QDate *out)
{
    return parseUserDate(text, settings, today(), out);
}

bool parseUserDate(QStringView text, const FormatSettings &settings, QDate reference, QDate *out)
{
    return parseUserDateImpl(trimmed(text), dateLayout(settings.shortDateFormat()), reference,
                             out);
}

bool parseUserDateTime(QStringView text, const FormatSettings &settings, double *serialOut)
{
    return parseUserDateTime(text, settings, today(), serialOut);
}

bool parseUserDateTime(QStringView text, const FormatSettings &settings, QDate reference,
                       double *serialOut)
{
    text = trimmed(text);
    qsizetype space = 0;
    while (space < text.size() && !text[space].isSpace())
        ++space;
    const QStringView first = text.left(space);
    const QStringView second = trimmed(text.mid(space));
    for (const QChar c : second) {
        if (c.isSpace())
            return false;
    }

    qint64 ms = 0;
    if (second.isEmpty() && first.contains(u':')) {
        if (!parseUserTime(first, settings.decimalSeparator(), &ms))
            return false;
        *serialOut = makeSerial(0, ms);
        return true;
    }
    QDate date;
    if (!parseUserDateImpl(first, dateLayout(settings.shortDateFormat()), reference, &date))
        return false;
    if (!second.isEmpty() && !parseUserTime(second, settings.decimalSeparator(), &ms))
        return false;
    *serialOut = makeSerial(serialDayOf(date), ms);
    return true;
}

QString formatUserDate(QDate date, const FormatSettings &settings)
{
    if (!date.isValid())
        return QString();
    const QString &format = settings.shortDateFormat();
    thread_local NumericDateFormat numeric;
    if (!numeric.ready || numeric.format != format)
        numeric = numericDateFormat(format);
    int y = 0;
    int m = 0;
    int d = 0;
    date.getDate(&y, &m, &d);
    if (!numeric.numeric || y < 1 || y > 9999)
        return date.toString(format);
    char16_t buf[16 * 4];
    char16_t *out = buf;
    for (const NumericDateFormat::Part &p : numeric.parts) {
        switch (p.field) {
        case u'd':
            putDigits(out, d, p.width == 2 || d > 9 ? 2 : 1);
            break;
        case u'M':
            putDigits(out, m, p.width == 2 || m > 9 ? 2 : 1);
            break;
        case u'y':
            putDigits(out, p.width == 2 ? y % 100 : y, p.width);
            break;
        default:
            *out++ = p.sign;
            break;
        }
    }
    return QString(reinterpret_cast<const QChar *>(buf), out - buf);
}

QString formatUserDateTime(double serial, const FormatSettings &settings)
{
    qint64 day = 0;
    int ms = 0;
    if (!splitSerial(serial, &day, &ms))
        return QString();
    QString text = formatUserDate(QDate::fromJulianDay(julianDayOfSerialDay(day)), settings);
    if (ms != 0) {
        text += u' ';
        text += QTime::fromMSecsSinceStartOfDay(ms).toString(settings.longTimeFormat());
    }
    return text;
}

} // namespace Convert
