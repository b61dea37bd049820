#pragma once

#include <QString>

namespace paradox {

// The single-byte character set a table's text was typed in, as the header numbers it (437, 850,
// 860 and 1252 are known; any other number reads as 1252, the set of the tables' last versions).
// Kept as tables of our own: Qt without ICU decodes none of the DOS code pages.
class CodePage
{
public:
    explicit CodePage(int number);

    [[nodiscard]] int number() const { return m_number; }
    [[nodiscard]] QString decode(const char *data, qsizetype size) const;
    [[nodiscard]] char16_t toUnicode(uchar byte) const
    {
        return byte < 0x80 ? char16_t(byte) : m_high[byte - 0x80];
    }

private:
    int m_number;
    const char16_t *m_high; // bytes 0x80 to 0xFF
};

} // namespace paradox
