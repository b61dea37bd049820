#include "platform/widgets/NumberFormat.h"

#include "support/TestSupport.h"

#include <QTest>

#include <limits>
#include <memory>

class tst_NumberFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void patterns_data();
    void patterns();
    void scoreIndexForEverySum();
    void otherSeparators();

private:
    std::unique_ptr<TestEnvironment> m_env;
};

void tst_NumberFormat::patterns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *pattern, double value, const char *expected) {
        QTest::addRow("%s %.17g", pattern, value)
            << QString::fromUtf8(pattern) << value << QString::fromUtf8(expected);
    };
    // Wall-motion score index: the sum of the 16 scores divided by 16.
    const char *score = "###.#";
    row(score, 16 / 16.0, "1");
    row(score, 17 / 16.0, "1,1");
    row(score, 18 / 16.0, "1,1");
    row(score, 20 / 16.0, "1,3");
    row(score, 8 / 16.0, ",5");
    row(score, 80 / 16.0, "5");
    row(score, 0.0, "");
    row(score, 0.04, "");
    row(score, 9.96, "10");
    row(score, 12345.67, "12345,7");
    row(score, -1.25, "-1,3");
    row(score, -0.04, "");
    // Statistics figures.
    const char *stat = "###,###,##0.00";
    row(stat, 0.0, "0,00");
    row(stat, 1234567.891, "1 234 567,89");
    row(stat, 2.005, "2,01");
    row(stat, 12.5, "12,50");
    row(stat, -3.0, "-3,00");
    row(stat, 2.0 / 3, "0,67");
    row(stat, 999.995, "1 000,00");
    row(stat, 1234567890123.0, "1 234 567 890 123,00");
    row(stat, -1234.5, "-1 234,50");
    row(stat, -0.004, "0,00");
    row(stat, 1e20, "100 000 000 000 000 000 000,00");
    row(stat, std::numeric_limits<double>::infinity(), "INF");
    row(stat, std::numeric_limits<double>::quiet_NaN(), "NAN");
    // Half away from zero, on the decimal digits rather than the binary value.
    row("0.0", 1.25, "1,3");
    row("0.0", 0.05, "0,1");
    row("0.0", 1.45, "1,5");
    row("0.00", 1.005, "1,01");
    row("0.00", 99.999, "100,00");
    row("0", -2.5, "-3");
    row("0", 0.49999, "0");
    // Placeholders.
    row("000", 7.0, "007");
    row("#0.##", 0.5, "0,5");
    row("0.0#", 1.5, "1,5");
    row("0.0#", 1.234, "1,23");
    row("0.##", 3.0, "3");
    row(".00", 12.5, "12,50");
    row(".00", 0.5, ",50");
    row("#", 0.0, "");
    row("#,##0", 1234567.0, "1 234 567");
    row("#,##0", 12.0, "12");
    row("0,000", 5.0, "0 005");
    row("0.0,0", 1.5, "1,50");
    row("0.000000000000000000", 0.1, "0,100000000000000000");
    // Literals and sections.
    row("'Total: '0.0", 2.5, "Total: 2,5");
    row("0.0\" mm\"", 2.5, "2,5 mm");
    row("'#0.'0", 3.0, "#0.3");
    row("0.0 cm", 2.5, "2,5 cm");
    row("'x'0", -4.0, "x-4");
    row("0.0;(0.0)", -2.5, "(2,5)");
    row("0.0;(0.0)", 2.5, "2,5");
    row("0.0;-0.0;'zero'", 0.0, "zero");
    row("0.0;-0.0;'zero'", 0.04, "zero");
    row("0.0;(0.0);'zero'", -0.04, "zero");
    row("0.0;;'zero'", -2.5, "-2,5");
    row("'a;b'0", 1.0, "a;b1");
    row("", 1.0 / 3, "0,333333333333333");
}

void tst_NumberFormat::patterns()
{
    QFETCH(QString, pattern);
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(formatFloat(pattern, value), expected);
}

void tst_NumberFormat::scoreIndexForEverySum()
{
    // Every sum of 16 scores of 0 to 5, against integer arithmetic: tenths rounded half up.
    for (int sum = 0; sum <= 80; ++sum) {
        const int tenths = (sum * 10 + 8) / 16;
        QString expected;
        if (tenths / 10 != 0)
            expected += QString::number(tenths / 10);
        if (tenths % 10 != 0)
            expected += u',' + QString::number(tenths % 10);
        QCOMPARE(formatFloat(QStringLiteral("###.#"), sum / 16.0), expected);
    }
}

void tst_NumberFormat::otherSeparators()
{
    FormatSettings english;
    english.setDecimalSeparator(u'.');
    english.setThousandSeparator(u',');
    QCOMPARE(formatFloat(QStringLiteral("###,###,##0.00"), 1234567.891, english),
             QStringLiteral("1,234,567.89"));
    QCOMPARE(formatFloat(QStringLiteral("###.#"), 0.5, english), QStringLiteral(".5"));
    // Without explicit settings, the installed ones apply.
    FormatSettings::setCurrent(english);
    QCOMPARE(formatFloat(QStringLiteral("0.0"), 1.25), QStringLiteral("1.3"));
}

QTEST_MAIN(tst_NumberFormat)
#include "tst_NumberFormat.moc"
