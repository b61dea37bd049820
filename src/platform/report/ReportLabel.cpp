#include "platform/report/ReportLabel.h"

ReportLabel::ReportLabel(ReportBand *band, const QString &caption)
    : ReportTextItem(band)
    , m_caption(caption)
{ }

ReportLabel::~ReportLabel() = default;

QString ReportLabel::printText(ReportGenerator &)
{
    QString text = m_caption;
    if (m_onPrint)
        m_onPrint(*this, text);
    return text;
}
