#pragma once

#include <QString>

// The engine's local SQL on top of SQLite's. SQLite runs "A right join B on c" by scanning A
// first and sorting everything before the first row; written as "B left join A on c" it follows
// B's indexes and answers at once. The result is the same set of rows, so the engine turns a
// right join that opens a from-list into a left join, unless the select list takes "*" (whose
// column order would change).
namespace LocalSql {
[[nodiscard]] QString translate(const QString &sql);
} // namespace LocalSql
