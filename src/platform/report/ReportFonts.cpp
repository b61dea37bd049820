#include "platform/report/ReportFonts.h"

#include "platform/report/ReportUnits.h"

#include <QStringList>

#include <mutex>

namespace ReportFonts {

void installSubstitutions()
{
    static std::once_flag once;
    std::call_once(once, [] {
        const QStringList sans { QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                 QStringLiteral("DejaVu Sans") };
        const QStringList small { QStringLiteral("DejaVu Sans Condensed"),
                                  QStringLiteral("Liberation Sans"),
                                  QStringLiteral("DejaVu Sans") };
        QFont::insertSubstitutions(QStringLiteral("Arial"), sans);
        QFont::insertSubstitutions(QStringLiteral("Small Fonts"), small);
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), small);
    });
}

QFont forPage(const QFont &font)
{
    QFont result(font);
    qreal points = font.pointSizeF();
    if (points <= 0)
        points = font.pixelSize() * 72.0 / 96.0; // a pixel font is taken as a screen font
    result.setPixelSize(qMax(1, qRound(points * ReportUnits::kDotsPerPoint)));
    result.setHintingPreference(QFont::PreferNoHinting);
    return result;
}

} // namespace ReportFonts
