#pragma once

#include <QString>

#include <functional>

class Connection;

// On a server location (a postgresql:// URI) the database must exist and hold none of the tables;
// the schema and the fill are one transaction there, rolled back on failure.
//
// Makes DIR/taluvo.sqlite (and DIR, 0700, when missing) for a command that fills a new database,
// without ever opening or changing an existing one: a database already there is refused, except,
// when asked, an empty file alone (a creation that never started). The schema is created (unless
// the fill makes the tables itself), then fill runs;
// when either throws, every file made is removed again, so a failure leaves nothing behind.
class NewDatabase
{
public:
    // Refused: a database is there; Unusable: the folder or file cannot be made; Failed: the
    // schema or the fill failed and what was made is gone.
    enum class Outcome { Done, Refused, Unusable, Failed };

    // message: why it was refused or failed, in Portuguese, without the command's prefix.
    [[nodiscard]] static Outcome create(const QString &dir,
                                        const std::function<void(Connection &)> &fill,
                                        QString *message, bool replaceEmptyFile = false,
                                        bool withSchema = true);
    // A database (or the files SQLite keeps beside one) is in dir, or its tables on a server.
    [[nodiscard]] static bool present(const QString &dir);

private:
    static Outcome createOnServer(const QString &uri,
                                  const std::function<void(Connection &)> &fill, QString *message);
};
