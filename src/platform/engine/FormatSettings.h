#pragma once

#include <QChar>
#include <QLocale>
#include <QString>

// The user's number and date conventions, as the engine and the controls use them: decimal and
// thousands separators, short date format, long time format. One process-wide instance, taken
// from the locale at start-up; tests install Portuguese (Portugal) settings explicitly.
class FormatSettings
{
public:
    FormatSettings();

    [[nodiscard]] static FormatSettings fromLocale(const QLocale &locale);
    // The process locale's settings; a process without a locale (C or POSIX) takes the fallback,
    // which then also becomes Qt's default locale, so that every window follows it.
    [[nodiscard]] static FormatSettings fromProcessLocale(const QLocale &fallback);
    // Portuguese (Portugal): ',' decimal, ' ' thousands, dd/MM/yyyy, hh:mm:ss.
    [[nodiscard]] static FormatSettings portuguese();

    [[nodiscard]] static const FormatSettings &current();
    static void setCurrent(const FormatSettings &settings);

    [[nodiscard]] QChar decimalSeparator() const { return m_decimalSeparator; }
    [[nodiscard]] QChar thousandSeparator() const { return m_thousandSeparator; }
    // Qt date-format strings ("dd/MM/yyyy", "hh:mm:ss").
    [[nodiscard]] const QString &shortDateFormat() const { return m_shortDateFormat; }
    [[nodiscard]] const QString &longDateFormat() const { return m_longDateFormat; }
    [[nodiscard]] const QString &longTimeFormat() const { return m_longTimeFormat; }
    [[nodiscard]] const QLocale &locale() const { return m_locale; }

    void setDecimalSeparator(QChar c) { m_decimalSeparator = c; }
    void setThousandSeparator(QChar c) { m_thousandSeparator = c; }
    void setShortDateFormat(const QString &f) { m_shortDateFormat = f; }
    void setLongDateFormat(const QString &f) { m_longDateFormat = f; }
    void setLongTimeFormat(const QString &f) { m_longTimeFormat = f; }

private:
    QChar m_decimalSeparator;
    QChar m_thousandSeparator;
    QString m_shortDateFormat;
    QString m_longDateFormat;
    QString m_longTimeFormat;
    QLocale m_locale;
};
