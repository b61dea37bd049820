#include "cli/DbCommand.h"

#include "cli/BackupCommand.h"
#include "cli/CommandLine.h"
#include "cli/CopyCommand.h"
#include "cli/ImportParadoxCommand.h"
#include "cli/NewDatabase.h"
#include "data/DatabaseCheck.h"
#include "data/DemoData.h"
#include "data/Schema.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/PgConnection.h"
#include "platform/engine/SqliteStore.h"
#include "platform/engine/StoreLocation.h"
#include "platform/widgets/Clock.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <exception>

namespace {

constexpr int MaxPatients = 10'000'000;
constexpr int MaxExams = 50'000'000;
// Smaller demos finish before progress lines would help anyone.
constexpr int ProgressThreshold = 10'000;

bool parseCount(const QString &text, int max, int *value)
{
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok);
    if (!ok || v < 0 || v > max)
        return false;
    *value = int(v);
    return true;
}

} // namespace

DbCommand::DbCommand(QTextStream &out, QTextStream &err)
    : m_out(out)
    , m_err(err)
{ }

QString DbCommand::usage()
{
    return QStringLiteral("Uso: taluvo db init PASTA\n"
                          "     taluvo db demo PASTA [--patients N] [--exams M] [--seed S]\n"
                          "     taluvo db check PASTA\n"
                          "     taluvo db import-paradox ORIGEM DESTINO [--dry-run]\n"
                          "     taluvo db backup [--data PASTA] [--to FICHEIRO] [--list]\n"
                          "     taluvo db restore FICHEIRO PASTA [--replace]\n"
                          "     taluvo db copy ORIGEM DESTINO\n"
                          "  init   cria PASTA/taluvo.sqlite com as sete tabelas vazias\n"
                          "  demo   cria-a com uma clínica inventada (por omissão: 500 pacientes, "
                          "1500 exames, semente 1)\n"
                          "  check  procura danos e registos que o programa não teria escrito, "
                          "sem alterar nada\n"
                          "  import-paradox  traz as tabelas Paradox da clínica (ver "
                          "taluvo db import-paradox --help)\n"
                          "  backup   cópia verificada da base de dados (ver taluvo db backup "
                          "--help)\n"
                          "  restore  põe uma cópia no lugar, guardando a que lá estava\n"
                          "  copy     copia as sete tabelas para outra base de dados e compara-as "
                          "(ver taluvo db copy --help)\n"
                          "Em vez de uma PASTA pode vir o URI de um servidor PostgreSQL "
                          "(postgresql://servidor/taluvo).\n"
                          "Nem init nem demo tocam numa base de dados que já exista (init só "
                          "substitui um ficheiro vazio).\n"
                          "Códigos de saída: 0 feito (check: nada encontrado), 1 falha (check: "
                          "algo encontrado), 2 uso incorrecto.\n");
}

int DbCommand::usageError(const QString &problem)
{
    const int code = ::usageError(m_err, QStringLiteral("db"), problem, usage());
    m_err.flush();
    return code;
}

int DbCommand::run(const QStringList &args)
{
    const QString sub = args.value(0);
    if (sub == QLatin1String("help")
        || (sub != QLatin1String("import-paradox") && sub != QLatin1String("backup")
            && sub != QLatin1String("restore") && sub != QLatin1String("copy")
            && (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))))) {
        m_out << usage();
        return ExitCode::Ok;
    }
    if (sub.isEmpty())
        return usageError(QStringLiteral("falta o sub-comando"));
    if (sub == QLatin1String("import-paradox"))
        return ImportParadoxCommand(m_out, m_err).run(args.mid(1));
    if (sub == QLatin1String("backup"))
        return BackupCommand(m_out, m_err).backup(args.mid(1));
    if (sub == QLatin1String("restore"))
        return BackupCommand(m_out, m_err).restore(args.mid(1));
    if (sub == QLatin1String("copy"))
        return CopyCommand(m_out, m_err).run(args.mid(1));
    const bool demo = sub == QLatin1String("demo");
    if (sub == QLatin1String("check")) {
        if (args.size() != 2 || args.at(1).startsWith(QLatin1String("--")))
            return usageError(args.size() < 2 ? QStringLiteral("falta a pasta")
                                              : QStringLiteral("argumento inesperado '%1'")
                                                    .arg(args.value(args.size() < 2 ? 1 : 2,
                                                                    args.value(1))));
        return check(args.at(1));
    }
    if (!demo && sub != QLatin1String("init"))
        return usageError(QStringLiteral("sub-comando desconhecido '%1'").arg(sub));

    QString dir;
    DemoOptions options;
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (!arg.startsWith(QLatin1String("--"))) {
            if (!dir.isEmpty())
                return usageError(QStringLiteral("argumento inesperado '%1'").arg(arg));
            dir = arg;
            continue;
        }
        QString name = arg;
        QString value;
        const int eq = arg.indexOf(QLatin1Char('='));
        if (eq >= 0) {
            name = arg.left(eq);
            value = arg.mid(eq + 1);
        }
        const bool known = demo
            && (name == QLatin1String("--patients") || name == QLatin1String("--exams")
                || name == QLatin1String("--seed"));
        if (!known)
            return usageError(QStringLiteral("opção desconhecida '%1'").arg(name));
        if (eq < 0) {
            if (i + 1 >= args.size())
                return usageError(QStringLiteral("%1 precisa de um valor").arg(name));
            value = args.at(++i);
        }
        bool ok = false;
        if (name == QLatin1String("--patients")) {
            ok = parseCount(value, MaxPatients, &options.patients);
        } else if (name == QLatin1String("--exams")) {
            ok = parseCount(value, MaxExams, &options.exams);
        } else {
            options.seed = value.toULongLong(&ok);
        }
        if (!ok)
            return usageError(QStringLiteral("%1: '%2' não é um número válido").arg(name, value));
    }
    if (dir.isEmpty())
        return usageError(QStringLiteral("falta a pasta"));
    if (demo && options.patients == 0 && options.exams > 0)
        return usageError(QStringLiteral("--exams precisa de pelo menos um paciente"));

    if (!demo)
        return create(dir, nullptr);
    options.today = Clock::instance().today();
    return create(dir, &options);
}

int DbCommand::create(const QString &dir, const DemoOptions *demo)
{
    QString message;
    const auto fill = [this, demo](Connection &conn) {
        if (!demo)
            return;
        int quarter = 1;
        DemoData::generate(conn, *demo, [this, &quarter](int done, int total) {
            if (total < ProgressThreshold)
                return;
            for (; quarter <= 4 && qint64(done) * 4 >= qint64(quarter) * total; ++quarter) {
                m_err << "A gerar os dados de demonstração: " << quarter * 25 << "%\n";
                m_err.flush();
            }
        });
    };
    switch (NewDatabase::create(dir, fill, &message, demo == nullptr)) {
    case NewDatabase::Outcome::Done: break;
    case NewDatabase::Outcome::Refused:
    case NewDatabase::Outcome::Unusable:
        m_err << "taluvo db: " << message << '\n';
        return ExitCode::Failure;
    case NewDatabase::Outcome::Failed:
        m_err << "taluvo db: não foi possível criar a base de dados em '"
              << StoreLocation::shown(dir) << "': " << message
              << '\n';
        return ExitCode::Failure;
    }
    if (demo)
        m_out << demo->patients << " pacientes e " << demo->exams << " exames escritos em "
              << StoreLocation::shown(dir) << '\n';
    else
        m_out << "Base de dados vazia criada em " << StoreLocation::shown(dir) << '\n';
    return ExitCode::Ok;
}

int DbCommand::check(const QString &dir)
{
    const bool server = StoreLocation::isServer(dir);
    const QString path = server ? StoreLocation::shown(dir) : SqliteStore::filePath(dir);
    if (!server && !QFileInfo(path).isFile()) {
        m_err << "taluvo db check: não há base de dados em '" << dir << "'\n";
        return ExitCode::Failure;
    }
    QList<DatabaseCheck::Finding> findings;
    try {
        if (server) {
            PgConnection conn(dir);
            if (!conn.tables().contains(QStringLiteral("eco"))) {
                m_err << "taluvo db check: não há base de dados em '" << path << "'\n";
                return ExitCode::Failure;
            }
            conn.exec(QStringLiteral("SET default_transaction_read_only = on"));
            findings = DatabaseCheck::runServer(conn);
        } else {
            findings = DatabaseCheck::run(dir);
        }
    } catch (const DatabaseError &e) {
        m_err << "taluvo db check: " << e.message() << '\n';
        return ExitCode::Failure;
    }
    m_out << "Verificação de " << path << '\n';
    qint64 damage = 0;
    qint64 broken = 0;
    bool damageHeading = false;
    bool rulesHeading = false;
    for (const DatabaseCheck::Finding &f : findings) {
        if (f.damage && !damageHeading) {
            m_out << "Danos:\n";
            damageHeading = true;
        } else if (!f.damage && !rulesHeading) {
            m_out << "Registos que o programa não teria escrito:\n";
            rulesHeading = true;
        }
        m_out << "  " << f.what << ": " << f.count;
        if (!f.firstKeys.isEmpty())
            m_out << " (primeiros: " << f.firstKeys.join(QLatin1String("; ")) << ')';
        if (f.count > 0 && !f.note.isEmpty())
            m_out << "; " << f.note;
        m_out << '\n';
        (f.damage ? damage : broken) += f.count;
    }
    if (damage == 0 && broken == 0) {
        m_out << "Nada encontrado.\n";
        return ExitCode::Ok;
    }
    m_out << "Encontrados: " << damage << " danos, " << broken << " registos fora das regras.\n";
    return ExitCode::Failure;
}
