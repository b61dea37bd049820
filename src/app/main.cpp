#include "app/Startup.h"
#include "cli/CommandLine.h"
#include "platform/engine/Database.h"

#include <QStringList>

#include <sys/stat.h>

int main(int argc, char *argv[])
{
    // Everything this program writes is health data: owner-only files.
    ::umask(077);

    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    bool handled = false;
    const int code = runCommandLine(args, &handled);
    if (handled)
        return code;

    for (int i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--data"))
            Database::setCommandLineDirectory(args[i + 1]);
    }

    return Startup::run(argc, argv);
}
