#pragma once

#include "platform/widgets/DialogRecorder.h"
#include "platform/widgets/Dialogs.h"

#include <QTextStream>

// What the windows would have shown in message boxes goes to the error stream instead.
class ConsoleDialogs : public DialogRecorder
{
public:
    explicit ConsoleDialogs(QTextStream &err)
        : m_err(err)
    { }
    void message(const QString &text) override { m_err << text << '\n'; }
    void applicationError(const QString &text) override
    {
        m_err << Dialogs::applicationErrorText(text) << '\n';
    }

private:
    QTextStream &m_err;
};
