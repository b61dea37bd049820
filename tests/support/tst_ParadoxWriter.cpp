#include "support/ParadoxWriter.h"

#include <QDate>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using paradox::Field;
using paradox::FieldType;

// The writer checked against bytes worked out by hand from the format's documentation.
class tst_ParadoxWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fieldBytes_data();
    void fieldBytes();
    void header();
    void blockChainAndDeletedRecords();
    void blobs();
    void encryption();

private:
    QTemporaryDir m_dir;
};

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int le16At(const QByteArray &bytes, qint64 at)
{
    return qint16(quint8(bytes[at]) | quint8(bytes[at + 1]) << 8);
}

qint64 le32At(const QByteArray &bytes, qint64 at)
{
    return qint64(quint8(bytes[at]) | quint8(bytes[at + 1]) << 8 | quint8(bytes[at + 2]) << 16
                  | quint32(quint8(bytes[at + 3])) << 24);
}

} // namespace

void tst_ParadoxWriter::fieldBytes_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QByteArray>("bytes");

    const auto row = [](const char *name, FieldType type, int size, const QVariant &value,
                        const char *hex, int codePage = 1252) {
        QTest::newRow(name) << int(type) << size << value << codePage << QByteArray::fromHex(hex);
    };
    row("short 1", FieldType::Short, 0, 1, "8001");
    row("short 256", FieldType::Short, 0, 256, "8100");
    row("short -1", FieldType::Short, 0, -1, "7fff");
    row("short blank", FieldType::Short, 0, QVariant(), "0000");
    row("date invalid", FieldType::Date, 0, QDate(), "00000000");
    row("long 0", FieldType::Long, 0, 0, "80000000");
    row("date 4 May 1996", FieldType::Date, 0, QDate(1996, 5, 4), "800b1ecf");
    row("date 1 Jan 100", FieldType::Date, 0, QDate(100, 1, 1), "80008d40");
    row("number 100.5", FieldType::Number, 0, 100.5, "c059200000000000");
    row("money -100.5", FieldType::Money, 0, -100.5, "3fa6dfffffffffff");
    row("time 1.5 s", FieldType::Time, 0, QTime(0, 0, 1, 500), "800005dc");
    row("timestamp day 1", FieldType::Timestamp, 0, QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC),
        "c194997000000000");
    row("logical true", FieldType::Logical, 0, true, "81");
    row("logical false", FieldType::Logical, 0, false, "80");
    row("bcd -12.340", FieldType::Bcd, 3, u"-12.340"_s, "43ffffffffffffffffffffffffffFEDCBF");
    row("bcd 0", FieldType::Bcd, 2, 0.0,
        "c2"
        "00000000000000000000000000000000");
    row("alpha 1252", FieldType::Alpha, 6, u"Ação"_s, "41e7e36f0000");
    row("alpha 850", FieldType::Alpha, 6, u"Ação"_s, "4187c66f0000", 850);
    row("alpha blank", FieldType::Alpha, 2, u""_s, "0000");
}

void tst_ParadoxWriter::fieldBytes()
{
    QFETCH(int, type);
    QFETCH(int, size);
    QFETCH(QVariant, value);
    QFETCH(int, codePage);
    QFETCH(QByteArray, bytes);
    const Field field { u"F"_s, FieldType(type), size };
    QCOMPARE(ParadoxWriter::encodeValue(field, value, codePage).toHex(), bytes.toHex());
}

void tst_ParadoxWriter::header()
{
    const QString path = m_dir.filePath(u"PACIENT.DB"_s);
    ParadoxWriter::Options options;
    options.keyFieldCount = 1;
    options.codePage = 850;
    options.nextAutoInc = 42;
    ParadoxWriter writer(
        path, { { u"Nº"_s, FieldType::AutoInc, 0 }, { u"Nome"_s, FieldType::Alpha, 40 } }, options);
    writer.addRecord({ 41, u"Zé"_s });
    writer.close();

    const QByteArray db = readFile(path);
    QCOMPARE(db.size(), 0x800 + 0x800);
    QCOMPARE(le16At(db, 0x00), 44); // record size
    QCOMPARE(le16At(db, 0x02), 0x800);
    QCOMPARE(int(db[0x04]), 0); // keyed
    QCOMPARE(int(db[0x05]), 2); // 2 KB blocks
    QCOMPARE(le32At(db, 0x06), 1);
    QCOMPARE(le16At(db, 0x0C), 1);
    QCOMPARE(le16At(db, 0x0E), 1);
    QCOMPARE(le16At(db, 0x21), 2);
    QCOMPARE(le16At(db, 0x23), 1);
    QCOMPARE(int(db[0x39]), 12);
    QCOMPARE(le32At(db, 0x49), 42);
    QCOMPARE(le32At(db, 0x5C), 0);
    QCOMPARE(le16At(db, 0x6A), 850);
    QCOMPARE(db.mid(0x78, 4).toHex(),
             QByteArray("1604"
                        "0128"));
    // Descriptors, table name pointer, two name pointers, 261 bytes of table name, then names.
    const int names = 0x78 + 4 + 4 + 8 + 261;
    QCOMPARE(db.mid(names - 261, 11), QByteArray("PACIENT.DB\0", 11));
    QCOMPARE(db.mid(names, 8), QByteArray("N\xa7\0Nome\0", 8));
    QCOMPARE(db.mid(0x800, 6 + 6).toHex(),
             QByteArray("000000000000"
                        "80000029"
                        "5a82"));
}

void tst_ParadoxWriter::blockChainAndDeletedRecords()
{
    const QString path = m_dir.filePath(u"chain.db"_s);
    ParadoxWriter::Options options;
    options.recordsPerBlock = 3;
    options.blockPlacement = { 2, 1 };
    ParadoxWriter writer(path, { { u"N"_s, FieldType::Short, 0 } }, options);
    writer.addRecord({ 1 });
    writer.addRecord({ 2 });
    writer.addDeletedRecord({ 99 });
    writer.addRecord({ 3 });
    writer.endBlock();
    writer.endBlock(); // an empty block in the chain
    writer.close();

    const QByteArray db = readFile(path);
    QCOMPARE(writer.blockCount(), 3);
    QCOMPARE(db.size(), 0x800 * 4);
    QCOMPARE(le16At(db, 0x0E), 2); // first block
    QCOMPARE(le16At(db, 0x10), 3); // last block
    const qint64 first = writer.blockOffset(2);
    QCOMPARE(first, 0x1000);
    // next 1, previous none, last record at 2 records past the first; the deleted one after.
    QCOMPARE(db.mid(first, 6 + 8).toHex(),
             QByteArray("010000000200"
                        "800180028063"
                        "0000"));
    QCOMPARE(db.mid(writer.blockOffset(1), 6).toHex(),
             QByteArray("03000200"
                        "0000"));
    QCOMPARE(db.mid(writer.blockOffset(1) + 6, 2).toHex(), QByteArray("8003"));
    QCOMPARE(le16At(db, writer.blockOffset(3) + 4), -2); // empty
    QCOMPARE(le16At(db, writer.blockOffset(3) + 2), 1);
    QCOMPARE(writer.recordOffset(2), writer.blockOffset(1) + 6);
}

void tst_ParadoxWriter::blobs()
{
    const QString path = m_dir.filePath(u"EXAME.DB"_s);
    ParadoxWriter writer(path, { { u"Memo"_s, FieldType::Memo, 14 } });
    const QByteArray big(5000, 'x');
    writer.addRecord({ u"abc"_s }); // in the leader
    writer.addRecord({ u"abcdefgh"_s }); // a small blob
    writer.addRecord({ big }); // a block of its own
    writer.close();

    const QByteArray db = readFile(path);
    const QByteArray mb = readFile(writer.mbPath());
    QVERIFY(writer.mbPath().endsWith(u"EXAME.MB"_s));
    QCOMPARE(db.mid(writer.recordOffset(0), 14).toHex(),
             QByteArray("61626300"
                        "00000000"
                        "03000000"
                        "0000"));
    QCOMPARE(db.mid(writer.recordOffset(1), 4), QByteArray("abcd"));
    QCOMPARE(le32At(db, writer.blobPointerOffset(1, 0)), 0x1000 + 63);
    QCOMPARE(le32At(db, writer.blobPointerOffset(1, 0) + 4), 8);
    QCOMPARE(le32At(db, writer.blobPointerOffset(2, 0)), 0x2000 + 0xFF);
    QCOMPARE(mb.size(), 0x1000 * 4);
    QCOMPARE(int(mb[0]), 0); // the header block
    QCOMPARE(int(mb[0x1000]), 3);
    const int entry = 0x1000 + 12 + 5 * 63;
    QCOMPARE(mb.mid(entry, 5).toHex(),
             QByteArray("1501"
                        "0200"
                        "08"));
    QCOMPARE(mb.mid(0x1000 + 0x150, 8), QByteArray("abcdefgh"));
    QCOMPARE(mb.mid(0x2000, 9).toHex(),
             QByteArray("02"
                        "0200"
                        "88130000"
                        "0300"));
    QCOMPARE(mb.mid(0x2000 + 9, big.size()), big);
}

void tst_ParadoxWriter::encryption()
{
    const QList<Field> fields { { u"Nome"_s, FieldType::Alpha, 20 },
                                { u"Memo"_s, FieldType::Memo, 11 } };
    const auto write = [&](const QString &name, const QString &password) {
        ParadoxWriter::Options options;
        options.password = password;
        ParadoxWriter writer(m_dir.filePath(name), fields, options);
        writer.addRecord({ u"Maria"_s, u"uma nota comprida"_s });
        writer.close();
        return writer.encryptionKey();
    };
    QCOMPARE(write(u"plain.db"_s, {}), 0u);
    const quint32 key = write(u"locked.db"_s, u"segredo"_s);
    QCOMPARE(key, ParadoxWriter::keyForPassword("segredo"));
    QVERIFY(key != ParadoxWriter::keyForPassword("segredO"));

    const QByteArray plain = readFile(m_dir.filePath(u"plain.db"_s));
    const QByteArray locked = readFile(m_dir.filePath(u"locked.db"_s));
    QCOMPARE(le32At(locked, 0x25), qint64(0xFF00FF00));
    QCOMPARE(quint32(le32At(locked, 0x5C)), key);
    QVERIFY(!locked.contains("Maria"));
    QVERIFY(!readFile(m_dir.filePath(u"locked.mb"_s)).contains("comprida"));

    // Encrypting the plain block by hand gives the locked one.
    QByteArray block = plain.mid(0x800, 0x800);
    ParadoxWriter::encryptDataBlock(block.data(), int(block.size()), key, 1);
    QCOMPARE(block, locked.mid(0x800, 0x800));
}

QTEST_GUILESS_MAIN(tst_ParadoxWriter)
#include "tst_ParadoxWriter.moc"
