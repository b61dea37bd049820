#pragma once

#include <QString>

#include <functional>

class BandedReport;
class QTextStream;
class TDataModule1;

// What the printing sub-commands share: the practice's data module loaded with message boxes
// going to the error stream, and a report written as PDF that replaces an existing file only when
// it is complete.
namespace PrintingCommand {
// Loads the data module of the practice in dataDir and runs work on it; an exception is told on
// err and is a failure. work returns the exit code.
[[nodiscard]] int withDataModule(const QString &dataDir, QTextStream &err,
                                 const std::function<int(TDataModule1 &)> &work);

// Ok, or Failure with the reason on err; on failure whatever was at pdf stays as it was, and a
// file the user cannot write is never replaced.
[[nodiscard]] int writePdf(BandedReport &report, const QString &pdf, QTextStream &out,
                           QTextStream &err);
} // namespace PrintingCommand
