#include "cli/CommandLine.h"

#include "cli/DbCommand.h"
#include "cli/ReportCommand.h"
#include "cli/SummaryCommand.h"

#include <QApplication>

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <memory>

int runCommandLine(const QStringList &args, bool *handled)
{
    const QString command = args.value(0);
    const bool printing = command == QLatin1String("report") || command == QLatin1String("summary");
    const bool known = command == QLatin1String("db") || printing;
    if (handled)
        *handled = known;
    if (!known)
        return ExitCode::Ok;

    // The SQL driver is a plug-in, which needs an application object to be found.
    std::unique_ptr<QCoreApplication> app;
    static int argc = 1;
    static char name[] = "taluvo";
    static char *argv[] = { name, nullptr };
    if (!QCoreApplication::instance()) {
        if (printing) {
            // Reports lay out text and pictures: a GUI application, but never a window.
            qputenv("QT_QPA_PLATFORM", "offscreen");
            app = std::make_unique<QApplication>(argc, argv);
        } else {
            app = std::make_unique<QCoreApplication>(argc, argv);
        }
    }

    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList rest = args.mid(1);
    int code = ExitCode::Ok;
    if (command == QLatin1String("db"))
        code = DbCommand(out, err).run(rest);
    else if (command == QLatin1String("report"))
        code = ReportCommand(out, err).run(rest);
    else if (command == QLatin1String("summary"))
        code = SummaryCommand(out, err).run(rest);
    out.flush();
    err.flush();
    return code;
}
