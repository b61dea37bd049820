#pragma once

#include <QString>

#include <functional>

// Every entry from Qt into our code (slot, event override) that can reach the data layer runs
// through guard(), so that no exception crosses a Qt frame. A DatabaseError, a standard exception
// or an unknown exception goes to the reporter (the application's error box once the dialogs
// service is installed as reporter); the silent abort is dropped. Returns true when fn completed.
bool guard(const std::function<void()> &fn);

// Receives the message of an error that guard() caught. An empty function restores the default,
// which writes the message to stderr.
void setGuardReporter(std::function<void(const QString &)> reporter);
