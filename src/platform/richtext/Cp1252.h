#pragma once

#include <QtGlobal>

// Windows code page 1252, the code page of the RTF the rich-text control writes. Kept as a table
// of its own so that reading and writing the common case need no converter. The five bytes the
// code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same
// value, as Windows maps them, so they survive a round trip.
namespace Cp1252 {

[[nodiscard]] char16_t toUnicode(uchar byte);
// The byte that stands for c, or -1 when the code page has none.
[[nodiscard]] int fromUnicode(char16_t c);

} // namespace Cp1252
