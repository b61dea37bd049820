#include "platform/engine/FormatSettings.h"

namespace {
FormatSettings &instance()
{
    static FormatSettings settings = FormatSettings::fromLocale(QLocale());
    return settings;
}

// The engine always shows four-digit years, whatever the locale's short format abbreviates.
QString withFullYear(QString format)
{
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}
} // namespace

FormatSettings::FormatSettings()
    : m_decimalSeparator(QLatin1Char('.'))
    , m_thousandSeparator(QLatin1Char(','))
    , m_shortDateFormat(QStringLiteral("dd/MM/yyyy"))
    , m_longDateFormat(QStringLiteral("dddd, d MMMM yyyy"))
    , m_longTimeFormat(QStringLiteral("hh:mm:ss"))
    , m_locale(QLocale::c())
{
}

FormatSettings FormatSettings::fromLocale(const QLocale &locale)
{
    FormatSettings s;
    s.m_locale = locale;
    const QString dec = locale.decimalPoint();
    const QString group = locale.groupSeparator();
    s.m_decimalSeparator = dec.isEmpty() ? QLatin1Char('.') : dec.at(0);
    s.m_thousandSeparator = group.isEmpty() ? QLatin1Char(' ') : group.at(0);
    s.m_shortDateFormat = withFullYear(locale.dateFormat(QLocale::ShortFormat));
    s.m_longDateFormat = locale.dateFormat(QLocale::LongFormat);
    s.m_longTimeFormat = QStringLiteral("hh:mm:ss");
    return s;
}

FormatSettings FormatSettings::fromProcessLocale(const QLocale &fallback)
{
    if (QLocale().language() != QLocale::C)
        return fromLocale(QLocale());
    QLocale::setDefault(fallback);
    return fromLocale(fallback);
}

FormatSettings FormatSettings::portuguese()
{
    FormatSettings s;
    s.m_locale = QLocale(QLocale::Portuguese, QLocale::Portugal);
    s.m_decimalSeparator = QLatin1Char(',');
    s.m_thousandSeparator = QLatin1Char(' ');
    s.m_shortDateFormat = QStringLiteral("dd/MM/yyyy");
    s.m_longDateFormat = s.m_locale.dateFormat(QLocale::LongFormat);
    s.m_longTimeFormat = QStringLiteral("hh:mm:ss");
    return s;
}

const FormatSettings &FormatSettings::current()
{
    return instance();
}

void FormatSettings::setCurrent(const FormatSettings &settings)
{
    instance() = settings;
}
