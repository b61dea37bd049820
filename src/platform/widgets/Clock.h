#pragma once

#include <QDate>
#include <QDateTime>

#include <memory>

// The source of "now" and "today" for every rule that reads the time. The application uses the
// system clock; tests install a FixedClock. The installed clock is owned here and lives until the
// next install() or reset().
class Clock
{
public:
    Clock() = default;
    virtual ~Clock();
    Clock(const Clock &) = delete;
    Clock &operator=(const Clock &) = delete;

    // Local date and time to the millisecond.
    [[nodiscard]] virtual QDateTime now() const;
    [[nodiscard]] QDate today() const { return now().date(); }

    [[nodiscard]] static const Clock &instance();
    // Also makes the engine's two-digit and missing years follow this clock.
    static void install(std::unique_ptr<Clock> clock);
    static void reset();
};

// A clock that stands still until it is set or advanced.
class FixedClock : public Clock
{
public:
    explicit FixedClock(const QDateTime &now);

    [[nodiscard]] QDateTime now() const override;
    void setNow(const QDateTime &now);
    void advance(qint64 ms);

private:
    QDateTime m_now;
};
