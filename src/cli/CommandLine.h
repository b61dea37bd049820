#pragma once

#include <QStringList>

// Exit codes shared by the sub-commands.
namespace ExitCode {
constexpr int Ok = 0;
constexpr int Failure = 1;
constexpr int Usage = 2;
} // namespace ExitCode

// Runs the sub-commands that work without a window ("db", "report", "summary"). args are the
// program's arguments without the program name. When they name no sub-command, *handled is set to
// false and nothing happens, so that the application starts; otherwise *handled is true and the
// exit code is returned. Creates a QCoreApplication for the duration of the command if there is
// none yet.
[[nodiscard]] int runCommandLine(const QStringList &args, bool *handled);
