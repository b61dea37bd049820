// The quick search window on the scale data set (TALUVO_BENCH_DATA), offscreen, each step timed
// until the grid it moves has repainted:
//   keystroke   one letter typed into the name box (names of random patients, letter by letter);
//               the first letter after a re-read of the patients is reported apart;
//   activation  the window activated on the page "exames": patients re-read, exam list reopened;
//   day jump    a day picked on a freshly opened list, by how far back the day lies.
// Prints medians, minima and maxima; N (argument) scales the number of runs.
#include "ScaleBench.h"

#include "app/Main.h"
#include "data/DM.h"
#include "platform/engine/Field.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"
#include "platform/widgets/DBGrid.h"
#include "search/Pesqt2.h"

#include <QApplication>
#include "platform/widgets/DateEdit.h"
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRandomGenerator>

#include <cstdio>
#include <memory>

namespace {
using ScaleBench::Figures;
using ScaleBench::timed;

void typeKey(QLineEdit *box, QChar c)
{
    const int key = c.toUpper().unicode();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
    QApplication::sendEvent(box, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
    QApplication::sendEvent(box, &release);
}

void waitActive(QWidget *window)
{
    QElapsedTimer t;
    t.start();
    while (!window->isActiveWindow() && t.elapsed() < 5000)
        QApplication::processEvents();
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? atoi(argv[1]) : 20;
    ScaleBench::Practice practice(true);
    TMainForm *form = practice.form();
    auto search = std::make_unique<TFormT2Pesq>();
    FormT2Pesq = search.get();
    search->load();
    form->show();
    QApplication::processEvents();
    TFormT2Pesq &w = *search;
    QRandomGenerator random(1);

    // Activation: back to the main window, then to the search window on "exames".
    Figures activation, refresh, reopen;
    for (int i = 0; i < runs; ++i) {
        form->activateWindow();
        waitActive(form);
        activation.add(timed([&] {
            w.showFromMainWindow(TFormT2Pesq::ExamsTag);
            waitActive(&w);
            w.DBGrid2->repaint();
        }));
        refresh.add(timed([&] { w.TablePesq->refresh(); }));
        reopen.add(timed([&] {
            w.QueryPesq1->close();
            w.QueryPesq1->open();
            w.DBGrid2->repaint();
        }));
    }

    // Keystrokes: the names of random patients typed letter by letter, six letters each.
    Figures first, keys;
    w.showFromMainWindow(TFormT2Pesq::PatientsTag);
    waitActive(&w);
    Table &patients = *w.TablePesq;
    const int count = patients.recordCount();
    for (int i = 0; i < runs * 10; ++i) {
        if (i % 10 == 0) {
            // A re-read of the patients, as each activation makes.
            form->activateWindow();
            waitActive(form);
            w.activateWindow();
            waitActive(&w);
        }
        patients.setRecNo(1 + int(random.bounded(count)));
        const QString name = w.TablePesqNOME->asString().left(6);
        w.Edit1->clear();
        QApplication::processEvents();
        for (int k = 0; k < name.size(); ++k) {
            const double ms = timed([&] {
                typeKey(w.Edit1, name.at(k).toLower());
                w.DBGrid1->repaint();
            });
            (i % 10 == 0 && k == 0 ? first : keys).add(ms);
        }
    }

    // Day jumps on a freshly opened list, by distance from the newest exam.
    w.showFromMainWindow(TFormT2Pesq::ExamsTag);
    waitActive(&w);
    Query &list = *w.QueryPesq1;
    list.close();
    list.open();
    const QDate newest = w.QueryPesq1dataexame->asDateTime().date();
    struct Distance
    {
        const char *label;
        int fromDays, toDays;
        Figures figures;
    };
    Distance distances[] = {
        { "day jump, 1 to 7 days back", 1, 7, {} },
        { "day jump, 8 to 31 days back", 8, 31, {} },
        { "day jump, 32 to 365 days back", 32, 365, {} },
        { "day jump, 1 to 5 years back", 366, 1826, {} },
    };
    Figures again;
    for (Distance &d : distances) {
        for (int i = 0; i < runs; ++i) {
            list.close();
            list.open();
            const QDate day
                = newest.addDays(-(d.fromDays + int(random.bounded(d.toDays - d.fromDays + 1))));
            d.figures.add(timed([&] {
                w.Data->setDate(day);
                w.DBGrid2->repaint();
            }));
            // A second day, nearer, once the rows down to the first are in.
            const QDate nearer = day.addDays(int(random.bounded(qMax(1, d.fromDays))));
            again.add(timed([&] {
                w.Data->setDate(nearer);
                w.DBGrid2->repaint();
            }));
        }
    }

    // The user's pause: the page shown and the calendar opened take longer than the window
    // needs to read the rest of the list while it waits.
    Figures paused, prefetched, slices;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer whole;
        whole.start();
        w.SpeedButton1Click();
        bool read = false;
        while (whole.elapsed() < 1500) {
            // One pass of the event loop: what a key press waits for at most.
            slices.add(timed([] { QApplication::processEvents(); }));
            if (!read && !list.canFetchMore()) {
                read = true;
                prefetched.add(double(whole.nsecsElapsed()) / 1e6);
            }
        }
        const QDate day = newest.addDays(-(366 + int(random.bounded(1826 - 366 + 1))));
        paused.add(timed([&] {
            w.Data->setDate(day);
            w.DBGrid2->repaint();
        }));
    }

    std::printf(
        "quick search, %d patients, exam list of %d rows (newest %s)\n", count,
        [&] {
            list.close();
            list.open();
            return list.recordCount();
        }(),
        qPrintable(newest.toString(Qt::ISODate)));
    activation.print("activation on \"exames\" (shown, repainted)");
    refresh.print("  of which: patients re-read");
    reopen.print("  of which: exam list reopened, repainted");
    first.print("first letter after a re-read of patients");
    keys.print("keystroke in the name box");
    for (Distance &d : distances)
        d.figures.print(d.label);
    again.print("day jump within rows already read");
    prefetched.print("whole list read while the page waits");
    slices.print("  one pass of the event loop meanwhile");
    paused.print("day jump, 1 to 5 years back, after a pause");

    search.reset();
    FormT2Pesq = nullptr;
    return 0;
}
