// Any bytes through the Paradox table reader: the first 4 bytes (little-endian) give the length of
// the table part, the rest is its memo file (none when empty). Both are written to a directory of
// the process's own and read to the end, as the import and the dump read them. The reader must
// refuse what it cannot read with FormatError or a record's error, never crash or read outside.
#include "platform/paradox/ParadoxTable.h"

#include <QFile>
#include <QIODevice>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void writeFile(const QString &path, const char *data, qsizetype size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data, size) != size) {
        fprintf(stderr, "cannot write %s\n", qPrintable(path));
        abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static const QString dbPath = dir.filePath(QStringLiteral("T.DB"));
    static const QString mbPath = dir.filePath(QStringLiteral("t.mb"));
    if (size < 4)
        return 0;
    const auto *bytes = reinterpret_cast<const char *>(data);
    const size_t declared
        = size_t(data[0]) | size_t(data[1]) << 8 | size_t(data[2]) << 16 | size_t(data[3]) << 24;
    const size_t dbSize = declared < size - 4 ? declared : size - 4;
    writeFile(dbPath, bytes + 4, qsizetype(dbSize));
    const size_t mbSize = size - 4 - dbSize;
    if (mbSize > 0)
        writeFile(mbPath, bytes + 4 + dbSize, qsizetype(mbSize));
    else
        QFile::remove(mbPath);

    try {
        paradox::TableReader reader(dbPath);
        QString csv;
        QTextStream out(&csv);
        paradox::writeCsv(reader, out);
        out.flush();
        if (reader.deletedCount() < 0)
            abort();
    } catch (const paradox::FormatError &e) {
        if (e.message().isEmpty())
            abort();
    }
    return 0;
}
