#include "cli/SummaryCommand.h"

#include "cli/CommandLine.h"
#include "cli/PrintingCommand.h"
#include "data/DM.h"
#include "platform/report/BandedReport.h"
#include "reports/StatisticsPage.h"
#include "reports/SummaryReport.h"

#include <QDate>
#include <QTextStream>

SummaryCommand::SummaryCommand(QTextStream &out, QTextStream &err)
    : m_out(out)
    , m_err(err)
{ }

QString SummaryCommand::usage()
{
    return QStringLiteral("Usage: taluvo summary --data DIR --by doctor|health-system [--types] "
                          "--from YYYY-MM-DD --to YYYY-MM-DD --pdf FILE\n");
}

int SummaryCommand::run(const QStringList &args)
{
    QString data, by, from, to, pdf;
    bool types = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &option = args.at(i);
        if (option == QLatin1String("--types")) {
            types = true;
            continue;
        }
        QString *target = option == QLatin1String("--data") ? &data
            : option == QLatin1String("--by")               ? &by
            : option == QLatin1String("--from")             ? &from
            : option == QLatin1String("--to")               ? &to
            : option == QLatin1String("--pdf")              ? &pdf
                                                            : nullptr;
        if (!target || i + 1 >= args.size()) {
            m_err << usage();
            return ExitCode::Usage;
        }
        *target = args.at(++i);
    }
    if (data.isEmpty() || by.isEmpty() || from.isEmpty() || to.isEmpty() || pdf.isEmpty()) {
        m_err << usage();
        return ExitCode::Usage;
    }
    SummaryReport::Kind kind;
    if (by == QLatin1String("doctor")) {
        kind = SummaryReport::Kind::ByDoctor;
    } else if (by == QLatin1String("health-system")) {
        kind = SummaryReport::Kind::ByHealthSystem;
    } else {
        m_err << QStringLiteral("--by takes \"doctor\" or \"health-system\", not '%1'.\n").arg(by);
        return ExitCode::Usage;
    }
    const QDate first = QDate::fromString(from, Qt::ISODate);
    const QDate last = QDate::fromString(to, Qt::ISODate);
    for (const auto &[text, date] : { std::pair { from, first }, std::pair { to, last } }) {
        if (!date.isValid()) {
            m_err << QStringLiteral("'%1' is not a date like 2024-06-14.\n").arg(text);
            return ExitCode::Usage;
        }
    }

    return PrintingCommand::withDataModule(data, m_err, [&](TDataModule1 &dm) {
        dm.load();
        const auto summary = kind == SummaryReport::Kind::ByDoctor
            ? StatisticsPage::Summary::ByDoctor
            : StatisticsPage::Summary::ByHealthSystem;
        // An empty result has already been told, in the page's own words.
        if (!StatisticsPage::openSummary(summary, types, first, last))
            return int(ExitCode::Failure);
        SummaryReport::Options options;
        options.types = [types] { return types; };
        options.from = [first] { return first; };
        options.to = [last] { return last; };
        SummaryReport report(kind, std::move(options));
        report.setDataset(dm.QueryStat);
        return PrintingCommand::writePdf(*report.QuickRep, pdf, m_out, m_err);
    });
}
