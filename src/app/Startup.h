#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class TFormInicio;

// The start-up sequence: splash, application title and help file, the long-lived windows and the
// data module in their fixed order, then the event loop; at the end every object is destroyed in
// the reverse order of creation. Each object is constructed, stored in its global name and only
// then loaded (its create handler), so code running there already reaches it by that name.
//
// Any error while starting (the database cannot be connected, the quick search window cannot
// open its datasets) shows the system error box with the error's text, writes it on stderr, and
// start() returns exit code 1 with everything already destroyed and the main window never shown.
//
// Tests drive the sequence with their own services (dialog recorder, clock, formats), watch the
// steps through the observer and stop before the event loop.
class Startup
{
public:
    // Called after each step with its name and the progress bar's position then. Creating an
    // object is two steps: "<global name>" once it is constructed and its global set, and
    // "<global name>.create" once its create handler (for the data module, its loading) has run.
    // The others: "splash", "progress" (after each pair of progress steps), "title", "maximum",
    // "splash.destroyed".
    using Observer = std::function<void(const QString &step, int position)>;

    struct Options
    {
        // Installs the dialogs service, the guard's reporter and the formats; empty installs the
        // application's own (message boxes, formats from the locale).
        std::function<void()> installServices;
        Observer observer;
    };

    explicit Startup(Options options = {});
    ~Startup();
    Startup(const Startup &) = delete;
    Startup &operator=(const Startup &) = delete;

    // Everything up to the event loop; needs the QApplication. 0 on success, else the exit code
    // after the failure was reported and the objects destroyed.
    [[nodiscard]] int start();
    // Shows the main window and runs the event loop until the main window closes; then destroys
    // the objects and makes the day's backup when one is due. Returns the event loop's exit code.
    int exec();
    // The daily backup of dataDir at close. A failure is one message naming the reason and the
    // folder; it never keeps the program from ending.
    static void backupAtClose(const QString &dataDir);
    // Destroys the objects made so far, last made first. Also done by the destructor.
    void shutdown();

    // The whole life of the application process after the command line was handled.
    static int run(int argc, char **argv);
    // Message boxes, the guard's reporter and the formats of the running application.
    static void installApplicationServices();

    [[nodiscard]] static QString applicationTitle() { return QStringLiteral("Taluvo - Merindal"); }
    // The help file's bare name, set during start-up; empty before.
    [[nodiscard]] static QString helpFile();

private:
    void startUp();
    void createSplash();
    void stepTwice();
    void setApplicationSettings();
    template<typename T> void create(T *&global, const QString &name);
    void destroySplash();
    void fail(const QString &text);
    void notify(const QString &step);
    [[nodiscard]] int position() const;

    Options m_options;
    std::unique_ptr<TFormInicio> m_splash;
    std::vector<std::unique_ptr<QObject>> m_objects; // in creation order
    int m_lastPosition = 0;
};
