#include "platform/report/ReportSystemData.h"

#include "platform/engine/FormatSettings.h"
#include "platform/report/ReportGenerator.h"
#include "platform/widgets/Clock.h"

ReportSystemData::ReportSystemData(ReportBand *band, Data data)
    : ReportTextItem(band)
    , m_data(data)
{ }

ReportSystemData::~ReportSystemData() = default;

QString ReportSystemData::printText(ReportGenerator &generator)
{
    const FormatSettings &settings = FormatSettings::current();
    const QDateTime now = Clock::instance().now();
    switch (m_data) {
    case Data::Date:
        return m_prefix + settings.locale().toString(now.date(), settings.shortDateFormat());
    case Data::Time:
        return m_prefix + settings.locale().toString(now.time(), settings.longTimeFormat());
    case Data::DateTime:
        return m_prefix + settings.locale().toString(now.date(), settings.shortDateFormat())
            + QLatin1Char(' ') + settings.locale().toString(now.time(), settings.longTimeFormat());
    case Data::PageNumber:
        return m_prefix + QString::number(generator.pageNumber());
    }
    return m_prefix;
}
