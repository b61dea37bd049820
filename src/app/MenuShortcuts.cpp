#include "app/MenuShortcuts.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>

#include <utility>

MenuShortcuts::MenuShortcuts(QMenuBar *menuBar, QWidget *mainWindow)
    : QObject(mainWindow)
    , m_mainWindow(mainWindow)
{
    const QList<QAction *> bar = menuBar->actions();
    for (QAction *item : bar) {
        const QList<QAction *> items = item->menu() ? item->menu()->actions() : QList { item };
        for (QAction *action : items) {
            if (!action->shortcut().isEmpty())
                m_actions.append(action);
        }
    }
    qApp->installEventFilter(this);
}

MenuShortcuts::~MenuShortcuts() = default;

void MenuShortcuts::share(QWidget *window)
{
    if (!window || m_windows.contains(window))
        return;
    m_windows.append(window);
    // A window shortcut applies in every window its action was added to.
    for (QAction *action : std::as_const(m_actions)) {
        if (action)
            window->addAction(action);
    }
}

bool MenuShortcuts::eventFilter(QObject *watched, QEvent *event)
{
    // Before a key press goes anywhere, the focused control and its parents are asked whether
    // they want it themselves; a yes keeps it from the shortcuts. Here the answer is no, before
    // the control is asked.
    if (event->type() != QEvent::ShortcutOverride || !watched->isWidgetType())
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (!reaches(static_cast<QWidget *>(watched)->window()) || !isMenuKey(*key))
        return false;
    event->ignore();
    return true;
}

bool MenuShortcuts::reaches(const QWidget *window) const
{
    // An open popup (a menu, a drop-down list) is a window of its own and keeps its keys.
    if (window != QApplication::activeWindow())
        return false;
    if (window == m_mainWindow)
        return true;
    for (const QPointer<QWidget> &shared : m_windows) {
        if (shared == window)
            return true;
    }
    return false;
}

bool MenuShortcuts::isMenuKey(const QKeyEvent &key) const
{
    const QKeySequence pressed(key.keyCombination());
    for (const QAction *action : m_actions) {
        if (action && action->isEnabled() && action->shortcut() == pressed)
            return true;
    }
    return false;
}
