#pragma once

#include <QString>

struct sqlite3;

// The engine's local SQL on top of SQLite's.
//
// SQLite runs "A right join B on c" by scanning A first and sorting everything before the first
// row; written as "B left join A on c" it follows B's indexes and answers at once. The result is
// the same set of rows, so the engine turns a right join that opens a from-list into a left join,
// unless the select list takes "*" (whose column order would change).
//
// SQLite's upper() and like() know only the letters a to z; the local SQL's know the accented
// ones too, so a name typed "conceição" finds "CONCEIÇÃO". Both replace SQLite's own on every
// connection the process opens (an SQLite auto-extension, installed when the program starts).
// Letters outside a to z never fold onto a to z (the dotless i stays itself), so a pattern of
// plain letters and digits compares bytes, as fast as SQLite's own like().
//
// "cast(X as integer)" gives null for a text that is not wholly a whole number, where SQLite's
// reads the leading digits ("12A" would be 12): the engine writes it as strict_integer(X).
namespace LocalSql {
[[nodiscard]] QString translate(const QString &sql);

// Installs upper(X), like(P, X), like(P, X, E) and strict_integer(X) on one connection; SQLite's
// result code.
int registerFunctions(sqlite3 *db);
} // namespace LocalSql
