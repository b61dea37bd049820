#include "cli/CommandOptions.h"

#include "cli/CommandLine.h"

#include <QTextStream>

CommandOptions::CommandOptions(QStringList valueOptions, QStringList flags)
    : m_valueOptions(std::move(valueOptions))
    , m_flags(std::move(flags))
{ }

bool CommandOptions::parse(const QStringList &args, QString *problem)
{
    m_values.clear();
    m_flagsSet.clear();
    m_help = args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"));
    if (m_help)
        return true;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (!arg.startsWith(QLatin1String("--"))) {
            *problem = QStringLiteral("argumento inesperado '%1'").arg(arg);
            return false;
        }
        const int eq = arg.indexOf(QLatin1Char('='));
        const QString name = eq < 0 ? arg : arg.left(eq);
        if (m_values.contains(name) || m_flagsSet.contains(name)) {
            *problem = QStringLiteral("%1 foi indicada mais de uma vez").arg(name);
            return false;
        }
        if (m_flags.contains(name) && eq < 0) {
            m_flagsSet.insert(name);
        } else if (m_valueOptions.contains(name)) {
            if (eq >= 0) {
                m_values.insert(name, arg.mid(eq + 1));
            } else if (i + 1 < args.size()) {
                m_values.insert(name, args.at(++i));
            } else {
                *problem = QStringLiteral("%1 precisa de um valor").arg(name);
                return false;
            }
        } else {
            *problem = QStringLiteral("opção desconhecida '%1'").arg(name);
            return false;
        }
    }
    return true;
}

bool CommandOptions::isSet(const QString &name) const
{
    return m_values.contains(name) || m_flagsSet.contains(name);
}

QString CommandOptions::firstMissing(const QStringList &names) const
{
    for (const QString &name : names) {
        if (!isSet(name))
            return name;
    }
    return QString();
}

std::optional<int> CommandOptions::parseOrExit(const QStringList &args, const QString &command,
                                               const QString &usage, const QStringList &required,
                                               QTextStream &out, QTextStream &err)
{
    QString problem;
    if (!parse(args, &problem))
        return usageError(err, command, problem, usage);
    if (m_help) {
        out << usage;
        return ExitCode::Ok;
    }
    const QString missing = firstMissing(required);
    if (!missing.isEmpty())
        return usageError(err, command, QStringLiteral("falta a opção %1").arg(missing), usage);
    return std::nullopt;
}
