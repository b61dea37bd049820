#include "reports/DocumentInfo.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace DocumentInfo {
namespace {
const QString kSeparator = u" — "_s;

QString day(const QDate &date)
{
    return date.toString(u"dd/MM/yyyy"_s);
}
} // namespace

QString creator()
{
    return u"Taluvo"_s;
}

QString examHeading()
{
    return u"Relatório de Exame Ecocardiográfico"_s;
}

QString examTitle(const QString &patientName, const QDate &examDate)
{
    QStringList parts { examHeading() };
    if (!patientName.trimmed().isEmpty())
        parts << patientName.trimmed();
    if (examDate.isValid())
        parts << day(examDate);
    return parts.join(kSeparator);
}

QString summaryTitle(const QString &summary, const QDate &from, const QDate &to)
{
    return summary + kSeparator + day(from) + u" a "_s + day(to);
}

} // namespace DocumentInfo
