#include "platform/engine/LocalSql.h"

#include "platform/engine/Convert.h"
#include "platform/engine/FormatSettings.h"

#include <QChar>
#include <QRegularExpression>

#include <sqlite3.h>

#include <charconv>
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

QString LocalSql::translate(const QString &text, const ColumnTypeOf &typeOf)
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
