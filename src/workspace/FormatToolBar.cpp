#include "workspace/FormatToolBar.h"

#include <QPainter>
#include <QPixmap>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {
QIcon letter(const QString &text, bool bold, bool underline, bool italic)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QFont font(u"Times New Roman"_s);
    font.setPixelSize(14);
    font.setBold(bold);
    font.setItalic(italic);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, -1, 16, 15), Qt::AlignCenter, text);
    if (underline)
        painter.drawLine(4, 14, 11, 14);
    return QIcon(pixmap);
}

QWidget *gap(QWidget *parent, int width)
{
    auto *widget = new QWidget(parent);
    widget->setFixedWidth(width);
    return widget;
}
} // namespace

FormatToolBar::FormatToolBar(const QString &name, const QStringList &names, int firstTag,
                             bool trailingSeparator, QWidget *parent)
    : QToolBar(parent)
{
    setObjectName(name);
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(16, 16));
    setContentsMargins(0, 0, 0, 0);
    toggleViewAction()->setVisible(false);

    static const char *const hints[] = { "negrito", "sublinhado", "itálico" };
    const QList<QIcon> icons = images();
    addWidget(gap(this, 8));
    for (int i = 0; i < 3; ++i) {
        if (i > 0)
            addSeparator();
        auto *button = new QToolButton(this);
        button->setObjectName(names.value(i));
        button->setAutoRaise(true);
        button->setCheckable(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setIcon(icons.at(i));
        const QString hint = QString::fromUtf8(hints[i]);
        button->setToolTip(hint);
        button->setStatusTip(hint);
        button->setProperty("tag", firstTag + i);
        addWidget(button);
        m_buttons << button;
    }
    if (trailingSeparator) {
        addSeparator();
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        adjustSize();
    }
}

QList<QIcon> FormatToolBar::images()
{
    return { letter(u"B"_s, true, false, false), letter(u"U"_s, false, true, false),
             letter(u"I"_s, false, false, true) };
}
