#include "cli/CommandLine.h"
#include "platform/engine/Database.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/FormatSettings.h"
#include "platform/widgets/Dialogs.h"
#include "platform/widgets/MessageBoxDialogs.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

#include <cstdio>

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

    QApplication app(argc, argv);
    FormatSettings::setCurrent(FormatSettings::fromLocale(QLocale()));
    Dialogs::install(std::make_unique<MessageBoxDialogs>());
    Dialogs::setApplicationTitle(QStringLiteral("Taluvo - Merindal"));
    QApplication::setApplicationDisplayName(QStringLiteral("Taluvo - Merindal"));
    Dialogs::installAsGuardReporter();

    Database database(QStringLiteral("BDC"));
    try {
        database.open();
    } catch (const DatabaseError &e) {
        fprintf(stderr, "%s\n", qPrintable(e.message()));
        Dialogs::instance().systemError(e.message());
        return 1;
    }

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Taluvo - Merindal"));
    window.setCentralWidget(new QLabel(database.directory(), &window));
    window.resize(640, 480);
    window.show();
    return app.exec();
}
