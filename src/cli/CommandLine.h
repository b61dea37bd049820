#pragma once

#include <QStringList>

// Exit codes shared by the sub-commands.
namespace ExitCode {
constexpr int Ok = 0;
constexpr int Failure = 1;
constexpr int Usage = 2;
} // namespace ExitCode

class QTextStream;

// Runs the sub-commands that work without a window ("db", "exams", "report", "summary"). args are
// the program's arguments without the program name. When they name no sub-command, *handled is
// set to false and nothing happens, so that the application starts; otherwise *handled is true and
// the exit code is returned. Creates a QCoreApplication for the duration of the command if there
// is none yet. Output goes to out and err, standard output and error unless given.
[[nodiscard]] int runCommandLine(const QStringList &args, bool *handled);
[[nodiscard]] int runCommandLine(const QStringList &args, bool *handled, QTextStream &out,
                                 QTextStream &err);

// "taluvo COMMAND: problem." and the command's usage on err; the usage exit code.
int usageError(QTextStream &err, const QString &command, const QString &problem,
               const QString &usage);
