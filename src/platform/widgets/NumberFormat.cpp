#include "platform/widgets/NumberFormat.h"

#include "platform/engine/Convert.h"

#include <QVarLengthArray>

#include <charconv>
#include <cmath>

namespace {

bool isQuote(QChar c)
{
    return c == u'\'' || c == u'"';
}

// Index just past the literal that starts with the quote at s[i].
qsizetype skipQuoted(QStringView s, qsizetype i)
{
    const QChar quote = s[i];
    ++i;
    while (i < s.size() && s[i] != quote)
        ++i;
    return i < s.size() ? i + 1 : i;
}

QVarLengthArray<QStringView, 3> splitSections(QStringView pattern)
{
    QVarLengthArray<QStringView, 3> sections;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < pattern.size()) {
        if (isQuote(pattern[i])) {
            i = skipQuoted(pattern, i);
        } else if (pattern[i] == u';') {
            sections.append(pattern.mid(start, i - start));
            start = ++i;
            if (sections.size() == 2)
                break;
        } else {
            ++i;
        }
    }
    // A third section runs to the end: later semicolons are its literal text.
    sections.append(pattern.mid(start));
    return sections;
}

struct Layout
{
    int intPlaces = 0;
    int minIntDigits = 0; // placeholders from the first integer '0' to the point
    int fracPlaces = 0;
    int minFracDigits = 0; // up to the last fraction '0'
    bool grouping = false;
};

Layout analyse(QStringView section)
{
    Layout layout;
    bool inFraction = false;
    int firstIntZero = -1;
    qsizetype i = 0;
    while (i < section.size()) {
        const QChar c = section[i];
        if (isQuote(c)) {
            i = skipQuoted(section, i);
            continue;
        }
        if (c == u'0' || c == u'#') {
            if (!inFraction) {
                if (c == u'0' && firstIntZero < 0)
                    firstIntZero = layout.intPlaces;
                ++layout.intPlaces;
            } else {
                ++layout.fracPlaces;
                if (c == u'0')
                    layout.minFracDigits = layout.fracPlaces;
            }
        } else if (c == u'.') {
            inFraction = true;
        } else if (c == u',' && !inFraction) {
            layout.grouping = true;
        }
        ++i;
    }
    layout.minIntDigits = firstIntZero < 0 ? 0 : layout.intPlaces - firstIntZero;
    return layout;
}

// A non-negative value rounded to a number of decimals: significant digits without trailing
// zeros, and the position of the decimal point among them (may be negative or past the end).
struct Decimal
{
    char digits[16] = {};
    int count = 0; // 0 means zero
    int pointPos = 0;
};

// Rounds on the value's 15-significant-digit decimal form rather than on value * 10^n, so that
// 2.005 (stored as 2.00499999...) rounds to 2.01 as the user reads it.
Decimal roundDecimal(double magnitude, int decimals)
{
    Decimal d;
    if (magnitude == 0)
        return d;
    char buf[40];
    const auto res
        = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, 14);
    char digits[15];
    digits[0] = buf[0];
    for (int i = 1; i < 15; ++i)
        digits[i] = buf[i + 1];
    const char *p = buf + 17; // past "d.dddddddddddddde"
    const bool negativeExponent = *p++ == '-';
    int exponent = 0;
    for (; p < res.ptr; ++p)
        exponent = exponent * 10 + (*p - '0');
    if (negativeExponent)
        exponent = -exponent;

    d.pointPos = exponent + 1;
    const int keep = d.pointPos + decimals;
    if (keep < 0)
        return d;
    if (keep >= 15) {
        std::copy(digits, digits + 15, d.digits);
        d.count = 15;
    } else {
        std::copy(digits, digits + keep, d.digits);
        d.count = keep;
        if (digits[keep] >= '5') {
            int i = keep - 1;
            while (i >= 0 && d.digits[i] == '9')
                d.digits[i--] = '0';
            if (i >= 0) {
                ++d.digits[i];
            } else {
                // 9.96 -> 10.0, or 0.05 -> 0.1 when no digit was kept
                d.digits[0] = '1';
                d.count = 1;
                ++d.pointPos;
            }
        }
    }
    while (d.count > 0 && d.digits[d.count - 1] == '0')
        --d.count;
    return d;
}

QString formatSection(QStringView section, const Layout &layout, const Decimal &d, bool minus,
                      const FormatSettings &settings)
{
    QString intDigits;
    if (d.count > 0 && d.pointPos > 0) {
        intDigits.reserve(d.pointPos);
        for (int i = 0; i < d.pointPos; ++i)
            intDigits += QLatin1Char(i < d.count ? d.digits[i] : '0');
    }
    if (intDigits.size() < layout.minIntDigits)
        intDigits.prepend(QString(layout.minIntDigits - intDigits.size(), u'0'));

    const int fracSignificant = d.count > 0 ? qMax(0, d.count - d.pointPos) : 0;
    const int fracToPrint = qMax(layout.minFracDigits, qMin(fracSignificant, layout.fracPlaces));
    auto fracDigit = [&d](int k) {
        const int idx = d.pointPos + k;
        return QLatin1Char(idx >= 0 && idx < d.count ? d.digits[idx] : '0');
    };

    QString out;
    out.reserve(section.size() + intDigits.size() + intDigits.size() / 3 + 2);
    const qsizetype intLength = intDigits.size();
    bool signPending = minus;
    auto putSign = [&] {
        if (signPending) {
            out += u'-';
            signPending = false;
        }
    };
    auto putInt = [&](qsizetype from, qsizetype to) {
        for (qsizetype i = qMax<qsizetype>(from, 0); i <= to; ++i) {
            out += intDigits[i];
            if (layout.grouping && i < intLength - 1 && (intLength - 1 - i) % 3 == 0)
                out += settings.thousandSeparator();
        }
    };

    bool inFraction = false;
    int intPlace = 0;
    int fracPlace = 0;
    qsizetype i = 0;
    while (i < section.size()) {
        const QChar c = section[i];
        if (isQuote(c)) {
            const qsizetype end = skipQuoted(section, i);
            const qsizetype closing = end > i + 1 && section[end - 1] == c ? end - 1 : end;
            out += section.mid(i + 1, closing - i - 1);
            i = end;
            continue;
        }
        if (c == u'0' || c == u'#') {
            putSign();
            if (!inFraction) {
                // Placeholders take the integer digits from the right; the first one also takes
                // every digit the pattern has no place for.
                const qsizetype j = intLength - layout.intPlaces + intPlace;
                if (intPlace == 0)
                    putInt(0, j);
                else if (j >= 0)
                    putInt(j, j);
                ++intPlace;
            } else {
                if (fracPlace < fracToPrint)
                    out += fracDigit(fracPlace);
                ++fracPlace;
            }
        } else if (c == u'.') {
            if (!inFraction) {
                inFraction = true;
                putSign();
                if (layout.intPlaces == 0)
                    putInt(0, intLength - 1);
                if (fracToPrint > 0)
                    out += settings.decimalSeparator();
            }
        } else if (c != u',') {
            out += c;
        }
        ++i;
    }
    return out;
}

} // namespace

QString formatFloat(const QString &pattern, double value, const FormatSettings &settings)
{
    if (!std::isfinite(value))
        return Convert::formatFloatGeneral(value, settings.decimalSeparator());
    const QVarLengthArray<QStringView, 3> sections = splitSections(pattern);
    if (sections[0].isEmpty())
        return Convert::formatFloatGeneral(value, settings.decimalSeparator());

    const bool hasNegative = sections.size() > 1 && !sections[1].isEmpty();
    const bool hasZero = sections.size() > 2 && !sections[2].isEmpty();
    int index = 0;
    if (value < 0 && hasNegative)
        index = 1;
    else if (value == 0 && hasZero)
        index = 2;

    Layout layout = analyse(sections[index]);
    Decimal d = roundDecimal(std::fabs(value), layout.fracPlaces);
    if (d.count == 0 && hasZero && index != 2) {
        index = 2;
        layout = analyse(sections[index]);
        d = Decimal();
    }
    // The negative section carries its own marks; a value that rounds to zero has no sign.
    const bool minus = value < 0 && index == 0 && d.count > 0;
    return formatSection(sections[index], layout, d, minus, settings);
}
