#include "platform/richtext/RtfReader.h"
#include "platform/richtext/Cp1252.h"

#include <QColor>
#include <QHash>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <climits>
#include <map>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int MaxWordLength = 32; // longer words are no RTF's
constexpr int MaxFontNameLength = 256;
constexpr int MaxHalfPoints = 3276; // 1638 pt, the largest size the control accepts
constexpr int MaxTwips = 31680; // 22 inches: beyond any page
constexpr int MaxUnicodeSkip = 255;
constexpr double TwipsPerPixel = 15.0; // 1440 twips and 96 pixels to the inch
constexpr char16_t Replacement = 0xFFFD;

enum class Kw : quint8 {
    Ansi,
    AnsiCpg,
    Mac,
    Pc,
    Pca,
    Deff,
    Uc,
    U,
    Bin,
    FontTable,
    ColorTable,
    SkipDestination,
    Font,
    Charset,
    CodePage,
    Red,
    Green,
    Blue,
    Plain,
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Strike,
    FontSize,
    Color,
    Pard,
    AlignLeft,
    AlignCenter,
    AlignRight,
    AlignJustify,
    LeftIndent,
    FirstIndent,
    RightIndent,
    SpaceBefore,
    SpaceAfter,
    Par,
    Char,
};

struct Keyword
{
    std::string_view name;
    Kw kw;
    char16_t ch = 0;
};

// Destinations whose content is not text. Fields, \pntext and \listtext are text: they hold the
// result and the list numbers that a reader without fields or lists shows.
constexpr std::string_view SkippedDestinations
    = "aftncn aftnsep aftnsepc annotation atnauthor atndate atnicn atnid atnparent "
      "atnref atntime atrfend atrfstart author background bkmkend bkmkstart blipuid "
      "buptim category colorschememapping comment company creatim datafield datastore "
      "defchp defpap do doccomm docvar dptxbxtext ebcend ebcstart factoidname falt "
      "fchars ffdeftext ffentrymcr ffexitmcr ffformat ffhelptext ffl ffname ffstattext "
      "file filetbl fldinst fldtype fname fontemb fontfile footer footerf footerl "
      "footerr footnote formfield ftncn ftnsep ftnsepc g generator gridtbl header "
      "headerf headerl headerr hl hlfr hlinkbase hlloc hlsrc hsv htmltag info keycode "
      "keywords latentstyles lchars levelnumbers leveltext lfolevel linkval list "
      "listlevel listname listoverride listoverridetable listpicture liststylename "
      "listtable lsdlockedexcept mmathPr manager nesttableprops nextfile nonesttables "
      "nonshppict objalias objclass objdata object objname objsect objtime oldcprops "
      "oldpprops oldsprops oldtprops oleclsid operator panose password passwordhash "
      "pgp pgptbl picprop pict pn pnseclvl pntxta pntxtb printim private propname "
      "protend protstart protusertbl pxe result revtbl revtim rsidtbl rxe shp shpgrp "
      "shpinst shppict shprslt shptxt sn sp staticval stylesheet subject sv svb tc "
      "template themedata title txe ud userprops wgrffmtfilter windowcaption "
      "writereservation writereservhash xe xform xmlattrname xmlattrvalue xmlclose "
      "xmlname xmlnstbl xmlopen ";

const std::vector<Keyword> &keywords()
{
    static const std::vector<Keyword> table = [] {
        std::vector<Keyword> k = {
            { "ansi", Kw::Ansi },
            { "ansicpg", Kw::AnsiCpg },
            { "mac", Kw::Mac },
            { "pc", Kw::Pc },
            { "pca", Kw::Pca },
            { "deff", Kw::Deff },
            { "uc", Kw::Uc },
            { "u", Kw::U },
            { "bin", Kw::Bin },
            { "fonttbl", Kw::FontTable },
            { "colortbl", Kw::ColorTable },
            { "f", Kw::Font },
            { "fcharset", Kw::Charset },
            { "cpg", Kw::CodePage },
            { "red", Kw::Red },
            { "green", Kw::Green },
            { "blue", Kw::Blue },
            { "plain", Kw::Plain },
            { "b", Kw::Bold },
            { "i", Kw::Italic },
            { "ul", Kw::Underline },
            { "uld", Kw::Underline },
            { "uldash", Kw::Underline },
            { "uldashd", Kw::Underline },
            { "uldashdd", Kw::Underline },
            { "uldb", Kw::Underline },
            { "ulhwave", Kw::Underline },
            { "ulldash", Kw::Underline },
            { "ulth", Kw::Underline },
            { "ulthd", Kw::Underline },
            { "ulthdash", Kw::Underline },
            { "ulw", Kw::Underline },
            { "ulwave", Kw::Underline },
            { "ulnone", Kw::UnderlineNone },
            { "strike", Kw::Strike },
            { "striked", Kw::Strike },
            { "fs", Kw::FontSize },
            { "cf", Kw::Color },
            { "pard", Kw::Pard },
            { "ql", Kw::AlignLeft },
            { "qc", Kw::AlignCenter },
            { "qr", Kw::AlignRight },
            { "qj", Kw::AlignJustify },
            { "qd", Kw::AlignJustify },
            { "li", Kw::LeftIndent },
            { "lin", Kw::LeftIndent },
            { "fi", Kw::FirstIndent },
            { "ri", Kw::RightIndent },
            { "rin", Kw::RightIndent },
            { "sb", Kw::SpaceBefore },
            { "sa", Kw::SpaceAfter },
            { "par", Kw::Par },
            { "row", Kw::Par },
            { "nestrow", Kw::Par },
            { "page", Kw::Par },
            { "sect", Kw::Par },
            { "tab", Kw::Char, u'\t' },
            { "cell", Kw::Char, u'\t' },
            { "nestcell", Kw::Char, u'\t' },
            { "line", Kw::Char, 0x2028 },
            { "bullet", Kw::Char, 0x2022 },
            { "emdash", Kw::Char, 0x2014 },
            { "endash", Kw::Char, 0x2013 },
            { "emspace", Kw::Char, 0x2003 },
            { "enspace", Kw::Char, 0x2002 },
            { "qmspace", Kw::Char, 0x2005 },
            { "lquote", Kw::Char, 0x2018 },
            { "rquote", Kw::Char, 0x2019 },
            { "ldblquote", Kw::Char, 0x201C },
            { "rdblquote", Kw::Char, 0x201D },
            { "zwj", Kw::Char, 0x200D },
            { "zwnj", Kw::Char, 0x200C },
            { "ltrmark", Kw::Char, 0x200E },
            { "rtlmark", Kw::Char, 0x200F },
        };
        for (std::string_view rest = SkippedDestinations; !rest.empty();) {
            const size_t space = rest.find(' ');
            k.push_back({ rest.substr(0, space), Kw::SkipDestination });
            rest.remove_prefix(space == std::string_view::npos ? rest.size() : space + 1);
        }
        std::sort(k.begin(), k.end(),
                  [](const Keyword &a, const Keyword &b) { return a.name < b.name; });
        return k;
    }();
    return table;
}

const Keyword *findKeyword(std::string_view name)
{
    const auto &table = keywords();
    const auto it
        = std::lower_bound(table.begin(), table.end(), name,
                           [](const Keyword &k, std::string_view n) { return k.name < n; });
    return it != table.end() && it->name == name ? &*it : nullptr;
}

constexpr int SymbolCodePage = 42; // Windows' number for the Symbol font's own encoding

// The Symbol font's signs that conclusions use, list bullets above all: (byte, character).
// Its other bytes read as 1252.
constexpr std::pair<uchar, char16_t> SymbolSigns[] = {
    { 0xA3, 0x2264 }, { 0xA5, 0x221E }, { 0xAC, 0x2190 }, { 0xAD, 0x2191 }, { 0xAE, 0x2192 },
    { 0xAF, 0x2193 }, { 0xB0, 0x00B0 }, { 0xB1, 0x00B1 }, { 0xB3, 0x2265 }, { 0xB4, 0x00D7 },
    { 0xB7, 0x2022 }, { 0xB8, 0x00F7 }, { 0xB9, 0x2260 }, { 0xBB, 0x2248 }, { 0xD6, 0x221A },
};

char16_t symbolToUnicode(uchar byte)
{
    for (const auto &[b, c] : SymbolSigns) {
        if (b == byte)
            return c;
    }
    return Cp1252::toUnicode(byte);
}

// The code pages of the \fcharset values: (charset, code page). Others use the document's.
constexpr std::pair<int, int> CharsetCodePages[] = {
    { 2, SymbolCodePage }, { 77, 10000 }, { 128, 932 },  { 129, 949 },
    { 134, 936 },          { 136, 950 },  { 161, 1253 }, { 162, 1254 },
    { 163, 1258 },         { 177, 1255 }, { 178, 1256 }, { 186, 1257 },
    { 204, 1251 },         { 222, 874 },  { 238, 1250 }, { 255, 437 },
};

// 0 for the document's code page.
int codePageOfCharset(int charset)
{
    for (const auto &[set, page] : CharsetCodePages) {
        if (set == charset)
            return page;
    }
    return 0;
}

// Decodes \'hh bytes. 1252 through the table, the other Windows code pages through Qt's
// converters when it has them; anything else is read as 1252 rather than refused. Only known code
// pages get a converter, so odd \ansicpg values cannot pile converters up.
class ByteDecoder
{
public:
    void decode(int codePage, QByteArrayView bytes, QString *out)
    {
        if (codePage != 1252) {
            QStringDecoder *decoder = decoderFor(codePage);
            if (decoder && decoder->isValid()) {
                decoder->resetState();
                out->append(decoder->decode(bytes));
                return;
            }
        }
        const bool symbol = codePage == SymbolCodePage;
        for (char b : bytes)
            out->append(QChar(symbol ? symbolToUnicode(uchar(b)) : Cp1252::toUnicode(uchar(b))));
    }

private:
    QStringDecoder *decoderFor(int codePage)
    {
        static constexpr int Known[] = { 437,  850,  852,  866,  874,  932,  936,  949,  950,
                                         1250, 1251, 1253, 1254, 1255, 1256, 1257, 1258, 10000 };
        if (codePage == 65001) {
            if (!m_utf8.isValid())
                m_utf8 = QStringDecoder(QStringDecoder::Utf8);
            return &m_utf8;
        }
        if (std::find(std::begin(Known), std::end(Known), codePage) == std::end(Known))
            return nullptr;
        auto it = m_decoders.find(codePage);
        if (it == m_decoders.end()) {
            QStringDecoder decoder;
            if (codePage == 10000)
                decoder = QStringDecoder("macintosh");
            if (!decoder.isValid())
                decoder = QStringDecoder(("windows-" + QByteArray::number(codePage)).constData());
            if (!decoder.isValid())
                decoder = QStringDecoder(("cp" + QByteArray::number(codePage)).constData());
            it = m_decoders.emplace(codePage, std::move(decoder)).first;
        }
        return &it->second;
    }

    std::map<int, QStringDecoder> m_decoders;
    QStringDecoder m_utf8;
};

enum class Destination : quint8 { Text, FontTable, ColorTable, Skip };

struct CharState
{
    int font = -1; // -1: the \deff font
    int halfPoints = 0; // 0: not given
    int color = 0; // 0: automatic
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;

    auto tied() const { return std::tie(font, halfPoints, color, bold, italic, underline, strike); }
    bool operator==(const CharState &o) const { return tied() == o.tied(); }
    bool operator!=(const CharState &o) const { return !(*this == o); }
};

struct ParaState
{
    Qt::Alignment alignment = Qt::AlignLeft;
    int left = 0; // twips
    int first = 0;
    int right = 0;
    int before = 0;
    int after = 0;

    auto tied() const { return std::tie(alignment, left, first, right, before, after); }
    bool operator!=(const ParaState &o) const { return tied() != o.tied(); }
};

// What a group saves and its closing brace restores.
struct State
{
    CharState chars;
    ParaState para;
    int unicodeSkip = 1;
    Destination destination = Destination::Text;
};

struct FontEntry
{
    QString family;
    int codePage = 0; // 0: the document's
};

bool isLetter(char16_t c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char16_t c)
{
    return c >= '0' && c <= '9';
}

// Printable ASCII other than braces and the backslash: text as it stands.
bool isPlainText(char16_t c)
{
    return c >= 0x20 && c < 0x7F && c != u'{' && c != u'}' && c != u'\\';
}

int hexValue(char16_t c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A surrogate whose partner is missing would make the text invalid UTF-16.
void repairSurrogates(QString &text)
{
    QChar *c = text.data();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (c[i].isHighSurrogate() && i + 1 < n && c[i + 1].isLowSurrogate())
            ++i;
        else if (c[i].isSurrogate())
            c[i] = QChar(Replacement);
    }
}

class Parser
{
public:
    Parser(QStringView input, bool bytes, QTextDocument &document)
        : m_in(input)
        , m_bytes(bytes)
        , m_cursor(&document)
    { }

    bool run();
    QString error() const { return m_error; }

private:
    void openGroup();
    bool closeGroup(); // true when the outermost group closed
    void controlToken();
    void controlWord();
    void controlSymbol(char16_t c);
    void hexByte();
    void literal(char16_t c);
    void execute(const Keyword &k, bool hasParam, int param);
    void executeInFontTable(const Keyword &k, int param);
    void skipBinary(int length);

    void byte(uchar b);
    void flushBytes();
    void emit(char16_t c);
    void emitUnicode(int code);
    void flushText();
    void paragraph();
    void newBlock();
    void finish();
    void applyBlockFormat();
    template<typename T> void setChar(T CharState::*member, T value);

    void commitFont();
    void commitColor();
    void invalidateFormats()
    {
        m_formatValid = false;
        ++m_formatGeneration;
    }
    int codePage() const;
    const QTextCharFormat &charFormat();
    QTextBlockFormat blockFormat() const;
    void fail(const QString &why);

    QStringView m_in;
    qsizetype m_pos = 0;
    const bool m_bytes;
    QTextCursor m_cursor;
    QString m_error;

    State m_state;
    std::vector<State> m_stack;
    int m_skip = 0; // fallback characters of a \uN still to skip

    int m_ansiCodePage = 1252;
    int m_defaultFont = 0;
    QHash<int, FontEntry> m_fonts;
    std::vector<QColor> m_colors; // by index; invalid for automatic

    // The font table entry and colour being read.
    int m_fontNumber = 0;
    int m_fontCodePage = 0;
    QString m_fontName;
    int m_red = -1;
    int m_green = -1;
    int m_blue = -1;

    QByteArray m_bytesPending;
    QString m_text; // run text not yet in the document, all in m_state.chars
    bool m_breakPending = false; // a \par seen, its new block not yet made

    // The formats given to the current block. A new block starts with them, and they are set
    // again only when they change: setting them costs as much as making the block.
    bool m_blockFormatted = false;
    ParaState m_blockPara;
    CharState m_blockChars;
    int m_blockGeneration = 0;
    QTextBlockFormat m_blockFormat;
    QTextCharFormat m_blockCharFormat;
    ByteDecoder m_decoder;

    // The character format of the last state, until a table or \deff changes what states mean.
    bool m_formatValid = false;
    int m_formatGeneration = 0;
    CharState m_formatState;
    QTextCharFormat m_format;
};

bool Parser::run()
{
    const qsizetype n = m_in.size();
    while (m_pos < n && m_error.isEmpty()) {
        const char16_t c = m_in[m_pos].unicode();
        ++m_pos;
        switch (c) {
        case u'{':
            openGroup();
            break;
        case u'}':
            if (closeGroup())
                return m_error.isEmpty(); // text after the outermost group is not part of it
            break;
        case u'\\':
            controlToken();
            break;
        case u'\r':
        case u'\n':
            break;
        default:
            if (isPlainText(c) && m_skip == 0 && m_state.destination == Destination::Text
                && m_bytesPending.isEmpty()) {
                // Runs of plain characters are most of a document: take them whole.
                const qsizetype start = m_pos - 1;
                while (m_pos < n && isPlainText(m_in[m_pos].unicode()))
                    ++m_pos;
                m_text.append(m_in.mid(start, m_pos - start));
            } else {
                literal(c);
            }
            break;
        }
    }
    if (!m_error.isEmpty())
        return false;
    finish(); // a missing closing brace: the document ends with the input
    return true;
}

void Parser::fail(const QString &why)
{
    if (m_error.isEmpty())
        m_error = why + u" (at offset %1)"_s.arg(m_pos);
}

void Parser::openGroup()
{
    flushBytes();
    m_skip = 0;
    if (m_stack.size() >= size_t(RtfReader::MaxDepth)) {
        fail(u"groups nested deeper than %1"_s.arg(RtfReader::MaxDepth));
        return;
    }
    m_stack.push_back(m_state);
}

bool Parser::closeGroup()
{
    if (m_stack.empty())
        return true;
    flushBytes();
    m_skip = 0;
    if (m_state.destination == Destination::FontTable && !m_fontName.trimmed().isEmpty())
        commitFont(); // an entry without its semicolon
    if (m_stack.size() == 1) {
        finish(); // the last paragraph takes the properties in force inside the document
        m_stack.pop_back();
        return true;
    }
    flushText();
    m_state = m_stack.back();
    m_stack.pop_back();
    return m_stack.empty();
}

void Parser::controlToken()
{
    if (m_pos >= m_in.size())
        return; // a backslash at the very end
    const char16_t c = m_in[m_pos].unicode();
    if (isLetter(c)) {
        controlWord();
        return;
    }
    ++m_pos;
    if (c == u'\'') {
        hexByte();
        return;
    }
    flushBytes();
    if (m_skip > 0) {
        --m_skip;
        return;
    }
    controlSymbol(c);
}

void Parser::controlWord()
{
    const qsizetype n = m_in.size();
    char name[MaxWordLength];
    int length = 0;
    bool overlong = false;
    while (m_pos < n && isLetter(m_in[m_pos].unicode())) {
        if (length < MaxWordLength)
            name[length++] = char(m_in[m_pos].unicode());
        else
            overlong = true;
        ++m_pos;
    }
    bool negative = false;
    if (m_pos + 1 < n && m_in[m_pos] == u'-' && isDigit(m_in[m_pos + 1].unicode())) {
        negative = true;
        ++m_pos;
    }
    bool hasParam = false;
    qint64 value = 0;
    while (m_pos < n && isDigit(m_in[m_pos].unicode())) {
        hasParam = true;
        if (value <= INT_MAX) // stop growing once it is out of range; it gets clamped below
            value = value * 10 + (m_in[m_pos].unicode() - '0');
        ++m_pos;
    }
    if (m_pos < n && m_in[m_pos] == u' ')
        ++m_pos; // the delimiter belongs to the word
    const int param = int(std::clamp<qint64>(negative ? -value : value, INT_MIN, INT_MAX));

    flushBytes();
    const Keyword *keyword = overlong ? nullptr : findKeyword(std::string_view(name, length));
    if (m_skip > 0) {
        --m_skip;
        if (keyword && keyword->kw == Kw::Bin)
            skipBinary(param);
        return;
    }
    if (keyword)
        execute(*keyword, hasParam, param);
}

void Parser::hexByte()
{
    int value = 0;
    int digits = 0;
    while (digits < 2 && m_pos < m_in.size()) {
        const int h = hexValue(m_in[m_pos].unicode());
        if (h < 0)
            break;
        value = value * 16 + h;
        ++digits;
        ++m_pos;
    }
    if (m_skip > 0) {
        --m_skip;
        return;
    }
    if (digits == 2)
        byte(uchar(value));
}

void Parser::controlSymbol(char16_t c)
{
    switch (c) {
    case u'\\':
    case u'{':
    case u'}':
        emit(c);
        break;
    case u'~':
        emit(0x00A0);
        break;
    case u'-':
        emit(0x00AD);
        break;
    case u'_':
        emit(0x2011);
        break;
    case u'*':
        m_state.destination = Destination::Skip;
        break;
    case u'\r':
    case u'\n':
        if (m_state.destination == Destination::Text)
            paragraph();
        break;
    default:
        break;
    }
}

void Parser::literal(char16_t c)
{
    if (c >= 0x80 && m_bytes) {
        if (m_skip > 0)
            --m_skip;
        else
            byte(uchar(c));
        return;
    }
    flushBytes();
    if (m_skip > 0) {
        --m_skip;
        return;
    }
    emit(c);
}

void Parser::execute(const Keyword &k, bool hasParam, int param)
{
    const Destination destination = m_state.destination;
    if (k.kw == Kw::Bin) {
        skipBinary(hasParam ? param : 0);
        return;
    }
    if (destination == Destination::Skip)
        return;
    if (destination == Destination::FontTable) {
        executeInFontTable(k, param);
        return;
    }
    if (destination == Destination::ColorTable) {
        const int component = std::clamp(param, 0, 255);
        if (k.kw == Kw::Red)
            m_red = component;
        else if (k.kw == Kw::Green)
            m_green = component;
        else if (k.kw == Kw::Blue)
            m_blue = component;
        return;
    }

    const bool on = !hasParam || param != 0;
    ParaState &para = m_state.para;
    switch (k.kw) {
    case Kw::Ansi:
        m_ansiCodePage = 1252;
        break;
    case Kw::AnsiCpg:
        if (param > 0)
            m_ansiCodePage = param;
        break;
    case Kw::Mac:
        m_ansiCodePage = 10000;
        break;
    case Kw::Pc:
        m_ansiCodePage = 437;
        break;
    case Kw::Pca:
        m_ansiCodePage = 850;
        break;
    case Kw::Deff:
        m_defaultFont = param;
        invalidateFormats();
        break;
    case Kw::Uc:
        m_state.unicodeSkip = std::clamp(hasParam ? param : 1, 0, MaxUnicodeSkip);
        break;
    case Kw::U:
        emitUnicode(param);
        m_skip = m_state.unicodeSkip;
        break;
    case Kw::FontTable:
        m_state.destination = Destination::FontTable;
        m_fontName.clear();
        m_fontNumber = 0;
        m_fontCodePage = 0;
        break;
    case Kw::ColorTable:
        m_state.destination = Destination::ColorTable;
        m_red = m_green = m_blue = -1;
        break;
    case Kw::SkipDestination:
        m_state.destination = Destination::Skip;
        break;
    case Kw::Font:
        setChar(&CharState::font, param);
        break;
    case Kw::Plain:
        if (m_state.chars != CharState()) {
            flushText();
            m_state.chars = CharState();
        }
        break;
    case Kw::Bold:
        setChar(&CharState::bold, on);
        break;
    case Kw::Italic:
        setChar(&CharState::italic, on);
        break;
    case Kw::Underline:
        setChar(&CharState::underline, on);
        break;
    case Kw::UnderlineNone:
        setChar(&CharState::underline, false);
        break;
    case Kw::Strike:
        setChar(&CharState::strike, on);
        break;
    case Kw::FontSize:
        setChar(&CharState::halfPoints, param > 0 ? std::clamp(param, 2, MaxHalfPoints) : 0);
        break;
    case Kw::Color:
        setChar(&CharState::color, std::max(param, 0));
        break;
    case Kw::Pard:
        para = ParaState();
        break;
    case Kw::AlignLeft:
        para.alignment = Qt::AlignLeft;
        break;
    case Kw::AlignCenter:
        para.alignment = Qt::AlignHCenter;
        break;
    case Kw::AlignRight:
        para.alignment = Qt::AlignRight;
        break;
    case Kw::AlignJustify:
        para.alignment = Qt::AlignJustify;
        break;
    case Kw::LeftIndent:
        para.left = std::clamp(param, -MaxTwips, MaxTwips);
        break;
    case Kw::FirstIndent:
        para.first = std::clamp(param, -MaxTwips, MaxTwips);
        break;
    case Kw::RightIndent:
        para.right = std::clamp(param, -MaxTwips, MaxTwips);
        break;
    case Kw::SpaceBefore:
        para.before = std::clamp(param, 0, MaxTwips);
        break;
    case Kw::SpaceAfter:
        para.after = std::clamp(param, 0, MaxTwips);
        break;
    case Kw::Par:
        paragraph();
        break;
    case Kw::Char:
        emit(k.ch);
        break;
    default:
        break;
    }
}

void Parser::executeInFontTable(const Keyword &k, int param)
{
    switch (k.kw) {
    case Kw::Font:
        m_fontNumber = param;
        m_fontCodePage = 0;
        break;
    case Kw::Charset:
        m_fontCodePage = codePageOfCharset(param);
        break;
    case Kw::CodePage:
        m_fontCodePage = std::max(param, 0);
        break;
    case Kw::U:
        emitUnicode(param);
        m_skip = m_state.unicodeSkip;
        break;
    case Kw::Uc:
        m_state.unicodeSkip = std::clamp(param, 0, MaxUnicodeSkip);
        break;
    case Kw::SkipDestination:
        m_state.destination = Destination::Skip;
        break;
    default:
        break;
    }
}

void Parser::skipBinary(int length)
{
    if (length <= 0)
        return;
    if (length > m_in.size() - m_pos) {
        fail(u"\\bin data runs past the end of the input"_s);
        return;
    }
    m_pos += length;
}

void Parser::byte(uchar b)
{
    if (m_state.destination == Destination::Text || m_state.destination == Destination::FontTable)
        m_bytesPending.append(char(b));
}

// Bytes wait until the run of escapes ends, so that multi-byte code pages decode whole characters.
void Parser::flushBytes()
{
    if (m_bytesPending.isEmpty())
        return;
    QString decoded;
    m_decoder.decode(codePage(), m_bytesPending, &decoded);
    m_bytesPending.clear();
    for (QChar c : std::as_const(decoded))
        emit(c.unicode());
}

int Parser::codePage() const
{
    int page = 0;
    if (m_state.destination == Destination::FontTable) {
        page = m_fontCodePage;
    } else {
        const int font = m_state.chars.font >= 0 ? m_state.chars.font : m_defaultFont;
        const auto it = m_fonts.constFind(font);
        if (it != m_fonts.constEnd())
            page = it->codePage;
    }
    return page > 0 ? page : m_ansiCodePage;
}

void Parser::emitUnicode(int code)
{
    if (code < 0)
        code += 65536; // RTF numbers are signed 16-bit
    emit(code >= 0 && code <= 0xFFFF ? char16_t(code) : Replacement);
}

void Parser::emit(char16_t c)
{
    switch (m_state.destination) {
    case Destination::Text:
        if (c < 0x20 && c != u'\t')
            return;
        if (c == 0x2029) {
            paragraph();
            return;
        }
        // The document keeps its frames and objects as these characters.
        if (c == 0xFDD0 || c == 0xFDD1 || c == 0xFFFC)
            c = Replacement;
        m_text.append(QChar(c));
        break;
    case Destination::FontTable:
        if (c == u';')
            commitFont();
        else if (c >= 0x20 && m_fontName.size() < MaxFontNameLength)
            m_fontName.append(QChar(c));
        break;
    case Destination::ColorTable:
        if (c == u';')
            commitColor();
        break;
    case Destination::Skip:
        break;
    }
}

void Parser::commitFont()
{
    const QString family = m_fontName.trimmed();
    m_fontName.clear();
    if (m_fonts.size() >= RtfReader::MaxFonts && !m_fonts.contains(m_fontNumber)) {
        fail(u"more than %1 fonts in the font table"_s.arg(RtfReader::MaxFonts));
        return;
    }
    m_fonts.insert(m_fontNumber, FontEntry { family, m_fontCodePage });
    invalidateFormats();
}

void Parser::commitColor()
{
    if (m_colors.size() >= size_t(RtfReader::MaxColors)) {
        fail(u"more than %1 colours in the colour table"_s.arg(RtfReader::MaxColors));
        return;
    }
    // An entry without components is the automatic colour.
    if (m_red < 0 && m_green < 0 && m_blue < 0)
        m_colors.emplace_back();
    else
        m_colors.emplace_back(std::max(m_red, 0), std::max(m_green, 0), std::max(m_blue, 0));
    m_red = m_green = m_blue = -1;
    invalidateFormats();
}

template<typename T> void Parser::setChar(T CharState::*member, T value)
{
    if (m_state.chars.*member == value)
        return;
    flushText(); // the pending text keeps the format it was written in
    m_state.chars.*member = value;
}

void Parser::flushText()
{
    if (m_text.isEmpty())
        return;
    if (m_breakPending) {
        newBlock();
        m_breakPending = false;
    }
    repairSurrogates(m_text);
    m_cursor.insertText(m_text, charFormat());
    m_text.resize(0);
}

// The paragraph's properties are those in force at its \par. The block after it is made only when
// something follows, as the control ends every paragraph, the last one too, with a \par.
void Parser::paragraph()
{
    flushText();
    if (m_breakPending)
        newBlock();
    applyBlockFormat();
    m_breakPending = true;
}

void Parser::newBlock()
{
    m_cursor.insertBlock(m_blockFormat, m_blockCharFormat);
}

void Parser::finish()
{
    flushBytes();
    flushText();
    if (!m_breakPending)
        applyBlockFormat();
}

void Parser::applyBlockFormat()
{
    if (!m_blockFormatted || m_state.para != m_blockPara) {
        m_blockPara = m_state.para;
        m_blockFormat = blockFormat();
        m_cursor.setBlockFormat(m_blockFormat);
    }
    if (!m_blockFormatted || m_state.chars != m_blockChars
        || m_formatGeneration != m_blockGeneration) {
        m_blockChars = m_state.chars;
        m_blockGeneration = m_formatGeneration;
        m_blockCharFormat = charFormat();
        m_cursor.setBlockCharFormat(m_blockCharFormat);
    }
    m_blockFormatted = true;
}

const QTextCharFormat &Parser::charFormat()
{
    const CharState &s = m_state.chars;
    if (m_formatValid && s == m_formatState)
        return m_format;
    QTextCharFormat f;
    const auto font = m_fonts.constFind(s.font >= 0 ? s.font : m_defaultFont);
    if (font != m_fonts.constEnd() && !font->family.isEmpty())
        f.setFontFamilies(QStringList { font->family });
    if (s.halfPoints > 0)
        f.setFontPointSize(s.halfPoints / 2.0);
    if (s.bold)
        f.setFontWeight(QFont::Bold);
    if (s.italic)
        f.setFontItalic(true);
    if (s.underline)
        f.setFontUnderline(true);
    if (s.strike)
        f.setFontStrikeOut(true);
    if (s.color > 0 && size_t(s.color) < m_colors.size() && m_colors[s.color].isValid())
        f.setForeground(m_colors[s.color]);
    m_format = f;
    m_formatState = s;
    m_formatValid = true;
    return m_format;
}

QTextBlockFormat Parser::blockFormat() const
{
    const ParaState &p = m_state.para;
    QTextBlockFormat f;
    if (p.alignment != Qt::AlignLeft)
        f.setAlignment(p.alignment);
    if (p.left != 0)
        f.setLeftMargin(p.left / TwipsPerPixel);
    if (p.first != 0)
        f.setTextIndent(p.first / TwipsPerPixel);
    if (p.right != 0)
        f.setRightMargin(p.right / TwipsPerPixel);
    if (p.before != 0)
        f.setTopMargin(p.before / TwipsPerPixel);
    if (p.after != 0)
        f.setBottomMargin(p.after / TwipsPerPixel);
    return f;
}

} // namespace

bool RtfReader::read(QByteArrayView rtf, QTextDocument &document)
{
    if (rtf.size() > MaxInputSize) {
        m_errorString = u"the RTF is larger than %1 bytes"_s.arg(MaxInputSize);
        document.clear();
        return false;
    }
    // Latin-1 keeps one unit per byte; the parser then takes the high ones as code page bytes.
    return readUnits(QString::fromLatin1(rtf), true, document);
}

bool RtfReader::read(QStringView rtf, QTextDocument &document)
{
    if (rtf.size() > MaxInputSize) {
        m_errorString = u"the RTF is longer than %1 characters"_s.arg(MaxInputSize);
        document.clear();
        return false;
    }
    return readUnits(rtf, false, document);
}

bool RtfReader::readUnits(QStringView units, bool bytes, QTextDocument &document)
{
    m_errorString.clear();
    const bool undo = document.isUndoRedoEnabled();
    document.setUndoRedoEnabled(false); // also drops the history of the previous content
    document.clear();
    bool ok = false;
    if (!isRtf(units)) {
        m_errorString = u"the text does not start with {\\rtf"_s;
    } else {
        Parser parser(units, bytes, document);
        QTextCursor batch(&document);
        batch.beginEditBlock(); // one layout pass at the end instead of one per run
        ok = parser.run();
        batch.endEditBlock();
        if (!ok) {
            m_errorString = parser.error();
            document.clear();
        }
    }
    document.setUndoRedoEnabled(undo);
    document.setModified(false);
    return ok;
}

bool RtfReader::isRtf(QStringView text)
{
    return text.startsWith(u"{\\rtf");
}

bool RtfReader::isRtf(QByteArrayView text)
{
    return text.startsWith("{\\rtf");
}
