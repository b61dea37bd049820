#include "cli/CopyCommand.h"

#include "cli/CommandLine.h"
#include "cli/NewDatabase.h"
#include "platform/engine/Database.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/PgConnection.h"
#include "platform/engine/SqliteStore.h"

#include <QFileInfo>
#include <QTextStream>

namespace {

const QString kCommand = QStringLiteral("db copy");
const QString kPrefix = QStringLiteral("taluvo db copy: ");

// A libpq URI names a database on a server; anything else is a folder.
bool isServerLocation(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql:"), Qt::CaseInsensitive)
        || location.startsWith(QLatin1String("postgres:"), Qt::CaseInsensitive);
}

// The start of a checksum, enough to tell two apart on a terminal.
QString shortSum(const QByteArray &sum)
{
    return QString::fromLatin1(sum.left(8).toHex());
}

} // namespace

CopyCommand::CopyCommand(QTextStream &out, QTextStream &err)
    : m_out(out)
    , m_err(err)
{ }

QString CopyCommand::usage()
{
    return QStringLiteral(
        "Uso: taluvo db copy ORIGEM DESTINO\n"
        "  Copia as sete tabelas da base de dados ORIGEM, todas as colunas e registos, para\n"
        "  DESTINO, numa só transacção. Cada uma é uma pasta ou um URI postgresql://... de uma\n"
        "  base de dados num servidor. DESTINO é uma pasta nova ou vazia (onde é criada a base\n"
        "  de dados) ou uma base de dados sem nenhuma das sete tabelas.\n"
        "  No fim compara, tabela a tabela, o número de registos e a soma de controlo (SHA-256)\n"
        "  da origem e do destino; se algo diferir, nada fica no destino.\n"
        "  A origem tem de ser da versão de dados deste programa (abra-a antes uma vez com ele).\n"
        "Códigos de saída: 0 cópia igual à origem, 1 diferença ou falha (nada escrito), 2 uso "
        "incorrecto.\n");
}

int CopyCommand::run(const QStringList &args)
{
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        m_out << usage();
        return ExitCode::Ok;
    }
    for (const QString &arg : args) {
        if (arg.startsWith(QLatin1String("--")))
            return usageError(m_err, kCommand, QStringLiteral("opção desconhecida '%1'").arg(arg),
                              usage());
    }
    if (args.size() < 2)
        return usageError(m_err, kCommand,
                          args.isEmpty() ? QStringLiteral("faltam a origem e o destino")
                                         : QStringLiteral("falta o destino"),
                          usage());
    if (args.size() > 2)
        return usageError(m_err, kCommand,
                          QStringLiteral("argumento inesperado '%1'").arg(args.at(2)), usage());
    return copy(args.at(0), args.at(1));
}

int CopyCommand::copy(const QString &source, const QString &target)
{
    const bool fromServer = isServerLocation(source);
    const bool toServer = isServerLocation(target);
    if (!fromServer && (!QFileInfo(source).isDir() || !SqliteStore::exists(source))) {
        m_err << kPrefix << "não há base de dados em '" << source << "'\n";
        return ExitCode::Failure;
    }
    if (!toServer && QFileInfo::exists(target) && !QFileInfo(target).isDir()) {
        m_err << kPrefix << "'" << target << "' não é uma pasta\n";
        return ExitCode::Failure;
    }

    QString lastTable;
    const DatabaseCopy::Progress progress = [&](const QString &table, qint64 done, qint64 total) {
        if (table != lastTable) {
            lastTable = table;
            m_err << "A copiar " << table << " (" << total << " registos)\n";
        } else {
            m_err << "  " << table << ": " << done << " de " << total << '\n';
        }
        m_err.flush();
    };

    DatabaseCopy::Result result;
    bool compared = false;
    QString shownTarget = target;
    const auto copyInto = [&](Connection &to) {
        Database from(QStringLiteral("COPY-SOURCE"));
        if (fromServer)
            from.openLocation(source);
        else
            from.openDirectory(source);
        result = DatabaseCopy::run(from.connection(), to, progress, m_beforeComparison);
        compared = true;
        if (!result.committed)
            databaseError(
                QStringLiteral("a cópia não é igual à origem; nada foi escrito em '%1'")
                    .arg(shownTarget));
    };

    QString failure;
    try {
        const QFileInfo file(SqliteStore::filePath(target));
        if (toServer) {
            // The database exists on the server and holds none of the tables; the copy makes
            // them in its transaction.
            PgConnection to(target);
            shownTarget = to.location();
            copyInto(to);
        } else if (NewDatabase::present(target) && !(file.isFile() && file.size() == 0)) {
            // An empty file alone is a creation that never started: NewDatabase replaces it.
            Database to(QStringLiteral("COPY-TARGET"));
            to.openDirectory(target);
            copyInto(to.connection());
        } else {
            // A failure sets the message, and the database made for the copy is gone again.
            const NewDatabase::Outcome outcome
                = NewDatabase::create(
                    target, [&](Connection &c) { copyInto(c); }, &failure, true, false);
            Q_ASSERT(outcome == NewDatabase::Outcome::Done || !failure.isNull());
        }
    } catch (const DatabaseError &e) {
        failure = e.message();
    }
    if (compared)
        printComparison(result);
    if (!failure.isNull()) {
        m_err << kPrefix << failure << '\n';
        return ExitCode::Failure;
    }
    m_out << "Cópia verificada: " << result.rows() << " registos escritos em " << shownTarget << ".\n";
    return ExitCode::Ok;
}

void CopyCommand::printComparison(const DatabaseCopy::Result &result)
{
    const auto row = [this](const QString &table, const QString &a, const QString &b,
                            const QString &c, const QString &d, const QString &verdict) {
        m_out << table.leftJustified(16) << a.rightJustified(10) << b.rightJustified(10) << "  "
              << (c.leftJustified(18) + d.leftJustified(18) + verdict).trimmed() << '\n';
    };
    row(QStringLiteral("Tabela"), QStringLiteral("Origem"), QStringLiteral("Destino"),
        QStringLiteral("SHA-256 origem"), QStringLiteral("SHA-256 destino"), QString());
    QStringList extras;
    for (const DatabaseCopy::TableResult &t : result.tables) {
        row(t.table, QString::number(t.sourceRows), QString::number(t.targetRows),
            shortSum(t.sourceSum), shortSum(t.targetSum),
            t.equal() ? QStringLiteral("igual") : QStringLiteral("DIFERENTE"));
        for (const QString &c : t.extraColumns)
            extras.append(t.table + QLatin1Char('.') + c);
    }
    if (!extras.isEmpty())
        m_out << "Colunas de outro programa, copiadas como estão: "
              << extras.join(QLatin1String(", ")) << '\n';
}
