#include "cli/ReportCommand.h"

#include "cli/CommandLine.h"
#include "cli/CommandOptions.h"
#include "cli/ExamsCommand.h"
#include "cli/PrintingCommand.h"
#include "data/DM.h"
#include "platform/engine/Convert.h"
#include "platform/engine/FormatSettings.h"
#include "platform/engine/Table.h"
#include "platform/report/BandedReport.h"
#include "reports/ExamReport.h"

#include <QDateTime>
#include <QTextStream>

namespace {
const QString kCommand = QStringLiteral("report");
} // namespace

ReportCommand::ReportCommand(QTextStream &out, QTextStream &err)
    : m_out(out)
    , m_err(err)
{ }

QString ReportCommand::usage()
{
    return QStringLiteral(
        "Uso: taluvo report --data PASTA --patient NF --exam \"AAAA-MM-DD HH:MM:SS.zzz\" "
        "--pdf FICHEIRO\n"
        "     taluvo report --data PASTA --patient NF --date AAAA-MM-DD --pdf FICHEIRO\n"
        "  Escreve em PDF o relatório de um exame do paciente NF: o exame da chave dada (veja\n"
        "  \"taluvo exams\"), ou o único exame do dia dado. Um ficheiro que já exista só é\n"
        "  substituído quando o novo está completo.\n"
        "Códigos de saída: 0 feito, 1 falha, 2 uso incorrecto.\n");
}

int ReportCommand::run(const QStringList &args)
{
    CommandOptions options({ QStringLiteral("--data"), QStringLiteral("--patient"),
                             QStringLiteral("--exam"), QStringLiteral("--date"),
                             QStringLiteral("--pdf") });
    if (const auto done = options.parseOrExit(
            args, kCommand, usage(),
            { QStringLiteral("--data"), QStringLiteral("--patient"), QStringLiteral("--pdf") },
            m_out, m_err))
        return *done;
    const bool byKey = options.isSet(QStringLiteral("--exam"));
    if (byKey == options.isSet(QStringLiteral("--date")))
        return usageError(m_err, kCommand, QStringLiteral("indique --exam ou --date, um deles"),
                          usage());

    const QString patient = options.value(QStringLiteral("--patient"));
    qint64 nf = 0;
    if (!Convert::parseInteger(patient, &nf))
        return usageError(m_err, kCommand,
                          QStringLiteral("o número de paciente '%1' não é um número inteiro")
                              .arg(patient),
                          usage());
    const QString exam = options.value(QStringLiteral("--exam"));
    const QString dayText = options.value(QStringLiteral("--date"));
    double examSerial = 0;
    QDate day;
    if (byKey && !Convert::parseStorageTimestamp(exam, &examSerial))
        return usageError(m_err, kCommand,
                          QStringLiteral("o exame '%1' não é uma data e hora como "
                                         "\"2024-06-14 09:00:00.000\"")
                              .arg(exam),
                          usage());
    if (!byKey && !(day = QDate::fromString(dayText, Qt::ISODate)).isValid())
        return usageError(m_err, kCommand,
                          QStringLiteral("'%1' não é uma data como 2024-06-14").arg(dayText),
                          usage());

    return PrintingCommand::withDataModule(
        options.value(QStringLiteral("--data")), m_err, [&](TDataModule1 &dm) {
            dm.load();
            if (!dm.TablePac->locate(QStringLiteral("NF"), nf)) {
                m_err << QStringLiteral("Nenhum paciente tem o número %1.\n").arg(nf);
                return int(ExitCode::Failure);
            }
            QString key = exam;
            if (!byKey) {
                const QList<ExamsCommand::Exam> that = ExamsCommand::exams(dm, nf, day);
                const QString shown = Convert::formatUserDate(day, FormatSettings::current());
                if (that.isEmpty()) {
                    m_err << QStringLiteral("O paciente %1 não tem exames em %2.\n")
                                 .arg(nf)
                                 .arg(shown);
                    return int(ExitCode::Failure);
                }
                if (that.size() > 1) {
                    m_err << QStringLiteral("O paciente %1 tem %2 exames em %3; indique um com "
                                            "--exam:\n")
                                 .arg(nf)
                                 .arg(that.size())
                                 .arg(shown);
                    ExamsCommand::print(that, m_err);
                    return int(ExitCode::Usage);
                }
                key = that.first().key;
                if (!Convert::parseStorageTimestamp(key, &examSerial))
                    return int(ExitCode::Failure);
            }
            if (!dm.TableEco->locate(QStringLiteral("CodigoExame"),
                                     Convert::serialToDateTime(examSerial))) {
                m_err << QStringLiteral("O paciente %1 não tem nenhum exame feito em %2.\n")
                             .arg(nf)
                             .arg(key);
                return int(ExitCode::Failure);
            }
            if (dm.TableIMG->isEmpty()) {
                m_err << QStringLiteral("O exame %1 do paciente %2 não tem pontuações dos "
                                        "segmentos, pelo que o relatório não tem página; nada foi "
                                        "escrito.\n")
                             .arg(key)
                             .arg(nf);
                return int(ExitCode::Failure);
            }
            ExamReport report(dm);
            return PrintingCommand::writePdf(*report.QuickRep1, options.value(QStringLiteral("--pdf")),
                                             m_out, m_err);
        });
}
