#include "platform/widgets/MessageBoxDialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {
int show(QMessageBox::Icon icon, const QString &caption, const QString &text,
         QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, caption, text, buttons, QApplication::activeWindow());
    box.setDefaultButton(defaultButton);
    return box.exec();
}
} // namespace

void MessageBoxDialogs::message(const QString &text)
{
    show(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, QMessageBox::Ok);
}

bool MessageBoxDialogs::confirm(const QString &text)
{
    return show(QMessageBox::Question, confirmCaption(), text,
                QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok)
        == QMessageBox::Ok;
}

Dialogs::Answer MessageBoxDialogs::askYesNoCancel(const QString &text)
{
    QMessageBox box(QMessageBox::Question, applicationTitle(), text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    QAbstractButton *yes = box.addButton(QStringLiteral("Sim"), QMessageBox::YesRole);
    QAbstractButton *no = box.addButton(QStringLiteral("Não"), QMessageBox::NoRole);
    box.addButton(QStringLiteral("Cancelar"), QMessageBox::RejectRole);
    box.setDefaultButton(static_cast<QPushButton *>(yes));
    box.exec();
    if (box.clickedButton() == yes)
        return Answer::Yes;
    if (box.clickedButton() == no)
        return Answer::No;
    return Answer::Cancel;
}

void MessageBoxDialogs::applicationError(const QString &text)
{
    show(QMessageBox::Critical, applicationTitle(), applicationErrorText(text), QMessageBox::Ok,
         QMessageBox::Ok);
}

void MessageBoxDialogs::systemError(const QString &text)
{
    // Start-up may fail before any window exists: no parent.
    QMessageBox box(QMessageBox::Critical, systemErrorCaption(), text, QMessageBox::Ok);
    box.exec();
}

void MessageBoxDialogs::beep()
{
    QApplication::beep();
}
