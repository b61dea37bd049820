#include "cli/CommandLine.h"

#include "cli/DbCommand.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <memory>

int runCommandLine(const QStringList &args, bool *handled)
{
    const QString command = args.value(0);
    // Sub-commands are recognised here; "report" and "summary" join "db" in this list.
    const bool known = command == QLatin1String("db");
    if (handled)
        *handled = known;
    if (!known)
        return ExitCode::Ok;

    // The SQL driver is a plug-in, which needs an application object to be found.
    std::unique_ptr<QCoreApplication> app;
    static int argc = 1;
    static char name[] = "taluvo";
    static char *argv[] = { name, nullptr };
    if (!QCoreApplication::instance())
        app = std::make_unique<QCoreApplication>(argc, argv);

    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList rest = args.mid(1);
    int code = ExitCode::Ok;
    if (command == QLatin1String("db"))
        code = DbCommand(out, err).run(rest);
    out.flush();
    err.flush();
    return code;
}
