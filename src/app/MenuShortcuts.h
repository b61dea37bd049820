#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QAction;
class QKeyEvent;
class QMenuBar;
class QWidget;

// The main menu's shortcuts, wherever the user is in the main window or in a secondary window
// (searches, phrase picker, standard conclusions): they win over the keys that the focused
// control would claim for itself, such as a line edit's Ctrl+E (end of line) on some platforms.
// Other windows (message boxes, modal dialogs, the report preview) keep their keys, and so does a
// control for a disabled item's key.
//
// Made by the main window, which owns it, and installed on the application at once. A secondary
// window joins with share(): the items are added to its actions, so that their shortcuts also
// apply while it is the active window.
class MenuShortcuts : public QObject
{
    Q_OBJECT

public:
    // The items of menuBar and of its menus that have a shortcut, for the window menuBar is in.
    MenuShortcuts(QMenuBar *menuBar, QWidget *mainWindow);
    ~MenuShortcuts() override;

    void share(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    [[nodiscard]] bool reaches(const QWidget *window) const;
    [[nodiscard]] bool isMenuKey(const QKeyEvent &key) const;

    QPointer<QWidget> m_mainWindow;
    QList<QPointer<QAction>> m_actions;
    QList<QPointer<QWidget>> m_windows;
};
