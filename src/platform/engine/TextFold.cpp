#include "platform/engine/TextFold.h"

#include <QStringView>

#include <array>

namespace {

// Latin letters up to the end of Latin Extended-B are folded through a table made once from
// Unicode's decompositions; anything beyond (and a combining mark stored apart) takes the
// general way, which gives the same letters.
constexpr char16_t TableEnd = 0x250;

QString foldGeneral(QStringView text)
{
    QString decomposed = text.toString().normalized(QString::NormalizationForm_D);
    decomposed.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
    return decomposed;
}

const std::array<char16_t, TableEnd> &plainLetters()
{
    static const std::array<char16_t, TableEnd> table = [] {
        std::array<char16_t, TableEnd> t {};
        for (char16_t c = 0; c < TableEnd; ++c) {
            const QString plain = c < 0x80 ? QString() : foldGeneral(QString(QChar(c)));
            t[c] = plain.size() == 1 ? plain.at(0).unicode() : c;
        }
        return t;
    }();
    return table;
}

bool isAscii(QStringView text, bool *hasCapital)
{
    *hasCapital = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x80)
            return false;
        *hasCapital = *hasCapital || (u >= 'A' && u <= 'Z');
    }
    return true;
}

} // namespace

QString TextFold::withoutAccents(const QString &text)
{
    const std::array<char16_t, TableEnd> &table = plainLetters();
    const char16_t *p = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype n = text.size();
    qsizetype first = -1;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = p[i];
        if (c < 0xC0)
            continue;
        if (c >= TableEnd)
            return foldGeneral(text);
        if (table[c] != c && first < 0)
            first = i;
    }
    if (first < 0)
        return text;
    QString out = text;
    char16_t *q = reinterpret_cast<char16_t *>(out.data());
    for (qsizetype i = first; i < n; ++i) {
        if (q[i] >= 0xC0)
            q[i] = table[q[i]];
    }
    return out;
}

QString TextFold::searchKey(const QString &text)
{
    bool hasCapital = false;
    if (isAscii(text, &hasCapital))
        return hasCapital ? text.toLower() : text;
    return withoutAccents(text).toCaseFolded();
}

bool TextFold::matchesSearchKey(const QString &text, const QString &key, bool whole)
{
    const char16_t *t = reinterpret_cast<const char16_t *>(text.constData());
    const char16_t *k = reinterpret_cast<const char16_t *>(key.constData());
    const qsizetype n = text.size();
    const qsizetype m = key.size();
    // Names are mostly ASCII: compare letter by letter until a character needs the general fold.
    // An ASCII character folds to an ASCII one, which no other character of a key can equal.
    qsizetype i = 0;
    for (; i < n && i < m; ++i) {
        char16_t c = t[i];
        if (c >= 0x80)
            break;
        if (c >= 'A' && c <= 'Z')
            c = char16_t(c + 32);
        if (c != k[i])
            return false;
    }
    if (i == n)
        return i == m;
    if (i == m && !whole)
        return true;
    // A combining mark after the last ASCII letter belongs to it and folds away with the rest.
    const QString rest = searchKey(text.mid(i));
    const QStringView keyRest = QStringView(key).mid(i);
    return whole ? rest == keyRest : QStringView(rest).startsWith(keyRest);
}
