#pragma once

#include <QString>

// What a PDF says about itself, read back with poppler's pdfinfo: its information lines ("Title:",
// "Creator:", "PDF version:", ...) followed by its XMP metadata. Empty when pdfinfo is missing.
[[nodiscard]] QString pdfInfo(const QString &pdf);
// The value of one information line: field "Title" gives the title; empty when there is none.
[[nodiscard]] QString pdfInfoField(const QString &info, const QString &field);
// The file is PDF 1.4 and its metadata name it PDF/A-1b.
[[nodiscard]] bool claimsPdfA1b(const QString &info);
// Every font the file uses is embedded in it (pdffonts' "emb" column).
[[nodiscard]] bool fontsEmbedded(const QString &pdf);
