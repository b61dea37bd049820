#pragma once

#include "platform/widgets/Dialogs.h"

// The dialogs service of the running application: modal QMessageBox boxes and the system beep.
// Needs a QApplication.
class MessageBoxDialogs : public Dialogs
{
public:
    void message(const QString &text) override;
    [[nodiscard]] bool confirm(const QString &text) override;
    [[nodiscard]] Answer askYesNoCancel(const QString &text) override;
    void applicationError(const QString &text) override;
    void systemError(const QString &text) override;
    void beep() override;
};
