#pragma once

#include "platform/paradox/BlockCipher.h"

#include <QByteArray>
#include <QFile>

#include <optional>

namespace paradox {

// The memo file (.MB) beside a table: the memos and other blobs too long for their record, in
// blocks of 4 KiB multiples that hold one blob each or up to 64 short ones. Read a blob at a time,
// the last block kept, so memory follows the largest blob, not the file. Every offset and
// length the record or the file gives is checked against the file before it is used.
class MemoFile
{
public:
    // Throws FormatError when the file cannot be opened.
    MemoFile(const QString &path, std::optional<BlockCipher> cipher);

    enum class Outcome { Read, OutOfFile, Damaged };

    // The blob a record points at: pointer is the block's offset with the slot in its low byte,
    // length the blob's size, both as the record keeps them. A graphic's stored data starts with
    // 8 bytes of its own header, dropped here.
    [[nodiscard]] Outcome read(quint32 pointer, quint32 length, bool graphic, QByteArray &data);

private:
    Outcome readStored(quint32 pointer, quint32 length, QByteArray &data);
    bool readRange(qint64 pos, qint64 size, QByteArray &out);

    QFile m_file;
    qint64 m_size = 0;
    std::optional<BlockCipher> m_cipher;
    qint64 m_blockOffset = -1; // of the block last read, kept in m_block
    QByteArray m_block;
};

} // namespace paradox
