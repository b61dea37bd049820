#include "platform/report/ReportUnits.h"

#include <QImage>

namespace ReportUnits {

QPaintDevice *metricsDevice()
{
    static QImage device = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        const int dotsPerMetre = qRound(kDotsPerInch / kMmPerInch * 1000);
        image.setDotsPerMeterX(dotsPerMetre);
        image.setDotsPerMeterY(dotsPerMetre);
        return image;
    }();
    return &device;
}

} // namespace ReportUnits
