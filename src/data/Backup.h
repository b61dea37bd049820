#pragma once

#include "data/BackupRotation.h"
#include "data/DatabaseCheck.h"

#include <QDate>
#include <QList>
#include <QString>

// Backups of the practice's database: consistent copies taken while other instances may be
// writing (SQLite's online backup, one read snapshot), checked with quick_check before they are
// kept, written under a temporary name and renamed when complete, readable by their owner only.
// The automatic one runs when the application closes, at most once a day, into a folder of
// dated copies (taluvo-YYYY-MM-DD.sqlite) thinned by BackupRotation. Restoring checks the file
// before it touches anything and keeps the database it replaces.
//
// Failures throw DatabaseError with a Portuguese message that names the file or folder.
class Backup
{
public:
    // [Backup] in engine.ini: Dir= (default: "backups" inside the database's folder; a relative
    // path is taken from there), Keep=7,4,12, Enabled= (default true).
    struct Settings
    {
        QString dir;
        BackupRotation::Keep keep;
        bool enabled = true;
        QString problem; // a setting that could not be read and was replaced by its default

        [[nodiscard]] static Settings load(const QString &dataDir);
    };

    struct Copy
    {
        QString path;
        QDate date;
        qint64 size = 0;
    };

    // Copies dataDir's database into target, which must not exist yet.
    static void make(const QString &dataDir, const QString &target);
    // The dated copies in folder, newest first. Other files are never listed nor touched.
    [[nodiscard]] static QList<Copy> list(const QString &folder);
    [[nodiscard]] static QString fileName(const QDate &date);

    // The backup at close: when the newest copy is from before today, today's copy is made and
    // the folder thinned. Returns the copy made, or an empty string when none was due.
    static QString atClose(const QString &dataDir, const Settings &settings, const QDate &today);

    // Why file must not be restored (damage, not a database of this program, a newer schema),
    // or an empty string; findings gets what `db check` would list for it.
    [[nodiscard]] static QString checkForRestore(const QString &file,
                                                 QList<DatabaseCheck::Finding> *findings);
    // Puts file in place as dir's database. A database already in dir is refused unless replace,
    // and then kept beside it as taluvo.sqlite.before-restore (.2, .3, ... when that exists);
    // keptAs gets its path. Checks the file first, as checkForRestore.
    static void restore(const QString &file, const QString &dir, bool replace, QString *keptAs);
};
