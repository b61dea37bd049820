#include "platform/engine/LocalSql.h"

#include "platform/engine/Convert.h"
#include "platform/engine/FormatSettings.h"

#include <QChar>
#include <QLocale>
#include <QRegularExpression>

#include <sqlite3.h>

#include <charconv>
#include <functional>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// Index just past the quoted literal or name opening at i ('...' or "...", the quote doubled
// inside), or i itself when none opens there.
qsizetype skipQuoted(const QString &sql, qsizetype i)
{
    const QChar quote = sql.at(i);
    if (quote != QLatin1Char('\'') && quote != QLatin1Char('"'))
        return i;
    for (++i; i < sql.size(); ++i) {
        if (sql.at(i) != quote)
            continue;
        if (i + 1 < sql.size() && sql.at(i + 1) == quote)
            ++i;
        else
            return i + 1;
    }
    return i;
}

bool keywordAt(const QString &sql, qsizetype i, QLatin1StringView word)
{
    if (i > 0 && isWordChar(sql.at(i - 1)))
        return false;
    const qsizetype end = i + word.size();
    return end <= sql.size()
        && QStringView(sql).mid(i, word.size()).compare(word, Qt::CaseInsensitive) == 0
        && (end == sql.size() || !isWordChar(sql.at(end)));
}

// Length of a character type ("char(10)", "varchar(10)", "character"): n, -1 without one; no
// value when the type is not one of them.
std::optional<int> characterLength(const QString &type)
{
    static const QRegularExpression re(
        QStringLiteral("^(?:var)?char(?:acter)?\\s*(?:\\(\\s*(\\d{1,9})\\s*\\))?$"));
    const QRegularExpressionMatch m = re.match(type);
    if (!m.hasMatch())
        return std::nullopt;
    return m.hasCaptured(1) ? m.captured(1).toInt() : -1;
}

// Whether X, cast to characters, may be a date: anything but a column known to be something else.
bool mayBeDate(const QString &operand, const LocalSql::ColumnTypeOf &typeOf)
{
    static const QRegularExpression column(QStringLiteral("^(?:\\w+\\s*\\.\\s*)?(\\w+)$"));
    const QRegularExpressionMatch m = column.match(operand);
    if (!m.hasMatch() || !typeOf)
        return true;
    const std::optional<FieldType> type = typeOf(m.captured(1));
    return !type || *type == FieldType::Date || *type == FieldType::DateTime;
}

// "cast(X as integer)" becomes "strict_integer(X)": SQLite's cast reads "12A" as 12, the local
// SQL's gives null for text that is not wholly a whole number. "cast(X as char(n))" becomes
// "char_cast(X, n)", which gives a stored date as the user reads it.
QString rewriteCasts(const QString &sql, const LocalSql::ColumnTypeOf &typeOf)
{
    QString out;
    qsizetype copied = 0;
    for (qsizetype i = 0; i < sql.size();) {
        const qsizetype past = skipQuoted(sql, i);
        if (past != i) {
            i = past;
            continue;
        }
        if (!keywordAt(sql, i, QLatin1StringView("cast"))) {
            ++i;
            continue;
        }
        qsizetype open = i + 4;
        while (open < sql.size() && sql.at(open).isSpace())
            ++open;
        if (open >= sql.size() || sql.at(open) != QLatin1Char('(')) {
            i += 4;
            continue;
        }
        // The matching parenthesis and the last "as" at its level.
        int depth = 0;
        qsizetype as = -1, close = -1;
        for (qsizetype k = open + 1; k < sql.size();) {
            const qsizetype q = skipQuoted(sql, k);
            if (q != k) {
                k = q;
                continue;
            }
            const QChar c = sql.at(k);
            if (c == QLatin1Char('(')) {
                ++depth;
            } else if (c == QLatin1Char(')')) {
                if (depth-- == 0) {
                    close = k;
                    break;
                }
            } else if (depth == 0 && keywordAt(sql, k, QLatin1StringView("as"))) {
                as = k;
            }
            ++k;
        }
        if (close < 0 || as < 0) {
            i = open + 1;
            continue;
        }
        const QString type = sql.mid(as + 2, close - as - 2).trimmed().toLower();
        const QString written = sql.mid(open + 1, as - open - 1).trimmed();
        const std::optional<int> length = characterLength(type);
        if ((type != QLatin1String("integer") && type != QLatin1String("int") && !length)
            || (length && !mayBeDate(written, typeOf))) {
            i = open + 1;
            continue;
        }
        const QString operand = rewriteCasts(written, typeOf);
        out += QStringView(sql).mid(copied, i - copied);
        if (length)
            out += QStringLiteral("char_cast(%1, %2)").arg(operand).arg(*length);
        else
            out += QStringLiteral("strict_integer(%1)").arg(operand);
        i = copied = close + 1;
    }
    if (copied == 0)
        return sql;
    out += QStringView(sql).mid(copied);
    return out;
}

} // namespace

namespace {

QString sqliteStatement(const QString &text, const LocalSql::ColumnTypeOf &typeOf)
{
    const QString sql = rewriteCasts(text, typeOf);
    static const QRegularExpression rightJoin(
        QStringLiteral("(\\bfrom\\s+)(\\w+)(\\s+(?!right\\b|left\\b|inner\\b|join\\b|on\\b)\\w+)?"
                       "\\s+right\\s+(?:outer\\s+)?join\\s+(\\w+)(\\s+(?!on\\b)\\w+)?\\s+on\\s+"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = rightJoin.match(sql);
    if (!m.hasMatch())
        return sql;
    // The select list decides the columns; "*" would take them in join order.
    static const QRegularExpression select(QStringLiteral("^\\s*select\\b"),
                                           QRegularExpression::CaseInsensitiveOption);
    if (!select.match(sql).hasMatch())
        return sql;
    QString list = sql.left(m.capturedStart(0));
    list.remove(QRegularExpression(QStringLiteral("count\\s*\\(\\s*\\*\\s*\\)"),
                                   QRegularExpression::CaseInsensitiveOption));
    if (list.contains(QLatin1Char('*')))
        return sql;
    const QString rewritten = m.captured(1) + m.captured(4) + m.captured(5)
        + QStringLiteral(" left join ") + m.captured(2) + m.captured(3) + QStringLiteral(" on ");
    return sql.left(m.capturedStart(0)) + rewritten + sql.mid(m.capturedEnd(0));
}

} // namespace

namespace {

// Pattern tokens beyond the last code point.
constexpr char32_t AnyRun = 0x110000; // %
constexpr char32_t AnyOne = 0x110001; // _
// A byte that is not part of a valid UTF-8 sequence stands for U+DC00 + byte: a surrogate, which
// no valid sequence decodes to, so it only ever matches the same stray byte.
constexpr char32_t StrayByte = 0xDC00;

struct AsciiUpper
{
    unsigned char map[256];
    constexpr AsciiUpper()
        : map()
    {
        for (int i = 0; i < 256; ++i)
            map[i] = static_cast<unsigned char>(i >= 'a' && i <= 'z' ? i - 0x20 : i);
    }
};
constexpr AsciiUpper Upper;

inline bool isStray(char32_t c)
{
    return c >= StrayByte + 0x80 && c <= StrayByte + 0xFF;
}

// Capital of a letter. Letters outside a to z never become one of a to z (U+0131 and U+017F keep
// their own form), which keeps plain-letter patterns comparable byte by byte.
inline char32_t fold(char32_t c)
{
    if (c < 0x80)
        return Upper.map[c];
    if (c >= 0xD800 && c <= 0xDFFF)
        return c;
    const char32_t u = QChar::toUpper(c);
    return u < 0x80 ? c : u;
}

// The code point at s[i], advancing i past it; never reads past n.
inline char32_t decode(const unsigned char *s, int n, int &i)
{
    const unsigned char b = s[i];
    if (b < 0x80) {
        ++i;
        return b;
    }
    int length = 0;
    char32_t c = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        c = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        c = b & 0x07;
    }
    if (length == 0 || i + length > n) {
        ++i;
        return StrayByte + b;
    }
    for (int k = 1; k < length; ++k) {
        const unsigned char t = s[i + k];
        if ((t & 0xC0) != 0x80) {
            ++i;
            return StrayByte + b;
        }
        c = (c << 6) | (t & 0x3F);
    }
    if ((length == 3 && c < 0x800) || (length == 4 && (c < 0x10000 || c > 0x10FFFF))
        || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return StrayByte + b;
    }
    i += length;
    return c;
}

inline unsigned char *encode(char32_t c, unsigned char *out)
{
    if (c < 0x80) {
        *out++ = static_cast<unsigned char>(c);
    } else if (c < 0x800) {
        *out++ = static_cast<unsigned char>(0xC0 | (c >> 6));
        *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out++ = static_cast<unsigned char>(0xE0 | (c >> 12));
        *out++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else {
        *out++ = static_cast<unsigned char>(0xF0 | (c >> 18));
        *out++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
        *out++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
    return out;
}

void upperFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const unsigned char *z = sqlite3_value_text(argv[0]);
    if (!z)
        return; // null stays null
    const int n = sqlite3_value_bytes(argv[0]);
    // A capital takes at most one byte more than its small letter, and only when that has two.
    // The result is built here and copied by SQLite into the connection's own small-block
    // memory: cheaper than a block from the shared allocator, whose lock every call would take.
    thread_local std::vector<unsigned char> buffer;
    try {
        if (buffer.size() < size_t(n) * 2 + 1)
            buffer.resize(size_t(n) * 2 + 1);
    } catch (const std::bad_alloc &) {
        sqlite3_result_error_nomem(ctx);
        return;
    }
    unsigned char *const out = buffer.data();
    unsigned char *p = out;
    for (int i = 0; i < n;) {
        const unsigned char b = z[i];
        if (b < 0x80) {
            *p++ = Upper.map[b];
            ++i;
            continue;
        }
        const int start = i;
        const char32_t c = decode(z, n, i);
        if (isStray(c))
            *p++ = z[start];
        else
            p = encode(fold(c), p);
    }
    sqlite3_result_text64(ctx, reinterpret_cast<const char *>(out), sqlite3_uint64(p - out),
                          SQLITE_TRANSIENT, SQLITE_UTF8);
}

// A like pattern taken apart.
struct LikePattern
{
    std::string text; // as given
    // The escape character it was read with; -1 without one, -2 before anything was read.
    qint64 escape = -2;
    bool never = false; // ends in a lone escape character: matches nothing
    std::vector<char32_t> tokens; // capitals, AnyRun, AnyOne
    int characters = 0; // tokens that take one character each
    // Without "_" and with nothing but ASCII literals, the literal runs between the "%" (in
    // capitals) are found in the text's bytes directly: an ASCII byte is always a whole character.
    bool bytewise = false;
    std::vector<std::string> runs;
};

LikePattern compile(const unsigned char *z, int n, qint64 escape)
{
    LikePattern p;
    p.text.assign(reinterpret_cast<const char *>(z), size_t(n));
    p.escape = escape;
    p.tokens.reserve(size_t(n));
    bool ascii = true;
    for (int i = 0; i < n;) {
        char32_t c = decode(z, n, i);
        if (escape >= 0 && c == char32_t(escape)) {
            if (i >= n) {
                p.never = true;
                return p;
            }
            c = fold(decode(z, n, i));
        } else if (c == U'%') {
            if (!p.tokens.empty() && p.tokens.back() == AnyRun)
                continue;
            p.tokens.push_back(AnyRun);
            continue;
        } else if (c == U'_') {
            p.tokens.push_back(AnyOne);
            ++p.characters;
            ascii = false;
            continue;
        } else {
            c = fold(c);
        }
        if (c >= 0x80)
            ascii = false;
        p.tokens.push_back(c);
        ++p.characters;
    }
    p.bytewise = ascii;
    if (ascii) {
        p.runs.emplace_back();
        for (char32_t t : p.tokens) {
            if (t == AnyRun)
                p.runs.emplace_back();
            else
                p.runs.back().push_back(char(t));
        }
    }
    return p;
}

// The text at s spells run, compared from the run's character k on.
inline bool equalAt(const unsigned char *s, const std::string &run, size_t k = 0)
{
    const size_t m = run.size();
    for (; k < m; ++k) {
        if (Upper.map[s[k]] != static_cast<unsigned char>(run[k]))
            return false;
    }
    return true;
}

// First place at or after from where run starts and ends by to; -1 when none.
int find(const unsigned char *s, int from, int to, const std::string &run)
{
    const int last = to - int(run.size());
    if (run.empty())
        return from <= to ? from : -1;
    const auto first = static_cast<unsigned char>(run[0]);
    const bool letter = first >= 'A' && first <= 'Z';
    for (int i = from; i <= last; ++i) {
        if (letter) {
            if (Upper.map[s[i]] != first)
                continue;
        } else {
            // Digits and signs have one case: let memchr find the candidates.
            const void *hit = std::memchr(s + i, first, size_t(last - i + 1));
            if (!hit)
                return -1;
            i = int(static_cast<const unsigned char *>(hit) - s);
        }
        if (equalAt(s + i, run, 1))
            return i;
    }
    return -1;
}

bool matchBytewise(const LikePattern &p, const unsigned char *s, int n)
{
    const std::vector<std::string> &runs = p.runs;
    const std::string &head = runs.front();
    if (runs.size() == 1)
        return int(head.size()) == n && equalAt(s, head);
    const std::string &tail = runs.back();
    if (int(head.size() + tail.size()) > n)
        return false;
    if (!equalAt(s, head) || !equalAt(s + n - int(tail.size()), tail))
        return false;
    // Each run as early as it fits leaves the most room for the runs after it.
    int at = int(head.size());
    const int end = n - int(tail.size());
    for (size_t r = 1; r + 1 < runs.size(); ++r) {
        const int found = find(s, at, end, runs[r]);
        if (found < 0)
            return false;
        at = found + int(runs[r].size());
    }
    return true;
}

// The text against the tokens; a "%" that has to take more characters takes one more at a time,
// going back only to the last "%" seen, so a pattern never costs more than text times pattern.
bool matchTokens(const LikePattern &p, const unsigned char *s, int n)
{
    const std::vector<char32_t> &t = p.tokens;
    const int m = int(t.size());
    int ti = 0;
    int si = 0;
    int starT = -1;
    int starS = 0;
    while (si < n) {
        if (ti < m && t[ti] == AnyRun) {
            starT = ++ti;
            starS = si;
            continue;
        }
        if (ti < m) {
            int next = si;
            const char32_t c = decode(s, n, next);
            if (t[ti] == AnyOne || t[ti] == fold(c)) {
                ++ti;
                si = next;
                continue;
            }
        }
        if (starT < 0)
            return false;
        (void)decode(s, n, starS);
        si = starS;
        ti = starT;
    }
    while (ti < m && t[ti] == AnyRun)
        ++ti;
    return ti == m;
}

bool matches(const LikePattern &p, const unsigned char *s, int n)
{
    if (p.never || n < p.characters) // a character takes at least one byte
        return false;
    return p.bytewise ? matchBytewise(p, s, n) : matchTokens(p, s, n);
}

// like(P, X) for "X like P", like(P, X, E) for "X like P escape E".
void likeFunction(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    const unsigned char *pattern = sqlite3_value_text(argv[0]);
    const int patternBytes = sqlite3_value_bytes(argv[0]);
    const unsigned char *text = sqlite3_value_text(argv[1]);
    const int textBytes = sqlite3_value_bytes(argv[1]);
    if (!pattern || !text)
        return;
    qint64 escape = -1;
    if (argc == 3) {
        const unsigned char *e = sqlite3_value_text(argv[2]);
        if (!e)
            return;
        const int bytes = sqlite3_value_bytes(argv[2]);
        int i = 0;
        if (bytes > 0)
            escape = decode(e, bytes, i);
        if (bytes == 0 || i != bytes) {
            sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
            return;
        }
    }
    // A statement compares many values with one pattern (the search compares 21 columns with
    // the same one): the last pattern read is kept, found again by its text.
    thread_local LikePattern last;
    if (last.escape != escape || last.text.size() != size_t(patternBytes)
        || std::memcmp(last.text.data(), pattern, size_t(patternBytes)) != 0) {
        try {
            last = compile(pattern, patternBytes, escape);
        } catch (const std::bad_alloc &) {
            last = LikePattern();
            sqlite3_result_error_nomem(ctx);
            return;
        }
    }
    sqlite3_result_int(ctx, matches(last, text, textBytes) ? 1 : 0);
}

// strict_integer(X): X as a whole number when it is one (a text of digits with an optional sign,
// blanks around allowed), a real cut to its integer part as cast does, null otherwise.
void strictIntegerFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_INTEGER:
        sqlite3_result_value(ctx, argv[0]);
        return;
    case SQLITE_FLOAT: {
        const double d = sqlite3_value_double(argv[0]);
        // Beyond the range of a 64-bit integer the conversion would be undefined.
        if (d > -9223372036854775808.0 && d < 9223372036854775808.0)
            sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(d));
        return;
    }
    case SQLITE_NULL:
        return;
    default:
        break;
    }
    const auto *z = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    if (!z)
        return;
    const int n = sqlite3_value_bytes(argv[0]);
    int i = 0;
    auto blank = [&](int k) { return z[k] == ' ' || (z[k] >= '\t' && z[k] <= '\r'); };
    while (i < n && blank(i))
        ++i;
    bool negative = false;
    if (i < n && (z[i] == '+' || z[i] == '-'))
        negative = z[i++] == '-';
    const int first = i;
    // Accumulated as a negative number, whose range holds the smallest integer too.
    sqlite3_int64 value = 0;
    constexpr sqlite3_int64 min = std::numeric_limits<sqlite3_int64>::min();
    for (; i < n && z[i] >= '0' && z[i] <= '9'; ++i) {
        const int digit = z[i] - '0';
        if (value < (min + digit) / 10)
            return; // too large for a whole number: null rather than a wrong one
        value = value * 10 - digit;
    }
    if (i == first)
        return;
    while (i < n && blank(i))
        ++i;
    if (i != n)
        return;
    if (!negative) {
        if (value == min)
            return;
        value = -value;
    }
    sqlite3_result_int64(ctx, value);
}

// Stored as a date ("YYYY-MM-DD") or a timestamp ("YYYY-MM-DD HH:MM:SS.zzz"): the shape every
// date column is written in, which no number and no ordinary text takes.
bool looksLikeStoredDate(const unsigned char *z, int n)
{
    if (n < 10 || n > 26 || z[4] != '-' || z[7] != '-')
        return false;
    for (const int k : { 0, 1, 2, 3, 5, 6, 8, 9 }) {
        if (z[k] < '0' || z[k] > '9')
            return false;
    }
    return n == 10 || z[10] == ' ' || z[10] == 'T';
}

// The date stored at z (n bytes) as the engine shows it, cut to length characters unless length
// is -1, as the function's result; false when it is no date after all.
bool resultShownDate(sqlite3_context *ctx, const unsigned char *z, int n, int length)
{
    char16_t wide[26];
    for (int i = 0; i < n; ++i)
        wide[i] = z[i];
    const QStringView stored(wide, n);
    const FormatSettings &formats = FormatSettings::current();
    QString shown;
    QDate date;
    double serial = 0;
    if (n == 10 ? Convert::parseStorageDate(stored, &date)
                : Convert::parseStorageTimestamp(stored, &serial))
        shown = n == 10 ? Convert::formatUserDate(date, formats)
                        : Convert::formatUserDateTime(serial, formats);
    if (shown.isEmpty())
        return false;
    if (length >= 0)
        shown.truncate(length);
    // Dates are mostly written in ASCII: no UTF-8 conversion for them.
    char ascii[64];
    bool plain = shown.size() <= qsizetype(sizeof ascii);
    for (qsizetype i = 0; plain && i < shown.size(); ++i) {
        const char16_t c = shown.at(i).unicode();
        plain = c < 0x80;
        ascii[i] = char(c);
    }
    if (plain) {
        sqlite3_result_text(ctx, ascii, int(shown.size()), SQLITE_TRANSIENT);
    } else {
        const QByteArray utf8 = shown.toUtf8();
        sqlite3_result_text(ctx, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    return true;
}

// char_cast(X, n): X cast to text, except that a stored date reads as the engine shows it (the
// user's short date format, then the long time unless it is midnight), cut to n characters when
// n is not -1. Not deterministic: the result follows the user's date format.
void charCastFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL:
        return;
    case SQLITE_INTEGER: {
        // The digits SQLite's cast writes, without turning the argument into text first.
        char digits[24];
        const char *end
            = std::to_chars(digits, digits + sizeof digits, sqlite3_value_int64(argv[0])).ptr;
        sqlite3_result_text(ctx, digits, int(end - digits), SQLITE_TRANSIENT);
        return;
    }
    case SQLITE_TEXT: {
        const unsigned char *z = sqlite3_value_text(argv[0]);
        const int n = sqlite3_value_bytes(argv[0]);
        if (z && looksLikeStoredDate(z, n)
            && resultShownDate(ctx, z, n, sqlite3_value_int(argv[1])))
            return;
        sqlite3_result_value(ctx, argv[0]);
        return;
    }
    default: {
        // A real in SQLite's own text for it, a blob's bytes as text.
        const unsigned char *z = sqlite3_value_text(argv[0]);
        if (!z) {
            sqlite3_result_error_nomem(ctx);
            return;
        }
        sqlite3_result_text(ctx, reinterpret_cast<const char *>(z), sqlite3_value_bytes(argv[0]),
                            SQLITE_TRANSIENT);
        return;
    }
    }
}

int autoExtension(sqlite3 *db, const char **, const sqlite3_api_routines *)
{
    return LocalSql::registerFunctions(db);
}

// Before main(), so every connection gets the functions, whoever opens it.
[[maybe_unused]] const bool installed = [] {
    return sqlite3_auto_extension(reinterpret_cast<void (*)()>(&autoExtension)) == SQLITE_OK;
}();

} // namespace

namespace {

using namespace Qt::StringLiterals;

// PostgreSQL has none of the functions above, and nothing may be installed on the server: the
// statement is rewritten into built-ins that give the rows SQLite gives with them.

// Folds like the program's upper(), whatever the database's own locale; in the C collation
// upper() folds a to z only, which is all a pattern of plain characters needs.
const QLatin1StringView FullFold("und-x-icu");
const QLatin1StringView AsciiFold("C");
// Blanks as strict_integer() takes them around a number.
const QLatin1StringView Blank("[ \\t\\n\\v\\f\\r]");

struct Token
{
    enum Kind { Space, Word, Number, Text, Name, Param, Open, Close, Comma, Op };
    Kind kind;
    QString text;
};

std::vector<Token> tokenize(const QString &sql)
{
    std::vector<Token> out;
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = sql.at(i);
        qsizetype j = i + 1;
        Token::Kind kind = Token::Op;
        if (c.isSpace()) {
            while (j < n && sql.at(j).isSpace())
                ++j;
            kind = Token::Space;
        } else if (c == u'-' && j < n && sql.at(j) == u'-') {
            while (j < n && sql.at(j) != u'\n')
                ++j;
            kind = Token::Space;
        } else if (c == u'/' && j < n && sql.at(j) == u'*') {
            const qsizetype close = sql.indexOf(QLatin1StringView("*/"), j + 1);
            j = close < 0 ? n : close + 2;
            kind = Token::Space;
        } else if (c == u'\'' || c == u'"') {
            j = skipQuoted(sql, i);
            kind = c == u'\'' ? Token::Text : Token::Name;
        } else if (c == u'[' || c == u'`') {
            const qsizetype close = sql.indexOf(c == u'[' ? u']' : u'`', j);
            j = close < 0 ? n : close + 1;
            kind = Token::Name;
        } else if (c.isDigit() || (c == u'.' && j < n && sql.at(j).isDigit())) {
            while (j < n && (sql.at(j).isLetterOrNumber() || sql.at(j) == u'.'
                             || ((sql.at(j) == u'+' || sql.at(j) == u'-')
                                 && (sql.at(j - 1) == u'e' || sql.at(j - 1) == u'E'))))
                ++j;
            kind = Token::Number;
        } else if (isWordChar(c) || c == u'$') {
            while (j < n && (isWordChar(sql.at(j)) || sql.at(j) == u'$'))
                ++j;
            kind = Token::Word;
        } else if ((c == u'?' || c == u':' || c == u'@') && j < n
                   && (isWordChar(sql.at(j)) || c == u'?')) {
            while (j < n && isWordChar(sql.at(j)))
                ++j;
            kind = Token::Param;
        } else if (c == u'?') {
            kind = Token::Param;
        } else if (c == u'(') {
            kind = Token::Open;
        } else if (c == u')') {
            kind = Token::Close;
        } else if (c == u',') {
            kind = Token::Comma;
        } else if (j < n) {
            static const QStringList pairs { u"||"_s, u"<="_s, u">="_s, u"<>"_s, u"!="_s,
                                             u"=="_s, u"<<"_s, u">>"_s };
            if (pairs.contains(sql.mid(i, 2)))
                ++j;
        }
        out.push_back({ kind, sql.mid(i, j - i) });
        i = j;
    }
    return out;
}

bool isComparison(const Token &t)
{
    static const QStringList ops { u"="_s, u"=="_s, u"<>"_s, u"!="_s,
                                   u"<"_s, u">"_s,  u"<="_s, u">="_s };
    return t.kind == Token::Op && ops.contains(t.text);
}

// Binary operators that bind tighter than like: a like operand runs across them.
bool bindsTighter(const Token &t)
{
    static const QStringList ops { u"||"_s, u"*"_s, u"/"_s, u"%"_s, u"+"_s,
                                   u"-"_s,  u"&"_s, u"|"_s, u"<<"_s, u">>"_s };
    return t.kind == Token::Op && ops.contains(t.text);
}

bool isKeyword(const Token &t)
{
    static const QStringList words {
        u"all"_s,    u"and"_s,    u"as"_s,      u"asc"_s,    u"between"_s, u"by"_s,
        u"case"_s,   u"collate"_s, u"cross"_s,  u"desc"_s,   u"distinct"_s, u"else"_s,
        u"end"_s,    u"escape"_s, u"except"_s,  u"exists"_s, u"from"_s,    u"glob"_s,
        u"group"_s,  u"having"_s, u"in"_s,      u"inner"_s,  u"intersect"_s, u"is"_s,
        u"join"_s,   u"left"_s,   u"like"_s,    u"limit"_s,  u"natural"_s, u"not"_s,
        u"offset"_s, u"on"_s,     u"or"_s,      u"order"_s,  u"outer"_s,   u"right"_s,
        u"select"_s, u"then"_s,   u"union"_s,   u"using"_s,  u"values"_s,  u"when"_s,
        u"where"_s,
    };
    return t.kind == Token::Word && words.contains(t.text.toLower());
}

bool isWord(const Token &t, QLatin1StringView word)
{
    return t.kind == Token::Word && t.text.compare(word, Qt::CaseInsensitive) == 0;
}

QString quoted(const QString &text)
{
    return u'\'' + QString(text).replace(u'\'', u"''"_s) + u'\'';
}

QString unquoted(const QString &literal)
{
    return literal.mid(1, literal.size() - 2).replace(u"''"_s, u"'"_s);
}

// A date or time format read as QDateTime reads it: runs of one letter ("dd", "MMMM"), other
// characters, and quoted text (two quotes write one), which comes as text with no letter.
struct FormatRun
{
    QChar letter;
    int count = 0;
    QString text;
};

QList<FormatRun> formatRuns(const QString &format)
{
    QList<FormatRun> runs;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        qsizetype end = i;
        while (end < format.size() && format.at(end) == c)
            ++end;
        const int run = int(end - i);
        if (c == u'\'') {
            end = format.indexOf(u'\'', i + 1);
            if (end < 0)
                end = format.size();
            runs.append({ QChar(), 0, run == 2 ? u"'"_s : format.mid(i + 1, end - i - 1) });
            i = run == 2 ? i + 2 : end + 1;
            continue;
        }
        runs.append({ c, run, format.mid(i, run) });
        i = end;
    }
    return runs;
}

// A stored date (T is its text, a valid day) as the user's short date format writes it: digits
// from the text, names in English, as QDate writes them.
QString shownDay(const QString &t, const QString &format)
{
    const auto names = [](bool days, bool full) {
        QStringList list;
        const QLocale c = QLocale::c();
        for (int k = 1; k <= (days ? 7 : 12); ++k) {
            const QLocale::FormatType type = full ? QLocale::LongFormat : QLocale::ShortFormat;
            list << quoted(days ? c.dayName(k, type) : c.monthName(k, type));
        }
        return u"(array["_s + list.join(u", "_s) + u"])"_s;
    };
    const auto digits = [&](int from, int width) {
        return QStringLiteral("substr(%1, %2, %3)")
            .arg(t, QString::number(from), QString::number(width));
    };
    const auto number = [&](int from, int width) {
        return QStringLiteral("cast(%1 as integer)").arg(digits(from, width));
    };
    const QString weekday = QStringLiteral("cast(extract(isodow from make_date(%1, %2, %3)) as "
                                           "integer)")
                                .arg(number(1, 4), number(6, 2), number(9, 2));
    QStringList parts;
    for (const FormatRun &r : formatRuns(format)) {
        const QChar c = r.letter;
        const int run = r.count;
        if (c.isNull())
            parts << quoted(r.text);
        else if (c == u'd' && run <= 2)
            parts << (run == 2 ? digits(9, 2) : QStringLiteral("ltrim(%1, '0')").arg(digits(9, 2)));
        else if (c == u'd')
            parts << QStringLiteral("%1[%2]").arg(names(true, run > 3), weekday);
        else if (c == u'M' && run <= 2)
            parts << (run == 2 ? digits(6, 2) : QStringLiteral("ltrim(%1, '0')").arg(digits(6, 2)));
        else if (c == u'M')
            parts << QStringLiteral("%1[%2]").arg(names(false, run > 3), number(6, 2));
        else if (c == u'y' && (run == 2 || run == 4))
            parts << digits(run == 2 ? 3 : 1, run);
        else
            parts << quoted(r.text);
    }
    return parts.join(u" || "_s);
}

// The time of a stored timestamp as the long time format writes it (hours, minutes, seconds,
// milliseconds, 24 hours, quoted text); a format with other letters falls back to hh:mm:ss.
QString shownTime(const QString &t, const QString &format)
{
    QStringList parts;
    const QString seconds = QStringLiteral("coalesce(nullif(substr(%1, 18, 2), ''), '00')").arg(t);
    const QString ms = QStringLiteral("rpad(substr(%1, 21, 3), 3, '0')").arg(t);
    for (const FormatRun &r : formatRuns(format)) {
        const QChar c = r.letter;
        const int run = r.count;
        QString digits;
        if (c.isNull())
            parts << quoted(r.text);
        else if ((c == u'h' || c == u'H') && run <= 2)
            digits = QStringLiteral("substr(%1, 12, 2)").arg(t);
        else if (c == u'm' && run <= 2)
            digits = QStringLiteral("substr(%1, 15, 2)").arg(t);
        else if (c == u's' && run <= 2)
            digits = seconds;
        else if (c == u'z' && run == 3)
            parts << ms;
        else if (c.isLetter())
            return format == u"hh:mm:ss" ? QString() : shownTime(t, u"hh:mm:ss"_s);
        else
            parts << quoted(r.text);
        if (!digits.isEmpty())
            parts << (run == 2 ? digits : QStringLiteral("ltrim(%1, '0')").arg(digits));
    }
    return parts.join(u" || "_s);
}

// char_cast(X, n): a stored date, valid as a day (and a time of day), as the user reads it, cut
// to n; anything else as text. The shape is one simple pattern and the calendar is read from
// the digits as text, which costs less than a pattern of every valid date or integer arithmetic.
QString shownDate(const QString &x, int length)
{
    const QString t = QStringLiteral("cast(%1 as text) collate \"C\"").arg(x);
    const auto part = [&](int from, int width) {
        return QStringLiteral("substr(%1, %2, %3)")
            .arg(t, QString::number(from), QString::number(width));
    };
    const QString year = QStringLiteral("cast(%1 as integer)").arg(part(1, 4));
    const QString invalid = QStringLiteral(
        "%1 = '0000' or %2 not between '01' and '12' or %3 < '01' "
        "or %3 > substr('312931303130313130313031', cast(%2 as integer) * 2 - 1, 2) "
        "or (%2 = '02' and %3 = '29' and (%4 % 4 <> 0 or (%4 % 100 = 0 and %4 % 400 <> 0))) "
        "or %5 > '23' or %6 > '59' or %7 > '59'")
        .arg(part(1, 4), part(6, 2), part(9, 2), year, part(12, 2), part(15, 2), part(18, 2));
    const FormatSettings &formats = FormatSettings::current();
    QString shown = QStringLiteral("%1 || case when length(%2) > 10 and substr(%2, 12) !~ "
                                   "'^00:00(:00([.](0|00|000|000[0-4][0-9]*))?)?$' then ' ' || "
                                   "%3 else '' end")
                        .arg(shownDay(t, formats.shortDateFormat()), t,
                             shownTime(t, formats.longTimeFormat()));
    if (length >= 0)
        shown = QStringLiteral("left(%1, %2)").arg(shown, QString::number(length));
    return QStringLiteral("case when %1 !~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}([ T][0-9]{2}:[0-9]{2}"
                          "(:[0-9]{2}([.][0-9]{1,6})?)?)?$' then %1 when %2 then %1 else %3 end")
        .arg(t, invalid, shown);
}

// A real as SQLite writes it: 15 significant digits, ".0" after a whole number.
QString realText(const QString &x)
{
    return QStringLiteral("case when abs(%1) < 1e15 and %1 = trunc(%1) then cast(cast(%1 as "
                          "bigint) as text) || '.0' else cast(cast(%1 as numeric) as text) end")
        .arg(x);
}

// strict_integer(X) on text: a whole number with blanks around it, in range, or null.
QString strictText(const QString &t)
{
    const QString number
        = QStringLiteral("cast(substring(%1 from '^%2*([-+]?[0-9]+)%2*$') as numeric)").arg(t, Blank);
    return QStringLiteral("case when %1 !~ '^%2*[-+]?[0-9]+%2*$' then null when %3 between "
                          "-9223372036854775808 and 9223372036854775807 then cast(%3 as bigint) "
                          "end")
        .arg(t, Blank, number);
}

QString strictReal(const QString &x)
{
    return QStringLiteral("case when abs(%1) < 9223372036854775808 then cast(trunc(%1) as bigint) "
                          "end")
        .arg(x);
}

// The text of a real as a real; null for other text, without an error even for a constant,
// which the server computes before it knows whether the branch is taken.
QString realOfText(const QString &t)
{
    return QStringLiteral("cast(substring(%1 from '^[-+]?([0-9]+([.][0-9]*)?|[.][0-9]+)"
                          "([eE][-+]?[0-9]{1,2})?$') as double precision)")
        .arg(t);
}

// SQLite's cast of text to a number reads the leading number and gives 0 without one.
QString looseNumber(const QString &x, const QString &type)
{
    return QStringLiteral("case when %1 is not null then cast(coalesce(substring(cast(%1 as text) "
                          "from '^%2*([-+]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)([eE][-+]?[0-9]+)?)'), "
                          "'0') as %3) end")
        .arg(x, Blank, type);
}

class PostgresWriter
{
public:
    PostgresWriter(const QString &sql, const LocalSql::ColumnTypeOf &typeOf)
        : m_t(tokenize(sql))
        , m_typeOf(typeOf)
    {
    }

    QString statement() const
    {
        const int n = int(m_t.size());
        int at = next(-1, n);
        if (at >= n || !isWord(m_t[size_t(at)], QLatin1StringView("select")))
            return range(0, n);
        at = next(at, n);
        if (at < n
            && (isWord(m_t[size_t(at)], QLatin1StringView("distinct"))
                || isWord(m_t[size_t(at)], QLatin1StringView("all"))))
            at = next(at, n);
        QString out = range(0, at);
        // The select list: an expression without a name is named by its text, as SQLite does.
        int item = at;
        for (int i = at;; ++i) {
            const bool last = i >= n || (depthZero(item, i) && isWord(m_t[size_t(i)], QLatin1StringView("from")));
            if (!last && (m_t[size_t(i)].kind != Token::Comma || !depthZero(item, i)))
                continue;
            out += range(item, i) + aliasFor(item, i);
            if (last)
                return out + range(i, n);
            out += m_t[size_t(i)].text;
            item = i + 1;
        }
    }

private:
    const Token &at(int i) const { return m_t[size_t(i)]; }

    // The next token after i that is not blank, or end.
    int next(int i, int end) const
    {
        for (++i; i < end && at(i).kind == Token::Space; ++i) { }
        return i;
    }
    int previous(int i, int begin) const
    {
        for (--i; i >= begin && at(i).kind == Token::Space; --i) { }
        return i;
    }
    int closing(int open, int end) const
    {
        int depth = 0;
        for (int i = open; i < end; ++i) {
            if (at(i).kind == Token::Open)
                ++depth;
            else if (at(i).kind == Token::Close && --depth == 0)
                return i;
        }
        return end;
    }
    int opening(int close, int begin) const
    {
        int depth = 0;
        for (int i = close; i >= begin; --i) {
            if (at(i).kind == Token::Close)
                ++depth;
            else if (at(i).kind == Token::Open && --depth == 0)
                return i;
        }
        return begin;
    }
    // Whether token i stands outside every parenthesis opened since from.
    bool depthZero(int from, int i) const
    {
        int depth = 0;
        for (int k = from; k < i; ++k)
            depth += at(k).kind == Token::Open ? 1 : at(k).kind == Token::Close ? -1 : 0;
        return depth == 0;
    }
    bool endsOperand(const Token &t) const
    {
        return t.kind == Token::Number || t.kind == Token::Text || t.kind == Token::Name
            || t.kind == Token::Param || t.kind == Token::Close || isWord(t, QLatin1StringView("end"))
            || (t.kind == Token::Word && !isKeyword(t));
    }

    // The column a range names ("NOME", "b.NOME"), or empty.
    QString columnOf(int b, int e) const
    {
        b = next(b - 1, e);
        e = previous(e, b) + 1;
        if (e - b == 1 && at(b).kind == Token::Word && !isKeyword(at(b)))
            return at(b).text;
        if (e - b == 3 && at(b).kind == Token::Word && at(b + 1).text == u"."
            && at(b + 2).kind == Token::Word)
            return at(b + 2).text;
        return QString();
    }
    std::optional<FieldType> typeOf(int b, int e) const
    {
        const QString column = columnOf(b, e);
        if (column.isEmpty() || !m_typeOf)
            return std::nullopt;
        return m_typeOf(column);
    }

    bool hasParam(int b, int e) const
    {
        for (int i = b; i < e; ++i) {
            if (at(i).kind == Token::Param)
                return true;
        }
        return false;
    }
    // build(X) names X several times: a placeholder is read once, in a subselect, since each
    // "?" is a value of its own.
    QString once(int b, int e, const std::function<QString(const QString &)> &build) const
    {
        const QString x = range(b, e).trimmed();
        if (!hasParam(b, e))
            return build(x);
        return QStringLiteral("(select %1 from (select %2 as v) as once)").arg(build(u"v"_s), x);
    }

    // First token of the like operand that ends at last.
    int operandStart(int last, int begin) const
    {
        int i = last;
        for (;;) {
            if (at(i).kind == Token::Close) {
                i = opening(i, begin);
                const int p = previous(i, begin);
                if (p >= begin && at(p).kind == Token::Word && !isKeyword(at(p)))
                    i = p;
            } else if (isWord(at(i), QLatin1StringView("end"))) {
                for (int depth = 0; i >= begin; --i) {
                    if (isWord(at(i), QLatin1StringView("end")))
                        ++depth;
                    else if (isWord(at(i), QLatin1StringView("case")) && --depth == 0)
                        break;
                }
            }
            int p = previous(i, begin);
            if (p >= begin && at(p).text == u".") {
                i = previous(p, begin);
                continue;
            }
            if (p < begin || !bindsTighter(at(p)))
                return i;
            const int q = previous(p, begin);
            if (q < begin || !endsOperand(at(q)))
                return p; // a sign
            i = q;
        }
    }
    // One past the last token of the like operand that starts at first.
    int operandEnd(int first, int end) const
    {
        int i = first;
        while (i < end && at(i).kind == Token::Op && at(i).text != u"*")
            i = next(i, end);
        for (; i < end;) {
            const int n = next(i, end);
            if (at(i).kind == Token::Open) {
                i = closing(i, end);
            } else if (at(i).kind == Token::Word && n < end && at(n).kind == Token::Open) {
                i = closing(n, end);
            } else if (isWord(at(i), QLatin1StringView("case"))) {
                for (int depth = 0; i < end; ++i) {
                    if (isWord(at(i), QLatin1StringView("case")))
                        ++depth;
                    else if (isWord(at(i), QLatin1StringView("end")) && --depth == 0)
                        break;
                }
            }
            const int op = next(i, end);
            if (op >= end || !(bindsTighter(at(op)) || at(op).text == u"."))
                return i + 1;
            i = next(op, end);
        }
        return end;
    }

    // An operand of like folded as the program's like folds it; the statement's own upper()
    // is folded only once.
    QString folded(int b, int e, QLatin1StringView collation) const
    {
        b = next(b - 1, e);
        e = previous(e, b) + 1;
        const int open = next(b, e);
        if (isWord(at(b), QLatin1StringView("upper")) && open < e && at(open).kind == Token::Open
            && closing(open, e) == e - 1) {
            b = open + 1;
            e = e - 1;
        }
        return QStringLiteral("upper(cast(%1 as text) collate \"%2\")").arg(range(b, e), collation);
    }

    // "X [not] like P [escape E]", tokens b to e.
    QString like(int b, int likeAt, int e, int escapeAt, int end) const
    {
        const int leftEnd = previous(likeAt, b) + 1;
        const bool negated = isWord(at(leftEnd - 1), QLatin1StringView("not"));
        const int leftLast = negated ? previous(leftEnd - 1, b) + 1 : leftEnd;
        const int p = next(likeAt, e);
        const QString op = negated ? u" not like "_s : u" like "_s;
        // The server's like reads a backslash as its escape by default; the local SQL's has none.
        const QString noEscape = escapeAt < 0 ? u" escape ''"_s : QString();
        if (escapeAt < 0 && e - p == 1 && at(p).kind == Token::Text) {
            const QString pattern = unquoted(at(p).text);
            QString ascii;
            bool plain = true;
            for (const QChar c : pattern) {
                plain = plain && c.unicode() < 0x80;
                ascii += c.unicode() < 0x80 ? QChar(Upper.map[c.unicode()]) : QChar(u'_');
            }
            // Letters beyond a to z never fold onto a to z: a plain pattern needs only those.
            const QString fast = folded(b, leftLast, AsciiFold) + op + quoted(ascii) + noEscape;
            if (plain)
                return fast;
            if (hasParam(b, leftLast))
                return folded(b, leftLast, FullFold) + op + u"upper("_s + at(p).text
                    + u" collate \""_s + FullFold + u"\")"_s + noEscape;
            // The plain letters first, to pass over most rows cheaply.
            const QString full = folded(b, leftLast, FullFold) + u" like upper("_s + at(p).text
                + u" collate \""_s + FullFold + u"\")"_s + noEscape;
            return (negated ? u"not "_s : QString())
                + QStringLiteral("(%1 like %2%3 and %4)")
                      .arg(folded(b, leftLast, AsciiFold), quoted(ascii), noEscape, full);
        }
        QString out = folded(b, leftLast, FullFold) + op + folded(p, e, FullFold) + noEscape;
        if (escapeAt >= 0)
            out += u" escape "_s + folded(next(escapeAt, end), end, FullFold);
        return out;
    }

    QString range(int b, int e) const
    {
        int depth = 0;
        for (int i = b; i < e; ++i) {
            const Token &t = at(i);
            depth += t.kind == Token::Open ? 1 : t.kind == Token::Close ? -1 : 0;
            if (depth != 0 || !isWord(t, QLatin1StringView("like")))
                continue;
            int leftLast = previous(i, b);
            if (leftLast >= b && isWord(at(leftLast), QLatin1StringView("not")))
                leftLast = previous(leftLast, b);
            const int left = leftLast >= b ? operandStart(leftLast, b) : b;
            const int right = operandEnd(next(i, e), e);
            int after = right;
            int escapeAt = -1;
            const int n = next(right - 1, e);
            if (n < e && isWord(at(n), QLatin1StringView("escape"))) {
                escapeAt = n;
                after = operandEnd(next(n, e), e);
            }
            return plain(b, left) + like(left, i, right, escapeAt, after) + range(after, e);
        }
        return plain(b, e);
    }

    // Splits b..e at its commas outside parentheses.
    std::vector<std::pair<int, int>> arguments(int b, int e) const
    {
        std::vector<std::pair<int, int>> args;
        int start = b;
        int depth = 0;
        for (int i = b; i < e; ++i) {
            depth += at(i).kind == Token::Open ? 1 : at(i).kind == Token::Close ? -1 : 0;
            if (depth == 0 && at(i).kind == Token::Comma) {
                args.emplace_back(start, i);
                start = i + 1;
            }
        }
        args.emplace_back(start, e);
        return args;
    }

    QString text(int b, int e) const
    {
        const std::optional<FieldType> type = typeOf(b, e);
        const QString x = range(b, e).trimmed();
        return type && *type == FieldType::Float ? realText(x)
                                                 : QStringLiteral("cast(%1 as text)").arg(x);
    }

    QString strictInteger(int b, int e) const
    {
        const std::optional<FieldType> type = typeOf(b, e);
        if (type && *type == FieldType::Float)
            return strictReal(range(b, e).trimmed());
        if (type && (isIntegerType(*type) || *type == FieldType::Boolean))
            return QStringLiteral("cast(%1 as bigint)").arg(range(b, e).trimmed());
        return once(b, e, [&](const QString &x) {
            const QString t = QStringLiteral("cast(%1 as text)").arg(x);
            if (type)
                return strictText(t);
            // A real cut to its whole part, as cast does; the type is the server's to tell.
            return QStringLiteral("case when pg_typeof(%1) in (cast('double precision' as regtype), "
                                  "cast('real' as regtype), cast('numeric' as regtype)) then %2 "
                                  "else %3 end")
                .arg(x, strictReal(realOfText(t)), strictText(t));
        });
    }

    QString cast(int b, int e) const
    {
        int as = -1;
        int depth = 0;
        for (int i = b; i < e; ++i) {
            depth += at(i).kind == Token::Open ? 1 : at(i).kind == Token::Close ? -1 : 0;
            if (depth == 0 && isWord(at(i), QLatin1StringView("as")))
                as = i;
        }
        if (as < 0)
            return u"cast("_s + range(b, e) + u')';
        QString type;
        for (int i = as + 1; i < e; ++i)
            type += at(i).text;
        type = type.simplified().toLower();
        const auto loose = [&](const QString &to) {
            return once(b, as, [&](const QString &x) { return looseNumber(x, to); });
        };
        static const QRegularExpression real(
            QStringLiteral("^(real|float|double( precision)?)$"));
        static const QRegularExpression numeric(QStringLiteral("^(numeric|decimal)\\b.*"));
        static const QRegularExpression integer(
            QStringLiteral("^(bigint|smallint|tinyint|mediumint|int2|int8|unsigned big int)$"));
        if (type == u"integer" || type == u"int")
            return strictInteger(b, as);
        if (type == u"text" || type == u"clob" || characterLength(type))
            return text(b, as);
        if (real.match(type).hasMatch())
            return loose(u"double precision"_s);
        if (numeric.match(type).hasMatch())
            return loose(u"numeric"_s);
        if (integer.match(type).hasMatch())
            return QStringLiteral("cast(trunc(%1) as bigint)").arg(loose(u"numeric"_s));
        return QStringLiteral("cast(%1 as %2)").arg(range(b, as).trimmed(), type);
    }

    QString call(const QString &name, int b, int e) const
    {
        const QString lower = name.toLower();
        const auto args = arguments(b, e);
        if (lower == u"upper" && args.size() == 1)
            return QStringLiteral("upper(cast(%1 as text) collate \"%2\")").arg(range(b, e), FullFold);
        if (lower == u"lower" && args.size() == 1) // SQLite's lower() knows a to z only
            return QStringLiteral("lower(cast(%1 as text) collate \"%2\")").arg(range(b, e), AsciiFold);
        if (lower == u"strict_integer" && args.size() == 1)
            return strictInteger(b, e);
        if (lower == u"char_cast" && args.size() == 2)
            return once(args[0].first, args[0].second, [&](const QString &x) {
                return shownDate(x, range(args[1].first, args[1].second).trimmed().toInt());
            });
        if (lower == u"cast")
            return cast(b, e);
        if (lower == u"ifnull")
            return u"coalesce("_s + range(b, e) + u')';
        if ((lower == u"length" && args.size() == 1) || (lower == u"substr" && args.size() >= 2)) {
            QString out = name + u'(' + text(args[0].first, args[0].second);
            for (size_t k = 1; k < args.size(); ++k)
                out += u',' + range(args[k].first, args[k].second);
            return out + u')';
        }
        if (lower == u"round" && args.size() == 2) // the server rounds to places in numeric only
            return QStringLiteral("round(cast(%1 as numeric), %2)")
                .arg(range(args[0].first, args[0].second), range(args[1].first, args[1].second));
        if (lower == u"instr" && args.size() == 2)
            return QStringLiteral("strpos(%1, %2)")
                .arg(text(args[0].first, args[0].second), text(args[1].first, args[1].second));
        return name + u'(' + range(b, e) + u')';
    }

    QString plain(int b, int e) const
    {
        QString out;
        for (int i = b; i < e; ++i) {
            const Token &t = at(i);
            const int n = next(i, e);
            if (t.kind == Token::Word && !isKeyword(t) && n < e && at(n).kind == Token::Open) {
                const int close = closing(n, e);
                out += call(t.text, n + 1, close);
                i = close;
            } else if (t.kind == Token::Open) {
                const int close = closing(i, e);
                out += u'(' + range(i + 1, close) + u')';
                i = close;
            } else if (isWord(t, QLatin1StringView("true")) || isWord(t, QLatin1StringView("false"))) {
                // Logical columns hold 1 and 0.
                const int p = previous(i, b);
                const bool compared = (p >= b && isComparison(at(p))) || (n < e && isComparison(at(n)));
                out += !compared ? t.text : isWord(t, QLatin1StringView("true")) ? u"1"_s : u"0"_s;
            } else if (t.kind == Token::Op && t.text == u"==") {
                out += u'=';
            } else if (t.kind == Token::Name) {
                // Names are case-blind in SQLite, quoted or not; the server keeps ours in lower
                // case.
                const QString name = t.text.mid(1, t.text.size() - 2);
                static const QRegularExpression word(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
                out += word.match(name).hasMatch() ? name : u'"' + name + u'"';
            } else if (t.kind == Token::Number && comparedToText(i, b, e)) {
                // A text column compares with a number as text.
                out += quoted(t.text);
            } else {
                out += t.text;
            }
        }
        return out;
    }

    // Whether the number at i is compared with a column known to hold text.
    bool comparedToText(int i, int b, int e) const
    {
        const auto textColumn = [&](int from, int to) {
            const std::optional<FieldType> type = typeOf(from, to);
            return type && isTextType(*type);
        };
        const int p = previous(i, b);
        if (p >= b && isComparison(at(p))) {
            const int c = previous(p, b);
            const int dot = previous(c, b);
            const int from = dot >= b && at(dot).text == u"." ? previous(dot, b) : c;
            if (c >= b && from >= b && textColumn(from, c + 1))
                return true;
        }
        const int n = next(i, e);
        if (n < e && isComparison(at(n))) {
            const int c = next(n, e);
            const int dot = next(c, e);
            const int last = dot < e && at(dot).text == u"." ? next(dot, e) : c;
            const int after = next(last, e);
            if (last < e && (after >= e || at(after).kind != Token::Open)
                && textColumn(c, last + 1))
                return true;
        }
        return false;
    }

    // " as "<text>"" for a select-list item that names no column and has no name of its own.
    QString aliasFor(int b, int e) const
    {
        b = next(b - 1, e);
        e = previous(e, b) + 1;
        if (b >= e || !columnOf(b, e).isEmpty() || at(e - 1).kind == Token::Name
            || at(e - 1).text == u"*")
            return QString();
        const int before = previous(e - 1, b);
        if (at(e - 1).kind == Token::Word && !isKeyword(at(e - 1)) && before >= b
            && (isWord(at(before), QLatin1StringView("as")) || endsOperand(at(before))))
            return QString();
        QString name;
        for (int i = b; i < e; ++i)
            name += at(i).text;
        if (name.toUtf8().size() > 63) // the server's longest name
            return QString();
        return QStringLiteral(" as \"%1\"").arg(name.replace(u'"', u"\"\""_s));
    }

    std::vector<Token> m_t;
    LocalSql::ColumnTypeOf m_typeOf;
};

} // namespace

QString LocalSql::translate(const QString &text, const ColumnTypeOf &typeOf, Dialect dialect)
{
    const QString sql = sqliteStatement(text, typeOf);
    if (dialect == Dialect::Sqlite)
        return sql;
    return PostgresWriter(sql, typeOf).statement();
}

int LocalSql::registerFunctions(sqlite3 *db)
{
    constexpr int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    int rc = sqlite3_create_function_v2(db, "upper", 1, flags, nullptr, upperFunction, nullptr,
                                        nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "like", 2, flags, nullptr, likeFunction, nullptr,
                                        nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "like", 3, flags, nullptr, likeFunction, nullptr,
                                        nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "strict_integer", 1, flags, nullptr,
                                        strictIntegerFunction, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "char_cast", 2, SQLITE_UTF8 | SQLITE_INNOCUOUS, nullptr,
                                        charCastFunction, nullptr, nullptr, nullptr);
    return rc;
}
