#pragma once

#include "platform/engine/FieldType.h"

#include <QVariant>

class SqlStatement;

// Conversion between the engine's internal values and what SQLite stores: dates and timestamps
// as ISO text, logical values as 1/0, numbers as numbers.
namespace StorageValue {
[[nodiscard]] QVariant toStorage(FieldType type, const QVariant &internal);
// Reads column `column` of the statement's current row as a value of `type`.
[[nodiscard]] QVariant read(const SqlStatement &st, int column, FieldType type);
// The logical type a stored column gets when nothing else declares it.
[[nodiscard]] FieldType fromDeclaredType(const QString &sqlType, bool rowidKey);
// Whether a declared field type may live in a column of this SQL type.
[[nodiscard]] bool compatible(FieldType type, const QString &sqlType);
} // namespace StorageValue
