#pragma once

#include "platform/engine/RecordLocks.h"

#include <QHash>

#include <memory>

// Record locks kept in memory for workstations simulated in one process: each instance is one
// workstation, and instances made over the same holders see each other's locks.
class MemoryRecordLocks : public RecordLocks
{
public:
    using Holders = QHash<QByteArray, const MemoryRecordLocks *>; // row -> workstation

    explicit MemoryRecordLocks(std::shared_ptr<Holders> holders)
        : m_holders(std::move(holders))
    { }
    ~MemoryRecordLocks() override { unlockAll(); }

    bool tryLock(const QString &table, const QVariantList &key) override
    {
        const MemoryRecordLocks *&holder = (*m_holders)[keyText(table, key)];
        if (holder && holder != this)
            return false;
        holder = this;
        return true;
    }
    void unlock(const QString &table, const QVariantList &key) override
    {
        const QByteArray row = keyText(table, key);
        if (m_holders->value(row) == this)
            m_holders->remove(row);
    }
    void unlockAll() override
    {
        m_holders->removeIf([this](auto it) { return it.value() == this; });
    }
    // The rows this workstation holds, as keyText names them.
    [[nodiscard]] QList<QByteArray> held() const { return m_holders->keys(this); }

private:
    std::shared_ptr<Holders> m_holders;
};
