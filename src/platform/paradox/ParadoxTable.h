#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <stdexcept>

class QTextStream;

namespace paradox {

// Field types as the table header codes them.
enum class FieldType : quint8 {
    Alpha = 0x01,
    Date = 0x02,
    Short = 0x03,
    Long = 0x04,
    Money = 0x05,
    Number = 0x06,
    Logical = 0x09,
    Memo = 0x0C,
    Blob = 0x0D,
    FormattedMemo = 0x0E,
    Ole = 0x0F,
    Graphic = 0x10,
    Time = 0x14,
    Timestamp = 0x15,
    AutoInc = 0x16,
    Bcd = 0x17,
    Bytes = 0x18,
};

struct Field
{
    QString name;
    FieldType type = FieldType::Alpha;
    // As the field descriptor gives it: characters for Alpha, bytes for Bytes and for the part of
    // a blob kept in the record (leader included), decimal places for BCD, the storage width
    // otherwise.
    int size = 0;
};

struct TableInfo
{
    int fileVersion = 0; // the header's version byte (3 .. 12)
    int codePage = 0; // from the header; 0 when the file gives none (read as 437)
    bool encrypted = false;
    qint64 recordCount = 0; // as the header claims; the blocks are what is read
    int recordSize = 0;
    int blockSize = 0;
    int keyFieldCount = 0; // the first keyFieldCount fields form the primary key
    qint32 nextAutoInc = 0; // the header's autoincrement counter
    QString tableName; // the name stored inside the header
    QList<Field> fields;
};

// One live record. values holds one entry per field, null for a blank field:
//   Alpha, Memo, FormattedMemo  QString (code page decoded; memo text kept as written)
//   Date QDate, Time QTime, Timestamp QDateTime (Qt::UTC: the stored reading, no zone)
//   Short, Long, AutoInc int;  Number, Money double;  BCD QString (plain decimal, "-12.340")
//   Logical bool;  Blob, Graphic, Ole, Bytes QByteArray
// error is empty when every field was read; otherwise it says which field could not be read and
// why (a memo block past the end of the .MB, say), and that field's value is null.
struct Record
{
    qint64 number = 0; // 1-based, in the order the records are read
    QVariantList values;
    QString error;
};

// A file that cannot be read as a table at all (not a table, a damaged header, a broken block
// chain), or a .MB that a blob field needs and that is missing. The message is for the user.
class FormatError : public std::runtime_error
{
public:
    explicit FormatError(const QString &message);
    [[nodiscard]] QString message() const;
};

// Reads a table file (.DB) and its memo file (.MB, found beside it in any letter case) record by
// record, in the order of the table's data block chain. The files are untrusted: every offset,
// length and block number is checked before use, and nothing is read outside the files. Tables
// saved with a password are decrypted without it. Memory is bounded by a block, not the table.
class TableReader
{
public:
    // Throws FormatError.
    explicit TableReader(const QString &dbPath);
    ~TableReader();
    TableReader(const TableReader &) = delete;
    TableReader &operator=(const TableReader &) = delete;

    [[nodiscard]] const TableInfo &info() const;
    // The next live record; false after the last. Throws FormatError on a broken block chain
    // (a link outside the file, a block met twice), or on a record whose blob needs a missing
    // .MB, after returning the records before it.
    bool next(Record &record);
    // Deleted records met so far: slots after a block's live records that still hold data.
    [[nodiscard]] qint64 deletedCount() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// A value in the storage text format: dates YYYY-MM-DD, timestamps YYYY-MM-DD HH:MM:SS.zzz,
// times HH:MM:SS.zzz, logicals 1/0, numbers as plain decimals, text as it is, binary data as
// "<N bytes>"; an empty string for null.
[[nodiscard]] QString storageText(const QVariant &value, FieldType type);

// The whole table as RFC 4180 CSV: a line of field names, then one line per live record; a blank
// field is an empty unquoted value. A record that could not be read whole is written with the
// fields it lost empty and handed to unreadable, if given. Throws FormatError as next() does.
void writeCsv(TableReader &reader, QTextStream &out,
              const std::function<void(const Record &)> &unreadable = {});

} // namespace paradox
