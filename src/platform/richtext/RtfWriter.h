#pragma once

#include <QString>

class QTextDocument;

// Writes a QTextDocument as RTF in the dialect of a standard Windows rich-text control, the one
// RtfReader reads and the memos store:
//
//   {\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fnil\fcharset0 Arial;}}
//   {\colortbl ;\red255\green0\blue0;}
//   \viewkind4\uc1\pard\f0\fs20 Normal \b negrito\b0\par
//   }
//
// The font table holds the faces the text uses and the colour table, left out when there is none,
// its explicit colours; every run states its face and size, the other properties change as the
// text goes (\b \i \ul \ulnone \strike \cf, plus \b0 \i0 \strike0). A paragraph whose alignment,
// indents or spacing differ from the one before starts with \pard and them. Characters above 127
// are \'hh in code page 1252 or \uN? otherwise; tab and line break are \tab and \line. Properties
// the document leaves unset come from its default font. Lists, tables, images and anchors are
// written as their text only.
//
// Every paragraph ends with \par, so an empty document gives a valid minimal one with a single
// empty paragraph. The result is plain ASCII. Never fails, never throws.
class RtfWriter
{
public:
    [[nodiscard]] static QString write(const QTextDocument &document);
};
