#pragma once

#include "platform/engine/FieldType.h"

#include <QString>

#include <functional>
#include <optional>

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
//
// "cast(X as char(n))" (or varchar) gives a date as the user reads it, in the short date format
// of FormatSettings (and a time after it, as a date-time field shows it), cut to n characters, so
// a search typed as "03/09" finds the date it shows. The engine writes it as char_cast(X, n),
// which knows a date by the form it is stored in ("YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS.zzz"), unless
// X names a column whose type is known not to be a date: that cast stays SQLite's, which is
// faster. Other values are cast as SQLite casts them.
//
// None of these functions is needed by anything stored: they serve statements only.
//
// For a PostgreSQL server the same statement is written with the server's built-ins only, since
// nothing of ours may be installed there: upper() and like fold through the ICU root collation
// (a pattern of plain characters through the C one, which is as fast as a byte compare), whatever
// locale the database was made with; the casts become expressions that test the text first, as
// the server's own casts raise errors where SQLite gives null or 0; an expression in the select
// list is named by its text, as SQLite names it ("count(*)"). Placeholders stay as they are.
namespace LocalSql {
enum class Dialect { Sqlite, PostgreSql };

// The logical type of a column named in a statement ("DNASC"), when it is known.
using ColumnTypeOf = std::function<std::optional<FieldType>(const QString &column)>;

[[nodiscard]] QString translate(const QString &sql, const ColumnTypeOf &typeOf = {},
                                Dialect dialect = Dialect::Sqlite);

// Installs upper(X), like(P, X), like(P, X, E), strict_integer(X) and char_cast(X, n) on one
// connection; SQLite's result code.
int registerFunctions(sqlite3 *db);
} // namespace LocalSql
