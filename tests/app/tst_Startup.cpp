#include "app/Inicio.h"
#include "app/Main.h"
#include "app/Startup.h"
#include "cli/CommandLine.h"
#include "data/DM.h"
#include "platform/engine/Database.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"
#include "platform/widgets/DialogRecorder.h"
#include "reports/MapaEcos.h"
#include "reports/UnitRepSS.h"
#include "search/Pesq.h"
#include "search/Pesqt2.h"
#include "search/UnitConc.h"
#include "search/frase.h"
#include "support/TestSupport.h"

#include <QLabel>
#include <QPointer>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>
#include <QtTest>

#include <sqlite3.h>

#include <cstdio>
#include <memory>

#include <unistd.h>

namespace {
const QStringList kCreationOrder
    = QStringLiteral("MainForm FormPesqAV MapaEco FormConc MapaSS DataModule1 "
                     "FormT2Pesq Form1")
          .split(QLatin1Char(' '));
const QString kTitle = QStringLiteral("Taluvo - Merindal");

QList<QObject *> longLivedObjects()
{
    return { MainForm, FormPesqAV, MapaEco, FormConc, MapaSS, DataModule1, FormT2Pesq, Form1 };
}

// Names of the globals that are set, in creation order.
QStringList madeGlobals()
{
    QStringList names;
    const QList<QObject *> objects = longLivedObjects();
    for (int i = 0; i < objects.size(); ++i) {
        if (objects[i])
            names.append(kCreationOrder[i]);
    }
    return names;
}

bool execSql(const QString &dir, const char *sql)
{
    sqlite3 *db = nullptr;
    const QByteArray file = QFile::encodeName(dir + QStringLiteral("/taluvo.sqlite"));
    const bool ok
        = sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK
        && sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// What the process writes on stderr from construction until text() is read.
class StderrCapture
{
public:
    StderrCapture()
    {
        m_file.open();
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        ::dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { text(); }
    QString text()
    {
        if (m_saved >= 0) {
            std::fflush(stderr);
            ::dup2(m_saved, STDERR_FILENO);
            ::close(m_saved);
            m_saved = -1;
        }
        m_file.seek(0);
        return QString::fromLocal8Bit(m_file.readAll());
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
};
} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void stepsInOrderWithProgress();
    void missingPhraseTableIsReportedUnderTheTitle();
    void unreachableDatabaseEndsStartUp_data();
    void unreachableDatabaseEndsStartUp();
    void missingDoctorsTableEndsAtQuickSearch();
    void destroyedInReverseOrder();
    void closingMainWindowEndsWhileSecondaryIsOpen();
    void splashDrawsItsPictures();

private:
    // Keeps the test's services; records each step as "name position" and whether the main
    // window was visible at any step.
    Startup &makeStartup(Startup::Observer extra = {});

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QTemporaryDir> m_tmp;
    std::unique_ptr<Startup> m_startup;
    QString m_data;
    QStringList m_steps;
    QList<QStringList> m_globals; // set at each step
    bool m_mainShown = false;
};

void tst_Startup::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_tmp = std::make_unique<QTemporaryDir>();
    m_data = m_tmp->filePath(QStringLiteral("Arvendi2"));
    bool handled = false;
    QCOMPARE(runCommandLine({ QStringLiteral("db"), QStringLiteral("init"), m_data }, &handled),
             ExitCode::Ok);
    Database::setCommandLineDirectory(m_data);
    m_steps.clear();
    m_globals.clear();
    m_mainShown = false;
}

void tst_Startup::cleanup()
{
    m_startup.reset();
    Database::setCommandLineDirectory(QString());
    m_tmp.reset();
    m_env.reset();
}

Startup &tst_Startup::makeStartup(Startup::Observer extra)
{
    Startup::Options options;
    options.installServices = [] {};
    options.observer = [this, extra](const QString &step, int position) {
        m_steps.append(step + QLatin1Char(' ') + QString::number(position));
        m_globals.append(madeGlobals());
        m_mainShown = m_mainShown || (MainForm && MainForm->isVisible());
        if (extra)
            extra(step, position);
    };
    m_startup = std::make_unique<Startup>(options);
    return *m_startup;
}

void tst_Startup::stepsInOrderWithProgress()
{
    // The data module's bindings run once it is connected, before its tables open: what it
    // reaches there by the global names.
    QStringList seenByDataModule;
    Startup &startup = makeStartup([&](const QString &step, int) {
        if (step != QLatin1String("MainForm.create"))
            return;
        TDataModule1::bindWhenLoaded(MainForm, [&](TDataModule1 &dm) {
            seenByDataModule << QStringLiteral("self=%1").arg(DataModule1 == &dm)
                             << madeGlobals().join(QLatin1Char(' '))
                             << QStringLiteral("bar=%1").arg(FormInicio->ProgressBar1->value())
                             << QStringLiteral("patients open=%1").arg(dm.TablePac->isActive());
        });
    });
    QCOMPARE(startup.start(), ExitCode::Ok);

    QCOMPARE(m_steps.join(QLatin1String(", ")),
             QStringLiteral("splash 0, progress 2, title 2, MainForm 2, MainForm.create 2, "
                            "FormPesqAV 2, FormPesqAV.create 2, MapaEco 2, MapaEco.create 2, "
                            "FormConc 2, FormConc.create 2, MapaSS 2, MapaSS.create 2, "
                            "progress 4, DataModule1 4, DataModule1.create 4, progress 6, "
                            "FormT2Pesq 6, FormT2Pesq.create 6, progress 8, Form1 8, "
                            "Form1.create 8, progress 10, maximum 10, splash.destroyed 10"));
    // Each global is set as soon as its object is first reported, the later ones are not yet.
    for (int i = 0; i < m_steps.size(); ++i) {
        const int made = kCreationOrder.indexOf(
            m_steps[i].section(QLatin1Char('.'), 0, 0).section(QLatin1Char(' '), 0, 0));
        if (made >= 0)
            QCOMPARE(m_globals[i], kCreationOrder.mid(0, made + 1));
    }
    QCOMPARE(seenByDataModule,
             QStringList({ QStringLiteral("self=1"),
                           QStringLiteral("MainForm FormPesqAV MapaEco FormConc MapaSS "
                                          "DataModule1"),
                           QStringLiteral("bar=4"), QStringLiteral("patients open=0") }));
    QVERIFY(FormT2Pesq->TablePesq->isActive());
    QVERIFY(FormT2Pesq->QueryPesq1->isActive());

    // Ready for the event loop: the splash is gone and nothing is shown before it runs.
    QCOMPARE(FormInicio, nullptr);
    QVERIFY(!m_mainShown);
    for (QObject *o : longLivedObjects()) {
        if (auto *w = qobject_cast<QWidget *>(o))
            QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
    }
    QCOMPARE(Startup::helpFile(), QStringLiteral("AjudaTaluvo.hlp"));
    QVERIFY(m_env->recorder().isEmpty());
}

void tst_Startup::missingPhraseTableIsReportedUnderTheTitle()
{
    QVERIFY(execSql(m_data, "DROP TABLE frase"));
    // Only start-up itself may give the boxes their caption.
    Dialogs::setApplicationTitle(QString());
    QVERIFY(Dialogs::applicationTitle() != kTitle);

    QCOMPARE(makeStartup().start(), ExitCode::Ok);
    const QList<DialogRecorder::Entry> expected { { DialogRecorder::Kind::Message,
                                                    QStringLiteral("ATENÇÃO:\r\rErro ao abrir "
                                                                   "«« Frase.db »»"),
                                                    kTitle } };
    QCOMPARE(m_env->recorder().entries(), expected);
    QVERIFY(DataModule1->TableConc->isActive()); // opened after the phrase table
}

void tst_Startup::unreachableDatabaseEndsStartUp_data()
{
    QTest::addColumn<QString>("dir");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("error");

    QTest::newRow("alias directory missing")
        << QStringLiteral("nowhere") << false
        << QStringLiteral("Cannot connect to database 'BDC': the directory '%1' of alias "
                          "'Arvendi2' does not exist");
    QTest::newRow("no database file")
        << QStringLiteral("empty") << true
        << QStringLiteral("Cannot connect to database 'BDC': alias 'Arvendi2' names '%1', which "
                          "holds no taluvo.sqlite");
}

void tst_Startup::unreachableDatabaseEndsStartUp()
{
    QFETCH(QString, dir);
    QFETCH(bool, exists);
    QFETCH(QString, error);
    dir = m_tmp->filePath(dir);
    QVERIFY(!exists || QDir().mkpath(dir));
    error = error.arg(dir);
    Database::setCommandLineDirectory(dir);

    StderrCapture err;
    QCOMPARE(makeStartup().start(), ExitCode::Failure);
    QCOMPARE(err.text(), error + QLatin1Char('\n'));
    const QList<DialogRecorder::Entry> expected {
        { DialogRecorder::Kind::SystemError, error, Dialogs::systemErrorCaption() },
    };
    QCOMPARE(m_env->recorder().entries(), expected);
    QCOMPARE(m_steps.constLast(), QStringLiteral("DataModule1 4"));
    QVERIFY(!m_mainShown);
    QCOMPARE(madeGlobals(), QStringList());
    QCOMPARE(FormInicio, nullptr);
}

void tst_Startup::missingDoctorsTableEndsAtQuickSearch()
{
    QVERIFY(execSql(m_data, "DROP TABLE medico"));
    StderrCapture err;
    QCOMPARE(makeStartup().start(), ExitCode::Failure);
    const QString stderrText = err.text();

    // The data module's own message, then the quick search window's exam list ends start-up.
    const QList<DialogRecorder::Entry> &entries = m_env->recorder().entries();
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries[0].text, QStringLiteral("ATENÇÃO:\r\rErro ao abrir «« Medico.DB »»"));
    QCOMPARE(entries[1].kind, DialogRecorder::Kind::SystemError);
    QVERIFY2(entries[1].text.contains(QLatin1String("medico")), qPrintable(entries[1].text));
    QCOMPARE(stderrText, entries[1].text + QLatin1Char('\n'));
    QCOMPARE(m_steps.constLast(), QStringLiteral("FormT2Pesq 6"));
    QVERIFY(!m_mainShown);
    QCOMPARE(madeGlobals(), QStringList());
}

void tst_Startup::destroyedInReverseOrder()
{
    Startup &startup = makeStartup();
    QCOMPARE(startup.start(), ExitCode::Ok);
    QStringList destroyed;
    for (QObject *o : longLivedObjects()) {
        connect(o, &QObject::destroyed, this,
                [&destroyed, name = o->objectName()] { destroyed.prepend(name); });
    }
    startup.shutdown();
    QCOMPARE(destroyed, kCreationOrder);
    QCOMPARE(madeGlobals(), QStringList());
}

void tst_Startup::closingMainWindowEndsWhileSecondaryIsOpen()
{
    Startup &startup = makeStartup();
    QCOMPARE(startup.start(), ExitCode::Ok);

    QStringList shown;
    bool searchKeptOnClose = false;
    QTimer::singleShot(0, MainForm, [&] {
        for (QObject *o : longLivedObjects()) {
            if (auto *w = qobject_cast<QWidget *>(o); w && w->isVisible())
                shown.append(w->objectName());
        }
        // Closing the quick search window only hides it; then it stays open over the close.
        QPointer<TFormT2Pesq> search = FormT2Pesq;
        search->show();
        search->close();
        searchKeptOnClose = search && !search->isVisible();
        search->show();
        MainForm->close();
    });
    // A loop that outlives the main window ends all the same, after a bounded number of passes:
    // a timer of no interval times out once in each.
    int passes = 0;
    QTimer watchdog;
    connect(&watchdog, &QTimer::timeout, this, [&passes] {
        if (++passes > 1000)
            QCoreApplication::exit(99);
    });
    watchdog.start(0);

    QCOMPARE(startup.exec(), 0);
    QCOMPARE(shown, QStringList { QStringLiteral("MainForm") });
    QVERIFY(searchKeptOnClose);
    QCOMPARE(madeGlobals(), QStringList());
    // The first close of the day leaves the day's copy.
    QVERIFY(QFile::exists(m_data + QStringLiteral("/backups/taluvo-2024-06-15.sqlite")));
}

void tst_Startup::splashDrawsItsPictures()
{
    TFormInicio splash;
    // Both drawings come from the resources linked into the library.
    for (QLabel *image : { splash.Image2, splash.Image1 }) {
        const QImage picture = image->pixmap().toImage();
        int inked = 0;
        for (int y = 0; y < picture.height(); y += 2) {
            for (int x = 0; x < picture.width(); x += 2)
                inked += qAlpha(picture.pixel(x, y)) > 0;
        }
        QVERIFY2(inked > 50, qPrintable(image->objectName()));
    }
    // The black name is drawn over its grey shadow.
    const QPoint overlap = splash.Label5->geometry().topLeft() + QPoint(8, 8);
    QCOMPARE(splash.Panel1->childAt(overlap), splash.Label3);
}

QTEST_MAIN(tst_Startup)
#include "tst_Startup.moc"
