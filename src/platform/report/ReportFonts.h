#pragma once

#include <QFont>

// Fonts as reports ask for them and as pages draw them. Layouts name the faces of the platform
// they were designed on; installSubstitutions() maps them once per process onto faces that
// exist here with the same metrics where there is one: "Arial" onto Liberation Sans, the small
// screen faces "Small Fonts" and "MS Sans Serif" onto a condensed sans face.
namespace ReportFonts {

void installSubstitutions();

// font as a page draws it: sized in dots (ReportUnits) instead of points, without hinting, so that
// text measures the same on the page picture, the printer, the PDF and the preview.
[[nodiscard]] QFont forPage(const QFont &font);

} // namespace ReportFonts
