#pragma once

#include <QString>

// Logical column types of the table engine. Storage maps them onto SQLite's TEXT, INTEGER and REAL.
enum class FieldType {
    Unknown,
    String, // Alpha n: text of at most size() characters
    SmallInt, // 16-bit signed
    Integer, // 32-bit signed
    LargeInt, // 64-bit signed (query results such as count(*))
    Float, // 64-bit floating point
    Boolean, // three-valued: true, false, null
    Date, // calendar date, stored 'YYYY-MM-DD'
    DateTime, // date and time to the millisecond, stored 'YYYY-MM-DD HH:MM:SS.zzz'
    Memo, // text of any length
    FmtMemo, // formatted (rich-text) memo; same storage as Memo
    Blob, // binary data
    AutoInc, // 32-bit key assigned by the engine on insert
};

[[nodiscard]] QString fieldTypeName(FieldType type);
[[nodiscard]] bool isIntegerType(FieldType type);
[[nodiscard]] bool isNumericType(FieldType type);
[[nodiscard]] bool isTextType(FieldType type);
[[nodiscard]] bool isMemoType(FieldType type);
