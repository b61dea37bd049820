#include "platform/paradox/ParadoxTable.h"

#include "support/ParadoxWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

using namespace Qt::StringLiterals;
using namespace paradox;

namespace {

Field field(const QString &name, FieldType type, int size = 0)
{
    return Field { name, type, size };
}

struct ReadBack
{
    TableInfo info;
    QList<Record> records;
    qint64 deleted = -1;
    QString failure;
};

// With TALUVO_FUZZ_SEEDS set, every table read is also saved there as an input for fuzz_paradox:
// the table's length (4 bytes, little-endian), the table, then its memo file.
void saveSeed(const QString &dbPath)
{
    const QString dir = qEnvironmentVariable("TALUVO_FUZZ_SEEDS");
    QFile db(dbPath);
    QFile mb(dbPath.chopped(2) + u"MB"_s);
    QFile seed(dir + u"/%1-%2"_s.arg(QTest::currentTestFunction()).arg(QTest::currentDataTag()));
    if (dir.isEmpty() || !db.open(QIODevice::ReadOnly) || !seed.open(QIODevice::WriteOnly))
        return;
    seed.write(ParadoxWriter::le32(db.size()) + db.readAll());
    if (mb.open(QIODevice::ReadOnly))
        seed.write(mb.readAll());
}

ReadBack readAll(const QString &path)
{
    saveSeed(path);
    ReadBack back;
    try {
        TableReader reader(path);
        back.info = reader.info();
        Record record;
        while (reader.next(record))
            back.records.append(record);
        back.deleted = reader.deletedCount();
    } catch (const FormatError &e) {
        back.failure = e.message();
    }
    return back;
}

// Long enough to leave the record, with letters outside ASCII that every code page has.
QString memoText(int length)
{
    const QString line = u"Válvula mitral com prolapso; ventrículo esquerdo dilatado.\r\n"_s;
    QString text;
    while (text.size() < length)
        text += line;
    return text.left(length);
}

// clang-format off
enum Damage {
    NotATable, TinyFile, HeaderPastEnd, AbsurdRecordSize, AbsurdFieldCount, NoBlockSize,
    LinkPastEnd, LinkLoop, TruncatedTable, MissingMemoFile, TruncatedMemoFile, PointerPastEnd,
    PointerToHeader, WrongSlot, BadFieldType,
};
// clang-format on

} // namespace

Q_DECLARE_METATYPE(paradox::Field)

class tst_ParadoxTable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void fieldTypes_data();
    void fieldTypes();
    void memoStorage_data();
    void memoStorage();
    void versions_data();
    void versions();
    void blocksAndDeletedRecords();
    void csvDump();
    void damagedFiles_data();
    void damagedFiles();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_ParadoxTable::fieldTypes_data()
{
    QTest::addColumn<Field>("field");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("expected"); // as read back; invalid: the value itself
    QTest::addColumn<QString>("text");

    const QDateTime at(QDate(2023, 11, 5), QTime(8, 9, 10, 456), Qt::UTC);
    const QByteArray big(3000, 'x');
    const QString rtf = u"{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 Mitral \\'e9 normal\\par}"_s;
    auto row = [](const char *name, const Field &f, const QVariant &value, const QString &text,
                  const QVariant &expected = {}) {
        QTest::newRow(name) << f << value << expected << text;
    };
    row("alpha", field(u"Nome"_s, FieldType::Alpha, 20), u"Mãe d'Água"_s, u"Mãe d'Água"_s);
    row("date", field(u"D"_s, FieldType::Date), QDate(2024, 2, 29), u"2024-02-29"_s);
    row("date of year 100", field(u"D"_s, FieldType::Date), QDate(100, 1, 1), u"0100-01-01"_s);
    row("short", field(u"S"_s, FieldType::Short), -12345, u"-12345"_s);
    row("short zero", field(u"S"_s, FieldType::Short), 0, u"0"_s);
    row("long", field(u"L"_s, FieldType::Long), -1, u"-1"_s);
    row("long max", field(u"L"_s, FieldType::Long), 2147483647, u"2147483647"_s);
    row("autoinc", field(u"N"_s, FieldType::AutoInc), 7, u"7"_s);
    row("number", field(u"N"_s, FieldType::Number), -2.5, u"-2.5"_s);
    row("number zero", field(u"N"_s, FieldType::Number), 0.0, u"0"_s);
    row("number large", field(u"N"_s, FieldType::Number), 1e20, u"100000000000000000000"_s);
    row("money", field(u"M"_s, FieldType::Money), 1234.56, u"1234.56"_s);
    row("logical true", field(u"B"_s, FieldType::Logical), true, u"1"_s);
    row("logical false", field(u"B"_s, FieldType::Logical), false, u"0"_s);
    row("time", field(u"T"_s, FieldType::Time), QTime(13, 45, 7, 123), u"13:45:07.123"_s);
    row("timestamp", field(u"T"_s, FieldType::Timestamp), at, u"2023-11-05 08:09:10.456"_s);
    row("bcd", field(u"C"_s, FieldType::Bcd, 3), u"-12.34"_s, u"-12.340"_s, u"-12.340"_s);
    row("bcd zero", field(u"C"_s, FieldType::Bcd, 2), u"0"_s, u"0.00"_s, u"0.00"_s);
    row("bcd 32 digits", field(u"C"_s, FieldType::Bcd, 0), u"12345678901234567890123456789012"_s,
        u"12345678901234567890123456789012"_s);
    row("bytes", field(u"Y"_s, FieldType::Bytes, 4), QByteArray("\x01\x00\x02", 3), u"<4 bytes>"_s,
        QByteArray("\x01\x00\x02\x00", 4));
    row("memo in the record", field(u"M"_s, FieldType::Memo, 30), u"curto"_s, u"curto"_s);
    row("formatted memo", field(u"F"_s, FieldType::FormattedMemo, 11), rtf, rtf);
    row("blob", field(u"B"_s, FieldType::Blob, 10), big, u"<3000 bytes>"_s);
    row("graphic", field(u"G"_s, FieldType::Graphic, 10), big.left(100), u"<100 bytes>"_s);
    row("ole", field(u"O"_s, FieldType::Ole, 10), big.left(5), u"<5 bytes>"_s);
}

void tst_ParadoxTable::fieldTypes()
{
    QFETCH(Field, field);
    QFETCH(QVariant, value);
    QFETCH(QVariant, expected);
    QFETCH(QString, text);
    {
        ParadoxWriter writer(path(u"T.DB"_s), { field });
        writer.addRecord({ value });
        writer.addRecord({ QVariant() });
    }
    const ReadBack back = readAll(path(u"T.DB"_s));
    QCOMPARE(back.failure, QString());
    QCOMPARE(back.records.size(), 2);
    QCOMPARE(back.info.fields.at(0).type, field.type);
    const QVariant read = back.records.at(0).values.at(0);
    QCOMPARE(read, expected.isValid() ? expected : value);
    QCOMPARE(storageText(read, field.type), text);
    QVERIFY(back.records.at(1).values.at(0).isNull());
    QCOMPARE(storageText(back.records.at(1).values.at(0), field.type), QString());
    QCOMPARE(back.records.at(0).error, QString());
}

void tst_ParadoxTable::memoStorage_data()
{
    QTest::addColumn<int>("fieldSize");
    QTest::addColumn<QList<int>>("lengths");
    QTest::addColumn<bool>("encrypted");

    for (const bool encrypted : { false, true }) {
        const char *suffix = encrypted ? ", encrypted" : "";
        auto name = [&](const char *what) { return QByteArray(what) + suffix; };
        QTest::newRow(name("in the record")) << 60 << QList<int> { 40, 50, 1 } << encrypted;
        QTest::newRow(name("shared block")) << 11 << QList<int> { 500, 2, 1200, 16 } << encrypted;
        QTest::newRow(name("own block")) << 11 << QList<int> { 10000, 2049 } << encrypted;
        QTest::newRow(name("both")) << 21 << QList<int> { 5000, 300, 20, 9000, 700 } << encrypted;
    }
}

void tst_ParadoxTable::memoStorage()
{
    QFETCH(int, fieldSize);
    QFETCH(QList<int>, lengths);
    QFETCH(bool, encrypted);
    ParadoxWriter::Options options;
    options.password = encrypted ? u"cardio"_s : QString();
    options.recordsPerBlock = 2;
    bool external = false;
    {
        ParadoxWriter writer(path(u"Exames.DB"_s),
                             { field(u"Texto"_s, FieldType::Memo, fieldSize) }, options);
        for (const int length : lengths)
            writer.addRecord({ memoText(length) });
        external = writer.hasMemoFile();
    }
    // The memo file is found whatever the letters' case.
    if (external)
        QVERIFY(QFile::rename(path(u"Exames.MB"_s), path(u"exames.Mb"_s)));
    const ReadBack back = readAll(path(u"Exames.DB"_s));
    QCOMPARE(back.failure, QString());
    QCOMPARE(back.info.encrypted, encrypted);
    QCOMPARE(back.records.size(), lengths.size());
    for (int i = 0; i < lengths.size(); ++i) {
        QCOMPARE(back.records.at(i).error, QString());
        QCOMPARE(back.records.at(i).values.at(0).toString(), memoText(lengths.at(i)));
    }
}

// Versions and code pages together: before 4.0 the header names no code page (DOS 437 then).
void tst_ParadoxTable::versions_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("text");
    const QString latin1 = u"Conceição, São João – «€»"_s;
    const QString dos850 = u"Conceição, São João ÕÃ «»"_s;
    const QString dos437 = u"Müller, Peña, çé ñ ½ ░"_s;
    const QString password = u"jIGGAe"_s;
    QTest::newRow("3") << 3 << 437 << QString() << dos437;
    QTest::newRow("4, encrypted") << 4 << 437 << password << dos437;
    QTest::newRow("9, 850") << 9 << 850 << QString() << dos850;
    QTest::newRow("11, 850, encrypted") << 11 << 850 << password << dos850;
    QTest::newRow("12, 1252") << 12 << 1252 << QString() << latin1;
    QTest::newRow("12, 1252, encrypted") << 12 << 1252 << password << latin1;
    QTest::newRow("12, 437, encrypted") << 12 << 437 << password << dos437;
}

void tst_ParadoxTable::versions()
{
    QFETCH(int, version);
    QFETCH(int, codePage);
    QFETCH(QString, password);
    QFETCH(QString, text);
    ParadoxWriter::Options options;
    options.fileVersion = version;
    options.codePage = codePage;
    options.password = password;
    options.keyFieldCount = 1;
    options.nextAutoInc = 31;
    const QList<Field> fields
        = { field(u"NF"_s, FieldType::AutoInc), field(u"Código"_s, FieldType::Alpha, 60),
            field(u"Memória"_s, FieldType::Memo, 11) };
    auto record = [&](int i) { return QVariantList { i, text, text + memoText(i * 97) }; };
    {
        ParadoxWriter writer(path(u"T.DB"_s), fields, options);
        for (int i = 1; i <= 30; ++i)
            writer.addRecord(record(i));
    }
    const ReadBack back = readAll(path(u"T.DB"_s));
    QCOMPARE(back.failure, QString());
    QCOMPARE(back.info.fileVersion, version);
    QCOMPARE(back.info.codePage, version >= 5 ? codePage : 0);
    QCOMPARE(back.info.encrypted, !password.isEmpty());
    QCOMPARE(back.info.fields.at(1).name, u"Código"_s);
    QCOMPARE(back.info.fields.at(2).name, u"Memória"_s);
    QCOMPARE(back.info.keyFieldCount, 1);
    QCOMPARE(back.info.nextAutoInc, 31);
    QCOMPARE(back.info.recordCount, qint64(30));
    QCOMPARE(back.records.size(), 30);
    for (int i = 1; i <= 30; ++i) {
        QCOMPARE(back.records.at(i - 1).number, qint64(i));
        QCOMPARE(back.records.at(i - 1).values, record(i));
    }
}

void tst_ParadoxTable::blocksAndDeletedRecords()
{
    // Stored out of chain order, with an empty block, deleted records left in three slots and
    // one block whose size claims more than it holds (its records deleted in place).
    ParadoxWriter::Options options;
    options.blockSize = 1024;
    options.recordsPerBlock = 4;
    options.blockPlacement = { 3, 1, 5, 2, 4 };
    qint64 absurdBlock = 0;
    {
        ParadoxWriter writer(path(u"T.DB"_s), { field(u"N"_s, FieldType::Long) }, options);
        writer.addRecord({ 1 });
        writer.addRecord({ 2 });
        writer.addDeletedRecord({ -1 });
        writer.endBlock();
        writer.endBlock();
        writer.addRecord({ 3 });
        writer.addDeletedRecord({ -2 });
        writer.addDeletedRecord({ -3 });
        writer.endBlock();
        writer.addRecord({ -4 });
        writer.addRecord({ -5 });
        writer.endBlock();
        writer.addRecord({ 4 });
        absurdBlock = writer.blockOffset(2);
    }
    ParadoxWriter::patch(path(u"T.DB"_s), absurdBlock + ParadoxWriter::LastRecordAt,
                         ParadoxWriter::le16(0x7000));
    const ReadBack back = readAll(path(u"T.DB"_s));
    QCOMPARE(back.failure, QString());
    QVariantList values;
    for (const Record &r : back.records)
        values.append(r.values.at(0));
    QCOMPARE(values, (QVariantList { 1, 2, 3, 4 }));
    QCOMPARE(back.records.last().number, qint64(4));
    QCOMPARE(back.deleted, qint64(5));
}

void tst_ParadoxTable::csvDump()
{
    const QList<Field> fields
        = { field(u"Nome"_s, FieldType::Alpha, 30),  field(u"Idade, anos"_s, FieldType::Short),
            field(u"Nota"_s, FieldType::Memo, 11),   field(u"Quando"_s, FieldType::Date),
            field(u"Ativo"_s, FieldType::Logical),   field(u"Valor"_s, FieldType::Money),
            field(u"Foto"_s, FieldType::Graphic, 10) };
    {
        ParadoxWriter writer(path(u"T.DB"_s), fields);
        writer.addRecord({ u"Silva, Ana"_s, 42, u"linha 1\r\nlinha \"2\""_s, QDate(2024, 1, 2),
                           true, 10.5, QByteArray(70, 'g') });
        writer.addRecord(QVariantList(fields.size()));
    }
    TableReader reader(path(u"T.DB"_s));
    QString csv;
    QTextStream out(&csv);
    writeCsv(reader, out);
    out.flush();
    QCOMPARE(csv,
             u"Nome,\"Idade, anos\",Nota,Quando,Ativo,Valor,Foto\r\n"
             "\"Silva, Ana\",42,\"linha 1\r\nlinha \"\"2\"\"\",2024-01-02,1,10.5,<70 bytes>\r\n"
             ",,,,,,\r\n"_s);
}

void tst_ParadoxTable::damagedFiles_data()
{
    QTest::addColumn<int>("damage");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<int>("readBefore"); // records returned before the failure
    QTest::addColumn<QString>("recordError");

    const QString notTable = u"o ficheiro não é uma tabela Paradox"_s;
    const QString header = u"o cabeçalho da tabela está danificado"_s;
    const QString outside = u"memo do campo Nota fora do ficheiro .MB"_s;
    const QString broken = u"memo do campo Nota danificado no ficheiro .MB"_s;
    QTest::newRow("index file") << int(NotATable) << notTable << 0 << QString();
    QTest::newRow("tiny file") << int(TinyFile) << notTable << 0 << QString();
    QTest::newRow("no block size") << int(NoBlockSize) << notTable << 0 << QString();
    QTest::newRow("header past the end") << int(HeaderPastEnd) << header << 0 << QString();
    QTest::newRow("absurd record size") << int(AbsurdRecordSize) << header << 0 << QString();
    QTest::newRow("absurd field count") << int(AbsurdFieldCount) << header << 0 << QString();
    QTest::newRow("bad field type")
        << int(BadFieldType) << u"o campo Nome da tabela tem um tipo ou tamanho inválido"_s << 0
        << QString();
    QTest::newRow("link past the end")
        << int(LinkPastEnd) << u"o bloco 99 da tabela está fora do ficheiro"_s << 2 << QString();
    QTest::newRow("block loop") << int(LinkLoop)
                                << u"o bloco 1 da tabela aparece duas vezes na cadeia de blocos"_s
                                << 4 << QString();
    QTest::newRow("truncated table")
        << int(TruncatedTable) << u"o bloco 3 da tabela está fora do ficheiro"_s << 4 << QString();
    QTest::newRow("missing memo file")
        << int(MissingMemoFile) << u"falta o ficheiro .MB com os memos da tabela T.DB"_s << 0
        << QString();
    QTest::newRow("truncated memo file") << int(TruncatedMemoFile) << QString() << 5 << outside;
    QTest::newRow("pointer past the end") << int(PointerPastEnd) << QString() << 5 << outside;
    QTest::newRow("pointer to the header") << int(PointerToHeader) << QString() << 5 << broken;
    QTest::newRow("single blob, wrong slot") << int(WrongSlot) << QString() << 5 << broken;
}

void tst_ParadoxTable::damagedFiles()
{
    QFETCH(int, damage);
    QFETCH(QString, failure);
    QFETCH(int, readBefore);
    QFETCH(QString, recordError);
    const QString db = path(u"T.DB"_s);
    const QString mb = path(u"T.MB"_s);
    ParadoxWriter::Options options;
    options.recordsPerBlock = 2;
    const auto writer
        = std::make_unique<ParadoxWriter>(db,
                                          QList<Field> { field(u"Nome"_s, FieldType::Alpha, 20),
                                                         field(u"Nota"_s, FieldType::Memo, 11) },
                                          options);
    // Record 0 keeps its memo in a block of its own, the others share one.
    for (int i = 0; i < 5; ++i)
        writer->addRecord({ u"R%1"_s.arg(i), memoText(i == 0 ? 5000 : 100) });
    writer->close();
    auto patch = [&](qint64 at, const QByteArray &bytes) { ParadoxWriter::patch(db, at, bytes); };
    // clang-format off
    switch (Damage(damage)) {
    case NotATable: patch(ParadoxWriter::FileTypeAt, "\x01"); break;
    case TinyFile: ParadoxWriter::truncate(db, 40); break;
    case NoBlockSize: patch(ParadoxWriter::BlockSizeCodeAt, QByteArray(1, '\0')); break;
    case HeaderPastEnd: patch(ParadoxWriter::HeaderSizeAt, ParadoxWriter::le16(0xF000)); break;
    case AbsurdRecordSize: patch(ParadoxWriter::RecordSizeAt, ParadoxWriter::le16(0xFFFF)); break;
    case AbsurdFieldCount: patch(ParadoxWriter::FieldCountAt, ParadoxWriter::le16(300)); break;
    case LinkPastEnd: patch(writer->blockOffset(1), ParadoxWriter::le16(99)); break;
    case LinkLoop: patch(writer->blockOffset(2), ParadoxWriter::le16(1)); break;
    case TruncatedTable: ParadoxWriter::truncate(db, writer->blockOffset(3) + 100); break;
    case MissingMemoFile: QVERIFY(QFile::remove(mb)); break;
    case TruncatedMemoFile: ParadoxWriter::truncate(mb, 4096 + 100); break;
    case PointerPastEnd: patch(writer->blobPointerOffset(1, 1), ParadoxWriter::le32(0x7FFFFF3F)); break;
    case PointerToHeader: patch(writer->blobPointerOffset(1, 1), ParadoxWriter::le32(0x3F)); break;
    case WrongSlot: patch(writer->blobPointerOffset(0, 1), ParadoxWriter::le32(0x1005)); break;
    case BadFieldType: patch(0x78, "\x07"); break;
    }
    // clang-format on
    const ReadBack back = readAll(db);
    QCOMPARE(back.failure, failure);
    QCOMPARE(back.records.size(), readBefore);
    int refused = 0;
    for (const Record &r : back.records) {
        if (!r.error.isEmpty()) {
            QCOMPARE(r.error, recordError);
            QVERIFY(r.values.at(1).isNull());
            ++refused;
        }
        QVERIFY(!r.values.at(0).isNull());
    }
    QCOMPARE(refused > 0, !recordError.isEmpty());
}

QTEST_GUILESS_MAIN(tst_ParadoxTable)
#include "tst_ParadoxTable.moc"
