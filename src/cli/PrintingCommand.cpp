#include "cli/PrintingCommand.h"

#include "cli/CommandLine.h"
#include "data/DM.h"
#include "platform/engine/Database.h"
#include "platform/engine/FormatSettings.h"
#include "platform/report/BandedReport.h"
#include "platform/widgets/DialogRecorder.h"
#include "platform/widgets/Dialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryFile>
#include <QTextStream>

#include <cerrno>
#include <cstdio>
#include <cstring>
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
    const auto refuse = [&](const QString &why) {
        err << QStringLiteral("Não foi possível escrever %1: %2\n").arg(pdf, why);
        return int(ExitCode::Failure);
    };
    const QFileInfo target(pdf);
    // A file the user protected stays as it is, though the folder would let it be replaced (and
    // root could write it anyway).
    const bool writeProtected
        = !target.isWritable() || !(target.permissions() & QFileDevice::WriteOwner);
    if (target.exists() && (!target.isFile() || writeProtected))
        return refuse(target.isFile() ? QStringLiteral("o ficheiro não pode ser alterado")
                                      : QStringLiteral("não é um ficheiro"));
    if (!target.absoluteDir().exists())
        return refuse(QStringLiteral("a pasta %1 não existe").arg(target.absolutePath()));
    // Written beside the target and put in its place only when complete: a failure leaves
    // whatever was there.
    QTemporaryFile partial(target.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX")
                                                             .arg(target.fileName())));
    if (!partial.open())
        return refuse(partial.errorString());
    partial.close();
    QString error;
    if (!report.exportPdf(partial.fileName(), &error))
        return refuse(error);
    if (::rename(QFile::encodeName(partial.fileName()).constData(),
                 QFile::encodeName(target.absoluteFilePath()).constData())
        != 0)
        return refuse(QString::fromLocal8Bit(std::strerror(errno)));
    partial.setAutoRemove(false);
    out << QStringLiteral("Escrito %1\n").arg(pdf);
    return ExitCode::Ok;
}
