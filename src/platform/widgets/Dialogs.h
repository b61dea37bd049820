#pragma once

#include <QString>

#include <memory>

// The dialogs service: every message box, question and beep of the system goes through the one
// installed instance, so tests can record them instead of showing boxes. main() installs
// MessageBoxDialogs; until something is installed, a console fallback writes to stderr, answers
// every question with Cancel and never blocks.
class Dialogs
{
public:
    Dialogs() = default;
    virtual ~Dialogs();
    Dialogs(const Dialogs &) = delete;
    Dialogs &operator=(const Dialogs &) = delete;

    // Plain message box: the application title as caption, the text, one OK button.
    virtual void message(const QString &text) = 0;
    // "Delete record?"-style question with OK and Cancel; true on OK.
    [[nodiscard]] virtual bool confirm(const QString &text) = 0;
    enum class Answer { Yes, No, Cancel };
    // A question with "Sim", "Não" and "Cancelar", captioned with the application title.
    [[nodiscard]] virtual Answer askYesNoCancel(const QString &text) = 0;
    // The application's error box: applicationErrorText(text), the application title, error icon.
    virtual void applicationError(const QString &text) = 0;
    // The box that reports a failed start-up, shown before the process ends.
    virtual void systemError(const QString &text) = 0;
    virtual void beep() = 0;

    [[nodiscard]] static Dialogs &instance();
    // Takes ownership; nullptr restores the console fallback.
    static void install(std::unique_ptr<Dialogs> dialogs);
    // Makes guard() report through instance().applicationError().
    static void installAsGuardReporter();

    // The caption of plain messages and of the error box. Until it is set, the application's
    // display name.
    static void setApplicationTitle(const QString &title);
    [[nodiscard]] static QString applicationTitle();

    // The error text as the error box shows it: with a final period unless it already ends in one.
    [[nodiscard]] static QString applicationErrorText(const QString &text);
    // Captions of the boxes that do not carry the application title.
    [[nodiscard]] static QString confirmCaption() { return QStringLiteral("Confirm"); }
    [[nodiscard]] static QString systemErrorCaption() { return QStringLiteral("Error"); }
};
