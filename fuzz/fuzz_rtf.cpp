// Any bytes through the RTF reader, as stored bytes and as text. What it accepts must survive the
// writer: the written RTF reads back and writes out again unchanged.
#include "platform/richtext/RtfReader.h"
#include "platform/richtext/RtfWriter.h"

#include <QTextDocument>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
void roundTrip(const QTextDocument &document)
{
    const QString written = RtfWriter::write(document);
    QTextDocument again;
    RtfReader reader;
    if (!reader.read(written, again)) {
        fprintf(stderr, "written RTF refused: %s\n", qPrintable(reader.errorString()));
        abort();
    }
    if (RtfWriter::write(again) != written) {
        fprintf(stderr, "second writing differs:\n%s\n---\n%s\n", qPrintable(written),
                qPrintable(RtfWriter::write(again)));
        abort();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    RtfReader reader;
    QTextDocument document;
    if (reader.read(bytes, document))
        roundTrip(document);
    if (reader.read(QString::fromUtf8(bytes), document))
        roundTrip(document);
    return 0;
}
