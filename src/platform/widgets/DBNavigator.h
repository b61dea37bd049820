#pragma once

#include "platform/widgets/FieldDataLink.h"

#include <QList>
#include <QSet>
#include <QStringList>
#include <QWidget>

#include <functional>

class DataSource;
class QToolButton;

// A row of tool buttons that move through and edit the dataset of a data source. Enable rules:
// everything is disabled while the dataset is closed; First and Prior on the first row, Next
// and Last on the last (an only row is both); Insert, Delete and Edit need a dataset that can be
// modified; Edit is disabled and Post and Cancel enabled only while editing or inserting; Delete
// is disabled on an empty dataset. Delete asks "Delete record?" (OK / Cancel) first.
//
// A pressed button runs its action through guard(): errors go to the application's error box.
// The before-action hook runs first and may stop the action by throwing (the silent abort);
// clicked() follows a completed action, also when Delete was answered with Cancel. btnClick()
// presses a button from code, enabled or not, and lets the errors of the action reach its caller.
// The buttons take no keyboard focus, so a control being edited keeps its pending text until the
// action (a post, a move) asks for it.
class DBNavigator : public QWidget
{
    Q_OBJECT

public:
    enum Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };
    Q_ENUM(Button)
    using BeforeAction = std::function<void(Button)>;

    explicit DBNavigator(QWidget *parent = nullptr);
    ~DBNavigator() override;

    void setDataSource(DataSource *source);
    [[nodiscard]] DataSource *dataSource() const { return m_link.dataSource(); }

    void setVisibleButtons(const QSet<Button> &buttons);
    [[nodiscard]] QSet<Button> visibleButtons() const;
    // One hint per button, in the order of Button, shown as tool tip and status tip; a shorter
    // list leaves the remaining buttons' hints as they are.
    void setHints(const QStringList &hints);
    [[nodiscard]] QStringList hints() const;
    void setFlat(bool flat);
    [[nodiscard]] bool isFlat() const { return m_flat; }
    void setConfirmDelete(bool confirm) { m_confirmDelete = confirm; }
    [[nodiscard]] bool confirmDelete() const { return m_confirmDelete; }
    void setBeforeAction(BeforeAction hook) { m_beforeAction = std::move(hook); }

    [[nodiscard]] QToolButton *button(Button which) const { return m_buttons.at(which); }
    void btnClick(Button which);

Q_SIGNALS:
    void clicked(DBNavigator::Button button);

private:
    void updateButtons();
    void runAction(Button which);

    FieldDataLink m_link;
    QList<QToolButton *> m_buttons;
    BeforeAction m_beforeAction;
    bool m_flat = false;
    bool m_confirmDelete = true;
};
