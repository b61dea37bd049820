#include "app/Startup.h"

#include "app/Inicio.h"
#include "app/Main.h"
#include "cli/CommandLine.h"
#include "data/Backup.h"
#include "data/DM.h"
#include "platform/engine/StoreLocation.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/FormatSettings.h"
#include "platform/widgets/Clock.h"
#include "platform/widgets/Dialogs.h"
#include "platform/widgets/MessageBoxDialogs.h"
#include "reports/MapaEcos.h"
#include "reports/UnitRepSS.h"
#include "search/Pesq.h"
#include "search/Pesqt2.h"
#include "search/UnitConc.h"
#include "search/frase.h"

#include <QApplication>
#include <QDir>
#include <QLocale>

#include <cstdio>
#include <type_traits>

namespace {
QString &helpFileSetting()
{
    static QString name;
    return name;
}

// What an object runs once it is reachable by its global name: its loading (the data module
// connects there, the quick search window opens its datasets), else its create handler.
template<typename T, typename = void> struct HasLoad : std::false_type
{
};
template<typename T>
struct HasLoad<T, std::void_t<decltype(std::declval<T &>().load())>> : std::true_type
{
};
template<typename T, typename = void> struct HasFormCreate : std::false_type
{
};
template<typename T>
struct HasFormCreate<T, std::void_t<decltype(std::declval<T &>().FormCreate())>> : std::true_type
{
};
} // namespace

Startup::Startup(Options options)
    : m_options(std::move(options))
{ }

Startup::~Startup()
{
    shutdown();
}

QString Startup::helpFile()
{
    return helpFileSetting();
}

void Startup::installApplicationServices()
{
    Dialogs::install(std::make_unique<MessageBoxDialogs>());
    Dialogs::installAsGuardReporter();
    // The interface is Portuguese: a machine with no locale set shows Portuguese dates and numbers.
    FormatSettings::setCurrent(
        FormatSettings::fromProcessLocale(QLocale(QLocale::Portuguese, QLocale::Portugal)));
}

int Startup::run(int argc, char **argv)
{
    QApplication app(argc, argv);
    Startup startup;
    const int code = startup.start();
    if (code != ExitCode::Ok)
        return code;
    return startup.exec();
}

int Startup::start()
{
    try {
        startUp();
        return ExitCode::Ok;
    } catch (const DatabaseError &e) {
        fail(e.message());
    } catch (const std::exception &e) {
        fail(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        fail(QStringLiteral("Unknown error"));
    }
    return ExitCode::Failure;
}

void Startup::startUp()
{
    if (m_options.installServices)
        m_options.installServices();
    else
        installApplicationServices();

    createSplash();
    stepTwice();
    // Before the first window, so that every message box from here on carries the title.
    setApplicationSettings();

    create(MainForm, QStringLiteral("MainForm"));
    // Secondary windows do not keep the application alive.
    QObject::connect(MainForm, &TMainForm::closed, qApp, &QCoreApplication::quit);
    create(FormPesqAV, QStringLiteral("FormPesqAV"));
    create(MapaEco, QStringLiteral("MapaEco"));
    create(FormConc, QStringLiteral("FormConc"));
    create(MapaSS, QStringLiteral("MapaSS"));
    stepTwice();
    // After the windows, whose controls it binds when it loads, and after the main window, which
    // the patient table's rules read.
    create(DataModule1, QStringLiteral("DataModule1"));
    stepTwice();
    // Its datasets need the logical database that the data module has just connected.
    create(FormT2Pesq, QStringLiteral("FormT2Pesq"));
    stepTwice();
    create(Form1, QStringLiteral("Form1"));
    stepTwice();
    ProgressBar *bar = m_splash->ProgressBar1;
    bar->setValue(bar->maximum());
    notify(QStringLiteral("maximum"));
    destroySplash();
    notify(QStringLiteral("splash.destroyed"));
}

void Startup::createSplash()
{
    m_splash = std::make_unique<TFormInicio>();
    FormInicio = m_splash.get();
    m_splash->show();
    // Drawn now: the event loop that would draw it runs only at the end of start-up.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_splash->repaint();
    notify(QStringLiteral("splash"));
}

void Startup::stepTwice()
{
    m_splash->ProgressBar1->StepIt();
    m_splash->ProgressBar1->StepIt();
    notify(QStringLiteral("progress"));
}

void Startup::setApplicationSettings()
{
    // Not the application's display name: the platform would append it to every window caption.
    Dialogs::setApplicationTitle(applicationTitle());
    helpFileSetting() = QStringLiteral("AjudaTaluvo.hlp");
    notify(QStringLiteral("title"));
}

template<typename T> void Startup::create(T *&global, const QString &name)
{
    auto object = std::make_unique<T>();
    T *instance = object.get();
    global = instance;
    m_objects.push_back(std::move(object));
    notify(name);
    if constexpr (HasLoad<T>::value)
        instance->load();
    else if constexpr (HasFormCreate<T>::value)
        instance->FormCreate();
    notify(name + QStringLiteral(".create"));
}

void Startup::destroySplash()
{
    if (!m_splash)
        return;
    m_lastPosition = m_splash->ProgressBar1->value();
    m_splash->hide();
    m_splash.reset();
}

int Startup::exec()
{
    MainForm->show();
    const int code = QApplication::exec();
    const QString dataDir = DataModule1 && DataModule1->Database2
        ? DataModule1->Database2->directory()
        : QString();
    shutdown();
    // After the data module has closed its connection, so the copy has nothing left in the log.
    backupAtClose(dataDir);
    return code;
}

void Startup::backupAtClose(const QString &dataDir)
{
    // A server is backed up on the server, by its own tools.
    if (dataDir.isEmpty() || StoreLocation::isServer(dataDir))
        return;
    Backup::Settings settings = Backup::Settings::load(dataDir);
    try {
        Backup::atClose(dataDir, settings, Clock::instance().today());
    } catch (const DatabaseError &e) {
        Dialogs::instance().message(
            QStringLiteral("Não foi possível fazer a cópia de segurança diária na pasta "
                           "\"%1\": %2")
                .arg(QDir::toNativeSeparators(settings.dir), e.message()));
    } catch (const std::exception &e) {
        Dialogs::instance().message(
            QStringLiteral("Não foi possível fazer a cópia de segurança diária na pasta "
                           "\"%1\": %2")
                .arg(QDir::toNativeSeparators(settings.dir), QString::fromLocal8Bit(e.what())));
    }
}

void Startup::shutdown()
{
    destroySplash();
    // Last made first: the data module closes its tables (dropping unposted edits) after the
    // windows made after it and before the main window.
    while (!m_objects.empty()) {
        std::unique_ptr<QObject> object = std::move(m_objects.back());
        m_objects.pop_back();
        object.reset();
    }
}

void Startup::fail(const QString &text)
{
    // The splash stays on top of everything; it must not hide the box.
    if (m_splash)
        m_splash->hide();
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
    Dialogs::instance().systemError(text);
    shutdown();
}

void Startup::notify(const QString &step)
{
    if (m_options.observer)
        m_options.observer(step, position());
}

int Startup::position() const
{
    return m_splash ? m_splash->ProgressBar1->value() : m_lastPosition;
}
