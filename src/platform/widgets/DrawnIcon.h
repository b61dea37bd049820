#pragma once

#include <QIcon>

#include <functional>

class QPainter;

// A small button or tool bar picture drawn in code, so that it stays crisp and needs no file:
// draw paints on a transparent square of size pixels with antialiasing on.
[[nodiscard]] QIcon drawnIcon(const std::function<void(QPainter &)> &draw, int size = 16);
