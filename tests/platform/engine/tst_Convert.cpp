#include "platform/engine/Convert.h"
#include "platform/engine/FormatSettings.h"
#include "platform/widgets/Clock.h"

#include "support/TestSupport.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <limits>
#include <memory>

using namespace Convert;
using namespace Qt::StringLiterals;

class tst_Convert : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void formatGeneral_data();
    void formatGeneral();
    void generalRoundTrip();
    void parseNumber_data();
    void parseNumber();
    void integerLimits();

    void serialOfDate();
    void serialRoundTripToTheMillisecond();
    void serialRounding();
    void serialOutOfRange();
    void storageParse_data();
    void storageParse();

    void userDate_data();
    void userDate();
    void userDateFollowsClock();
    void userDateTime_data();
    void userDateTime();
    void userFormats();
    void processWithoutLocale();
    void userDateWrittenAsQtWrites_data();
    void userDateWrittenAsQtWrites();

private:
    std::unique_ptr<TestEnvironment> m_env;
};

namespace {
constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

double serialOf(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return dateTimeToSerial(QDate(y, mo, d), QTime(h, mi, s, ms));
}

FormatSettings withDateFormat(const QString &format)
{
    FormatSettings s = FormatSettings::portuguese();
    s.setShortDateFormat(format);
    return s;
}
} // namespace

void tst_Convert::formatGeneral_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *expected, double value) {
        QTest::newRow(expected) << value << QString::fromLatin1(expected);
    };
    row("0", 0.0);
    row("3,5", 3.5);
    row("0,333333333333333", 1.0 / 3);
    row("0,3", 0.1 + 0.2);
    row("100", 100.0);
    row("-0,5", -0.5);
    row("1,23456789012346E17", 123456789012345678.0);
    row("999999999999999", 999999999999999.0); // 15 digits stay fixed
    row("1E15", 999999999999999.9); // rounding moves it to 16 digits
    row("1E20", 1e20);
    row("-2,5E30", -2.5e30);
    row("0,00001", 0.00001);
    row("9,9E-6", 0.0000099);
    row("1,5E-7", 1.5e-7);
    row("4,94065645841247E-324", 5e-324);
    row("1,79769313486232E308", std::numeric_limits<double>::max());
    row("INF", Inf);
    row("-INF", -Inf);
    row("NAN", NaN);
    QTest::newRow("negative zero") << -0.0 << "0";
}

void tst_Convert::formatGeneral()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(formatFloatGeneral(value, u','), expected);
    QCOMPARE(formatFloatGeneral(value, u'.'), QString(expected).replace(u',', u'.'));
}

void tst_Convert::generalRoundTrip()
{
    // A value of at most 15 significant digits reads back from its text unchanged, and the text
    // has no trailing zero decimal.
    QRandomGenerator rng(20240615);
    for (int i = 0; i < 20000; ++i) {
        QString source = rng.bounded(2) ? QStringLiteral("-") : QString();
        source += QChar(u'0' + rng.bounded(1, 10));
        source += u',';
        for (int d = rng.bounded(15); d > 0; --d)
            source += QChar(u'0' + rng.bounded(10));
        source += u'E' + QString::number(rng.bounded(-40, 40));
        double value = 0;
        QVERIFY2(parseFloat(source, u',', &value), qPrintable(source));
        const QString text = formatFloatGeneral(value, u',');
        double back = 0;
        QVERIFY2(parseFloat(text, u',', &back) && back == value, qPrintable(source + u' ' + text));
        const QString fixedPart = text.section(u'E', 0, 0);
        QVERIFY2(!fixedPart.contains(u',') || !fixedPart.endsWith(u'0'), qPrintable(text));
    }
}

void tst_Convert::parseNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<bool>("isFloat");
    QTest::addColumn<bool>("isInteger");
    QTest::addColumn<double>("expected");
    const auto row = [](const char *text, bool isFloat, bool isInteger, double expected,
                        QChar separator = u',') {
        QTest::newRow(text) << QString::fromLatin1(text) << separator << isFloat << isInteger
                            << expected;
    };
    row("42", true, true, 42);
    row("  -3,5 ", true, false, -3.5);
    row(" -12 ", true, true, -12);
    row("+0,25", true, false, 0.25);
    row("+007", true, true, 7);
    row(",5", true, false, 0.5);
    row("5,", true, false, 5);
    row("1,5E3", true, false, 1500);
    row("25e-1", true, false, 2.5);
    row("2E+2", true, false, 200);
    row("0,1000000000000000055511151231257827", true, false, 0.1);
    row("1E-400", true, false, 0); // underflow is zero
    row("3.5", true, false, 3.5, u'.');
    row("3.5", false, false, 0); // a point is no separator under ','
    row("1,2,3", false, false, 0);
    row("1 234", false, false, 0);
    row("", false, false, 0);
    row("   ", false, false, 0);
    row("-", false, false, 0);
    row(",", false, false, 0);
    row("1E", false, false, 0);
    row("E5", false, false, 0);
    row("--1", false, false, 0);
    row("12a", false, false, 0);
    row("1E400", false, false, 0);
    row("inf", false, false, 0);
    row("0x10", false, false, 0);
}

void tst_Convert::parseNumber()
{
    QFETCH(QString, text);
    QFETCH(QChar, separator);
    QFETCH(bool, isFloat);
    QFETCH(bool, isInteger);
    QFETCH(double, expected);
    double value = -999;
    QCOMPARE(parseFloat(text, separator, &value), isFloat);
    QCOMPARE(value, isFloat ? expected : -999.0);
    qint64 integer = -999;
    QCOMPARE(parseInteger(text, &integer), isInteger);
    QCOMPARE(integer, isInteger ? qint64(expected) : qint64(-999));
}

void tst_Convert::integerLimits()
{
    qint64 v = 0;
    QVERIFY(parseInteger(u"9223372036854775807", &v));
    QCOMPARE(v, std::numeric_limits<qint64>::max());
    QVERIFY(parseInteger(u"-9223372036854775808", &v));
    QCOMPARE(v, std::numeric_limits<qint64>::min());
    QVERIFY(!parseInteger(u"9223372036854775808", &v));
    QVERIFY(!parseInteger(u"-9223372036854775809", &v));
    QVERIFY(!parseInteger(u"123456789012345678901234", &v));
    QCOMPARE(v, std::numeric_limits<qint64>::min());
}

void tst_Convert::serialOfDate()
{
    const QList<QPair<QDate, double>> rows = {
        { QDate(1899, 12, 30), 0 },    { QDate(1900, 1, 1), 2 },
        { QDate(1900, 3, 1), 61 },     { QDate(2000, 1, 1), 36526 },
        { QDate(2024, 6, 15), 45458 }, { QDate(2024, 2, 29), 45351 },
        { QDate(1, 1, 1), -693593 },   { QDate(9999, 12, 31), 2958465 },
        { QDate(1899, 12, 28), -2 },
    };
    for (const auto &[date, serial] : rows) {
        QCOMPARE(dateToSerial(date), serial);
        QCOMPARE(serialToDate(serial), date);
        QCOMPARE(serialToDate(dateTimeToSerial(date, QTime(18, 0))), date);
    }
    // Before day 0 the integer part is the day and the absolute fraction the time of day.
    QCOMPARE(dateTimeToSerial(QDate(1899, 12, 29), QTime(6, 0)), -1.25);
    QCOMPARE(serialToDateTime(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
    QCOMPARE(serialToDateTime(-0.5), QDateTime(QDate(1899, 12, 30), QTime(12, 0)));
    QCOMPARE(serialToStorage(-1.75), QStringLiteral("1899-12-29 18:00:00.000"));
    QCOMPARE(serialToStorage(serialOf(1, 1, 1, 1, 2, 3, 4)),
             QStringLiteral("0001-01-01 01:02:03.004"));
    QCOMPARE(dateToStorage(QDate(2024, 6, 5)), QStringLiteral("2024-06-05"));
}

void tst_Convert::serialRoundTripToTheMillisecond()
{
    QRandomGenerator rng(42);
    const QDate dates[] = { QDate(1899, 12, 30), QDate(1955, 3, 9), QDate(2024, 6, 15),
                            QDate(9999, 12, 31), QDate(1850, 7, 1) };
    for (const QDate &date : dates) {
        for (int i = 0; i < 5000; ++i) {
            const int ms = i == 0 ? 0 : i == 1 ? 86399999 : int(rng.bounded(86400000));
            const QTime time = QTime::fromMSecsSinceStartOfDay(ms);
            const double serial = dateTimeToSerial(date, time);
            QCOMPARE(serialToDateTime(serial), QDateTime(date, time));
            QVERIFY(dateTimeToSerial(QDateTime(date, time)) == serial);
            const QString stored = serialToStorage(serial);
            QCOMPARE(stored, date.toString(u"yyyy-MM-dd") + u' ' + time.toString(u"HH:mm:ss.zzz"));
            double parsed = 0;
            QVERIFY2(parseStorageTimestamp(stored, &parsed) && parsed == serial,
                     qPrintable(stored));
        }
    }
}

void tst_Convert::serialRounding()
{
    const double day = dateToSerial(QDate(2024, 6, 15));
    // 23:59:59.9996 is nearer the next midnight than 23:59:59.999.
    const double late = day + 86399999.6 / 86400000.0;
    QCOMPARE(serialToDateTime(late), QDateTime(QDate(2024, 6, 16), QTime(0, 0)));
    QCOMPARE(serialToStorage(late), QStringLiteral("2024-06-16 00:00:00.000"));
    QCOMPARE(serialToTime(day + 86399999.4 / 86400000.0), QTime(23, 59, 59, 999));
    // A hair off a millisecond, as arithmetic leaves a value, is that millisecond.
    const double noon = serialOf(2024, 6, 15, 12);
    QCOMPARE(serialToTime(noon + 1e-12), QTime(12, 0));
    QCOMPARE(serialToTime(noon - 1e-12), QTime(12, 0));
    QCOMPARE(noon - serialOf(2024, 6, 14, 12), 1.0);
}

void tst_Convert::serialOutOfRange()
{
    for (const double serial : { NaN, Inf, -Inf, 2958466.0, -693594.0, 1e300 }) {
        QVERIFY(!serialToDate(serial).isValid());
        QVERIFY(!serialToDateTime(serial).isValid());
        QVERIFY(serialToStorage(serial).isEmpty());
        QVERIFY(formatUserDateTime(serial, FormatSettings::current()).isEmpty());
    }
    QCOMPARE(dateToSerial(QDate()), 0.0);
    QVERIFY(dateToStorage(QDate()).isEmpty());
    QCOMPARE(dateTimeToSerial(QDate(2024, 6, 15), QTime()), 45458.0);
}

void tst_Convert::storageParse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("serial"); // NaN: refused
    const auto row = [](const char *text, double serial) {
        QTest::newRow(text) << QString::fromLatin1(text) << serial;
    };
    row("2024-06-15", serialOf(2024, 6, 15));
    row("2024-06-15 10:30", serialOf(2024, 6, 15, 10, 30));
    row("2024-06-15 10:30:05", serialOf(2024, 6, 15, 10, 30, 5));
    row("2024-06-15 10:30:05.123", serialOf(2024, 6, 15, 10, 30, 5, 123));
    row("2024-06-15 10:30:05.1", serialOf(2024, 6, 15, 10, 30, 5, 100));
    row("2024-06-15 10:30:05.123600", serialOf(2024, 6, 15, 10, 30, 5, 124));
    row("2024-06-15 23:59:59.9996", serialOf(2024, 6, 16));
    row("2024-06-15T10:30:05.123", serialOf(2024, 6, 15, 10, 30, 5, 123));
    row("2024-02-29", serialOf(2024, 2, 29));
    for (const char *bad :
         { "2023-02-29", "2024-13-01", "2024-06-15 24:00", "2024-06-15 10:60",
           "2024-06-15 10:30:60", "24-06-15", "2024-6-15", "2024/06/15", "2024-06-15 10",
           "2024-06-15 10:30:05.", "2024-06-15 10:30:05.1Z", "2024-06-15 ", "15/06/2024", "" })
        row(bad, NaN);
}

void tst_Convert::storageParse()
{
    QFETCH(QString, text);
    QFETCH(double, serial);
    const bool ok = !std::isnan(serial);
    double value = -1;
    QCOMPARE(parseStorageTimestamp(text, &value), ok);
    QCOMPARE(value, ok ? serial : -1.0);
    QDate date(1999, 1, 1);
    QCOMPARE(parseStorageDate(text, &date), ok);
    QCOMPARE(date, ok ? QDate::fromString(text.left(10), Qt::ISODate) : QDate(1999, 1, 1));
}

void tst_Convert::userDate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("referenceYear"); // the reference day is 15 June of that year
    QTest::addColumn<QDate>("expected"); // invalid: refused
    const auto row
        = [](const char *text, QDate expected, int ref = 2024, const char *format = "dd/MM/yyyy") {
              QTest::addRow("%s %s %d", text, format, ref)
                  << QString::fromLatin1(text) << QString::fromLatin1(format) << ref << expected;
          };
    row("15/06/2024", QDate(2024, 6, 15));
    row("1/2/2024", QDate(2024, 2, 1));
    row("15.06/2024", QDate(2024, 6, 15));
    row(" 15/06/2024 ", QDate(2024, 6, 15));
    row("15/06", QDate(2024, 6, 15));
    row("29/02", QDate(2028, 2, 29), 2028);
    row("29/02", QDate(), 2023);
    // Short years: the day after 15/06/1944 up to 15/06/2044.
    row("15/06/24", QDate(2024, 6, 15));
    row("14/03/58", QDate(1958, 3, 14));
    row("1/1/74", QDate(1974, 1, 1));
    row("15/06/44", QDate(2044, 6, 15));
    row("16/06/44", QDate(1944, 6, 16));
    row("29/02/00", QDate(2000, 2, 29));
    row("1/1/5", QDate(2005, 1, 1));
    row("1/1/99", QDate(1999, 1, 1), 2060);
    row("1/1/80", QDate(2080, 1, 1), 2060);
    row("1/1/45", QDate(1945, 1, 1), 1990);
    row("1/1/1930", QDate(1930, 1, 1));
    for (const char *bad : { "31/02/2024", "31/04/2024", "01/13/2024", "0/1/2024", "1/1/202",
                             "1/1/20244", "015/1/2024", "15", "1/1/2024/1", "15/06/", "15//2024",
                             "15/jun/2024", "15/06/2024 10:00", "15|06|2024", "" })
        row(bad, QDate());
    row("6/15/2024", QDate(2024, 6, 15), 2024, "M/d/yyyy");
    row("6/15", QDate(2024, 6, 15), 2024, "M/d/yyyy");
    row("15/6/2024", QDate(), 2024, "M/d/yyyy");
    row("2024-6-15", QDate(2024, 6, 15), 2024, "yyyy-MM-dd");
    row("6-15", QDate(2024, 6, 15), 2024, "yyyy-MM-dd");
    row("15|06|2024", QDate(2024, 6, 15), 2024, "dd|MM|yyyy");
}

void tst_Convert::userDate()
{
    QFETCH(QString, text);
    QFETCH(QString, format);
    QFETCH(int, referenceYear);
    QFETCH(QDate, expected);
    QDate date(1999, 1, 1);
    QCOMPARE(parseUserDate(text, withDateFormat(format), QDate(referenceYear, 6, 15), &date),
             expected.isValid());
    QCOMPARE(date, expected.isValid() ? expected : QDate(1999, 1, 1));
}

void tst_Convert::userDateFollowsClock()
{
    const FormatSettings &settings = FormatSettings::current();
    QDate date;
    QVERIFY(parseUserDate(u"15/03", settings, &date));
    QCOMPARE(date, QDate(2024, 3, 15));

    m_env->clock().setNow(QDateTime(QDate(2031, 1, 2), QTime(8, 0)));
    double serial = 0;
    QVERIFY(parseUserDateTime(u"15/03 9:00", settings, &serial));
    QCOMPARE(serial, serialOf(2031, 3, 15, 9));
    QVERIFY(parseUserDate(u"1/1/51", settings, &date));
    QCOMPARE(date, QDate(2051, 1, 1));
    QVERIFY(parseUserDate(u"3/1/51", settings, &date));
    QCOMPARE(date, QDate(1951, 1, 3));

    Clock::reset();
    QVERIFY(parseUserDate(u"15/03", settings, &date));
    QCOMPARE(date.year(), QDate::currentDate().year());
}

void tst_Convert::userDateTime_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("serial"); // NaN: refused
    const auto row = [](const char *text, double serial) {
        QTest::newRow(text) << QString::fromLatin1(text) << serial;
    };
    row("15/06/2024", serialOf(2024, 6, 15));
    row("15/06/2024 9:05", serialOf(2024, 6, 15, 9, 5));
    row("15/06/2024 10:30:45", serialOf(2024, 6, 15, 10, 30, 45));
    row("15/06/2024 10:30:45.123", serialOf(2024, 6, 15, 10, 30, 45, 123));
    row("15/06/2024 10:30:45,5", serialOf(2024, 6, 15, 10, 30, 45, 500));
    row("  15/06/24   10:30  ", serialOf(2024, 6, 15, 10, 30));
    row("10:30", serialOf(1899, 12, 30, 10, 30));
    row("23:59:59.999", 86399999 / 86400000.0);
    for (const char *bad :
         { "15/06/2024 24:00", "15/06/2024 10:60", "15/06/2024 10", "15/06/2024 10:30:45.1234",
           "15/06/2024 10:30 PM", "31/02/2024 10:30", "25:00", "" })
        row(bad, NaN);
}

void tst_Convert::userDateTime()
{
    QFETCH(QString, text);
    QFETCH(double, serial);
    const bool ok = !std::isnan(serial);
    double value = -1;
    QCOMPARE(parseUserDateTime(text, FormatSettings::portuguese(), QDate(2024, 6, 15), &value), ok);
    QCOMPARE(value, ok ? serial : -1.0);
}

void tst_Convert::userFormats()
{
    const FormatSettings pt = FormatSettings::portuguese();
    QCOMPARE(formatUserDate(QDate(2024, 6, 5), pt), QStringLiteral("05/06/2024"));
    QCOMPARE(formatUserDate(QDate(2024, 6, 5), withDateFormat(u"M/d/yyyy"_s)), u"6/5/2024"_s);
    QCOMPARE(formatUserDateTime(serialOf(2024, 6, 5), pt), QStringLiteral("05/06/2024"));
    QCOMPARE(formatUserDateTime(serialOf(2024, 6, 5, 9, 7, 3), pt), u"05/06/2024 09:07:03"_s);
    // One millisecond past midnight is not midnight, though the long time hides it.
    QCOMPARE(formatUserDateTime(serialOf(2024, 6, 5, 0, 0, 0, 1), pt), u"05/06/2024 00:00:00"_s);

    // What the controls show reads back as the same value.
    const double serial = serialOf(1987, 11, 30, 17, 45, 12);
    double back = 0;
    QVERIFY(parseUserDateTime(formatUserDateTime(serial, pt), pt, QDate(2024, 6, 15), &back));
    QCOMPARE(back, serial);
}

// A machine with no locale set shows the interface's Portuguese formats; any other follows its own.
void tst_Convert::processWithoutLocale()
{
    const QLocale pt(QLocale::Portuguese, QLocale::Portugal);
    QLocale::setDefault(QLocale::c());
    const FormatSettings unset = FormatSettings::fromProcessLocale(pt);
    QCOMPARE(formatUserDate(QDate(1962, 2, 12), unset), u"12/02/1962"_s);
    QCOMPARE(unset.decimalSeparator(), u',');
    QCOMPARE(QLocale().language(), QLocale::Portuguese);

    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const FormatSettings american = FormatSettings::fromProcessLocale(pt);
    QCOMPARE(formatUserDate(QDate(1962, 2, 12), american), u"2/12/1962"_s);
    QCOMPARE(QLocale().language(), QLocale::English);
}

// Formats of numbers are written without QDate::toString; the text is the same.
void tst_Convert::userDateWrittenAsQtWrites_data()
{
    QTest::addColumn<QString>("format");
    for (const char *format : { "dd/MM/yyyy", "d.M.yy", "yyyy-MM-dd", "M/d/yyyy", "dd MMM yyyy",
                                "d 'de' MMMM 'de' yyyy", "ddd dd/MM/yyyy", "yyyy年M月d日" })
        QTest::newRow(format) << QString::fromUtf8(format);
}

void tst_Convert::userDateWrittenAsQtWrites()
{
    QFETCH(QString, format);
    const FormatSettings settings = withDateFormat(format);
    for (const QDate &date : { QDate(2024, 6, 5), QDate(1936, 9, 3), QDate(2000, 12, 31),
                               QDate(9, 1, 10), QDate(9999, 10, 1) })
        QCOMPARE(formatUserDate(date, settings), date.toString(format));
}

QTEST_GUILESS_MAIN(tst_Convert)
#include "tst_Convert.moc"
