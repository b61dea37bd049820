#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringView>
#include <QTime>

#include <functional>

class FormatSettings;

// Value conversions of the table engine: numbers and date-times to and from the texts the user
// types and sees, and to and from the texts the SQLite file stores. They run once per value when
// a table loads, so they avoid QLocale and QDateTime::fromString on the hot paths.
//
// A date-time is a serial: days since 30 December 1899 as a double, the fraction being the time
// of day. Before that day the integer part is still the day and the absolute value of the
// fraction the time (-1.25 is 29 December 1899 06:00). Serials are built as day + ms / 86400000
// from whole milliseconds, so two serials of the same instant compare equal with ==.
// Parsers return false and leave *out untouched on bad input; they never throw.
namespace Convert {

// Up to 15 significant digits, no trailing zeros: "3,5", "1,23456789012346E17", "1,5E-7".
[[nodiscard]] QString formatFloatGeneral(double value, QChar decimalSeparator);
// Optional sign, digits with at most one decimalSeparator, optional exponent; spaces around.
[[nodiscard]] bool parseFloat(QStringView text, QChar decimalSeparator, double *out);
// Optional sign and digits, spaces around; false on overflow.
[[nodiscard]] bool parseInteger(QStringView text, qint64 *out);

// Midnight of the date; an invalid date gives 0.
[[nodiscard]] double dateToSerial(QDate date);
// An invalid time counts as midnight.
[[nodiscard]] double dateTimeToSerial(QDate date, QTime time);
// The wall-clock date and time of dateTime, whatever its time zone.
[[nodiscard]] double dateTimeToSerial(const QDateTime &dateTime);
// Invalid results for NaN, infinity and serials outside the years 1 to 9999.
[[nodiscard]] QDate serialToDate(double serial);
[[nodiscard]] QTime serialToTime(double serial);
[[nodiscard]] QDateTime serialToDateTime(double serial); // local time

// Storage texts: "YYYY-MM-DD" and "YYYY-MM-DD HH:MM:SS.zzz". Empty for invalid values.
[[nodiscard]] QString dateToStorage(QDate date);
[[nodiscard]] QString serialToStorage(double serial);
// Accepts a date alone or a whole timestamp, whose time it drops.
[[nodiscard]] bool parseStorageDate(QStringView text, QDate *out);
// Accepts "YYYY-MM-DD[( |T)HH:MM[:SS[.fraction]]]"; the fraction is rounded to milliseconds.
[[nodiscard]] bool parseStorageTimestamp(QStringView text, double *serialOut);

// Today's date for texts that leave the year out. QDate::currentDate() unless a provider is set
// (the injectable clock sets one); an empty function restores the default.
[[nodiscard]] QDate today();
void setTodayProvider(std::function<QDate()> provider);

// User texts: day, month and year in the order of the short date format, separated by '/', '-',
// '.' or the format's own separator. A one- or two-digit year gives the day nearest to the
// reference day (today by default) after reference - 80 years and up to reference + 20 years
// (58 is 1958 and 24 is 2024 in 2026); a missing year is the reference day's year.
[[nodiscard]] bool parseUserDate(QStringView text, const FormatSettings &settings, QDate *out);
[[nodiscard]] bool parseUserDate(QStringView text, const FormatSettings &settings,
                                 QDate reference, QDate *out);
// A date, a date and a time ("h:mm", "h:mm:ss", "h:mm:ss.zzz"), or a time alone on day 0.
[[nodiscard]] bool parseUserDateTime(QStringView text, const FormatSettings &settings,
                                     double *serialOut);
[[nodiscard]] bool parseUserDateTime(QStringView text, const FormatSettings &settings,
                                     QDate reference, double *serialOut);
[[nodiscard]] QString formatUserDate(QDate date, const FormatSettings &settings);
// Short date, a space and the long time; the time is left out at exactly midnight.
[[nodiscard]] QString formatUserDateTime(double serial, const FormatSettings &settings);

} // namespace Convert
