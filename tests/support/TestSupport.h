#pragma once

#include "platform/engine/FormatSettings.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

class DialogRecorder;
class FixedClock;

// The process state every test starts from, set up in init() and undone in cleanup():
// Portuguese (Portugal) formats and locale, a fixed clock, a dialog recorder that also receives
// what guard() catches, and the application title. Not copyable; one at a time.
class TestEnvironment
{
public:
    explicit TestEnvironment(const QDateTime &now = defaultNow());
    ~TestEnvironment();
    TestEnvironment(const TestEnvironment &) = delete;
    TestEnvironment &operator=(const TestEnvironment &) = delete;

    // 2024-06-15 10:30:00.000, local time.
    [[nodiscard]] static QDateTime defaultNow();
    [[nodiscard]] static QString applicationTitle() { return QStringLiteral("Taluvo - Merindal"); }

    [[nodiscard]] DialogRecorder &recorder() const { return *m_recorder; }
    [[nodiscard]] FixedClock &clock() const { return *m_clock; }

private:
    FormatSettings m_previousSettings;
    QLocale m_previousLocale;
    DialogRecorder *m_recorder = nullptr; // owned by the dialogs service
    FixedClock *m_clock = nullptr; // owned by Clock
};
