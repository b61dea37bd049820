// Moving to the next patient through the patient navigator with every header control bound, on
// the scale data set (TALUVO_BENCH_DATA). Prints the median, minimum and maximum of N moves.
#include "app/Main.h"
#include "data/DM.h"
#include "platform/engine/Database.h"
#include "platform/widgets/DialogRecorder.h"
#include "platform/widgets/Dialogs.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString dir = qEnvironmentVariable("TALUVO_BENCH_DATA", QStringLiteral("bench-data"));
    const int moves = argc > 1 ? atoi(argv[1]) : 2000;
    Database::setCommandLineDirectory(dir);
    Dialogs::install(std::make_unique<DialogRecorder>());

    auto form = std::make_unique<TMainForm>();
    MainForm = form.get();
    auto module = std::make_unique<TDataModule1>();
    DataModule1 = module.get();
    module->load();
    form->show();
    QApplication::processEvents();

    std::vector<double> ms;
    ms.reserve(size_t(moves));
    for (int i = 0; i < moves; ++i) {
        QElapsedTimer t;
        t.start();
        form->DBNavigator1->btnClick(DBNavigator::Next);
        // Let the bound controls repaint, as the user would see them.
        QApplication::processEvents();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("next patient through the navigator, %d moves: median %.3f ms, min %.3f ms, "
                "max %.3f ms\n",
                moves, ms[ms.size() / 2], ms.front(), ms.back());
    module.reset();
    DataModule1 = nullptr;
    form.reset();
    return 0;
}
