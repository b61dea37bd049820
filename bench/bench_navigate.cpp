// Moving to the next patient through the patient navigator with every header control bound, on
// the scale data set (TALUVO_BENCH_DATA). Prints the median, minimum and maximum of N moves.
#include "ScaleBench.h"

#include "app/Main.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int moves = argc > 1 ? atoi(argv[1]) : 2000;
    ScaleBench::Practice practice(true);
    TMainForm *form = practice.form();
    form->show();
    QApplication::processEvents();

    ScaleBench::Figures next;
    for (int i = 0; i < moves; ++i) {
        next.add(ScaleBench::timed([&] {
            form->DBNavigator1->btnClick(DBNavigator::Next);
            // Let the bound controls repaint, as the user would see them.
            QApplication::processEvents();
        }));
    }
    next.print("next patient through the navigator");
    return 0;
}
