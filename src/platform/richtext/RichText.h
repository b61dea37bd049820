#pragma once

#include <QByteArray>
#include <QString>

class QTextDocument;

// The rich-text memos as the editors and the report see them: a stored value goes into a
// QTextDocument, a document comes out as RTF. Stored values are RTF as a standard rich-text control
// writes it, or plain text from before the memo was rich; an editor always saves RTF.
namespace RichText {

// Replaces the content of document with stored: as RTF when it starts with "{\rtf" and RtfReader
// accepts it, as plain text otherwise, line breaks making paragraphs. RTF that the reader refuses
// shows as its source text rather than not at all; the refusal is logged without the text.
// Returns true when the value was read as RTF. Clears the undo history and leaves the document
// unmodified. A QByteArray holds code page 1252 when it is not RTF.
bool load(QTextDocument &document, const QString &stored);
bool load(QTextDocument &document, const QByteArray &stored);

// The document as RtfWriter writes it; an empty document gives a minimal RTF document.
[[nodiscard]] QString toRtf(const QTextDocument &document);

} // namespace RichText
