#pragma once

#include <QMainWindow>

// The main window: the application's only long-visible window. Closing it ends the application,
// also while secondary windows are open (closed() is connected to quit by the start-up sequence).
// One instance, reached through MainForm, made by the start-up sequence before the data module.
class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    // Create handler: runs once the instance is reachable through MainForm. It must not touch the
    // data module, which does not exist yet.
    void FormCreate();

Q_SIGNALS:
    // The user closed the window.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
};

extern TMainForm *MainForm;
