#include "cli/PrintingCommand.h"

#include "cli/CommandLine.h"
#include "data/DM.h"
#include "platform/engine/Database.h"
#include "platform/engine/FormatSettings.h"
#include "platform/report/BandedReport.h"
#include "platform/widgets/DialogRecorder.h"
#include "platform/widgets/Dialogs.h"

#include <QFile>
#include <QLocale>
#include <QTextStream>

#include <exception>
#include <memory>

namespace {
// What the windows would have shown in message boxes goes to the error stream instead.
class ConsoleDialogs : public DialogRecorder
{
public:
    explicit ConsoleDialogs(QTextStream &err)
        : m_err(err)
    { }
    void message(const QString &text) override { m_err << text << '\n'; }
    void applicationError(const QString &text) override
    {
        m_err << Dialogs::applicationErrorText(text) << '\n';
    }

private:
    QTextStream &m_err;
};
} // namespace

int PrintingCommand::withDataModule(const QString &dataDir, QTextStream &err,
                                    const std::function<int(TDataModule1 &)> &work)
{
    Database::setCommandLineDirectory(dataDir);
    Dialogs::install(std::make_unique<ConsoleDialogs>(err));
    // The interface is Portuguese: a machine with no locale set shows Portuguese dates and numbers.
    FormatSettings::setCurrent(
        FormatSettings::fromProcessLocale(QLocale(QLocale::Portuguese, QLocale::Portugal)));
    int code = ExitCode::Failure;
    try {
        TDataModule1 dm;
        DataModule1 = &dm;
        code = work(dm);
        DataModule1 = nullptr;
    } catch (const std::exception &e) {
        DataModule1 = nullptr;
        err << QString::fromUtf8(e.what()) << '\n';
        code = ExitCode::Failure;
    }
    Dialogs::install(nullptr);
    return code;
}

int PrintingCommand::writePdf(BandedReport &report, const QString &pdf, QTextStream &out,
                              QTextStream &err)
{
    QString error;
    if (report.exportPdf(pdf, &error)) {
        out << QStringLiteral("Wrote %1\n").arg(pdf);
        return ExitCode::Ok;
    }
    QFile::remove(pdf);
    err << QStringLiteral("Cannot write %1: %2\n").arg(pdf, error);
    return ExitCode::Failure;
}
