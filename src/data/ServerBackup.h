#pragma once

#include "data/DatabaseCheck.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Backups of a practice kept on a PostgreSQL server, made and put back by the server's own tools
// (pg_dump's custom format, pg_restore), found under /usr/lib/postgresql/*/bin or on the PATH.
//
// A restore never touches the practice's database until the copy has been restored whole into a
// new database beside it and passed the checks; only then are the two swapped by renaming, the
// old one kept under another name. Renaming needs every other connection to both gone, so the
// program must be closed on every workstation first.
//
// A password in a location is handed to the tools in their environment, never on a command line
// nor in a message. Failures throw DatabaseError with a Portuguese message.
namespace ServerBackup {

[[nodiscard]] bool isServerLocation(const QString &location);

// The location as it may be shown: any password taken out.
[[nodiscard]] QString displayName(const QString &location);

// The database a location names ("taluvo" in postgresql://host/taluvo).
[[nodiscard]] QString databaseName(const QString &location);

// The location with another database name, everything else kept.
[[nodiscard]] QString withDatabase(const QString &location, const QString &database);

// The copy's default name: taluvo-DATABASE-YYYY-MM-DD.dump.
[[nodiscard]] QString fileName(const QString &location, const QDate &date);

// pg_dump -Fc of location into target, which must not exist yet: written under a temporary name
// readable by its owner only, its table of contents read back, then renamed.
void make(const QString &location, const QString &target);

// Why file is no whole copy of the seven tables (not an archive, damaged, a table missing), or
// an empty string.
[[nodiscard]] QString checkArchive(const QString &file);

// The checks a restored copy must pass before it replaces anything: given the scratch
// database's location, returns why it must not be restored (empty when it may), and gives the
// record rules' findings. Opening the location through the engine is the caller's part.
using RestoreCheck
    = std::function<QString(const QString &location, QList<DatabaseCheck::Finding> *findings)>;

// Restores file as location's database. The copy goes first into a new database on the same
// server, is checked there (check), and only then takes location's name. A database of that name
// holding any of the seven tables is refused unless replace, and is then kept, renamed to
// NAME_antes_restauro (then _2, _3, ...); keptAs gets that name. On any refusal or failure the
// new database is dropped and location's is as it was.
void restore(const QString &file, const QString &location, bool replace, const RestoreCheck &check,
             QList<DatabaseCheck::Finding> *findings, QString *keptAs);

} // namespace ServerBackup
