#pragma once

#include "data/DatabaseCheck.h"
#include "data/ServerBackup.h"

#include <QStringList>

class QTextStream;

// "taluvo db backup [--data DIR] [--to FILE] [--list]": a checked copy of the database of DIR (by
// default the alias's folder) into FILE or, by default, today's copy in the backup folder
// (engine.ini [Backup] Dir=); --list shows the copies kept there, newest first.
// "taluvo db restore FILE DIR [--replace]": FILE checked and put in place as DIR's database; a
// database already there is refused, or with --replace kept as taluvo.sqlite.before-restore.
// Record-rule findings of FILE are shown, not refused. Messages on err, results on out.
// A postgresql:// location instead of DIR goes through the server's pg_dump and pg_restore.
class BackupCommand
{
public:
    BackupCommand(QTextStream &out, QTextStream &err);

    [[nodiscard]] int backup(const QStringList &args); // what follows "backup"
    [[nodiscard]] int restore(const QStringList &args); // what follows "restore"
    [[nodiscard]] static QString backupUsage();
    [[nodiscard]] static QString restoreUsage();

    // What a copy restored on a server must pass before it replaces the practice's database.
    void setServerCheck(ServerBackup::RestoreCheck check) { m_serverCheck = std::move(check); }

private:
    int serverBackup(const QString &location, QString target, bool list);
    int serverRestore(const QString &file, const QString &location, bool replace);
    void printFindings(const QList<DatabaseCheck::Finding> &findings);

    QTextStream &m_out;
    QTextStream &m_err;
    ServerBackup::RestoreCheck m_serverCheck;
};
