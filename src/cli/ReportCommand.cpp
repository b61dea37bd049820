#include "cli/ReportCommand.h"

#include "cli/CommandLine.h"
#include "cli/PrintingCommand.h"
#include "data/DM.h"
#include "platform/engine/Table.h"
#include "platform/report/BandedReport.h"
#include "reports/ExamReport.h"

#include <QDateTime>
#include <QTextStream>

ReportCommand::ReportCommand(QTextStream &out, QTextStream &err)
    : m_out(out)
    , m_err(err)
{ }

QString ReportCommand::usage()
{
    return QStringLiteral("Usage: taluvo report --data DIR --patient NF "
                          "--exam \"YYYY-MM-DD HH:MM:SS.zzz\" --pdf FILE\n");
}

int ReportCommand::run(const QStringList &args)
{
    QString data, patient, exam, pdf;
    for (int i = 0; i < args.size(); ++i) {
        const QString &option = args.at(i);
        QString *target = option == QLatin1String("--data") ? &data
            : option == QLatin1String("--patient")          ? &patient
            : option == QLatin1String("--exam")             ? &exam
            : option == QLatin1String("--pdf")              ? &pdf
                                                            : nullptr;
        if (!target || i + 1 >= args.size()) {
            m_err << usage();
            return ExitCode::Usage;
        }
        *target = args.at(++i);
    }
    if (data.isEmpty() || patient.isEmpty() || exam.isEmpty() || pdf.isEmpty()) {
        m_err << usage();
        return ExitCode::Usage;
    }
    bool numeric = false;
    const qlonglong nf = patient.toLongLong(&numeric);
    const QDateTime examTime
        = QDateTime::fromString(exam, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    if (!numeric) {
        m_err << QStringLiteral("The patient number '%1' is not a whole number.\n").arg(patient);
        return ExitCode::Usage;
    }
    if (!examTime.isValid()) {
        m_err << QStringLiteral("The exam '%1' is not a date and time like "
                                "\"2024-06-14 09:00:00.000\".\n")
                     .arg(exam);
        return ExitCode::Usage;
    }

    return PrintingCommand::withDataModule(data, m_err, [&](TDataModule1 &dm) {
        dm.load();
        if (!dm.TablePac->locate(QStringLiteral("NF"), nf)) {
            m_err << QStringLiteral("No patient has the number %1.\n").arg(nf);
            return int(ExitCode::Failure);
        }
        if (!dm.TableEco->locate(QStringLiteral("CodigoExame"), examTime)) {
            m_err << QStringLiteral("Patient %1 has no exam made at %2.\n").arg(nf).arg(exam);
            return int(ExitCode::Failure);
        }
        if (dm.TableIMG->isEmpty()) {
            m_err << QStringLiteral("The exam %1 of patient %2 has no segment scores, so its "
                                    "report has no page; nothing was written.\n")
                         .arg(exam)
                         .arg(nf);
            return int(ExitCode::Failure);
        }
        ExamReport report(dm);
        return PrintingCommand::writePdf(*report.QuickRep1, pdf, m_out, m_err);
    });
}
