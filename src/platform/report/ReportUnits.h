#pragma once

#include <QtGlobal>

class QPaintDevice;

// The units of the report engine. Layouts are given in millimetres; pages are drawn in dots of
// 1/720 inch, ten to the point, so every font size of a layout is a whole number of dots and the
// pictures keep their precision on any printer. Point fonts are turned into dot fonts before
// drawing (ReportFonts), which keeps saved pages independent of the screen's resolution.
namespace ReportUnits {

constexpr qreal kDotsPerInch = 720;
constexpr qreal kMmPerInch = 25.4;
constexpr qreal kDotsPerPoint = kDotsPerInch / 72;

constexpr qreal mmToDots(qreal mm)
{
    return mm * kDotsPerInch / kMmPerInch;
}

constexpr qreal dotsToMm(qreal dots)
{
    return dots * kMmPerInch / kDotsPerInch;
}

// A device that reports kDotsPerInch and cannot be painted on: text documents lay themselves out
// against it, so their margins and indents come out in dots. Lives until the process ends.
[[nodiscard]] QPaintDevice *metricsDevice();

} // namespace ReportUnits
