#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

class QTextDocument;

// Reads RTF as a standard Windows rich-text control writes it into a QTextDocument, for the
// observation and conclusion memos and for the report that prints them.
//
// Understood: the font and colour tables; character formats \b \i \ul (any underline kind)
// \ulnone \strike \f \fs \cf \plain; paragraph formats \pard \ql \qc \qr \qj \li \fi \ri \sb \sa;
// \par \line \tab and the special characters (\~ \- \_ \emdash, quotes, bullets); \'hh bytes
// through the code page (\ansicpg, or the charset of the current font; 1252 when none is given,
// and the Symbol font's bullets and signs as their Unicode characters); \uN with its \ucN
// fallback skip. Fields keep their result text. Pictures, objects, \* groups and the other
// non-text destinations are skipped, \bin data included; unknown words are ignored. Properties
// the RTF does not give (no \fs, no font table) are left unset on the formats, so the document's
// default font applies to them. Indents and spacing become block margins in pixels at 96 dpi
// (15 twips to the pixel).
//
// The last \par closes the last paragraph instead of opening an empty one, as the control
// writes a \par after every paragraph; text after the outermost group is ignored, and a
// missing closing brace ends the document where the input ends.
//
// Hardened for whatever a memo holds: no recursion on nesting, every limit below checked, numeric
// parameters clamped, characters that would change the document's structure replaced with
// U+FFFD. Time and memory grow linearly with the input, and every input ends either in a
// document or in false with errorString() set. Never throws.
class RtfReader
{
public:
    static constexpr int MaxDepth = 512; // nested groups
    static constexpr int MaxFonts = 1024; // font table entries
    static constexpr int MaxColors = 1024; // colour table entries
    static constexpr qsizetype MaxInputSize = 64 * 1024 * 1024; // bytes or UTF-16 units

    // Replaces the content of document with the RTF. Bytes above 0x7F outside escapes are code
    // page bytes, as \'hh. The undo history is cleared and the document left unmodified. On
    // failure the document is left empty and errorString() says why, without any of the text.
    [[nodiscard]] bool read(QByteArrayView rtf, QTextDocument &document);
    // The same for RTF kept as text: characters above 0x7F outside escapes are taken as they are.
    [[nodiscard]] bool read(QStringView rtf, QTextDocument &document);

    // The reason of the last failure; empty after a success.
    [[nodiscard]] QString errorString() const { return m_errorString; }

    // True when text starts with "{\rtf", as every RTF document does.
    [[nodiscard]] static bool isRtf(QStringView text);
    [[nodiscard]] static bool isRtf(QByteArrayView text);

private:
    bool readUnits(QStringView units, bool bytes, QTextDocument &document);

    QString m_errorString;
};
