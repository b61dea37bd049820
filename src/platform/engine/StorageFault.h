#pragma once

#include "platform/engine/DatabaseError.h"

// A fault of the database file itself rather than of one operation: the file is not a database
// of this program, is damaged, cannot be written, the disk is full, or a newer program wrote it.
// Its message names the file in plain Portuguese words, as the user has to act on it.
class StorageFault : public DatabaseError
{
public:
    enum class Kind { NotADatabase, Damaged, ReadOnly, DiskFull, NewerVersion };

    StorageFault(Kind kind, const QString &path, int version = 0, int newest = 0);

    [[nodiscard]] Kind kind() const noexcept { return m_kind; }
    [[nodiscard]] const QString &path() const noexcept { return m_path; }

    [[nodiscard]] static QString text(Kind kind, const QString &path, int version = 0,
                                      int newest = 0);

private:
    Kind m_kind;
    QString m_path;
};
