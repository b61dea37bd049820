#include "support/TestSupport.h"

#include "platform/engine/Guard.h"
#include "platform/widgets/Clock.h"
#include "platform/widgets/DialogRecorder.h"
#include "platform/widgets/Dialogs.h"

#include <memory>

TestEnvironment::TestEnvironment(const QDateTime &now)
    : m_previousSettings(FormatSettings::current())
    , m_previousLocale(QLocale())
{
    FormatSettings::setCurrent(FormatSettings::portuguese());
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Portugal));

    auto clock = std::make_unique<FixedClock>(now);
    m_clock = clock.get();
    Clock::install(std::move(clock));

    auto recorder = std::make_unique<DialogRecorder>();
    m_recorder = recorder.get();
    Dialogs::install(std::move(recorder));
    Dialogs::setApplicationTitle(applicationTitle());
    Dialogs::installAsGuardReporter();
}

TestEnvironment::~TestEnvironment()
{
    setGuardReporter({});
    Dialogs::install(nullptr);
    Dialogs::setApplicationTitle(QString());
    Clock::reset();
    QLocale::setDefault(m_previousLocale);
    FormatSettings::setCurrent(m_previousSettings);
}

QDateTime TestEnvironment::defaultNow()
{
    return QDateTime(QDate(2024, 6, 15), QTime(10, 30), Qt::LocalTime);
}
