#include "platform/widgets/Dialogs.h"

#include "platform/engine/Guard.h"

#include <QGuiApplication>

#include <cstdio>

namespace {

void writeLine(const QString &caption, const QString &text)
{
    const QString line = caption.isEmpty() ? text : caption + QStringLiteral(": ") + text;
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

// Used by command-line runs and by anything that forgot to install a service: a modal box in a
// headless process would wait for ever.
class ConsoleDialogs : public Dialogs
{
public:
    void message(const QString &text) override { writeLine(applicationTitle(), text); }
    bool confirm(const QString &text) override
    {
        writeLine(confirmCaption(), text);
        return false;
    }
    Answer askYesNoCancel(const QString &text) override
    {
        writeLine(applicationTitle(), text);
        return Answer::Cancel;
    }
    void applicationError(const QString &text) override
    {
        writeLine(applicationTitle(), applicationErrorText(text));
    }
    void systemError(const QString &text) override { writeLine(systemErrorCaption(), text); }
    void beep() override { }
};

std::unique_ptr<Dialogs> &installed()
{
    static std::unique_ptr<Dialogs> dialogs;
    return dialogs;
}

QString &title()
{
    static QString value;
    return value;
}

} // namespace

Dialogs::~Dialogs() = default;

Dialogs &Dialogs::instance()
{
    static ConsoleDialogs console;
    const auto &dialogs = installed();
    return dialogs ? *dialogs : static_cast<Dialogs &>(console);
}

void Dialogs::install(std::unique_ptr<Dialogs> dialogs)
{
    installed() = std::move(dialogs);
}

void Dialogs::installAsGuardReporter()
{
    setGuardReporter([](const QString &message) { Dialogs::instance().applicationError(message); });
}

void Dialogs::setApplicationTitle(const QString &title)
{
    ::title() = title;
}

QString Dialogs::applicationTitle()
{
    const QString &value = title();
    return value.isEmpty() ? QGuiApplication::applicationDisplayName() : value;
}

QString Dialogs::applicationErrorText(const QString &text)
{
    if (text.isEmpty() || text.endsWith(u'.'))
        return text;
    return text + u'.';
}
