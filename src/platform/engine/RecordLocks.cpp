#include "platform/engine/RecordLocks.h"

#include <cmath>

namespace {
QByteArray valueText(const QVariant &v)
{
    if (v.isNull())
        return {};
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        if (std::floor(d) == d && std::fabs(d) < 9.0e15)
            return QByteArray::number(qint64(d));
        return QByteArray::number(d, 'g', 17);
    }
    case QMetaType::QByteArray:
        return v.toByteArray().toHex();
    default:
        return v.toString().toUtf8();
    }
}
} // namespace

QByteArray RecordLocks::keyText(const QString &table, const QVariantList &key)
{
    QByteArray text = table.toLower().toUtf8();
    for (const QVariant &v : key) {
        text += '\x1f';
        text += valueText(v);
    }
    return text;
}
