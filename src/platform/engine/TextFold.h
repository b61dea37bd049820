#pragma once

#include <QString>

// Texts compared the way people read names, whatever accents they were written or typed with.
// A letter's accents are the combining marks of its canonical decomposition: "Á" is "A", "Ç" is
// "C", "Ǖ" is "U"; letters without one ("Ø", "Ł", "ß") stay themselves.
// Texts with nothing to fold (plain ASCII, for withoutAccents any text without accents) come back
// shared, without a copy: names are mostly plain, and tables fold a hundred thousand of them.
namespace TextFold {

// "ÁLVARO" -> "ALVARO", "Conceição" -> "Conceicao"; case and every other character kept.
[[nodiscard]] QString withoutAccents(const QString &text);

// Without accents and case folded: "Álvaro", "ALVARO" -> "alvaro".
[[nodiscard]] QString searchKey(const QString &text);
// searchKey(text) begins with key (or, whole, equals it); key is a searchKey.
[[nodiscard]] bool matchesSearchKey(const QString &text, const QString &key, bool whole);

} // namespace TextFold
