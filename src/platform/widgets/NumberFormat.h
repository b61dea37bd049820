#pragma once

#include "platform/engine/FormatSettings.h"

#include <QString>

// Formats a number through a digit-placeholder pattern such as "###.#" or "###,###,##0.00":
// "0" always prints a digit, "#" only a significant one, a comma before the decimal point asks
// for thousands grouping, the first point marks the decimal position. Rounding is half away from
// zero on the decimal digits of the value. Up to three sections "positive;negative;zero"; text in
// single or double quotes and any other character is copied as is. An empty pattern gives the
// general number format; infinities and NaN give "INF", "-INF" and "NAN".
[[nodiscard]] QString formatFloat(const QString &pattern, double value,
                                  const FormatSettings &settings = FormatSettings::current());
