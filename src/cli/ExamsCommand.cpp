#include "cli/ExamsCommand.h"

#include "cli/CommandLine.h"
#include "cli/CommandOptions.h"
#include "cli/PrintingCommand.h"
#include "data/DM.h"
#include "platform/engine/Convert.h"
#include "platform/engine/FormatSettings.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"

#include <QTextStream>

ExamsCommand::ExamsCommand(QTextStream &out, QTextStream &err)
    : m_out(out)
    , m_err(err)
{ }

QString ExamsCommand::usage()
{
    return QStringLiteral(
        "Uso: taluvo exams --data PASTA --patient NF\n"
        "  Lista os exames do paciente NF, um por linha: a chave que \"taluvo report --exam\"\n"
        "  aceita, a data do exame e o médico.\n"
        "Códigos de saída: 0 feito, 1 falha, 2 uso incorrecto.\n");
}

QList<ExamsCommand::Exam> ExamsCommand::exams(TDataModule1 &dm, qint64 nf, QDate day)
{
    // The doctor may have left the practice since: the name comes from the whole table, not from
    // the window's list of active doctors.
    Query &q = *dm.Query1;
    q.close();
    q.setSql(QStringLiteral("select e.CodigoExame, e.DataExame, m.NOME from eco e left join medico m "
                            "on m.CODIGO = e.Executor where e.CodigoPaciente = :nf "
                            "order by e.CodigoExame"));
    q.clearParams();
    q.addParam().setAsInteger(nf);
    q.open();
    QList<Exam> list;
    for (q.first(); !q.eof(); q.next()) {
        Exam exam;
        exam.key = Convert::serialToStorage(q.field(0)->value().toDouble());
        exam.date = q.field(1)->asDate();
        exam.doctor = q.field(2)->asString();
        if (!day.isValid() || exam.date == day)
            list.append(exam);
    }
    q.close();
    return list;
}

void ExamsCommand::print(const QList<Exam> &exams, QTextStream &out)
{
    for (const Exam &e : exams)
        out << e.key << "  " << Convert::formatUserDate(e.date, FormatSettings::current()) << "  "
            << e.doctor << '\n';
}

int ExamsCommand::run(const QStringList &args)
{
    const QStringList names { QStringLiteral("--data"), QStringLiteral("--patient") };
    CommandOptions options(names);
    if (const auto done
        = options.parseOrExit(args, QStringLiteral("exams"), usage(), names, m_out, m_err))
        return *done;
    qint64 nf = 0;
    if (!Convert::parseInteger(options.value(QStringLiteral("--patient")), &nf))
        return usageError(m_err, QStringLiteral("exams"),
                          QStringLiteral("o número de paciente '%1' não é um número inteiro")
                              .arg(options.value(QStringLiteral("--patient"))),
                          usage());

    return PrintingCommand::withDataModule(
        options.value(QStringLiteral("--data")), m_err, [&](TDataModule1 &dm) {
            dm.load();
            if (!dm.TablePac->locate(QStringLiteral("NF"), nf)) {
                m_err << QStringLiteral("Nenhum paciente tem o número %1.\n").arg(nf);
                return int(ExitCode::Failure);
            }
            const QList<Exam> list = exams(dm, nf);
            if (list.isEmpty())
                m_out << QStringLiteral("O paciente %1 não tem exames.\n").arg(nf);
            print(list, m_out);
            return int(ExitCode::Ok);
        });
}
