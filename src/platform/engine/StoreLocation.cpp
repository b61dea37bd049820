#include "platform/engine/StoreLocation.h"

#include <QStringList>
#include <QUrl>

namespace {
struct UriParts
{
    qsizetype authorityStart = -1;
    qsizetype authorityEnd = -1;
    qsizetype queryStart = -1;
};

UriParts partsOf(const QString &uri)
{
    UriParts p;
    const qsizetype scheme = uri.indexOf(QLatin1String("://"));
    if (scheme < 0)
        return p;
    p.authorityStart = scheme + 3;
    p.authorityEnd = uri.size();
    for (qsizetype i = p.authorityStart; i < uri.size(); ++i) {
        if (uri[i] == QLatin1Char('/') || uri[i] == QLatin1Char('?')) {
            p.authorityEnd = i;
            break;
        }
    }
    p.queryStart = uri.indexOf(QLatin1Char('?'), p.authorityEnd);
    return p;
}

bool isPasswordParameter(const QString &item)
{
    return item.section(QLatin1Char('='), 0, 0).trimmed().compare(QLatin1String("password"),
                                                                   Qt::CaseInsensitive)
        == 0;
}
} // namespace

bool StoreLocation::isServer(const QString &location)
{
    const QString l = location.trimmed();
    return l.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive)
        || l.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

QString StoreLocation::password(const QString &location)
{
    if (!isServer(location))
        return QString();
    const UriParts p = partsOf(location);
    const QString authority = location.mid(p.authorityStart, p.authorityEnd - p.authorityStart);
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const qsizetype colon = authority.left(at).indexOf(QLatin1Char(':'));
        if (colon >= 0)
            return QUrl::fromPercentEncoding(authority.mid(colon + 1, at - colon - 1).toUtf8());
    }
    if (p.queryStart >= 0) {
        for (const QString &item : location.mid(p.queryStart + 1).split(QLatin1Char('&'))) {
            if (isPasswordParameter(item))
                return QUrl::fromPercentEncoding(item.section(QLatin1Char('='), 1).toUtf8());
        }
    }
    return QString();
}

QString StoreLocation::shown(const QString &location)
{
    if (!isServer(location))
        return location;
    const UriParts p = partsOf(location);
    QString authority = location.mid(p.authorityStart, p.authorityEnd - p.authorityStart);
    const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const qsizetype colon = authority.left(at).indexOf(QLatin1Char(':'));
        if (colon >= 0)
            authority.remove(colon, at - colon);
    }
    QString result = location.left(p.authorityStart) + authority;
    if (p.queryStart < 0)
        return result + location.mid(p.authorityEnd);
    result += location.mid(p.authorityEnd, p.queryStart - p.authorityEnd);
    QStringList kept;
    for (const QString &item : location.mid(p.queryStart + 1).split(QLatin1Char('&'))) {
        if (!isPasswordParameter(item))
            kept.append(item);
    }
    if (!kept.isEmpty())
        result += QLatin1Char('?') + kept.join(QLatin1Char('&'));
    return result;
}
