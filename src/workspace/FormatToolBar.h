#pragma once

#include <QIcon>
#include <QList>
#include <QToolBar>

class QToolButton;

// The small flat tool bar over each rich-text editor: an 8-pixel gap, then bold, underline and
// italic as independent toggle buttons with separators between them. Each button carries its tag
// (the first tag for bold, then underline, then italic); what a click does is the window's.
class FormatToolBar : public QToolBar
{
    Q_OBJECT

public:
    // names: the object names of the bold, underline and italic buttons. trailingSeparator ends
    // the bar with one more separator and sizes it to its buttons.
    FormatToolBar(const QString &name, const QStringList &names, int firstTag,
                  bool trailingSeparator, QWidget *parent);

    [[nodiscard]] QToolButton *boldButton() const { return m_buttons.at(0); }
    [[nodiscard]] QToolButton *underlineButton() const { return m_buttons.at(1); }
    [[nodiscard]] QToolButton *italicButton() const { return m_buttons.at(2); }
    [[nodiscard]] QList<QToolButton *> buttons() const { return m_buttons; }

    // The 16 x 16 images: bold, underline, italic.
    [[nodiscard]] static QList<QIcon> images();

private:
    QList<QToolButton *> m_buttons;
};
