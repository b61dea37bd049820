#include "support/ParadoxWriter.h"

#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QTime>

#include <array>
#include <cstring>
#include <stdexcept>
#include <string>

using namespace Qt::StringLiterals;
using paradox::Field;
using paradox::FieldType;

namespace {

// The substitution tables of the table encryption.
const quint8 kScrambleA[256] = {
    0xb2, 0xa5, 0x0c, 0xdd, 0x38, 0xfe, 0xcb, 0x5b, 0x0c, 0x23, 0xec, 0x6a, 0x95, 0x3e, 0xd5, 0x2d,
    0x2c, 0xf7, 0x2d, 0x30, 0xea, 0x15, 0x98, 0xb4, 0x5f, 0x82, 0xd3, 0xaf, 0xf4, 0x4c, 0x84, 0x16,
    0x74, 0x17, 0x05, 0x11, 0xac, 0xdb, 0x43, 0x91, 0x9c, 0x77, 0xa0, 0x38, 0xbe, 0xd6, 0x8f, 0x25,
    0xb1, 0xee, 0x6d, 0x80, 0x37, 0x14, 0xa9, 0x7a, 0x57, 0x38, 0x6c, 0x2f, 0xa6, 0x4f, 0x7c, 0x38,
    0x71, 0xd4, 0x0b, 0x51, 0xf6, 0xb9, 0x45, 0x21, 0x1d, 0x6c, 0x4d, 0x87, 0x6e, 0xa7, 0xe7, 0x21,
    0x0d, 0x85, 0xf4, 0xce, 0x3a, 0x81, 0x6a, 0x3e, 0xd7, 0x32, 0xa4, 0x23, 0xac, 0xe9, 0x01, 0x91,
    0xb0, 0xed, 0xc7, 0x46, 0x12, 0xac, 0x15, 0x3d, 0xff, 0x1b, 0x7b, 0x3b, 0xba, 0xee, 0x2c, 0x2c,
    0x68, 0xa6, 0x62, 0x60, 0xed, 0x5b, 0x84, 0x33, 0x61, 0x62, 0x39, 0x79, 0xd4, 0xd2, 0xeb, 0x60,
    0xb8, 0x25, 0x1d, 0xdb, 0xff, 0x3a, 0x21, 0x9a, 0xb0, 0xc3, 0xf7, 0x63, 0x52, 0xf5, 0x22, 0x94,
    0xf9, 0xb4, 0xb7, 0xbe, 0x9f, 0x54, 0x3b, 0xce, 0xe1, 0x3c, 0x73, 0xcb, 0xea, 0x2d, 0x45, 0x00,
    0x9d, 0xc2, 0x78, 0xe7, 0x96, 0x0f, 0x14, 0x3a, 0xa4, 0xdc, 0x01, 0x64, 0x8d, 0xd6, 0x59, 0x4e,
    0x39, 0x0f, 0x15, 0x7d, 0xf0, 0x8c, 0x8a, 0xc5, 0x78, 0x03, 0x4a, 0xe8, 0xfb, 0xef, 0x18, 0xb4,
    0x52, 0x31, 0x79, 0xd0, 0x8e, 0xaa, 0xc3, 0xc6, 0xce, 0xed, 0xe9, 0x42, 0x5a, 0xd6, 0x2d, 0x06,
    0xc7, 0x9a, 0xb1, 0x38, 0x62, 0xd9, 0x7e, 0x61, 0x74, 0xd2, 0x46, 0xde, 0xcb, 0x2b, 0x0c, 0x59,
    0x0b, 0x64, 0x9d, 0x1c, 0x4f, 0xb2, 0x06, 0x91, 0x9b, 0x63, 0xb5, 0xb2, 0xa9, 0xfd, 0xad, 0x5a,
    0x38, 0xf9, 0x13, 0x6e, 0x9d, 0x2d, 0x4b, 0x02, 0xf9, 0x13, 0x6f, 0x50, 0xcb, 0x21, 0x09, 0xfa,
};
const quint8 kScrambleB[256] = {
    0x61, 0xa7, 0x79, 0x02, 0x37, 0x34, 0x6f, 0x81, 0x01, 0xc2, 0xb2, 0xb3, 0xd6, 0x4d, 0x3e, 0x03,
    0x06, 0x60, 0x98, 0x44, 0x46, 0x68, 0x1c, 0xeb, 0x10, 0x4a, 0x5b, 0xae, 0x22, 0x48, 0x24, 0x42,
    0x9f, 0x55, 0x90, 0xc1, 0x7d, 0x2f, 0x6c, 0x41, 0x4e, 0x82, 0x56, 0xd8, 0x1e, 0x32, 0x28, 0xc6,
    0xed, 0xbc, 0x3c, 0x3a, 0xe9, 0x87, 0x3b, 0x8f, 0x86, 0x08, 0xa3, 0xfb, 0xa4, 0x62, 0x99, 0xff,
    0x59, 0xb9, 0xde, 0x2d, 0x58, 0x93, 0x1b, 0xb1, 0x76, 0x2b, 0xaa, 0xd9, 0x2a, 0xac, 0xca, 0xf9,
    0xe0, 0xb7, 0x05, 0x11, 0x77, 0xa9, 0x8e, 0xef, 0xb5, 0xbb, 0x26, 0xea, 0x8d, 0x18, 0x9b, 0xfe,
    0xc7, 0xf8, 0x5a, 0x83, 0xfd, 0x2e, 0x6b, 0x84, 0x33, 0xfa, 0x69, 0xd4, 0x74, 0xbf, 0xcb, 0xc4,
    0x19, 0x96, 0x3f, 0xe5, 0x25, 0xf2, 0xa5, 0xd5, 0x95, 0xf3, 0xa0, 0x39, 0xdc, 0xe4, 0xa1, 0x7f,
    0x7b, 0x49, 0x7a, 0xf1, 0xee, 0xf7, 0x75, 0x09, 0x91, 0x67, 0x97, 0x38, 0xd3, 0x89, 0x47, 0x31,
    0x1f, 0x2c, 0x0e, 0xce, 0x20, 0xcc, 0x9c, 0x23, 0x17, 0x92, 0x0f, 0xf4, 0x13, 0x64, 0x71, 0xc8,
    0xcd, 0x3d, 0xb4, 0xcf, 0xe1, 0x50, 0x52, 0xaf, 0x6d, 0x27, 0xb6, 0x94, 0x30, 0x04, 0x8c, 0x53,
    0x4b, 0xd2, 0x4f, 0x21, 0x29, 0x6a, 0x1a, 0xec, 0x5c, 0x7e, 0x51, 0x9a, 0x0d, 0x85, 0xe6, 0x1d,
    0xc5, 0x88, 0xa8, 0xdd, 0x9e, 0xf6, 0x5f, 0xda, 0xbd, 0x6e, 0x9d, 0x54, 0xdb, 0x5e, 0xc0, 0x80,
    0x5d, 0xb8, 0x40, 0x63, 0x15, 0x12, 0xa2, 0x0c, 0x07, 0xad, 0x70, 0x14, 0x72, 0x16, 0xd0, 0xa6,
    0x65, 0x35, 0xba, 0xe7, 0xab, 0xfc, 0xc3, 0xc9, 0xbe, 0x0b, 0xb0, 0xf5, 0x45, 0xe2, 0x4c, 0x73,
    0x0a, 0x36, 0x78, 0x43, 0x8b, 0x8a, 0xf0, 0x66, 0xd1, 0x00, 0xdf, 0x7c, 0xe3, 0xe8, 0x57, 0xd7,
};
const quint8 kScrambleC[256] = {
    0xf9, 0x08, 0x03, 0x0f, 0xad, 0x52, 0x10, 0xd8, 0x39, 0x87, 0xf0, 0xe9, 0xd7, 0xbc, 0x92, 0x9a,
    0x18, 0x53, 0xd5, 0x9c, 0xdb, 0xd4, 0xdd, 0x98, 0x5d, 0x70, 0xb6, 0x46, 0x16, 0xbf, 0x2c, 0x90,
    0x94, 0xb3, 0x1c, 0x97, 0x1e, 0x74, 0x5a, 0xa9, 0x2e, 0xb4, 0x4c, 0x49, 0x91, 0x43, 0x65, 0x25,
    0xac, 0x8f, 0x2d, 0x68, 0x05, 0xe1, 0xf1, 0x04, 0x8b, 0x7b, 0x33, 0x36, 0x32, 0xa1, 0x0e, 0x72,
    0xd2, 0x27, 0x1f, 0xf3, 0x13, 0xec, 0x14, 0x8e, 0x1d, 0x81, 0x19, 0xb0, 0xee, 0x0d, 0x28, 0xb2,
    0xa5, 0xba, 0xa6, 0xaf, 0xcb, 0x21, 0x2a, 0xfe, 0x44, 0x40, 0x62, 0x1a, 0xb8, 0xd0, 0xcd, 0xc6,
    0x11, 0x00, 0x3d, 0xd3, 0x9d, 0xe0, 0xf7, 0x89, 0x15, 0x6a, 0xb5, 0x66, 0x26, 0xa8, 0xc9, 0x06,
    0xda, 0x9e, 0xdc, 0xef, 0x6c, 0x86, 0x48, 0x54, 0xf2, 0x02, 0x82, 0x80, 0xfb, 0x24, 0xb9, 0x7f,
    0xcf, 0x07, 0x29, 0x63, 0x67, 0xbd, 0x38, 0x35, 0xc1, 0x8d, 0xf5, 0xf4, 0xae, 0x5c, 0x56, 0x37,
    0x22, 0x88, 0x99, 0x45, 0xab, 0x78, 0x71, 0x8a, 0x12, 0x3e, 0xbb, 0x5e, 0x96, 0xca, 0xc4, 0x20,
    0x7a, 0x7e, 0xd6, 0x3a, 0x3c, 0x76, 0xdf, 0x01, 0xc2, 0x55, 0x4a, 0xe4, 0x4d, 0xd9, 0x1b, 0xa7,
    0xea, 0x47, 0x0a, 0x0b, 0xa2, 0x58, 0xaa, 0x51, 0xd1, 0x41, 0xe2, 0x59, 0x31, 0xc8, 0xe8, 0x6d,
    0xce, 0x23, 0x09, 0xe6, 0x6f, 0xc0, 0x2f, 0x60, 0x9f, 0xe7, 0x4e, 0x6e, 0x95, 0xa0, 0x93, 0xa3,
    0xde, 0xf8, 0xb1, 0x8c, 0x6b, 0x77, 0x0c, 0xff, 0x2b, 0x4b, 0xc7, 0xcc, 0x7c, 0xc3, 0x42, 0xfa,
    0x50, 0xa4, 0xed, 0xfc, 0x7d, 0x73, 0xbe, 0xe3, 0xfd, 0x34, 0x5b, 0x17, 0xb7, 0x30, 0x84, 0x57,
    0xf6, 0x83, 0x75, 0x79, 0x9b, 0xeb, 0xc5, 0x85, 0x61, 0x4f, 0x69, 0x3b, 0xe5, 0x64, 0x5f, 0x3f,
};

// One 256-byte chunk: every byte is masked and moved to a place that depends on c and d.
void scrambleChunk(const quint8 *src, quint8 *dst, quint8 a, quint8 b, quint8 c, quint8 d)
{
    std::array<quint8, 256> out {};
    for (int x = 0; x < 256; ++x) {
        const int y = (kScrambleC[x] - d) & 0xff;
        out[y] = src[x] ^ kScrambleA[(x + a) & 0xff] ^ kScrambleB[(y + b) & 0xff]
            ^ kScrambleC[(y + c) & 0xff];
    }
    std::memcpy(dst, out.data(), out.size());
}

// The upper halves of the code pages; the lower halves are ASCII.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};
const char16_t kCp850High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557,
    0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB,
    0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, 0x00DE, 0x00DA, 0x00DB, 0x00D9,
    0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};
const char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// Unicode to byte for one code page; '?' where the page has no such character.
struct Encoder
{
    std::array<quint8, 65536> bytes {};

    explicit Encoder(int codePage)
    {
        bytes.fill('?');
        for (int i = 0; i < 0x80; ++i)
            bytes[i] = quint8(i);
        if (codePage == 1252) {
            for (int i = 0xA0; i < 0x100; ++i)
                bytes[i] = quint8(i);
            for (int i = 0; i < 32; ++i)
                bytes[kCp1252High[i]] = quint8(0x80 + i);
        } else {
            const char16_t *high = codePage == 850 ? kCp850High : kCp437High;
            for (int i = 0; i < 128; ++i)
                bytes[high[i]] = quint8(0x80 + i);
        }
    }
};

const Encoder &encoderFor(int codePage)
{
    static const Encoder cp1252(1252);
    static const Encoder cp850(850);
    static const Encoder cp437(437);
    switch (codePage) {
    case 850:
        return cp850;
    case 437:
    case 0:
        return cp437;
    case 1252:
        return cp1252;
    }
    throw std::invalid_argument("unsupported code page " + std::to_string(codePage));
}

bool isBlob(FieldType type)
{
    return type == FieldType::Memo || type == FieldType::FormattedMemo || type == FieldType::Blob
        || type == FieldType::Graphic || type == FieldType::Ole;
}

bool isTextBlob(FieldType type)
{
    return type == FieldType::Memo || type == FieldType::FormattedMemo;
}

void putLe16(char *p, int v)
{
    p[0] = char(v & 0xff);
    p[1] = char((v >> 8) & 0xff);
}

void putLe32(char *p, qint64 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xff);
}

// Integers are big-endian with the sign bit flipped, so that the bytes sort as the numbers do
// and all zeroes stays free to mean blank.
void putInt(char *p, qint64 v, int width)
{
    for (int i = 0; i < width; ++i)
        p[i] = char((v >> (8 * (width - 1 - i))) & 0xff);
    p[0] = char(p[0] ^ 0x80);
}

// Doubles likewise: positives get the sign bit set, negatives have every bit inverted.
void putDouble(char *p, double v)
{
    quint64 bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    if (bits & (quint64(1) << 63))
        bits = ~bits;
    else
        bits |= quint64(1) << 63;
    for (int i = 0; i < 8; ++i)
        p[i] = char((bits >> (8 * (7 - i))) & 0xff);
}

// Days counted so that 1 January of year 1 is day 1.
constexpr qint64 kJulianDayBeforeYearOne = 1721425;

QString fixedDecimal(const QVariant &value, int decimals)
{
    if (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray)
        return value.toString().trimmed();
    return QString::number(value.toDouble(), 'f', decimals);
}

// 17 bytes: a sign-and-scale byte, then 32 decimal digits one per nibble, the last `decimals` of
// them after the point; a negative number has every digit nibble inverted.
void putBcd(char *p, const QVariant &value, int decimals)
{
    QString text = fixedDecimal(value, decimals);
    bool negative = text.startsWith(u'-');
    if (negative || text.startsWith(u'+'))
        text.remove(0, 1);
    const int point = text.indexOf(u'.');
    QString whole = point < 0 ? text : text.left(point);
    QString fraction = point < 0 ? QString() : text.mid(point + 1);
    fraction = fraction.left(decimals).leftJustified(decimals, u'0');
    while (whole.size() > 1 && whole.startsWith(u'0'))
        whole.remove(0, 1);
    const QString digits = whole + fraction;
    for (QChar c : digits) {
        if (!c.isDigit())
            throw std::invalid_argument("not a decimal number: " + value.toString().toStdString());
    }
    if (digits.size() > 32)
        throw std::invalid_argument("too many digits for a BCD field: " + text.toStdString());
    if (negative && digits.count(u'0') == digits.size())
        negative = false;
    std::array<quint8, 34> nibbles {};
    const int first = 34 - int(digits.size());
    for (int i = 0; i < digits.size(); ++i)
        nibbles[first + i] = quint8(digits.at(i).unicode() - '0');
    p[0] = char((negative ? 0x40 : 0xC0) | decimals);
    for (int i = 2; i < 34; i += 2) {
        quint8 byte = quint8(nibbles[i] << 4 | nibbles[i + 1]);
        p[i / 2] = char(negative ? ~byte : byte);
    }
}

void putBytes(char *p, const QByteArray &bytes, int width, const char *what)
{
    if (bytes.size() > width)
        throw std::invalid_argument(std::string(what)
                                    + " longer than its field: " + bytes.left(40).toStdString());
    std::memcpy(p, bytes.constData(), size_t(bytes.size()));
}

// The field's value in the encoding its type takes. Blobs excepted.
void encodeInto(char *p, const Field &field, const QVariant &value, int codePage)
{
    const int width = ParadoxWriter::storageWidth(field);
    std::memset(p, 0, size_t(width));
    if (value.isNull())
        return;
    switch (field.type) {
    case FieldType::Alpha:
        putBytes(p,
                 value.typeId() == QMetaType::QByteArray
                     ? value.toByteArray()
                     : ParadoxWriter::encodeText(value.toString(), codePage),
                 width, "text");
        break;
    case FieldType::Bytes:
        putBytes(p, value.toByteArray(), width, "bytes");
        break;
    case FieldType::Date:
        if (value.toDate().isValid())
            putInt(p, value.toDate().toJulianDay() - kJulianDayBeforeYearOne, 4);
        break;
    case FieldType::Short:
        putInt(p, qint16(value.toInt()), 2);
        break;
    case FieldType::Long:
    case FieldType::AutoInc:
        putInt(p, qint32(value.toInt()), 4);
        break;
    case FieldType::Time:
        if (value.toTime().isValid())
            putInt(p, value.toTime().msecsSinceStartOfDay(), 4);
        break;
    case FieldType::Money:
    case FieldType::Number:
        putDouble(p, value.toDouble());
        break;
    case FieldType::Timestamp: {
        const QDateTime at = value.toDateTime();
        if (!at.isValid())
            break;
        const qint64 days = at.date().toJulianDay() - kJulianDayBeforeYearOne;
        putDouble(p, double(days) * 86400000.0 + at.time().msecsSinceStartOfDay());
        break;
    }
    case FieldType::Logical:
        p[0] = char(value.toBool() ? 0x81 : 0x80);
        break;
    case FieldType::Bcd:
        if (!value.toString().isEmpty())
            putBcd(p, value, field.size);
        break;
    default:
        throw std::invalid_argument("not a fixed-width field type");
    }
}

int fixedWidth(FieldType type)
{
    switch (type) {
    case FieldType::Date:
    case FieldType::Long:
    case FieldType::Time:
    case FieldType::AutoInc:
        return 4;
    case FieldType::Short:
        return 2;
    case FieldType::Money:
    case FieldType::Number:
    case FieldType::Timestamp:
        return 8;
    case FieldType::Logical:
        return 1;
    case FieldType::Bcd:
        return 17;
    default:
        return 0;
    }
}

constexpr int kBlockHeader = 6;
constexpr int kMemoBlock = 4096;
// Blobs up to this size share sub-allocated blocks; bigger ones get blocks of their own.
constexpr int kSmallBlob = 2048;
constexpr int kSubHeader = 12;
constexpr int kSubEntries = 64;
constexpr int kSubFirstChunk = 0x150 / 16;
// Graphics carry 8 bytes before their data in the .MB: a word we leave zero and their length.
constexpr int kGraphicPrefix = 8;

} // namespace

struct ParadoxWriter::Private
{
    QString dbPath;
    QString mbPath;
    Options options;
    QList<Field> fields;
    QList<int> offsets;
    int recordSize = 0;
    int headerSize = 0;
    int realHeaderSize = 0;
    int tableNameLength = 0;
    int slots = 0;
    quint32 key = 0;
    QFile db;
    QFile mb;
    bool closed = false;

    // The block being filled, and the one before it, which waits to learn its successor.
    QByteArray block;
    int live = 0;
    QList<QByteArray> deleted;
    QByteArray pending;
    int pendingPhysical = 0;
    int blocksDone = 0;
    int lastPhysical = 0;
    std::vector<qint64> recordOffsets;

    // The .MB: the next free 4 KB offset and the sub-allocated block being filled.
    qint64 mbEnd = kMemoBlock;
    QByteArray sub;
    qint64 subOffset = -1;
    int subNextEntry = -1;
    int subNextChunk = 0;
    quint16 modCount = 1;

    bool encrypted() const { return key != 0; }

    int physicalOf(int logical) const
    {
        return logical < options.blockPlacement.size() ? options.blockPlacement.at(logical)
                                                       : logical + 1;
    }

    qint64 offsetOf(int physical) const
    {
        return headerSize + qint64(physical - 1) * options.blockSize;
    }

    void writeAt(QFile &file, qint64 offset, const QByteArray &bytes)
    {
        if (file.pos() != offset && !file.seek(offset))
            throw std::runtime_error("cannot seek in " + file.fileName().toStdString());
        if (file.write(bytes) != bytes.size())
            throw std::runtime_error("cannot write " + file.fileName().toStdString());
    }

    void writeBlock(QByteArray bytes, int physical)
    {
        if (encrypted())
            encryptDataBlock(bytes.data(), int(bytes.size()), key, physical);
        writeAt(db, offsetOf(physical), bytes);
    }

    void completeBlock()
    {
        const int physical = physicalOf(blocksDone);
        char *p = block.data();
        putLe16(p + PrevBlockAt, blocksDone > 0 ? physicalOf(blocksDone - 1) : 0);
        putLe16(p + LastRecordAt, (live - 1) * recordSize);
        for (int i = 0; i < deleted.size(); ++i)
            std::memcpy(p + kBlockHeader + (live + i) * recordSize, deleted.at(i).constData(),
                        size_t(recordSize));
        if (!pending.isEmpty()) {
            putLe16(pending.data() + NextBlockAt, physical);
            writeBlock(pending, pendingPhysical);
        }
        pending = block;
        pendingPhysical = physical;
        lastPhysical = physical;
        ++blocksDone;
        block.fill(0);
        live = 0;
        deleted.clear();
    }

    bool blockUsed() const { return live > 0 || !deleted.isEmpty(); }

    // A free slot in the current block, completing it first when it is full.
    char *nextSlot()
    {
        if (live + deleted.size() >= slots)
            completeBlock();
        return block.data() + kBlockHeader + live * recordSize;
    }

    void openMemoFile()
    {
        if (mb.isOpen())
            return;
        mb.setFileName(mbPath);
        if (!mb.open(QIODevice::ReadWrite | QIODevice::Truncate))
            throw std::runtime_error("cannot create " + mbPath.toStdString());
    }

    void writeMemoBlock(QByteArray bytes, qint64 offset)
    {
        if (encrypted())
            encryptMemoBytes(bytes.data(), int(bytes.size()), key);
        writeAt(mb, offset, bytes);
    }

    void flushSub()
    {
        if (subOffset < 0)
            return;
        writeMemoBlock(sub, subOffset);
        subOffset = -1;
    }

    // Stores a blob in the .MB; gives the reference a record keeps (block offset, and the entry
    // in a sub-allocated block or 0xFF) and the blob's modification number.
    std::pair<quint32, quint16> storeBlob(const QByteArray &data)
    {
        openMemoFile();
        const quint16 mod = ++modCount;
        const int length = int(data.size());
        if (length > kSmallBlob) {
            const int chunks = (9 + length + kMemoBlock - 1) / kMemoBlock;
            QByteArray bytes(qsizetype(chunks) * kMemoBlock, '\0');
            char *p = bytes.data();
            p[0] = 0x02;
            putLe16(p + 1, chunks);
            putLe32(p + 3, length);
            putLe16(p + 7, mod);
            std::memcpy(p + 9, data.constData(), size_t(length));
            const qint64 offset = mbEnd;
            mbEnd += bytes.size();
            writeMemoBlock(bytes, offset);
            return { quint32(offset) | 0xFF, mod };
        }
        const int chunks = (length + 15) / 16;
        if (subOffset < 0 || subNextEntry < 0 || subNextChunk + chunks > kMemoBlock / 16) {
            flushSub();
            sub = QByteArray(kMemoBlock, '\0');
            sub[0] = 0x03;
            putLe16(sub.data() + 1, 1);
            subOffset = mbEnd;
            mbEnd += kMemoBlock;
            subNextEntry = kSubEntries - 1;
            subNextChunk = kSubFirstChunk;
        }
        // Entries are taken from the last one down, data from the front up.
        const int entry = subNextEntry--;
        char *e = sub.data() + kSubHeader + 5 * entry;
        e[0] = char(subNextChunk);
        e[1] = char(chunks);
        putLe16(e + 2, mod);
        e[4] = char(length % 16 == 0 ? 16 : length % 16);
        std::memcpy(sub.data() + subNextChunk * 16, data.constData(), size_t(length));
        subNextChunk += chunks;
        return { quint32(subOffset) | quint32(entry), mod };
    }

    void encodeBlob(char *p, const Field &field, const QVariant &value)
    {
        std::memset(p, 0, size_t(field.size));
        if (value.isNull())
            return;
        const QByteArray data = isTextBlob(field.type) && value.typeId() != QMetaType::QByteArray
            ? encodeText(value.toString(), options.codePage)
            : value.toByteArray();
        if (data.isEmpty())
            return;
        const int leader = field.size - 10;
        char *tail = p + leader;
        std::memcpy(p, data.constData(), size_t(qMin<qsizetype>(leader, data.size())));
        if (data.size() <= leader && !options.externalBlobs) {
            putLe32(tail + 4, data.size());
            return;
        }
        QByteArray stored = data;
        if (field.type == FieldType::Graphic) {
            QByteArray prefix(kGraphicPrefix, '\0');
            putLe32(prefix.data() + 4, data.size());
            stored.prepend(prefix);
        }
        const auto [reference, mod] = storeBlob(stored);
        putLe32(tail, reference);
        putLe32(tail + 4, stored.size());
        putLe16(tail + 8, mod);
    }

    void encodeRecord(char *p, const QVariantList &values)
    {
        if (values.size() != fields.size())
            throw std::invalid_argument("a record needs one value per field");
        for (int i = 0; i < fields.size(); ++i) {
            if (isBlob(fields.at(i).type))
                encodeBlob(p + offsets.at(i), fields.at(i), values.at(i));
            else
                encodeInto(p + offsets.at(i), fields.at(i), values.at(i), options.codePage);
        }
    }

    QByteArray sortOrderName() const
    {
        switch (options.codePage) {
        case 1252:
            return "ANSIINTL";
        case 850:
            return "intl850";
        default:
            return "ascii";
        }
    }

    int dataHeaderStart() const { return options.fileVersion >= 5 ? 0x78 : 0x58; }

    // The header's variable part: field descriptors, table name, field names, the one byte per
    // field an encrypted table keeps, field numbers and the sort order's name.
    QByteArray headerTail() const
    {
        QByteArray tail;
        const int start = dataHeaderStart();
        for (const Field &f : fields) {
            tail.append(char(f.type));
            tail.append(char(f.size));
        }
        // Pointers the desktop program kept while the table was open; any value will do.
        const int namesAt = start + int(fields.size()) * 6 + 4 + tableNameLength;
        tail.append(le32(start + fields.size() * 6 + 4));
        int nameOffset = namesAt;
        QList<QByteArray> names;
        for (const Field &f : fields) {
            names.append(encodeText(f.name, options.codePage));
            tail.append(le32(nameOffset));
            nameOffset += int(names.last().size()) + 1;
        }
        QByteArray tableName
            = encodeText(options.tableName, options.codePage).left(tableNameLength - 1);
        tail.append(tableName.leftJustified(tableNameLength, '\0'));
        for (const QByteArray &name : names)
            tail.append(name).append('\0');
        if (encrypted())
            tail.append(QByteArray(fields.size(), '\0'));
        for (int i = 0; i < fields.size(); ++i)
            tail.append(le16(i + 1));
        tail.append(sortOrderName()).append('\0');
        return tail;
    }

    QByteArray header() const
    {
        QByteArray h(headerSize, '\0');
        char *p = h.data();
        const int blocks = blocksDone;
        putLe16(p + RecordSizeAt, recordSize);
        putLe16(p + HeaderSizeAt, headerSize);
        p[FileTypeAt] = char(options.keyFieldCount > 0 ? 0 : 2);
        p[BlockSizeCodeAt] = char(options.blockSize / 1024);
        putLe32(p + RecordCountAt, qint64(recordOffsets.size()));
        putLe16(p + 0x0A, blocks);
        putLe16(p + FileBlocksAt, blocks);
        putLe16(p + FirstBlockAt, blocks > 0 ? physicalOf(0) : 0);
        putLe16(p + LastBlockAt, blocks > 0 ? lastPhysical : 0);
        putLe16(p + 0x12, options.keyFieldCount > 0 ? 12 : 0);
        putLe16(p + FieldCountAt, int(fields.size()));
        putLe16(p + KeyFieldCountAt, options.keyFieldCount);
        // Before 4.0 the key sat here; later versions keep it at EncryptionAt.
        putLe32(p + 0x25, options.fileVersion >= 5 ? qint64(0xFF00FF00) : qint64(key));
        p[0x29] = char(options.codePage == 437 ? 0x00 : 0xB7);
        p[0x2D] = 2;
        p[0x2E] = 1;
        const int start = dataHeaderStart();
        putLe32(p + 0x30, start + fields.size() * 2);
        putLe32(p + 0x34, start);
        p[VersionAt] = char(options.fileVersion);
        putLe16(p + 0x3A, blocks);
        p[0x3E] = 0x1f;
        p[0x3F] = 0x0f;
        putLe32(p + AutoIncAt, options.nextAutoInc);
        putLe16(p + 0x51, realHeaderSize);
        p[0x56] = 0x20;
        if (options.fileVersion >= 5) {
            putLe16(p + 0x58, 0x0100 | options.fileVersion);
            putLe16(p + 0x5A, 0x0100 | options.fileVersion);
            putLe32(p + EncryptionAt, key);
            putLe16(p + 0x64, int(fields.size()) + 1);
            // Offsets of the field numbers (from 0x58) and of the header's end (from 0x60).
            int names = 0;
            for (const Field &f : fields)
                names += int(encodeText(f.name, options.codePage).size()) + 1;
            putLe16(p + 0x66,
                    0x20 + int(fields.size()) * 6 + 4 + tableNameLength + names
                        + (encrypted() ? int(fields.size()) : 0));
            putLe16(p + CodePageAt, options.codePage);
            p[0x6C] = 1;
            p[0x6D] = 1;
            putLe16(p + 0x6E, realHeaderSize - 0x60 + 1);
        }
        const QByteArray tail = headerTail();
        std::memcpy(p + start, tail.constData(), size_t(tail.size()));
        return h;
    }

    QByteArray memoHeader() const
    {
        QByteArray h(kMemoBlock, '\0');
        char *p = h.data();
        putLe16(p + 1, 1);
        putLe16(p + 3, modCount);
        const char fixed[] = { char(0x82), char(0x73), char(0x02), char(0x00), char(0x29) };
        std::memcpy(p + 5, fixed, sizeof fixed);
        putLe16(p + 0x0B, kMemoBlock);
        putLe16(p + 0x0D, kMemoBlock);
        p[0x10] = 0x10;
        putLe16(p + 0x11, kSubEntries);
        putLe16(p + 0x13, kSmallBlob);
        putLe16(p + 0x29, 0x02a1);
        return h;
    }
};

ParadoxWriter::ParadoxWriter(const QString &dbPath, const QList<Field> &fields)
    : ParadoxWriter(dbPath, fields, Options())
{ }

ParadoxWriter::ParadoxWriter(const QString &dbPath, const QList<Field> &fields,
                             const Options &options)
    : d(std::make_unique<Private>())
{
    d->dbPath = dbPath;
    d->options = options;
    Options &o = d->options;
    if (o.blockSize < 1024 || o.blockSize > 32768 || o.blockSize % 1024 != 0)
        throw std::invalid_argument("block size must be 1 KB .. 32 KB in 1 KB steps");
    if (o.fileVersion < 3 || o.fileVersion > 12)
        throw std::invalid_argument("file version must be 3 .. 12");
    if (fields.isEmpty() || o.keyFieldCount < 0 || o.keyFieldCount > fields.size())
        throw std::invalid_argument("bad field list or key field count");
    (void)encoderFor(o.codePage);
    if (o.tableName.isEmpty())
        o.tableName = QFileInfo(dbPath).fileName();
    const QString suffix = QFileInfo(dbPath).suffix();
    d->mbPath = dbPath.left(dbPath.size() - suffix.size())
        + (suffix.isEmpty() || suffix.at(0).isUpper() ? u"MB"_s : u"mb"_s);
    if (suffix.isEmpty())
        d->mbPath = dbPath + u".MB"_s;
    d->key = !o.password.isEmpty() ? keyForPassword(o.password.toLatin1()) : o.encryptionKey;
    d->tableNameLength = o.fileVersion >= 12 ? 261 : 79;

    for (Field f : fields) {
        if (fixedWidth(f.type) > 0 && f.type != FieldType::Bcd)
            f.size = fixedWidth(f.type);
        if (isBlob(f.type) && f.size < 10)
            throw std::invalid_argument("a blob field needs at least 10 bytes in the record");
        if (storageWidth(f) <= 0 || f.size > 255)
            throw std::invalid_argument("bad field size for " + f.name.toStdString());
        d->offsets.append(d->recordSize);
        d->recordSize += storageWidth(f);
        d->fields.append(f);
    }
    d->slots = (o.blockSize - kBlockHeader) / d->recordSize;
    if (d->slots < 1)
        throw std::invalid_argument("a record does not fit in a block");
    if (o.recordsPerBlock > 0)
        d->slots = qMin(d->slots, o.recordsPerBlock);

    d->realHeaderSize = d->dataHeaderStart() + int(d->headerTail().size());
    d->headerSize = (d->realHeaderSize + 0x7FF) / 0x800 * 0x800;
    d->block = QByteArray(o.blockSize, '\0');

    d->db.setFileName(dbPath);
    if (!d->db.open(QIODevice::ReadWrite | QIODevice::Truncate))
        throw std::runtime_error("cannot create " + dbPath.toStdString());
}

ParadoxWriter::~ParadoxWriter()
{
    try {
        close();
    } catch (const std::exception &) {
        // Reported by close() when a test calls it; a destructor must not throw.
    }
}

void ParadoxWriter::addRecord(const QVariantList &values)
{
    char *slot = d->nextSlot();
    d->encodeRecord(slot, values);
    d->recordOffsets.push_back(d->offsetOf(d->physicalOf(d->blocksDone))
                               + (slot - d->block.data()));
    ++d->live;
}

void ParadoxWriter::addDeletedRecord(const QVariantList &values)
{
    (void)d->nextSlot();
    QByteArray bytes(d->recordSize, '\0');
    d->encodeRecord(bytes.data(), values);
    d->deleted.append(bytes);
}

void ParadoxWriter::endBlock()
{
    d->completeBlock();
}

void ParadoxWriter::close()
{
    if (d->closed)
        return;
    d->closed = true;
    if (d->blockUsed())
        d->completeBlock();
    if (!d->pending.isEmpty())
        d->writeBlock(d->pending, d->pendingPhysical);
    d->writeAt(d->db, 0, d->header());
    d->db.close();
    if (d->mb.isOpen()) {
        d->flushSub();
        d->writeMemoBlock(d->memoHeader(), 0);
        d->mb.close();
    }
}

QString ParadoxWriter::dbPath() const
{
    return d->dbPath;
}

QString ParadoxWriter::mbPath() const
{
    return d->mbPath;
}

bool ParadoxWriter::hasMemoFile() const
{
    return !d->mb.fileName().isEmpty();
}

int ParadoxWriter::headerSize() const
{
    return d->headerSize;
}

int ParadoxWriter::recordSize() const
{
    return d->recordSize;
}

int ParadoxWriter::blockSize() const
{
    return d->options.blockSize;
}

int ParadoxWriter::blockCount() const
{
    return d->blocksDone;
}

qint64 ParadoxWriter::recordCount() const
{
    return qint64(d->recordOffsets.size());
}

quint32 ParadoxWriter::encryptionKey() const
{
    return d->key;
}

qint64 ParadoxWriter::blockOffset(int block) const
{
    return d->offsetOf(block);
}

qint64 ParadoxWriter::recordOffset(qint64 record) const
{
    return d->recordOffsets.at(size_t(record));
}

int ParadoxWriter::fieldOffset(int field) const
{
    return d->offsets.at(field);
}

qint64 ParadoxWriter::blobPointerOffset(qint64 record, int field) const
{
    return recordOffset(record) + fieldOffset(field) + d->fields.at(field).size - 10;
}

qint64 ParadoxWriter::memoFileSize() const
{
    return hasMemoFile() ? d->mbEnd : 0;
}

void ParadoxWriter::patch(const QString &path, qint64 offset, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.seek(offset) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot patch " + path.toStdString());
}

void ParadoxWriter::truncate(const QString &path, qint64 size)
{
    if (!QFile::resize(path, size))
        throw std::runtime_error("cannot truncate " + path.toStdString());
}

QByteArray ParadoxWriter::le16(int value)
{
    QByteArray bytes(2, '\0');
    putLe16(bytes.data(), value);
    return bytes;
}

QByteArray ParadoxWriter::le32(qint64 value)
{
    QByteArray bytes(4, '\0');
    putLe32(bytes.data(), value);
    return bytes;
}

QByteArray ParadoxWriter::encodeValue(const Field &field, const QVariant &value, int codePage)
{
    Field f = field;
    if (fixedWidth(f.type) > 0 && f.type != FieldType::Bcd)
        f.size = fixedWidth(f.type);
    QByteArray bytes(storageWidth(f), '\0');
    encodeInto(bytes.data(), f, value, codePage);
    return bytes;
}

QByteArray ParadoxWriter::encodeText(const QString &text, int codePage)
{
    const Encoder &encoder = encoderFor(codePage);
    QByteArray bytes(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        bytes[i] = char(encoder.bytes[text.at(i).unicode()]);
    return bytes;
}

int ParadoxWriter::storageWidth(const Field &field)
{
    const int fixed = fixedWidth(field.type);
    return fixed > 0 ? fixed : field.size;
}

quint32 ParadoxWriter::keyForPassword(const QByteArray &password)
{
    if (password.isEmpty())
        return 0;
    const int length = int(qMin<qsizetype>(password.size(), 256));
    std::array<quint8, 256> buffer {};
    for (int i = 0; i < 256; ++i)
        buffer[i] = quint8(password.at(i % length));
    scrambleChunk(buffer.data(), buffer.data(), buffer[0], buffer[1], buffer[2], buffer[3]);
    const quint32 low = quint32(buffer[0]) | quint32(buffer[1]) << 8;

    // The password again, then each byte derived from the one `length` places before it.
    for (int i = 0; i < length; ++i)
        buffer[i] = quint8(password.at(i));
    for (int i = length; i < 256; ++i)
        buffer[i] = quint8(kScrambleA[buffer[i - length]] ^ i);
    scrambleChunk(buffer.data(), buffer.data(), buffer[0], buffer[20], buffer[40], buffer[255]);
    quint32 even = 0;
    quint32 odd = 0;
    for (int i = 0; i < 256; i += 2) {
        even ^= buffer[i];
        odd ^= buffer[i + 1];
    }
    quint32 high = odd << 8 | even;
    if (high == 0)
        high = 1;
    return high << 16 | low;
}

void ParadoxWriter::encryptDataBlock(char *data, int size, quint32 key, int blockNumber)
{
    auto *bytes = reinterpret_cast<quint8 *>(data);
    const quint8 a = quint8(key);
    const quint8 b = quint8(key >> 8);
    for (int chunk = 0; chunk < size / 256; ++chunk)
        scrambleChunk(bytes + chunk * 256, bytes + chunk * 256, a, b, quint8(chunk),
                      quint8(blockNumber));
}

void ParadoxWriter::encryptMemoBytes(char *data, int size, quint32 key)
{
    auto *bytes = reinterpret_cast<quint8 *>(data);
    const quint8 a = quint8(key);
    const quint8 b = quint8(key >> 8);
    for (int chunk = 0; chunk < size / 256; ++chunk)
        scrambleChunk(bytes + chunk * 256, bytes + chunk * 256, a, b, quint8(a + 1), quint8(b + 1));
}
