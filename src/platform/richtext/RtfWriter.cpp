#include "platform/richtext/RtfWriter.h"
#include "platform/richtext/Cp1252.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextDocument>

#include <algorithm>
#include <cmath>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

constexpr double TwipsPerPixel = 15.0; // as the reader: 1440 twips and 96 pixels to the inch
constexpr int MaxTwips = 31680;
constexpr int MaxHalfPoints = 3276;

struct Run
{
    int font = -1;
    int halfPoints = -1;
    int color = 0; // 0: automatic
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
};

struct Paragraph
{
    char alignment = 0; // 'c', 'r', 'j' or 0 for left
    int left = 0;
    int first = 0;
    int right = 0;
    int before = 0;
    int after = 0;

    auto tied() const { return std::tie(alignment, left, first, right, before, after); }
    bool operator!=(const Paragraph &o) const { return tied() != o.tied(); }
};

int twips(double pixels)
{
    if (!std::isfinite(pixels))
        return 0;
    return int(
        std::lround(std::clamp(pixels * TwipsPerPixel, -double(MaxTwips), double(MaxTwips))));
}

class Writer
{
public:
    explicit Writer(const QTextDocument &document)
        : m_document(document)
        , m_default(document.defaultFont())
    { }

    QString write();

private:
    Run runOf(const QTextCharFormat &format);
    Paragraph paragraphOf(const QTextBlockFormat &format) const;
    int fontIndex(const QString &family);
    void switchTo(const Run &run);
    void startParagraph(const Paragraph &p);
    void word(QLatin1StringView name, int param);
    void word(QLatin1StringView name);
    void text(QStringView text, QString &out, bool &delimit, bool fontName = false) const;

    const QTextDocument &m_document;
    const QFont m_default;
    QStringList m_fonts; // in the order of the table
    QHash<QString, int> m_fontIndex;
    QList<QRgb> m_colors;
    QHash<QRgb, int> m_colorIndex; // 1-based: 0 is the automatic colour
    QString m_body;
    bool m_delimit = false; // the last control word needs a space before a literal character
    Run m_run;
};

QString Writer::write()
{
    m_body = u"\\viewkind4\\uc1"_s;
    Paragraph previous;
    bool first = true;
    for (QTextBlock block = m_document.begin(); block.isValid(); block = block.next()) {
        const Paragraph p = paragraphOf(block.blockFormat());
        if (first || p != previous)
            startParagraph(p);
        previous = p;
        first = false;
        bool empty = true;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            switchTo(runOf(fragment.charFormat()));
            text(fragment.text(), m_body, m_delimit);
            empty = false;
        }
        // An empty paragraph keeps the font of its mark, which sets its height.
        if (empty)
            switchTo(runOf(block.charFormat()));
        word("par"_L1);
        m_body += u"\r\n"_s;
        m_delimit = false;
    }

    QString out = u"{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl"_s;
    for (qsizetype i = 0; i < m_fonts.size(); ++i) {
        out += u"{\\f%1\\fnil\\fcharset0 "_s.arg(i);
        bool delimit = false;
        text(m_fonts.at(i), out, delimit, true);
        out += u";}"_s;
    }
    out += u"}\r\n"_s;
    if (!m_colors.isEmpty()) {
        out += u"{\\colortbl ;"_s;
        for (QRgb rgb : std::as_const(m_colors))
            out += u"\\red%1\\green%2\\blue%3;"_s.arg(qRed(rgb)).arg(qGreen(rgb)).arg(qBlue(rgb));
        out += u"}\r\n"_s;
    }
    out += m_body;
    out += u"}\r\n"_s;
    return out;
}

Run Writer::runOf(const QTextCharFormat &f)
{
    Run run;
    QString family;
    if (f.hasProperty(QTextFormat::FontFamilies))
        family = f.fontFamilies().toStringList().value(0);
    else if (f.hasProperty(QTextFormat::FontFamily))
        family = f.property(QTextFormat::FontFamily).toString();
    if (family.isEmpty())
        family = m_default.family();
    if (family.isEmpty())
        family = u"Arial"_s;
    run.font = fontIndex(family);

    double points = -1;
    if (f.hasProperty(QTextFormat::FontPointSize))
        points = f.fontPointSize();
    else if (f.hasProperty(QTextFormat::FontPixelSize))
        points = f.intProperty(QTextFormat::FontPixelSize) * 0.75;
    else if (m_default.pointSizeF() > 0)
        points = m_default.pointSizeF();
    else if (m_default.pixelSize() > 0)
        points = m_default.pixelSize() * 0.75;
    if (!(points > 0) || !std::isfinite(points))
        points = 10;
    run.halfPoints = int(std::lround(std::clamp(points * 2, 2.0, double(MaxHalfPoints))));

    run.bold = f.hasProperty(QTextFormat::FontWeight) ? f.fontWeight() > QFont::Medium
                                                      : m_default.bold();
    run.italic = f.hasProperty(QTextFormat::FontItalic) ? f.fontItalic() : m_default.italic();
    run.underline = f.hasProperty(QTextFormat::TextUnderlineStyle)
            || f.hasProperty(QTextFormat::FontUnderline)
        ? f.fontUnderline()
        : m_default.underline();
    run.strike
        = f.hasProperty(QTextFormat::FontStrikeOut) ? f.fontStrikeOut() : m_default.strikeOut();

    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush) {
        const QRgb rgb = f.foreground().color().rgb() | 0xFF000000u;
        auto it = m_colorIndex.constFind(rgb);
        if (it == m_colorIndex.constEnd()) {
            it = m_colorIndex.insert(rgb, int(m_colors.size()) + 1);
            m_colors.append(rgb);
        }
        run.color = *it;
    }
    return run;
}

Paragraph Writer::paragraphOf(const QTextBlockFormat &f) const
{
    Paragraph p;
    const Qt::Alignment h = f.alignment() & Qt::AlignHorizontal_Mask;
    if (h & Qt::AlignHCenter)
        p.alignment = 'c';
    else if (h & Qt::AlignJustify)
        p.alignment = 'j';
    else if (h & Qt::AlignRight)
        p.alignment = 'r';
    p.left = twips(f.leftMargin() + f.indent() * m_document.indentWidth());
    p.first = twips(f.textIndent());
    p.right = twips(f.rightMargin());
    p.before = std::max(twips(f.topMargin()), 0);
    p.after = std::max(twips(f.bottomMargin()), 0);
    return p;
}

int Writer::fontIndex(const QString &family)
{
    auto it = m_fontIndex.constFind(family);
    if (it == m_fontIndex.constEnd()) {
        it = m_fontIndex.insert(family, int(m_fonts.size()));
        m_fonts.append(family);
    }
    return *it;
}

void Writer::startParagraph(const Paragraph &p)
{
    word("pard"_L1);
    if (p.alignment != 0)
        word(QLatin1StringView(p.alignment == 'c' ? "qc" : p.alignment == 'r' ? "qr" : "qj"));
    if (p.left != 0)
        word("li"_L1, p.left);
    if (p.first != 0)
        word("fi"_L1, p.first);
    if (p.right != 0)
        word("ri"_L1, p.right);
    if (p.before != 0)
        word("sb"_L1, p.before);
    if (p.after != 0)
        word("sa"_L1, p.after);
}

void Writer::switchTo(const Run &run)
{
    if (run.font != m_run.font)
        word("f"_L1, run.font);
    if (run.halfPoints != m_run.halfPoints)
        word("fs"_L1, run.halfPoints);
    if (run.color != m_run.color)
        word("cf"_L1, run.color);
    if (run.bold != m_run.bold)
        run.bold ? word("b"_L1) : word("b"_L1, 0);
    if (run.italic != m_run.italic)
        run.italic ? word("i"_L1) : word("i"_L1, 0);
    if (run.underline != m_run.underline)
        word(run.underline ? "ul"_L1 : "ulnone"_L1);
    if (run.strike != m_run.strike)
        run.strike ? word("strike"_L1) : word("strike"_L1, 0);
    m_run = run;
}

void Writer::word(QLatin1StringView name, int param)
{
    m_body += u'\\';
    m_body += name;
    m_body += QString::number(param);
    m_delimit = true;
}

void Writer::word(QLatin1StringView name)
{
    m_body += u'\\';
    m_body += name;
    m_delimit = true;
}

void Writer::text(QStringView text, QString &out, bool &delimit, bool fontName) const
{
    for (QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c == u'\\' || c == u'{' || c == u'}') {
            out += u'\\';
            out += qc;
            delimit = false;
        } else if (c == u'\t' && !fontName) {
            out += u"\\tab"_s;
            delimit = true;
        } else if (c == 0x2028 && !fontName) {
            out += u"\\line"_s;
            delimit = true;
        } else if (c < 0x20 || c == 0xFFFC || c == 0xFDD0 || c == 0xFDD1
                   || (fontName && c == u';')) {
            // Controls, objects and frame marks are not text; a semicolon would end the name.
        } else if (c < 0x80) {
            if (delimit)
                out += u' ';
            out += qc;
            delimit = false;
        } else if (const int b = Cp1252::fromUnicode(c); b >= 0) {
            out += u"\\'"_s;
            out += QString::number(b, 16).rightJustified(2, u'0');
            delimit = false;
        } else {
            // A 16-bit signed number, and the fallback for readers without Unicode.
            out += u"\\u"_s;
            out += QString::number(c > 0x7FFF ? int(c) - 0x10000 : int(c));
            out += u'?';
            delimit = false;
        }
    }
}

} // namespace

QString RtfWriter::write(const QTextDocument &document)
{
    return Writer(document).write();
}
