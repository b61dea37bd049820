#include "platform/widgets/Clock.h"

#include "platform/engine/Convert.h"

namespace {
std::unique_ptr<Clock> &installed()
{
    static std::unique_ptr<Clock> clock;
    return clock;
}
} // namespace

Clock::~Clock() = default;

QDateTime Clock::now() const
{
    return QDateTime::currentDateTime();
}

const Clock &Clock::instance()
{
    static const Clock system;
    const auto &clock = installed();
    return clock ? *clock : system;
}

void Clock::install(std::unique_ptr<Clock> clock)
{
    installed() = std::move(clock);
    if (installed())
        Convert::setTodayProvider([] { return Clock::instance().today(); });
    else
        Convert::setTodayProvider({});
}

void Clock::reset()
{
    install(nullptr);
}

FixedClock::FixedClock(const QDateTime &now)
    : m_now(now)
{ }

QDateTime FixedClock::now() const
{
    return m_now;
}

void FixedClock::setNow(const QDateTime &now)
{
    m_now = now;
}

void FixedClock::advance(qint64 ms)
{
    m_now = m_now.addMSecs(ms);
}
