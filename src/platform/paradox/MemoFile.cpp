#include "platform/paradox/MemoFile.h"

#include "platform/paradox/ParadoxTable.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace paradox {

namespace {

constexpr qint64 Unit = 4096; // blocks are multiples of this
constexpr quint8 SingleBlob = 2;
constexpr quint8 SharedBlock = 3;
constexpr int SharedSlots = 64;
constexpr int SlotTableStart = 12;
constexpr int SlotSize = 5;
constexpr int SingleHeadSize = 9; // type, size in units, length, modification number
constexpr quint32 GraphicPrefix = 8; // graphics keep a word and their length before the data
constexpr qint64 MaxRead = 1 << 20; // bigger blobs are read apart from their block's head

quint16 le16(const char *p)
{
    return quint16(uchar(p[0]) | uchar(p[1]) << 8);
}

quint32 le32(const char *p)
{
    return quint32(uchar(p[0])) | quint32(uchar(p[1])) << 8 | quint32(uchar(p[2])) << 16
        | quint32(uchar(p[3])) << 24;
}

} // namespace

MemoFile::MemoFile(const QString &path, std::optional<BlockCipher> cipher)
    : m_file(path)
    , m_cipher(cipher)
{
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw FormatError(
            u"não foi possível abrir o ficheiro %1"_s.arg(QFileInfo(path).fileName()));
    m_size = m_file.size();
}

// With a password, whole 256-byte chunks are read and unscrambled; a chunk cut short by the end of
// the file counts as missing.
bool MemoFile::readRange(qint64 pos, qint64 size, QByteArray &out)
{
    if (pos < 0 || size < 0 || pos + size > m_size)
        return false;
    qint64 start = pos;
    qint64 end = pos + size;
    if (m_cipher) {
        start = pos & ~(BlockCipher::ChunkSize - 1);
        end = (end + BlockCipher::ChunkSize - 1) & ~(BlockCipher::ChunkSize - 1);
        if (end > m_size)
            return false;
    }
    out.resize(end - start);
    if ((m_file.pos() != start && !m_file.seek(start))
        || m_file.read(out.data(), out.size()) != out.size())
        return false;
    if (m_cipher) {
        m_cipher->decryptMemoChunks(out.data(), out.size());
        if (pos > start)
            out.remove(0, pos - start);
        out.truncate(size);
    }
    return true;
}

MemoFile::Outcome MemoFile::read(quint32 pointer, quint32 length, bool graphic, QByteArray &data)
{
    if (graphic && length < GraphicPrefix)
        return Outcome::Damaged;
    const Outcome outcome = readStored(pointer, length, data);
    if (graphic && outcome == Outcome::Read)
        data.remove(0, GraphicPrefix);
    return outcome;
}

// One read per block in the common case: a block is read whole (at least its first unit, and a
// single blob's data when it is not too big) and kept until another block is wanted, so the
// memos of consecutive records, which share blocks, cost no further reads.
MemoFile::Outcome MemoFile::readStored(quint32 pointer, quint32 length, QByteArray &data)
{
    const qint64 offset = pointer & 0xffffff00u;
    const int slot = int(pointer & 0xffu);
    if (offset == 0) // the file's own header
        return Outcome::Damaged;
    if (offset != m_blockOffset) {
        m_blockOffset = -1;
        qint64 size = qMin(m_size - offset, qBound(Unit, SingleHeadSize + qint64(length), MaxRead));
        if (m_cipher)
            size &= ~(BlockCipher::ChunkSize - 1);
        if (size < SingleHeadSize || !readRange(offset, size, m_block))
            return Outcome::OutOfFile;
        m_blockOffset = offset;
    }
    const char *block = m_block.constData();
    const quint8 type = quint8(block[0]);

    if (type == SingleBlob) {
        const qint64 blockSize = le16(block + 1) * Unit;
        if (slot != 0xff || le32(block + 3) != length
            || SingleHeadSize + qint64(length) > blockSize)
            return Outcome::Damaged;
        if (SingleHeadSize + qint64(length) <= m_block.size()) {
            data = m_block.mid(SingleHeadSize, length);
            return Outcome::Read;
        }
        return readRange(offset + SingleHeadSize, length, data) ? Outcome::Read
                                                                : Outcome::OutOfFile;
    }

    if (type == SharedBlock) {
        if (slot >= SharedSlots)
            return Outcome::Damaged;
        const int entry = SlotTableStart + slot * SlotSize;
        if (entry + SlotSize > m_block.size())
            return Outcome::OutOfFile;
        const auto *e = reinterpret_cast<const uchar *>(block + entry);
        const int start = e[0] * 16;
        const int lastChunk = e[4];
        if (e[0] == 0 || e[1] == 0 || lastChunk < 1 || lastChunk > 16)
            return Outcome::Damaged;
        const int size = (e[1] - 1) * 16 + lastChunk;
        if (quint32(size) != length || start + size > Unit)
            return Outcome::Damaged;
        if (start + size > m_block.size())
            return Outcome::OutOfFile;
        data = m_block.mid(start, size);
        return Outcome::Read;
    }

    return Outcome::Damaged;
}

} // namespace paradox
