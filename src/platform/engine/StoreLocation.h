#pragma once

#include <QString>

// Where a logical database lives: a directory (an SQLite file in it) or a PostgreSQL server named
// by a libpq URI (postgresql://... or postgres://...). libpq's own conventions give the rest
// (~/.pgpass, PGSERVICE, sslmode...).
namespace StoreLocation {
[[nodiscard]] bool isServer(const QString &location);
// The location as it may be shown or logged: a URI loses its password (user:secret@ and
// password=...).
[[nodiscard]] QString shown(const QString &location);
// The password a URI carries, or empty: taken out of any text the server or libpq sends back.
[[nodiscard]] QString password(const QString &location);
} // namespace StoreLocation
