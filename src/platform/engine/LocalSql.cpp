#include "platform/engine/LocalSql.h"

#include <QRegularExpression>

QString LocalSql::translate(const QString &sql)
{
    static const QRegularExpression rightJoin(
        QStringLiteral("(\\bfrom\\s+)(\\w+)(\\s+(?!right\\b|left\\b|inner\\b|join\\b|on\\b)\\w+)?"
                       "\\s+right\\s+(?:outer\\s+)?join\\s+(\\w+)(\\s+(?!on\\b)\\w+)?\\s+on\\s+"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = rightJoin.match(sql);
    if (!m.hasMatch())
        return sql;
    // The select list decides the columns; "*" would take them in join order.
    static const QRegularExpression select(QStringLiteral("^\\s*select\\b"),
                                           QRegularExpression::CaseInsensitiveOption);
    if (!select.match(sql).hasMatch())
        return sql;
    QString list = sql.left(m.capturedStart(0));
    list.remove(QRegularExpression(QStringLiteral("count\\s*\\(\\s*\\*\\s*\\)"),
                                   QRegularExpression::CaseInsensitiveOption));
    if (list.contains(QLatin1Char('*')))
        return sql;
    const QString rewritten = m.captured(1) + m.captured(4) + m.captured(5)
        + QStringLiteral(" left join ") + m.captured(2) + m.captured(3) + QStringLiteral(" on ");
    return sql.left(m.capturedStart(0)) + rewritten + sql.mid(m.capturedEnd(0));
}
