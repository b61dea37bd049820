#pragma once

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

// Which automatic backups to keep: counting back from the newest, the newest backup of each of
// the last `daily` days, of each of the last `weekly` weeks (Monday to Sunday) and of each of the
// last `monthly` months that have one. A backup kept by any of the three rules stays.
class BackupRotation
{
public:
    struct Keep
    {
        int daily = 7;
        int weekly = 4;
        int monthly = 12;
        // "7,4,12"; nothing for text that is not three counts from 0 to 1000.
        [[nodiscard]] static std::optional<Keep> parse(const QString &text);
    };

    // The dates of dates to keep, newest first. Repeated dates count once.
    [[nodiscard]] static QList<QDate> kept(QList<QDate> dates, const Keep &keep);
};
