#pragma once

#include <QtGlobal>

namespace paradox {

// The scrambling of a table saved with a password: every 256-byte chunk of a data block, and of the
// memo file, is permuted and masked with fixed tables keyed by a 32-bit value that the table's
// header keeps in the clear. Undoing it needs that key only, not the password.
class BlockCipher
{
public:
    explicit BlockCipher(quint32 key);

    // A data block of the table (size a multiple of 256), numbered from 1 as the chain numbers it.
    void decryptTableBlock(char *data, qsizetype size, int blockNumber) const;
    // Whole chunks of the memo file; their place in the file does not matter.
    void decryptMemoChunks(char *data, qsizetype size) const;
    void encryptTableBlock(char *data, qsizetype size, int blockNumber) const;
    void encryptMemoChunks(char *data, qsizetype size) const;

    static constexpr qsizetype ChunkSize = 256;

private:
    quint8 m_a;
    quint8 m_b;
};

} // namespace paradox
