#include "cli/SummaryCommand.h"

#include "cli/CommandLine.h"
#include "cli/CommandOptions.h"
#include "cli/PrintingCommand.h"
#include "data/DM.h"
#include "platform/report/BandedReport.h"
#include "reports/StatisticsPage.h"
#include "reports/SummaryReport.h"

#include <QDate>
#include <QTextStream>

namespace {
const QString kCommand = QStringLiteral("summary");
} // namespace

SummaryCommand::SummaryCommand(QTextStream &out, QTextStream &err)
    : m_out(out)
    , m_err(err)
{ }

QString SummaryCommand::usage()
{
    return QStringLiteral(
        "Uso: taluvo summary --data PASTA --by doctor|health-system [--types]\n"
        "                    --from AAAA-MM-DD --to AAAA-MM-DD --pdf FICHEIRO\n"
        "  Escreve em PDF o mapa dos exames feitos entre as duas datas (ambas incluídas), por\n"
        "  médico (doctor) ou por sistema de saúde (health-system); --types conta-os também por\n"
        "  tipo de relatório. Um ficheiro que já exista só é substituído quando o novo está\n"
        "  completo.\n"
        "Códigos de saída: 0 feito, 1 falha, 2 uso incorrecto.\n");
}

int SummaryCommand::run(const QStringList &args)
{
    CommandOptions options({ QStringLiteral("--data"), QStringLiteral("--by"),
                             QStringLiteral("--from"), QStringLiteral("--to"),
                             QStringLiteral("--pdf") },
                           { QStringLiteral("--types") });
    if (const auto done = options.parseOrExit(
            args, kCommand, usage(),
            { QStringLiteral("--data"), QStringLiteral("--by"), QStringLiteral("--from"),
              QStringLiteral("--to"), QStringLiteral("--pdf") },
            m_out, m_err))
        return *done;
    const QString by = options.value(QStringLiteral("--by"));
    SummaryReport::Kind kind;
    if (by == QLatin1String("doctor")) {
        kind = SummaryReport::Kind::ByDoctor;
    } else if (by == QLatin1String("health-system")) {
        kind = SummaryReport::Kind::ByHealthSystem;
    } else {
        return usageError(m_err, kCommand,
                          QStringLiteral("--by aceita \"doctor\" ou \"health-system\", não '%1'")
                              .arg(by),
                          usage());
    }
    const QString from = options.value(QStringLiteral("--from"));
    const QString to = options.value(QStringLiteral("--to"));
    const QDate first = QDate::fromString(from, Qt::ISODate);
    const QDate last = QDate::fromString(to, Qt::ISODate);
    for (const auto &[text, date] : { std::pair { from, first }, std::pair { to, last } }) {
        if (!date.isValid())
            return usageError(m_err, kCommand,
                              QStringLiteral("'%1' não é uma data como 2024-06-14").arg(text),
                              usage());
    }
    if (first > last)
        return usageError(m_err, kCommand,
                          QStringLiteral("o intervalo está invertido: --from %1 é posterior a "
                                         "--to %2")
                              .arg(from, to),
                          usage());
    const bool types = options.isSet(QStringLiteral("--types"));

    return PrintingCommand::withDataModule(
        options.value(QStringLiteral("--data")), m_err, [&](TDataModule1 &dm) {
            dm.load();
            const auto summary = kind == SummaryReport::Kind::ByDoctor
                ? StatisticsPage::Summary::ByDoctor
                : StatisticsPage::Summary::ByHealthSystem;
            // An empty result has already been told, in the page's own words.
            if (!StatisticsPage::openSummary(summary, types, first, last))
                return int(ExitCode::Failure);
            SummaryReport::Options reportOptions;
            reportOptions.types = [types] { return types; };
            reportOptions.from = [first] { return first; };
            reportOptions.to = [last] { return last; };
            SummaryReport report(kind, std::move(reportOptions));
            report.setDataset(dm.QueryStat);
            return PrintingCommand::writePdf(*report.QuickRep, options.value(QStringLiteral("--pdf")),
                                             m_out, m_err);
        });
}
