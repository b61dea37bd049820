#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantList>

// Locks on stored rows that every workstation over the same data honours: a row one of them is
// editing is refused to the others' edits until that edit ends. The holder is the instance (one
// per workstation); taking again a lock the instance holds succeeds and is still one lock.
class RecordLocks
{
public:
    virtual ~RecordLocks() = default;

    // Takes the lock of the row of table whose key holds these storage values; false when another
    // holder has it. Throws DatabaseError when the locks cannot be reached.
    [[nodiscard]] virtual bool tryLock(const QString &table, const QVariantList &key) = 0;
    // Releasing a lock not held does nothing; never throws.
    virtual void unlock(const QString &table, const QVariantList &key) = 0;
    virtual void unlockAll() = 0;

    // The row's name every workstation writes alike: the table and the key values in their
    // storage text form, separated by the unit separator (0x1f). A number with no fraction is
    // written as an integer, so 7 and 7.0 name the same row.
    [[nodiscard]] static QByteArray keyText(const QString &table, const QVariantList &key);
};
