#include "platform/widgets/DrawnIcon.h"

#include <QPainter>
#include <QPixmap>

QIcon drawnIcon(const std::function<void(QPainter &)> &draw, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    return QIcon(pixmap);
}
