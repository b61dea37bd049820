#include "platform/engine/FieldType.h"

QString fieldTypeName(FieldType type)
{
    switch (type) {
    case FieldType::Unknown:
        return QStringLiteral("Unknown");
    case FieldType::String:
        return QStringLiteral("String");
    case FieldType::SmallInt:
        return QStringLiteral("SmallInt");
    case FieldType::Integer:
        return QStringLiteral("Integer");
    case FieldType::LargeInt:
        return QStringLiteral("LargeInt");
    case FieldType::Float:
        return QStringLiteral("Float");
    case FieldType::Boolean:
        return QStringLiteral("Boolean");
    case FieldType::Date:
        return QStringLiteral("Date");
    case FieldType::DateTime:
        return QStringLiteral("DateTime");
    case FieldType::Memo:
        return QStringLiteral("Memo");
    case FieldType::FmtMemo:
        return QStringLiteral("FmtMemo");
    case FieldType::Blob:
        return QStringLiteral("Blob");
    case FieldType::AutoInc:
        return QStringLiteral("AutoInc");
    }
    return QStringLiteral("Unknown");
}

bool isIntegerType(FieldType type)
{
    return type == FieldType::SmallInt || type == FieldType::Integer || type == FieldType::LargeInt
        || type == FieldType::AutoInc;
}

bool isNumericType(FieldType type)
{
    return isIntegerType(type) || type == FieldType::Float;
}

bool isTextType(FieldType type)
{
    return type == FieldType::String || type == FieldType::Memo || type == FieldType::FmtMemo;
}

bool isMemoType(FieldType type)
{
    return type == FieldType::Memo || type == FieldType::FmtMemo || type == FieldType::Blob;
}
