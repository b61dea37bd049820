#include "platform/richtext/RichText.h"
#include "platform/richtext/Cp1252.h"
#include "platform/richtext/RtfReader.h"
#include "platform/richtext/RtfWriter.h"

#include <QLoggingCategory>
#include <QTextDocument>

namespace {
Q_LOGGING_CATEGORY(lcRichText, "taluvo.richtext")

void loadPlain(QTextDocument &document, const QString &text)
{
    const bool undo = document.isUndoRedoEnabled();
    document.setUndoRedoEnabled(false);
    document.setPlainText(text);
    document.setUndoRedoEnabled(undo);
    document.setModified(false);
}

template<typename Stored>
bool loadAny(QTextDocument &document, const Stored &stored, QString (*plain)(const Stored &))
{
    if (RtfReader::isRtf(stored)) {
        RtfReader reader;
        if (reader.read(stored, document))
            return true;
        qCWarning(lcRichText, "Stored RTF refused, loaded as plain text: %s",
                  qUtf8Printable(reader.errorString()));
    }
    loadPlain(document, plain(stored));
    return false;
}
} // namespace

namespace RichText {

bool load(QTextDocument &document, const QString &stored)
{
    return loadAny<QString>(document, stored, [](const QString &s) { return s; });
}

bool load(QTextDocument &document, const QByteArray &stored)
{
    return loadAny<QByteArray>(document, stored, [](const QByteArray &bytes) {
        QString text(bytes.size(), Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            text[i] = QChar(Cp1252::toUnicode(uchar(bytes[i])));
        return text;
    });
}

QString toRtf(const QTextDocument &document)
{
    return RtfWriter::write(document);
}

} // namespace RichText
