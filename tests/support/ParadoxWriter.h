#pragma once

#include "platform/paradox/ParadoxTable.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

// Writes the old practice's tables for the tests: a table file (.DB) and, when a blob field needs
// it, its memo file (.MB) beside it, laid out as the desktop database of the time wrote them.
// Records go out block by block as they are added, so a table of any size costs one data block
// and one blob block of memory. Values come in the reader's value types; a null QVariant, an
// invalid date or time and an empty text write a blank field. A QByteArray for a text field or
// memo is written as it is, without the code page. Graphics in the .MB carry 8 bytes before their
// data (a zero word, then their length), counted in the length the record gives.
//
// For damaged fixtures the writer reports where things are (blockOffset(), recordOffset(),
// blobPointerOffset()) and the static helpers patch or cut the files afterwards. Bad input (a
// wrong number of values, a text too long for its field, a file that cannot be written) throws
// std::invalid_argument or std::runtime_error.
class ParadoxWriter
{
public:
    struct Options
    {
        int fileVersion = 12; // the header's version byte: 3, 4 (3.x), 5..9 (4.x), 10, 11 (5.x), 12
        int keyFieldCount = 0;
        int codePage = 1252; // 1252, 850 or 437; text, field names and memos are written in it
        int blockSize = 2048; // 1 KB steps, 1 KB .. 32 KB
        qint32 nextAutoInc = 1;
        QString tableName; // as stored inside the header; empty: the file's name
        // A password encrypts the data blocks and the whole .MB with the key it gives; a key can
        // be given directly instead. Zero and empty: a plain table.
        QString password;
        quint32 encryptionKey = 0;
        int recordsPerBlock = 0; // at most this many slots used per block; 0: as many as fit
        bool externalBlobs = false; // every non-blank blob goes to the .MB even when it would fit
        // Physical block numbers in chain order (the first chain block is stored at
        // blockPlacement[0], ...); blocks past the list keep their own number. Every number must
        // be used once.
        QList<int> blockPlacement;
    };

    // Field sizes follow the field descriptor: characters for Alpha, bytes for Bytes, leader plus
    // 10 for blobs, decimal places for BCD; 0 for the other types takes their fixed width.
    ParadoxWriter(const QString &dbPath, const QList<paradox::Field> &fields,
                  const Options &options);
    ParadoxWriter(const QString &dbPath, const QList<paradox::Field> &fields);
    ~ParadoxWriter();
    ParadoxWriter(const ParadoxWriter &) = delete;
    ParadoxWriter &operator=(const ParadoxWriter &) = delete;

    void addRecord(const QVariantList &values);
    // A record deleted in place: its bytes stay in the slot after the current block's live
    // records, and its blobs stay in the .MB.
    void addDeletedRecord(const QVariantList &values);
    // Ends the current block; the next record starts a new one. Called on an empty block, it
    // leaves an empty block in the chain.
    void endBlock();
    // Writes what is pending and the header. Called by the destructor when forgotten.
    void close();

    [[nodiscard]] QString dbPath() const;
    [[nodiscard]] QString mbPath() const; // written only when a blob went external
    [[nodiscard]] bool hasMemoFile() const;
    [[nodiscard]] int headerSize() const;
    [[nodiscard]] int recordSize() const;
    [[nodiscard]] int blockSize() const;
    [[nodiscard]] int blockCount() const; // data blocks written so far
    [[nodiscard]] qint64 recordCount() const; // live records
    [[nodiscard]] quint32 encryptionKey() const;
    // Offset in the .DB of a physical data block (1-based) and of a live record (0-based, in the
    // order added).
    [[nodiscard]] qint64 blockOffset(int block) const;
    [[nodiscard]] qint64 recordOffset(qint64 record) const;
    // Offset of a field inside a record, and of the 4-byte .MB reference of a blob field.
    [[nodiscard]] int fieldOffset(int field) const;
    [[nodiscard]] qint64 blobPointerOffset(qint64 record, int field) const;
    [[nodiscard]] qint64 memoFileSize() const;

    // Where the header keeps what a damaged-header test changes.
    enum HeaderOffset : int {
        RecordSizeAt = 0x00,
        HeaderSizeAt = 0x02,
        FileTypeAt = 0x04,
        BlockSizeCodeAt = 0x05,
        RecordCountAt = 0x06,
        FileBlocksAt = 0x0C,
        FirstBlockAt = 0x0E,
        LastBlockAt = 0x10,
        FieldCountAt = 0x21,
        KeyFieldCountAt = 0x23,
        VersionAt = 0x39,
        AutoIncAt = 0x49,
        EncryptionAt = 0x5C,
        CodePageAt = 0x6A,
    };
    // A data block starts with the next and previous block numbers and the offset of its last
    // record, little-endian.
    enum BlockHeaderOffset : int { NextBlockAt = 0, PrevBlockAt = 2, LastRecordAt = 4 };

    static void patch(const QString &path, qint64 offset, const QByteArray &bytes);
    static void truncate(const QString &path, qint64 size);
    [[nodiscard]] static QByteArray le16(int value);
    [[nodiscard]] static QByteArray le32(qint64 value);

    // Bytes of one field as a record stores it (blobs excepted); blank for a null value.
    [[nodiscard]] static QByteArray encodeValue(const paradox::Field &field, const QVariant &value,
                                                int codePage = 1252);
    [[nodiscard]] static QByteArray encodeText(const QString &text, int codePage);
    // The storage width of a field in a record.
    [[nodiscard]] static int storageWidth(const paradox::Field &field);
    // The key a password gives, as the header stores it; its low 16 bits drive the encryption.
    [[nodiscard]] static quint32 keyForPassword(const QByteArray &password);
    // Encrypts a data block in place (its size a multiple of 256) for its physical number.
    static void encryptDataBlock(char *data, int size, quint32 key, int blockNumber);
    // Encrypts .MB bytes in place (a multiple of 256, starting at a multiple of 256).
    static void encryptMemoBytes(char *data, int size, quint32 key);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
