#pragma once

#include <QStringList>

class QTextStream;

// "taluvo db backup [--data DIR] [--to FILE] [--list]": a checked copy of the database of DIR (by
// default the alias's folder) into FILE or, by default, today's copy in the backup folder
// (engine.ini [Backup] Dir=); --list shows the copies kept there, newest first.
// "taluvo db restore FILE DIR [--replace]": FILE checked and put in place as DIR's database; a
// database already there is refused, or with --replace kept as taluvo.sqlite.before-restore.
// Record-rule findings of FILE are shown, not refused. Messages on err, results on out.
class BackupCommand
{
public:
    BackupCommand(QTextStream &out, QTextStream &err);

    [[nodiscard]] int backup(const QStringList &args); // what follows "backup"
    [[nodiscard]] int restore(const QStringList &args); // what follows "restore"
    [[nodiscard]] static QString backupUsage();
    [[nodiscard]] static QString restoreUsage();

private:
    QTextStream &m_out;
    QTextStream &m_err;
};
