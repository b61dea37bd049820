#include "support/PdfInfo.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace {
QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}
} // namespace

QString pdfInfo(const QString &pdf)
{
    return run(u"pdfinfo"_s, { pdf }) + run(u"pdfinfo"_s, { u"-meta"_s, pdf });
}

QString pdfInfoField(const QString &info, const QString &field)
{
    const QRegularExpression line(u"^"_s + QRegularExpression::escape(field) + u": +(.*)$"_s,
                                  QRegularExpression::MultilineOption);
    return line.match(info).captured(1);
}

bool claimsPdfA1b(const QString &info)
{
    return pdfInfoField(info, u"PDF version"_s) == u"1.4"_s && info.contains(u"pdfaid:part=\"1\""_s)
        && info.contains(u"pdfaid:conformance=\"B\""_s);
}

bool fontsEmbedded(const QString &pdf)
{
    // Two heading lines, then one line per font ending in emb, sub, uni, object and generation.
    const QStringList fonts = run(u"pdffonts"_s, { pdf }).split(u'\n', Qt::SkipEmptyParts).mid(2);
    for (const QString &font : fonts) {
        const QStringList columns = font.simplified().split(u' ');
        if (columns.size() < 6 || columns.at(columns.size() - 5) != u"yes"_s)
            return false;
    }
    return !fonts.isEmpty();
}
