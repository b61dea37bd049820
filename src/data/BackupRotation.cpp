#include "data/BackupRotation.h"

#include <QStringList>

#include <algorithm>

std::optional<BackupRotation::Keep> BackupRotation::Keep::parse(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 3)
        return std::nullopt;
    int values[3];
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        values[i] = parts.at(i).trimmed().toInt(&ok);
        if (!ok || values[i] < 0 || values[i] > 1000)
            return std::nullopt;
    }
    return Keep { values[0], values[1], values[2] };
}

QList<QDate> BackupRotation::kept(QList<QDate> dates, const Keep &keep)
{
    std::sort(dates.begin(), dates.end(), std::greater<QDate>());
    dates.erase(std::unique(dates.begin(), dates.end()), dates.end());

    struct Rule
    {
        int left;
        qint64 (*bucket)(const QDate &);
        qint64 last = -1;
    };
    Rule rules[] = {
        { keep.daily, [](const QDate &d) { return d.toJulianDay(); } },
        // Weeks from Monday: the Julian day of the week's Monday identifies it.
        { keep.weekly, [](const QDate &d) { return d.toJulianDay() - (d.dayOfWeek() - 1); } },
        { keep.monthly, [](const QDate &d) { return qint64(d.year()) * 12 + d.month(); } },
    };
    QList<QDate> result;
    for (const QDate &date : dates) {
        bool keepIt = false;
        for (Rule &rule : rules) {
            const qint64 bucket = rule.bucket(date);
            if (rule.left > 0 && bucket != rule.last) {
                rule.last = bucket;
                --rule.left;
                keepIt = true;
            }
        }
        if (keepIt)
            result.append(date);
    }
    return result;
}
