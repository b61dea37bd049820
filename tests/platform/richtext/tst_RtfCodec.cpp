#include "platform/richtext/RichText.h"
#include "platform/richtext/RtfReader.h"
#include "platform/richtext/RtfWriter.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Documents start as the conclusion editor's: Arial, 10 points.
std::unique_ptr<QTextDocument> newDocument()
{
    auto document = std::make_unique<QTextDocument>();
    document->setDefaultFont(QFont(u"Arial"_s, 10));
    return document;
}

QString quoted(const QString &text)
{
    QString out = u"\""_s;
    for (QChar c : text) {
        if (c == u'\t')
            out += u"\\t"_s;
        else if (c == QChar::LineSeparator)
            out += u"\\n"_s;
        else if (c == u'"' || c == u'\\')
            out += u'\\' + QString(c);
        else if (c.unicode() < 0x20 || c.isSurrogate() || c.unicode() == 0xA0
                 || c.unicode() == 0xAD)
            out += u"\\u"_s + QString::number(c.unicode(), 16).rightJustified(4, u'0');
        else
            out += c;
    }
    return out + u'"';
}

enum class Resolve { No, WithDefaultFont };

QString describeChars(const QTextCharFormat &f, const QFont &defaultFont, Resolve resolve)
{
    const bool r = resolve == Resolve::WithDefaultFont;
    QString family = u"-"_s;
    if (f.hasProperty(QTextFormat::FontFamilies))
        family = f.fontFamilies().toStringList().value(0);
    else if (r)
        family = defaultFont.family();
    QString size = u"-"_s;
    if (f.hasProperty(QTextFormat::FontPointSize))
        size = QString::number(f.fontPointSize());
    else if (r)
        size = QString::number(defaultFont.pointSizeF());
    QString out = family + u' ' + size;
    if (f.fontWeight() > QFont::Medium)
        out += u" b"_s;
    if (f.fontItalic())
        out += u" i"_s;
    if (f.fontUnderline())
        out += u" u"_s;
    if (f.fontStrikeOut())
        out += u" s"_s;
    if (f.hasProperty(QTextFormat::ForegroundBrush))
        out += u' ' + f.foreground().color().name();
    return out;
}

// One line per paragraph with its alignment and margins in twips, one per run with its text and
// character format. Unresolved, properties the reader left unset show as "-".
QString describe(const QTextDocument &document, Resolve resolve = Resolve::No)
{
    QStringList lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat bf = block.blockFormat();
        QString p = u"P"_s;
        const Qt::Alignment a = bf.alignment() & Qt::AlignHorizontal_Mask;
        if (a == Qt::AlignHCenter)
            p += u" qc"_s;
        else if (a == Qt::AlignRight)
            p += u" qr"_s;
        else if (a == Qt::AlignJustify)
            p += u" qj"_s;
        const auto twips = [&](const char *name, double px) {
            if (px != 0)
                p += u" %1%2"_s.arg(QLatin1StringView(name)).arg(qRound(px * 15));
        };
        twips("li", bf.leftMargin());
        twips("fi", bf.textIndent());
        twips("ri", bf.rightMargin());
        twips("sb", bf.topMargin());
        twips("sa", bf.bottomMargin());
        lines << p;
        bool empty = true;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            lines << u"  "_s + quoted(f.text()) + u' '
                    + describeChars(f.charFormat(), document.defaultFont(), resolve);
            empty = false;
        }
        if (empty)
            lines << u"  (empty) "_s
                    + describeChars(block.charFormat(), document.defaultFont(), resolve);
    }
    return lines.join(u'\n') + u'\n';
}

// Paragraphs joined by '\n', characters as the document holds them.
QString textOf(const QTextDocument &document)
{
    QStringList blocks;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        blocks << block.text();
    return blocks.join(u'\n');
}

// From tests/, which Qt's test target gives QFINDTESTDATA: the path of this file may be relative
// (ccache with a base_dir), and then nothing is found beside it.
QString dataDir()
{
    return QFINDTESTDATA("data/richtext");
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot open %s", qPrintable(path));
    return file.readAll();
}

QByteArray repeat(const QByteArray &piece, int times)
{
    QByteArray out;
    out.reserve(piece.size() * times);
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

QByteArray fontTable(int entries)
{
    QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl";
    for (int i = 0; i < entries; ++i)
        rtf += "{\\f" + QByteArray::number(i) + "\\fnil\\fcharset0 Face" + QByteArray::number(i)
            + ";}";
    return rtf + "}\\f1 x}";
}

QByteArray colourTable(int entries)
{
    return "{\\rtf1{\\colortbl " + repeat("\\red1\\green2\\blue3;", entries) + "}\\cf1 x}";
}

QByteArray nested(int groups)
{
    return "{\\rtf1 " + repeat("{", groups) + "x" + repeat("}", groups) + "}";
}

} // namespace

class tst_RtfCodec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void samples_data();
    void samples();
    void roundTrip_data();
    void roundTrip();

    void text_data();
    void text();
    void rawCharacters();
    void formats_data();
    void formats();

    void writerDialect();
    void emptyDocument();

    void load_data();
    void load();
    void loadByteValue();

    void hostile_data();
    void hostile();
    void limits();
};

void tst_RtfCodec::samples_data()
{
    QTest::addColumn<QString>("path");
    const QDir dir(dataDir());
    const QStringList files = dir.entryList({ u"*.rtf"_s }, QDir::Files, QDir::Name);
    QVERIFY2(files.size() >= 8, qPrintable(dir.path()));
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << dir.filePath(file);
}

// Each sample beside its golden reading (name.txt). TALUVO_REGENERATE_GOLDEN=1 rewrites them.
void tst_RtfCodec::samples()
{
    QFETCH(QString, path);
    auto document = newDocument();
    RtfReader reader;
    QVERIFY2(reader.read(readFile(path), *document), qPrintable(reader.errorString()));
    const QString actual = describe(*document);
    QString goldenPath = path;
    goldenPath.replace(u".rtf"_s, u".txt"_s);
    if (qEnvironmentVariableIntValue("TALUVO_REGENERATE_GOLDEN")) {
        QFile golden(goldenPath);
        QVERIFY(golden.open(QIODevice::WriteOnly | QIODevice::Truncate));
        golden.write(actual.toUtf8());
        return;
    }
    QCOMPARE(actual, QString::fromUtf8(readFile(goldenPath)));
}

void tst_RtfCodec::roundTrip_data()
{
    QTest::addColumn<QByteArray>("rtf");
    const QDir dir(dataDir());
    for (const QString &file : dir.entryList({ u"*.rtf"_s }, QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(file)) << readFile(dir.filePath(file));
    QTest::newRow("surrogate pair and the highest 16-bit characters")
        << QByteArray("{\\rtf1 a\\u-10179?\\u-8704?b\\u-1279?\\u-3?\\u65533?}");
    QTest::newRow("braces and backslashes")
        << QByteArray("{\\rtf1 \\{a\\}\\\\b {\\b \\\\}\\tab\\~\\-\\_;}");
    QTest::newRow("empty paragraphs keep their font")
        << QByteArray("{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1 Courier New;}}\\f1\\fs40\\par"
                      "\\f0\\fs16\\par\\par}");
}

// Read, write, read again: same text, runs and paragraph formats; writing the second reading
// gives the same RTF as writing the first.
void tst_RtfCodec::roundTrip()
{
    QFETCH(QByteArray, rtf);
    RtfReader reader;
    auto first = newDocument();
    QVERIFY2(reader.read(rtf, *first), qPrintable(reader.errorString()));
    const QString written = RtfWriter::write(*first);
    for (QChar c : written)
        QVERIFY2(c.unicode() < 0x80, "the writer emits ASCII only");

    auto second = newDocument();
    QVERIFY2(reader.read(written, *second), qPrintable(reader.errorString()));
    QCOMPARE(textOf(*second), textOf(*first));
    QCOMPARE(describe(*second, Resolve::WithDefaultFont),
             describe(*first, Resolve::WithDefaultFont));
    QCOMPARE(RtfWriter::write(*second), written);
}

void tst_RtfCodec::text_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("expected");

    QTest::newRow("control symbols")
        << QByteArray("{\\rtf1 a\\~b\\-c\\_d\\{e\\}f\\\\g}") << u"a\u00a0b\u00adc\u2011d{e}f\\g"_s;
    QTest::newRow("special characters")
        << QByteArray("{\\rtf1\\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote}")
        << u"\u2014\u2013\u2022\u2018\u2019\u201c\u201d"_s;
    QTest::newRow("tab, line, paragraph")
        << QByteArray("{\\rtf1 a\\tab b\\line c\\par d}") << u"a\tb\u2028c\nd"_s;
    QTest::newRow("escaped line end is a paragraph") << QByteArray("{\\rtf1 a\\\nb}") << u"a\nb"_s;
    QTest::newRow("raw line ends are ignored") << QByteArray("{\\rtf1 a\r\nb\nc}") << u"abc"_s;
    QTest::newRow("delimiting space belongs to the word")
        << QByteArray("{\\rtf1\\b  two\\b0  spaces}") << u" two spaces"_s;
    QTest::newRow("1252 between 0x80 and 0x9f")
        << QByteArray("{\\rtf1\\ansi\\ansicpg1252 \\'80\\'8a\\'93\\'9c\\'9f\\'a0\\'ff}")
        << u"\u20ac\u0160\u201c\u0153\u0178\u00a0\u00ff"_s;
    QTest::newRow("no code page means 1252") << QByteArray("{\\rtf1 \\'80\\'e7}") << u"€ç"_s;
    QTest::newRow("ansicpg 1251") << QByteArray("{\\rtf1\\ansi\\ansicpg1251 \\'c0\\'e1}")
                                  << u"\u0410\u0431"_s;
    QTest::newRow("font charset overrides the code page")
        << QByteArray("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset161 Arial "
                      "Greek;}}\\f1\\'e1\\f0\\'e1}")
        << u"\u03b1á"_s;
    QTest::newRow("symbol font signs")
        << QByteArray("{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset2 Symbol;}}\\f1\\'b7\\'b3\\'b1"
                      "\\f0\\'b7}")
        << u"\u2022\u2265\u00b1\u00b7"_s;
    QTest::newRow("double-byte code page")
        << QByteArray("{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0\\'82\\'a2}") << u"\u3042\u3044"_s;
    QTest::newRow("unknown code page reads as 1252")
        << QByteArray("{\\rtf1\\ansi\\ansicpg12345 \\'e7}") << u"ç"_s;
    QTest::newRow("\\u skips its fallback") << QByteArray("{\\rtf1 \\u231?\\u227 ?x}") << u"çãx"_s;
    QTest::newRow("\\uc2 skips two escapes")
        << QByteArray("{\\rtf1\\uc2\\u8805\\'3e\\'3dX}") << u"\u2265X"_s;
    QTest::newRow("\\uc0 skips nothing") << QByteArray("{\\rtf1\\uc0\\u233 e}") << u"ée"_s;
    QTest::newRow("\\uc is kept by its group")
        << QByteArray("{\\rtf1{\\uc0\\u233 e}\\u233 e}") << u"éeé"_s;
    QTest::newRow("skipping ends at a brace") << QByteArray("{\\rtf1{\\uc3\\u233 ?}X}") << u"éX"_s;
    QTest::newRow("skipping counts a control word as one")
        << QByteArray("{\\rtf1\\uc2\\u233\\emdash?X}") << u"éX"_s;
    QTest::newRow("negative \\u") << QByteArray("{\\rtf1\\u-3?}") << u"\ufffd"_s;
    QTest::newRow("ignorable destination")
        << QByteArray("{\\rtf1 a{\\*\\foo b{c}\\par}d}") << u"ad"_s;
    QTest::newRow("known non-text destinations")
        << QByteArray("{\\rtf1 a{\\stylesheet{\\s1 x;}}{\\info{\\title y}}{\\pict 01ff}"
                      "{\\header h}{\\footnote n}d}")
        << u"ad"_s;
    QTest::newRow("\\bin data may hold braces")
        << QByteArray("{\\rtf1 a{\\pict\\bin3 {}}b}c}") << u"ac"_s;
    QTest::newRow("\\bin outside a picture") << QByteArray("{\\rtf1 a\\bin2 xyb}") << u"ab"_s;
    QTest::newRow("field shows its result")
        << QByteArray("{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}}")
        << u"link"_s;
    QTest::newRow("unknown words are ignored")
        << QByteArray("{\\rtf1 a\\lang2070\\nouicompat\\foo123 b\\'}") << u"ab"_s;
    QTest::newRow("text after the document") << QByteArray("{\\rtf1 a}b") << u"a"_s;
    QTest::newRow("frame and object characters")
        << QByteArray("{\\rtf1 a\\u-560?\\u-559?\\u-4?b}") << u"a\ufffd\ufffd\ufffdb"_s;
    QTest::newRow("paragraph separator character")
        << QByteArray("{\\rtf1 a\\u8233?b}") << u"a\nb"_s;
    QTest::newRow("lone surrogates")
        << QByteArray("{\\rtf1\\u-10179?x\\u-8704?}") << u"\ufffdx\ufffd"_s;
    QTest::newRow("surrogate pair") << QByteArray("{\\rtf1\\u-10179?\\u-8704?}") << u"😀"_s;
}

void tst_RtfCodec::text()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, expected);
    auto document = newDocument();
    RtfReader reader;
    QVERIFY2(reader.read(rtf, *document), qPrintable(reader.errorString()));
    QCOMPARE(textOf(*document), expected);
}

// Bytes above 0x7f outside escapes are code page bytes; in a string they are characters.
void tst_RtfCodec::rawCharacters()
{
    RtfReader reader;
    auto document = newDocument();
    QVERIFY(reader.read(QByteArray("{\\rtf1\\ansi\\ansicpg1252 a\xe7\xe3o \x80}"), *document));
    QCOMPARE(textOf(*document), u"ação €"_s);
    QVERIFY(reader.read(u"{\\rtf1\\ansi\\ansicpg1252 ação € ≥}"_s, *document));
    QCOMPARE(textOf(*document), u"ação € ≥"_s);
}

void tst_RtfCodec::formats_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("expected");

    const QByteArray fonts = "{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1 Courier New;}}";
    QTest::newRow("a group restores the format")
        << fonts + "a{\\b\\f1 b}c}"
        << u"P\n  \"a\" Arial -\n  \"b\" Courier New - b\n  \"c\" Arial -\n"_s;
    QTest::newRow("\\plain resets to the default font")
        << fonts + "\\f1\\fs30\\b\\i\\ul a\\plain b}"
        << u"P\n  \"a\" Courier New 15 b i u\n  \"b\" Arial -\n"_s;
    QTest::newRow("toggles off") << fonts + "\\b\\i\\ul\\strike a\\b0\\i0\\ul0\\strike0 b}"
                                 << u"P\n  \"a\" Arial - b i u s\n  \"b\" Arial -\n"_s;
    QTest::newRow("\\ulnone and underline kinds")
        << fonts + "\\uldb a\\ulnone b\\ulwave c}"
        << u"P\n  \"a\" Arial - u\n  \"b\" Arial -\n  \"c\" Arial - u\n"_s;
    QTest::newRow("colour 0 and colours past the table are automatic")
        << QByteArray("{\\rtf1{\\colortbl;\\red0\\green0\\blue255;}\\cf1 a\\cf0 b\\cf7 c}")
        << u"P\n  \"a\" - - #0000ff\n  \"bc\" - -\n"_s;
    QTest::newRow("paragraph format is the one at \\par")
        << QByteArray("{\\rtf1\\pard a\\qc\\li300\\par b\\par\\pard c\\par}")
        << u"P qc li300\n  \"a\" - -\nP qc li300\n  \"b\" - -\nP\n  \"c\" - -\n"_s;
    QTest::newRow("the last \\par closes the last paragraph")
        << QByteArray("{\\rtf1 a\\par}") << u"P\n  \"a\" - -\n"_s;
    QTest::newRow("a second \\par leaves an empty paragraph")
        << QByteArray("{\\rtf1\\fs20 a\\par\\fs40\\par}")
        << u"P\n  \"a\" - 10\nP\n  (empty) - 20\n"_s;
    QTest::newRow("no \\par at the end")
        << QByteArray("{\\rtf1 a\\par b}") << u"P\n  \"a\" - -\nP\n  \"b\" - -\n"_s;
    QTest::newRow("empty document") << QByteArray("{\\rtf1}") << u"P\n  (empty) - -\n"_s;
    QTest::newRow("\\deff names the font of text without \\f")
        << QByteArray("{\\rtf1\\deff1{\\fonttbl{\\f0 Arial;}{\\f1 Courier New;}}a}")
        << u"P\n  \"a\" Courier New -\n"_s;
    QTest::newRow("font entries without groups or semicolons")
        << QByteArray("{\\rtf1{\\fonttbl\\f0 Arial;\\f1 Courier New;}{\\fonttbl{\\f2 Verdana}}"
                      "\\f1 a\\f2 b\\f9 c}")
        << u"P\n  \"a\" Courier New -\n  \"b\" Verdana -\n  \"c\" - -\n"_s;
    QTest::newRow("font names may be escaped")
        << QByteArray("{\\rtf1{\\fonttbl{\\f0\\fcharset0 Caf\\'e9 {\\*\\panose 0}Sans;}}\\f0 "
                      "x}")
        << u"P\n  \"x\" Café Sans -\n"_s;
    QTest::newRow("sizes and indents are clamped")
        << QByteArray("{\\rtf1\\li99999999\\fi-99999999\\sb-5\\fs99999999999 a\\fs1 b}")
        << u"P li31680 fi-31680\n  \"a\" - 1638\n  \"b\" - 1\n"_s;
}

void tst_RtfCodec::formats()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, expected);
    auto document = newDocument();
    RtfReader reader;
    QVERIFY2(reader.read(rtf, *document), qPrintable(reader.errorString()));
    QCOMPARE(describe(*document), expected);
}

// The dialect the memos store, written from a document built as the editor builds one.
void tst_RtfCodec::writerDialect()
{
    auto document = newDocument();
    QTextCursor cursor(document.get());
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    QTextCharFormat red;
    red.setFontItalic(true);
    red.setForeground(QColor(255, 0, 0));
    QTextCharFormat underline;
    underline.setFontUnderline(true);
    QTextCharFormat times;
    times.setFontFamilies({ u"Times New Roman"_s });
    times.setFontPointSize(12);
    times.setFontStrikeOut(true);

    cursor.insertText(u"Normal "_s);
    cursor.insertText(u"negrito"_s, bold);
    cursor.insertText(u" "_s, QTextCharFormat());
    cursor.insertText(u"itálico"_s, red);
    cursor.insertText(u"\t9"_s, QTextCharFormat());
    cursor.insertText(u"sub{l}inhado\\"_s, underline);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    centred.setLeftMargin(48);
    centred.setTextIndent(-24);
    cursor.insertBlock(centred);
    cursor.insertText(u"≥ 50 € ﬁ"_s, times);
    cursor.insertText(QString(QChar::LineSeparator) + u"fim"_s, QTextCharFormat());
    cursor.insertBlock(QTextBlockFormat());

    QCOMPARE(
        RtfWriter::write(*document),
        uR"({\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fnil\fcharset0 Arial;}{\f1\fnil\fcharset0 Times New Roman;}}
{\colortbl ;\red255\green0\blue0;}
\viewkind4\uc1\pard\f0\fs20 Normal \b negrito\b0  \cf1\i it\'e1lico\cf0\i0\tab 9\ul sub\{l\}inhado\\\par
\pard\qc\li720\fi-360\f1\fs24\ulnone\strike\u8805? 50 \'80 \u-1279?\f0\fs20\strike0\line fim\par
\pard\par
}
)"_s.replace(u"\n"_s, u"\r\n"_s));
}

// An editor the user emptied saves a valid document that reads back empty.
void tst_RtfCodec::emptyDocument()
{
    auto document = newDocument();
    const QString rtf = RichText::toRtf(*document);
    QCOMPARE(rtf,
             u"{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}}\r\n"
             "\\viewkind4\\uc1\\pard\\f0\\fs20\\par\r\n}\r\n"_s);
    auto again = newDocument();
    QVERIFY(RichText::load(*again, rtf));
    QVERIFY(again->isEmpty());
    QCOMPARE(again->blockCount(), 1);
    QCOMPARE(again->begin().charFormat().fontPointSize(), 10.0);

    // The editor's font is 13 pixels high: 10 points at 96 dpi.
    QTextDocument pixels;
    QFont font(u"Arial"_s);
    font.setPixelSize(13);
    pixels.setDefaultFont(font);
    QVERIFY(RichText::toRtf(pixels).contains(u"\\pard\\f0\\fs20\\par"_s));
}

void tst_RtfCodec::load_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("asRtf");
    QTest::addColumn<QString>("text");

    QTest::newRow("plain text") << u"Linha 1\r\nLinha 2 {chaves} \\b"_s << false
                                << u"Linha 1\nLinha 2 {chaves} \\b"_s;
    QTest::newRow("empty") << QString() << false << QString();
    QTest::newRow("rtf must come first") << u" {\\rtf1 x}"_s << false << u" {\\rtf1 x}"_s;
    QTest::newRow("rtf") << u"{\\rtf1\\ansi \\b Cora\\'e7\\'e3o\\b0\\par}"_s << true
                         << u"Coração"_s;
    QTest::newRow("refused rtf shows its source")
        << u"{\\rtf1 x\\bin99 y}"_s << false << u"{\\rtf1 x\\bin99 y}"_s;
}

void tst_RtfCodec::load()
{
    QFETCH(QString, stored);
    QFETCH(bool, asRtf);
    QFETCH(QString, text);
    auto document = newDocument();
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    QTextCursor(document.get()).insertText(u"anterior"_s, bold);
    QCOMPARE(RichText::load(*document, stored), asRtf);
    QCOMPARE(textOf(*document), text);
    QVERIFY(!document->isModified());
    QVERIFY(!document->isUndoAvailable());
    if (!asRtf) {
        // Nothing of the previous content's format is left on plain text.
        for (QTextBlock b = document->begin(); b.isValid(); b = b.next()) {
            for (auto it = b.begin(); !it.atEnd(); ++it)
                QCOMPARE(it.fragment().charFormat().fontWeight(), int(QFont::Normal));
        }
    }
}

void tst_RtfCodec::loadByteValue()
{
    auto document = newDocument();
    QVERIFY(!RichText::load(*document, QByteArray("Cora\xe7\xe3o \x80")));
    QCOMPARE(textOf(*document), u"Coração €"_s);
    QVERIFY(RichText::load(*document, QByteArray("{\\rtf1 Cora\xe7\xe3o}")));
    QCOMPARE(textOf(*document), u"Coração"_s);
}

void tst_RtfCodec::hostile_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("textOrError"); // the text, or a word of the error

    QTest::newRow("100000 nested groups") << nested(100000) << false << u"nested"_s;
    QTest::newRow("\\bin2147483647")
        << QByteArray("{\\rtf1 a\\bin2147483647 xyz}") << false << u"bin"_s;
    QTest::newRow("\\bin past the end by one")
        << QByteArray("{\\rtf1 a\\bin4 xy}") << false << u"bin"_s;
    QTest::newRow("\\bin-1") << QByteArray("{\\rtf1 a\\bin-1 b}") << true << u"ab"_s;
    QTest::newRow("\\u-32768") << QByteArray("{\\rtf1 \\u-32768?x}") << true << u"\u8000x"_s;
    QTest::newRow("\\u99999999999")
        << QByteArray("{\\rtf1 \\u99999999999?x}") << true << u"\ufffdx"_s;
    QTest::newRow("\\uc-1") << QByteArray("{\\rtf1\\uc-1 \\u233?x}") << true << u"é?x"_s;
    QTest::newRow("32761 font-table entries") << fontTable(32761) << false << u"fonts"_s;
    QTest::newRow("40-letter control word")
        << QByteArray("{\\rtf1 a\\abcdefghijabcdefghijabcdefghijabcdefghij b}") << true << u"ab"_s;
    QTest::newRow("100000-digit parameter")
        << "{\\rtf1 \\fs" + QByteArray(100000, '9') + " a}" << true << u"a"_s;
    QTest::newRow("unterminated group") << QByteArray("{\\rtf1 a{\\b b") << true << u"ab"_s;
    QTest::newRow("stray }") << QByteArray("{\\rtf1 a}}b}") << true << u"a"_s;
    QTest::newRow("\\'4 at the very end") << QByteArray("{\\rtf1 a\\'4") << true << u"a"_s;
    QTest::newRow("backslash at the very end") << QByteArray("{\\rtf1 a\\") << true << u"a"_s;
    QTest::newRow("not rtf") << QByteArray("{\\rt") << false << u"rtf"_s;
    QTest::newRow("20000 paragraphs") << "{\\rtf1 " + repeat("x\\par ", 20000) + "}" << true
                                      << QString::fromLatin1(repeat("x\n", 19999) + "x");
    QTest::newRow("50000 format changes") << "{\\rtf1 " + repeat("\\b a\\b0 b", 50000) + "}" << true
                                          << QString::fromLatin1(repeat("ab", 50000));
    QTest::newRow("100000 unicode escapes")
        << "{\\rtf1\\uc1 " + repeat("\\u-10179?\\u-8704?", 50000) + "}" << true
        << QString::fromUtf8(repeat("😀", 50000));
    QTest::newRow("a million ignored groups")
        << "{\\rtf1 " + repeat("{\\*\\x}", 1000000) + "a}" << true << u"a"_s;
}

// Whatever a memo holds ends in a document or in an error, and the document is no larger than
// the input: a character needs at least one unit of it, and formats are shared, not made per
// run. How long the hostile inputs take is measured by bench_richtext.
void tst_RtfCodec::hostile()
{
    QFETCH(QByteArray, rtf);
    QFETCH(bool, ok);
    QFETCH(QString, textOrError);
    auto document = newDocument();
    RtfReader reader;
    QCOMPARE(reader.read(rtf, *document), ok);
    if (ok) {
        QVERIFY(reader.errorString().isEmpty());
        QCOMPARE(textOf(*document), textOrError);
        QVERIFY(document->characterCount() <= rtf.size());
        QVERIFY2(document->allFormats().size() <= 8,
                 qPrintable(QString::number(document->allFormats().size())));
    } else {
        QVERIFY2(reader.errorString().contains(textOrError), qPrintable(reader.errorString()));
        QVERIFY(document->isEmpty());
    }
}

// The limits refuse what is past them and nothing short of them.
void tst_RtfCodec::limits()
{
    RtfReader reader;
    auto document = newDocument();
    QVERIFY2(reader.read(nested(RtfReader::MaxDepth - 1), *document),
             qPrintable(reader.errorString()));
    QCOMPARE(textOf(*document), u"x"_s);
    QVERIFY(!reader.read(nested(RtfReader::MaxDepth), *document));

    QVERIFY2(reader.read(fontTable(RtfReader::MaxFonts), *document),
             qPrintable(reader.errorString()));
    QCOMPARE(document->begin().begin().fragment().charFormat().fontFamilies().toStringList(),
             QStringList { u"Face1"_s });
    QVERIFY(!reader.read(fontTable(RtfReader::MaxFonts + 1), *document));

    QVERIFY2(reader.read(colourTable(RtfReader::MaxColors), *document),
             qPrintable(reader.errorString()));
    QCOMPARE(document->begin().begin().fragment().charFormat().foreground().color(),
             QColor(1, 2, 3));
    QVERIFY(!reader.read(colourTable(RtfReader::MaxColors + 1), *document));
    QVERIFY(reader.errorString().contains(u"colours"_s));
}

QTEST_GUILESS_MAIN(tst_RtfCodec)
#include "tst_RtfCodec.moc"
