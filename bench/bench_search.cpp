// The quick search window on the scale data set (TALUVO_BENCH_DATA), offscreen, each step timed
// until the grid it moves has repainted:
//   keystroke   one letter typed into the name box (names of random patients, letter by letter);
//               the first letter after a re-read of the patients is reported apart;
//   activation  the window activated on the page "exames": patients re-read, exam list reopened;
//   day jump    a day picked on a freshly opened list, by how far back the day lies;
//   scrolling   the exam list scrolled from its top to its bottom, the grid's scroll bar taken
//               to its end again and again (each time a page of rows is read), with the
//               resident memory of the process along the way.
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
#include <QFile>
#include <QRandomGenerator>
#include <QScrollBar>

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

// Resident memory of this process in MB, and the part of it that is not file pages.
std::pair<double, double> residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    double rss = 0, anon = 0;
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            const QList<QByteArray> parts = line.simplified().split(' ');
            if (parts.size() >= 2 && parts[0] == "VmRSS:")
                rss = parts[1].toDouble() / 1024;
            else if (parts.size() >= 2 && parts[0] == "RssAnon:")
                anon = parts[1].toDouble() / 1024;
        }
    }
    return { rss, anon };
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

    // The whole list scrolled, top to bottom.
    list.close();
    list.open();
    w.DBGrid2->repaint();
    const auto [rssBefore, anonBefore] = residentMb();
    double rssMax = rssBefore, anonMax = anonBefore;
    int heldMax = 0;
    long scrolled = 0;
    Figures pages;
    QScrollBar *bar = w.DBGrid2->verticalScrollBar();
    QElapsedTimer whole;
    whole.start();
    for (int step = 0; list.canFetchMore() || bar->value() < bar->maximum(); ++step) {
        pages.add(timed([&] {
            bar->setValue(bar->maximum());
            QApplication::processEvents();
            w.DBGrid2->repaint();
        }));
        heldMax = qMax(heldMax, list.rowCount());
        if (step % 500 == 0) {
            const auto [rss, anon] = residentMb();
            rssMax = qMax(rssMax, rss);
            anonMax = qMax(anonMax, anon);
        }
        ++scrolled;
    }
    const double scrollSeconds = double(whole.nsecsElapsed()) / 1e9;
    const auto [rssEnd, anonEnd] = residentMb();
    rssMax = qMax(rssMax, rssEnd);
    anonMax = qMax(anonMax, anonEnd);
    const QString last = w.QueryPesq1dataexame->asString();
    const QString bottom = w.DBGrid2->model()
                               ->data(w.DBGrid2->model()->index(
                                   w.DBGrid2->rowAt(w.DBGrid2->viewport()->height() - 1), 0))
                               .toString();

    std::printf("quick search, %d patients, exam list newest %s\n", count,
                qPrintable(newest.toString(Qt::ISODate)));
    activation.print("activation on \"exames\" (shown, repainted)");
    refresh.print("  of which: patients re-read");
    reopen.print("  of which: exam list reopened, repainted");
    first.print("first letter after a re-read of patients");
    keys.print("keystroke in the name box");
    for (Distance &d : distances)
        d.figures.print(d.label);
    again.print("day jump within rows already read");
    pages.print("scroll bar to its end, a page read");
    std::printf("scrolled top to bottom in %ld steps, %.1f s (bottom row %s, current %s); rows "
                "held at most %d\n",
                scrolled, scrollSeconds, qPrintable(bottom), qPrintable(last), heldMax);
    std::printf("resident memory: before %.0f MB (%.0f MB not file pages), at most %.0f MB "
                "(%.0f MB), after %.0f MB (%.0f MB)\n",
                rssBefore, anonBefore, rssMax, anonMax, rssEnd, anonEnd);

    search.reset();
    FormT2Pesq = nullptr;
    return 0;
}
