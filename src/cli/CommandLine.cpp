#include "cli/CommandLine.h"

#include "cli/DbCommand.h"
#include "cli/ExamsCommand.h"
#include "cli/ReportCommand.h"
#include "cli/SummaryCommand.h"

#include <QApplication>

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <memory>

int usageError(QTextStream &err, const QString &command, const QString &problem,
               const QString &usage)
{
    err << "taluvo " << command << ": " << problem << ".\n" << usage;
    return ExitCode::Usage;
}

int runCommandLine(const QStringList &args, bool *handled)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    return runCommandLine(args, handled, out, err);
}

int runCommandLine(const QStringList &args, bool *handled, QTextStream &out, QTextStream &err)
{
    const QString command = args.value(0);
    // Reports lay out text and pictures, and the exam list loads the same data module.
    const bool printing = command == QLatin1String("report") || command == QLatin1String("summary")
        || command == QLatin1String("exams");
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
            // A GUI application, but never a window.
            qputenv("QT_QPA_PLATFORM", "offscreen");
            app = std::make_unique<QApplication>(argc, argv);
        } else {
            app = std::make_unique<QCoreApplication>(argc, argv);
        }
    }

    const QStringList rest = args.mid(1);
    int code = ExitCode::Ok;
    if (command == QLatin1String("db"))
        code = DbCommand(out, err).run(rest);
    else if (command == QLatin1String("exams"))
        code = ExamsCommand(out, err).run(rest);
    else if (command == QLatin1String("report"))
        code = ReportCommand(out, err).run(rest);
    else if (command == QLatin1String("summary"))
        code = SummaryCommand(out, err).run(rest);
    out.flush();
    err.flush();
    return code;
}
