#include "platform/paradox/ParadoxTable.h"

#include "platform/paradox/BlockCipher.h"
#include "platform/paradox/CodePage.h"
#include "platform/paradox/MemoFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace paradox {

namespace {

// The header's fixed places (little-endian numbers).
constexpr int RecordSizeAt = 0x00;
constexpr int HeaderSizeAt = 0x02;
constexpr int FileTypeAt = 0x04;
constexpr int BlockSizeAt = 0x05;
constexpr int RecordCountAt = 0x06;
constexpr int FirstBlockAt = 0x0E;
constexpr int FieldCountAt = 0x21;
constexpr int KeyFieldCountAt = 0x23;
constexpr int OldKeyAt = 0x25;
constexpr int VersionAt = 0x39;
constexpr int AutoIncAt = 0x49;
constexpr int NewKeyAt = 0x5C;
constexpr int CodePageAt = 0x6A;
constexpr int OldFieldsAt = 0x58; // versions 3 and 3.5 have no second part
constexpr int NewFieldsAt = 0x78;
constexpr int FirstNewVersion = 5;
constexpr quint32 KeyMovedMark = 0xFF00FF00;
constexpr quint8 KeyedTable = 0;
constexpr quint8 UnkeyedTable = 2;

constexpr int BlockHeaderSize
    = 6; // next block, previous block, size of the records after the first
constexpr int BcdWidth = 17;
constexpr int BlobTailSize = 10; // pointer, length and modification number after a blob's leader
constexpr qint64 MsPerDay = 86400000;
constexpr qint64 JulianDayZero = 1721425; // day 1 is 1 January of year 1
constexpr qint64 LastDay = 3652059; // 31 December 9999

quint16 le16(const char *p)
{
    return quint16(uchar(p[0]) | uchar(p[1]) << 8);
}

quint32 le32(const char *p)
{
    return quint32(uchar(p[0])) | quint32(uchar(p[1])) << 8 | quint32(uchar(p[2])) << 16
        | quint32(uchar(p[3])) << 24;
}

// Record data is big-endian with the sign bit flipped, so that all zero bytes mean blank.
quint32 be32(const char *p)
{
    return quint32(uchar(p[0])) << 24 | quint32(uchar(p[1])) << 16 | quint32(uchar(p[2])) << 8
        | quint32(uchar(p[3]));
}

bool allZero(const char *p, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        if (p[i] != 0)
            return false;
    }
    return true;
}

bool isBlob(FieldType type)
{
    switch (type) {
    case FieldType::Memo:
    case FieldType::Blob:
    case FieldType::FormattedMemo:
    case FieldType::Ole:
    case FieldType::Graphic:
        return true;
    default:
        return false;
    }
}

bool isText(FieldType type)
{
    return type == FieldType::Alpha || type == FieldType::Memo || type == FieldType::FormattedMemo;
}

// The bytes a field takes in the record, or 0 when the descriptor is not one a table can have.
int storedWidth(quint8 type, int size)
{
    switch (FieldType(type)) {
    case FieldType::Alpha:
    case FieldType::Bytes:
        return size;
    case FieldType::Short:
        return size == 2 ? 2 : 0;
    case FieldType::Date:
    case FieldType::Long:
    case FieldType::Time:
    case FieldType::AutoInc:
        return size == 4 ? 4 : 0;
    case FieldType::Money:
    case FieldType::Number:
    case FieldType::Timestamp:
        return size == 8 ? 8 : 0;
    case FieldType::Logical:
        return size == 1 ? 1 : 0;
    case FieldType::Bcd:
        return size <= 32 ? BcdWidth : 0;
    case FieldType::Memo:
    case FieldType::Blob:
    case FieldType::FormattedMemo:
    case FieldType::Ole:
    case FieldType::Graphic:
        return size >= BlobTailSize ? size : 0;
    }
    return 0;
}

QString fieldError(const char *what, const QString &field)
{
    return QString::fromUtf8(what).arg(field);
}

void appendError(QString &errors, const QString &error)
{
    if (!errors.isEmpty())
        errors += u"; "_s;
    errors += error;
}

QString digits2(int v)
{
    return QString::number(v).rightJustified(2, u'0');
}

QString timeText(const QTime &t)
{
    return u"%1:%2:%3.%4"_s.arg(digits2(t.hour()), digits2(t.minute()), digits2(t.second()),
                                QString::number(t.msec()).rightJustified(3, u'0'));
}

QString dateText(const QDate &d)
{
    return u"%1-%2-%3"_s.arg(QString::number(d.year()).rightJustified(4, u'0'), digits2(d.month()),
                             digits2(d.day()));
}

QString csvField(const QString &text)
{
    if (text.isEmpty())
        return u"\"\""_s;
    for (const QChar c : text) {
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n') {
            QString quoted = text;
            quoted.replace(u'"', u"\"\""_s);
            return u'"' + quoted + u'"';
        }
    }
    return text;
}

} // namespace

FormatError::FormatError(const QString &message)
    : std::runtime_error(message.toStdString())
{ }

QString FormatError::message() const
{
    return QString::fromUtf8(what());
}

struct TableReader::Private
{
    QFile file;
    qint64 fileSize = 0;
    qint64 headerSize = 0;
    TableInfo info;
    CodePage codePage { 0 };
    std::optional<BlockCipher> cipher;
    std::unique_ptr<MemoFile> memo;
    QString memoMissing; // why memo is null when a blob needs it
    std::vector<int> offsets; // of each field in a record

    qint64 blockCount = 0; // whole blocks the file holds
    std::vector<bool> seen; // blocks met in the chain, against loops
    QByteArray block;
    int nextBlock = 0;
    int live = 0; // records of the current block
    int slot = 0; // the next of them
    qint64 deleted = 0;
    qint64 number = 0;
    bool finished = false;
    QByteArray blob;

    void readHeader();
    void openMemoFile(const QString &dbPath);
    bool loadNextBlock();
    void readRecord(const char *data, Record &record);
    QVariant readBlob(const Field &field, const char *p, QString &errors);
    [[noreturn]] void fail(const QString &message)
    {
        finished = true;
        throw FormatError(message);
    }
};

void TableReader::Private::readHeader()
{
    const QString notATable = u"o ficheiro não é uma tabela Paradox"_s;
    const QString damaged = u"o cabeçalho da tabela está danificado"_s;
    fileSize = file.size();
    if (fileSize < OldFieldsAt)
        throw FormatError(notATable);
    QByteArray head(qMin<qint64>(fileSize, NewFieldsAt), Qt::Uninitialized);
    if (file.read(head.data(), head.size()) != head.size())
        throw FormatError(notATable);
    const char *h = head.constData();

    info.fileVersion = uchar(h[VersionAt]);
    info.recordSize = le16(h + RecordSizeAt);
    headerSize = le16(h + HeaderSizeAt);
    const quint8 fileType = quint8(h[FileTypeAt]);
    const int sizeCode = uchar(h[BlockSizeAt]);
    if ((fileType != KeyedTable && fileType != UnkeyedTable) || sizeCode < 1 || sizeCode > 32
        || info.fileVersion < 3 || info.fileVersion > 12 || info.recordSize == 0
        || headerSize < OldFieldsAt)
        throw FormatError(notATable);
    const bool newLayout = info.fileVersion >= FirstNewVersion;
    const int fieldsAt = newLayout ? NewFieldsAt : OldFieldsAt;
    if (headerSize > fileSize || headerSize < fieldsAt)
        throw FormatError(damaged);
    info.blockSize = sizeCode * 1024;
    info.recordCount = le32(h + RecordCountAt);
    info.nextAutoInc = qint32(le32(h + AutoIncAt));

    head.resize(headerSize);
    if (!file.seek(0) || file.read(head.data(), headerSize) != headerSize)
        throw FormatError(damaged);
    h = head.constData();

    const int fieldCount = qint16(le16(h + FieldCountAt));
    if (fieldCount < 1 || fieldCount > 255)
        throw FormatError(damaged);
    info.keyFieldCount = qBound(0, int(qint16(le16(h + KeyFieldCountAt))), fieldCount);
    info.codePage = newLayout ? le16(h + CodePageAt) : 0;
    codePage = CodePage(info.codePage);

    quint32 key = le32(h + OldKeyAt);
    if (key == KeyMovedMark && newLayout)
        key = le32(h + NewKeyAt);
    info.encrypted = key != 0;
    if (info.encrypted)
        cipher = BlockCipher(key);

    // Descriptors, a pointer, one pointer per field, the table's name, then the field names.
    const qint64 tableNameSize = info.fileVersion >= 12 ? 261 : 79;
    qint64 pos = fieldsAt + 2 * qint64(fieldCount) + 4 + 4 * qint64(fieldCount);
    if (pos + tableNameSize > headerSize)
        throw FormatError(damaged);
    const char *tableName = h + pos;
    info.tableName = codePage.decode(tableName, qstrnlen(tableName, uint(tableNameSize)));
    pos += tableNameSize;

    info.fields.clear();
    offsets.clear();
    int offset = 0;
    for (int i = 0; i < fieldCount; ++i) {
        const char *name = h + pos;
        const qint64 room = headerSize - pos;
        const qsizetype length = qstrnlen(name, uint(qMin<qint64>(room, 1024)));
        if (length >= room)
            throw FormatError(damaged);
        pos += length + 1;

        Field field;
        field.name = codePage.decode(name, length);
        const quint8 type = quint8(h[fieldsAt + 2 * i]);
        field.size = uchar(h[fieldsAt + 2 * i + 1]);
        const int width = storedWidth(type, field.size);
        if (width == 0)
            throw FormatError(u"o campo %1 da tabela tem um tipo ou tamanho inválido"_s.arg(field.name));
        field.type = FieldType(type);
        offsets.push_back(offset);
        offset += width;
        info.fields.append(field);
    }
    if (offset != info.recordSize || info.recordSize > info.blockSize - BlockHeaderSize)
        throw FormatError(damaged);

    blockCount = (fileSize - headerSize) / info.blockSize;
    seen.assign(size_t(blockCount) + 1, false);
    block.resize(info.blockSize);
    nextBlock = le16(h + FirstBlockAt);
}

void TableReader::Private::openMemoFile(const QString &dbPath)
{
    bool needed = false;
    for (const Field &f : std::as_const(info.fields))
        needed = needed || isBlob(f.type);
    if (!needed)
        return;
    const QFileInfo db(dbPath);
    const QString wanted = db.completeBaseName() + u".mb"_s;
    QString found;
    for (const QString &candidate : { db.completeBaseName() + u".MB"_s, wanted }) {
        if (QFileInfo(db.dir(), candidate).isFile()) {
            found = candidate;
            break;
        }
    }
    if (found.isEmpty()) {
        const QStringList names = db.dir().entryList(QDir::Files | QDir::Hidden);
        for (const QString &name : names) {
            if (name.compare(wanted, Qt::CaseInsensitive) == 0) {
                found = name;
                break;
            }
        }
    }
    // A table whose blobs all fit in their records may come without one.
    if (!found.isEmpty())
        memo = std::make_unique<MemoFile>(db.dir().filePath(found), cipher);
    else
        memoMissing = u"falta o ficheiro .MB com os memos da tabela %1"_s.arg(db.fileName());
}

bool TableReader::Private::loadNextBlock()
{
    while (nextBlock != 0) {
        const int n = nextBlock;
        if (n > blockCount)
            fail(u"o bloco %1 da tabela está fora do ficheiro"_s.arg(n));
        if (seen[size_t(n)])
            fail(u"o bloco %1 da tabela aparece duas vezes na cadeia de blocos"_s.arg(n));
        seen[size_t(n)] = true;
        const qint64 at = headerSize + qint64(n - 1) * info.blockSize;
        if ((file.pos() != at && !file.seek(at))
            || file.read(block.data(), block.size()) != block.size())
            fail(u"o bloco %1 da tabela está fora do ficheiro"_s.arg(n));
        if (cipher)
            cipher->decryptTableBlock(block.data(), block.size(), n);

        const char *b = block.constData();
        nextBlock = le16(b);
        const int dataSize = qint16(le16(b + 4));
        const int capacity = (info.blockSize - BlockHeaderSize) / info.recordSize;
        live = dataSize < 0 ? 0 : dataSize / info.recordSize + 1;
        // A size past the block marks a block whose records were all deleted in place.
        if (live > capacity)
            live = 0;
        for (int s = live; s < capacity; ++s) {
            if (!allZero(b + BlockHeaderSize + qint64(s) * info.recordSize, info.recordSize))
                ++deleted;
        }
        slot = 0;
        if (live > 0)
            return true;
    }
    return false;
}

QVariant TableReader::Private::readBlob(const Field &field, const char *p, QString &errors)
{
    const int leader = field.size - BlobTailSize;
    const quint32 pointer = le32(p + leader);
    const quint32 length = le32(p + leader + 4);
    if (length == 0)
        return {};
    const bool text = isText(field.type);
    if (length <= quint32(leader)) { // the whole blob fits in the record
        if (text)
            return codePage.decode(p, length);
        return QByteArray(p, length);
    }
    if (!memo)
        fail(memoMissing);
    const auto outcome = memo->read(pointer, length, field.type == FieldType::Graphic, blob);
    if (outcome == MemoFile::Outcome::Read)
        return text ? QVariant(codePage.decode(blob.constData(), blob.size())) : QVariant(blob);
    const char *what = nullptr;
    if (outcome == MemoFile::Outcome::OutOfFile)
        what = text ? "memo do campo %1 fora do ficheiro .MB"
                    : "objeto do campo %1 fora do ficheiro .MB";
    else
        what = text ? "memo do campo %1 danificado no ficheiro .MB"
                    : "objeto do campo %1 danificado no ficheiro .MB";
    appendError(errors, fieldError(what, field.name));
    return {};
}

void TableReader::Private::readRecord(const char *data, Record &record)
{
    record.number = ++number;
    record.error.clear();
    const int count = int(info.fields.size());
    record.values.resize(count);
    for (int i = 0; i < count; ++i) {
        const Field &field = info.fields.at(i);
        const char *p = data + offsets[size_t(i)];
        QVariant &value = record.values[i];
        value = QVariant();
        switch (field.type) {
        case FieldType::Alpha: {
            const qsizetype length = qstrnlen(p, uint(field.size));
            if (length > 0)
                value = codePage.decode(p, length);
            break;
        }
        case FieldType::Short:
            if (p[0] != 0 || p[1] != 0)
                value = int(qint16(quint16((uchar(p[0]) ^ 0x80) << 8 | uchar(p[1]))));
            break;
        case FieldType::Long:
        case FieldType::AutoInc:
            if (!allZero(p, 4))
                value = int(qint32(be32(p) ^ 0x80000000u));
            break;
        case FieldType::Date:
            if (!allZero(p, 4)) {
                const qint32 day = qint32(be32(p) ^ 0x80000000u);
                if (day >= 1 && day <= LastDay)
                    value = QDate::fromJulianDay(JulianDayZero + day);
                else
                    appendError(record.error, fieldError("data inválida no campo %1", field.name));
            }
            break;
        case FieldType::Time:
            if (!allZero(p, 4)) {
                const qint32 ms = qint32(be32(p) ^ 0x80000000u);
                if (ms >= 0 && ms < MsPerDay)
                    value = QTime::fromMSecsSinceStartOfDay(ms);
                else
                    appendError(record.error, fieldError("hora inválida no campo %1", field.name));
            }
            break;
        case FieldType::Number:
        case FieldType::Money:
        case FieldType::Timestamp: {
            if (allZero(p, 8))
                break;
            quint64 bits = quint64(be32(p)) << 32 | be32(p + 4);
            // Positive numbers have the sign bit set; negative ones are stored inverted.
            bits = (bits & (quint64(1) << 63)) ? bits & ~(quint64(1) << 63) : ~bits;
            double d;
            std::memcpy(&d, &bits, sizeof d);
            if (!std::isfinite(d)) {
                appendError(record.error, fieldError("valor inválido no campo %1", field.name));
            } else if (field.type != FieldType::Timestamp) {
                value = d;
            } else if (d >= MsPerDay && d < double(LastDay + 1) * MsPerDay) {
                const qint64 ms = std::llround(d);
                value = QDateTime(QDate::fromJulianDay(JulianDayZero + ms / MsPerDay),
                                  QTime::fromMSecsSinceStartOfDay(int(ms % MsPerDay)), Qt::UTC);
            } else {
                appendError(record.error, fieldError("data inválida no campo %1", field.name));
            }
            break;
        }
        case FieldType::Logical:
            if (p[0] != 0)
                value = (uchar(p[0]) ^ 0x80) != 0;
            break;
        case FieldType::Bcd: {
            const uchar head = uchar(p[0]);
            if (head == 0)
                break;
            // 32 digits in nibbles after the first byte; the last `decimals` of them follow the
            // point. Negative numbers have every nibble inverted.
            const int decimals = head & 0x3f;
            const uchar flip = (head & 0x80) ? 0 : 0x0f;
            if (decimals > 32) {
                appendError(record.error, fieldError("valor inválido no campo %1", field.name));
                break;
            }
            char digits[32];
            bool bad = false;
            bool nonZero = false;
            for (int k = 0; k < 32; ++k) {
                const uchar byte = uchar(p[1 + k / 2]);
                const uchar digit = ((k % 2 ? byte : byte >> 4) & 0x0f) ^ flip;
                bad = bad || digit > 9;
                nonZero = nonZero || digit != 0;
                digits[k] = char('0' + digit);
            }
            if (bad) {
                appendError(record.error, fieldError("valor inválido no campo %1", field.name));
                break;
            }
            const int point = 32 - decimals;
            int first = 0;
            while (first < point - 1 && digits[first] == '0')
                ++first;
            QString number = QString::fromLatin1(digits + first, point - first);
            if (point == 0)
                number = u"0"_s;
            if (decimals > 0)
                number += u'.' + QString::fromLatin1(digits + point, decimals);
            if (flip && nonZero)
                number.prepend(u'-');
            value = number;
            break;
        }
        case FieldType::Bytes:
            if (!allZero(p, field.size))
                value = QByteArray(p, field.size);
            break;
        case FieldType::Memo:
        case FieldType::Blob:
        case FieldType::FormattedMemo:
        case FieldType::Ole:
        case FieldType::Graphic:
            value = readBlob(field, p, record.error);
            break;
        }
    }
}

TableReader::TableReader(const QString &dbPath)
    : d(std::make_unique<Private>())
{
    d->file.setFileName(dbPath);
    if (!d->file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw FormatError(
            u"não foi possível abrir o ficheiro %1"_s.arg(QFileInfo(dbPath).fileName()));
    d->readHeader();
    d->openMemoFile(dbPath);
}

TableReader::~TableReader() = default;

const TableInfo &TableReader::info() const
{
    return d->info;
}

bool TableReader::next(Record &record)
{
    if (d->finished)
        return false;
    if (d->slot >= d->live && !d->loadNextBlock()) {
        d->finished = true;
        return false;
    }
    const int s = d->slot++;
    d->readRecord(d->block.constData() + BlockHeaderSize + qint64(s) * d->info.recordSize, record);
    return true;
}

qint64 TableReader::deletedCount() const
{
    return d->deleted;
}

QString storageText(const QVariant &value, FieldType type)
{
    if (value.isNull())
        return {};
    switch (type) {
    case FieldType::Date:
        return dateText(value.toDate());
    case FieldType::Time:
        return timeText(value.toTime());
    case FieldType::Timestamp: {
        const QDateTime t = value.toDateTime();
        return dateText(t.date()) + u' ' + timeText(t.time());
    }
    case FieldType::Logical:
        return value.toBool() ? u"1"_s : u"0"_s;
    case FieldType::Short:
    case FieldType::Long:
    case FieldType::AutoInc:
        return QString::number(value.toLongLong());
    case FieldType::Number:
    case FieldType::Money: {
        const double d = value.toDouble();
        if (d == 0)
            return u"0"_s;
        return QString::number(d, 'f', QLocale::FloatingPointShortest);
    }
    case FieldType::Blob:
    case FieldType::Ole:
    case FieldType::Graphic:
    case FieldType::Bytes:
        return u"<%1 bytes>"_s.arg(value.toByteArray().size());
    case FieldType::Alpha:
    case FieldType::Memo:
    case FieldType::FormattedMemo:
    case FieldType::Bcd:
        return value.toString();
    }
    return value.toString();
}

void writeCsv(TableReader &reader, QTextStream &out,
              const std::function<void(const Record &)> &unreadable)
{
    const QList<Field> &fields = reader.info().fields;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out << u',';
        out << csvField(fields.at(i).name);
    }
    out << "\r\n";
    Record record;
    while (reader.next(record)) {
        if (!record.error.isEmpty() && unreadable)
            unreadable(record);
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (i > 0)
                out << u',';
            const QVariant &value = record.values.at(i);
            if (!value.isNull())
                out << csvField(storageText(value, fields.at(i).type));
        }
        out << "\r\n";
    }
}

} // namespace paradox
