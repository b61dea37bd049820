#include "app/Main.h"

#include <QCloseEvent>

TMainForm *MainForm = nullptr;

TMainForm::TMainForm(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Taluvo - Merindal - ver. 2.6.8.0 (stand alone)"));
    resize(707, 555);
}

TMainForm::~TMainForm()
{
    if (MainForm == this)
        MainForm = nullptr;
}

void TMainForm::FormCreate() { }

void TMainForm::closeEvent(QCloseEvent *event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT closed();
}
