#include "cli/BackupCommand.h"

#include "cli/CommandLine.h"
#include "cli/CommandOptions.h"
#include "data/Backup.h"
#include "data/ServerBackup.h"
#include "platform/engine/Database.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/StoreLocation.h"
#include "platform/widgets/Clock.h"

#include <QDir>
#include <QLocale>
#include <QTextStream>

namespace {

QString sizeText(qint64 bytes)
{
    return QStringLiteral("%1 MB").arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
}

} // namespace

BackupCommand::BackupCommand(QTextStream &out, QTextStream &err)
    : m_out(out)
    , m_err(err)
{ }

QString BackupCommand::backupUsage()
{
    return QStringLiteral(
        "Uso: taluvo db backup [--data PASTA] [--to FICHEIRO]\n"
        "     taluvo db backup [--data PASTA] --list\n"
        "  Faz uma cópia verificada da base de dados enquanto o programa pode estar a ser usado.\n"
        "  Por omissão a cópia de hoje vai para a pasta das cópias (engine.ini, [Backup] Dir=;\n"
        "  sem ela, PASTA/backups), e as antigas são desbastadas (Keep=7,4,12: diárias,\n"
        "  semanais, mensais). --list mostra as cópias guardadas, da mais recente para a mais\n"
        "  antiga. Sem --data, a pasta é a do alias Arvendi2.\n"
        "  Numa base de dados num servidor (--data postgresql://...) a cópia é a do pg_dump\n"
        "  (formato próprio), por omissão taluvo-BASE-AAAA-MM-DD.dump na pasta das cópias\n"
        "  (engine.ini, [Backup] Dir=, a partir da pasta actual; sem ela, ./backups).\n"
        "Códigos de saída: 0 feito, 1 falha, 2 uso incorrecto.\n");
}

QString BackupCommand::restoreUsage()
{
    return QStringLiteral(
        "Uso: taluvo db restore FICHEIRO PASTA [--replace]\n"
        "     taluvo db restore FICHEIRO postgresql://SERVIDOR/BASE [--replace]\n"
        "  Verifica FICHEIRO (danos, formato, versão) e põe-no como base de dados de PASTA.\n"
        "  Uma base de dados que já lá esteja só é substituída com --replace, e fica guardada\n"
        "  como taluvo.sqlite.before-restore. Feche o programa em todos os postos antes.\n"
        "  Num servidor, a cópia do pg_dump é restaurada numa base de dados nova, verificada, e\n"
        "  só então toma o nome de BASE; a anterior fica como BASE_antes_restauro.\n"
        "Códigos de saída: 0 feito, 1 recusado ou falha, 2 uso incorrecto.\n");
}

int BackupCommand::backup(const QStringList &args)
{
    CommandOptions options({ QStringLiteral("--data"), QStringLiteral("--to") },
                           { QStringLiteral("--list") });
    if (const auto done = options.parseOrExit(args, QStringLiteral("db backup"), backupUsage(), {},
                                              m_out, m_err))
        return *done;
    if (options.isSet(QStringLiteral("--list")) && options.isSet(QStringLiteral("--to")))
        return usageError(m_err, QStringLiteral("db backup"),
                          QStringLiteral("--list e --to não vão juntos"), backupUsage());
    const QString dataDir = options.isSet(QStringLiteral("--data"))
        ? options.value(QStringLiteral("--data"))
        : Database::resolveAlias(QStringLiteral("Arvendi2"));
    if (StoreLocation::isServer(dataDir))
        return serverBackup(dataDir, options.value(QStringLiteral("--to")),
                            options.isSet(QStringLiteral("--list")));
    const Backup::Settings settings = Backup::Settings::load(dataDir);
    if (!settings.problem.isEmpty())
        m_err << "taluvo db backup: engine.ini: " << settings.problem << '\n';

    if (options.isSet(QStringLiteral("--list"))) {
        const QList<Backup::Copy> copies = Backup::list(settings.dir);
        m_out << "Cópias em " << QDir::toNativeSeparators(settings.dir) << ":\n";
        for (const Backup::Copy &c : copies)
            m_out << "  " << c.date.toString(QStringLiteral("yyyy-MM-dd")) << "  "
                  << sizeText(c.size).rightJustified(10) << "  " << QFileInfo(c.path).fileName()
                  << '\n';
        if (copies.isEmpty())
            m_out << "  (nenhuma)\n";
        return ExitCode::Ok;
    }

    try {
        QString target = options.value(QStringLiteral("--to"));
        if (target.isEmpty()) {
            target = Backup::atClose(dataDir, Backup::Settings { settings.dir, settings.keep, true, {} },
                                     Clock::instance().today());
            if (target.isEmpty()) {
                m_out << "A cópia de hoje já existe em " << QDir::toNativeSeparators(settings.dir)
                      << ".\n";
                return ExitCode::Ok;
            }
        } else {
            Backup::make(dataDir, target);
        }
        m_out << "Cópia feita e verificada: " << QDir::toNativeSeparators(target) << " ("
              << sizeText(QFileInfo(target).size()) << ")\n";
    } catch (const DatabaseError &e) {
        m_err << "taluvo db backup: " << e.message() << '\n';
        return ExitCode::Failure;
    }
    return ExitCode::Ok;
}

int BackupCommand::restore(const QStringList &args)
{
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        m_out << restoreUsage();
        return ExitCode::Ok;
    }
    QStringList positional;
    bool replace = false;
    for (const QString &arg : args) {
        if (arg == QLatin1String("--replace") && !replace)
            replace = true;
        else if (arg.startsWith(QLatin1String("--")))
            return usageError(m_err, QStringLiteral("db restore"),
                              QStringLiteral("opção desconhecida ou repetida '%1'").arg(arg),
                              restoreUsage());
        else
            positional.append(arg);
    }
    if (positional.size() != 2)
        return usageError(m_err, QStringLiteral("db restore"),
                          positional.size() < 2 ? QStringLiteral("faltam o ficheiro e a pasta")
                                                : QStringLiteral("argumento inesperado '%1'")
                                                      .arg(positional.at(2)),
                          restoreUsage());
    const QString &file = positional.at(0);
    const QString &dir = positional.at(1);
    if (StoreLocation::isServer(dir))
        return serverRestore(file, dir, replace);

    QList<DatabaseCheck::Finding> findings;
    const QString refusal = Backup::checkForRestore(file, &findings);
    if (!refusal.isEmpty()) {
        m_err << "taluvo db restore: recusado, nada foi alterado: " << refusal << '\n';
        return ExitCode::Failure;
    }
    printFindings(findings);
    QString kept;
    try {
        Backup::restore(file, dir, replace, &kept);
    } catch (const DatabaseError &e) {
        m_err << "taluvo db restore: " << e.message() << '\n';
        return ExitCode::Failure;
    }
    if (!kept.isEmpty())
        m_out << "A base de dados anterior ficou em " << QDir::toNativeSeparators(kept) << ".\n";
    m_out << "Restaurada em " << QDir::toNativeSeparators(dir) << " a partir de "
          << QDir::toNativeSeparators(file) << ".\n";
    return ExitCode::Ok;
}

int BackupCommand::serverBackup(const QString &location, QString target, bool list)
{
    if (list) {
        m_err << "taluvo db backup: --list mostra as cópias de uma pasta de dados; as do servidor "
                 "estão onde o pg_dump as pôs.\n";
        return ExitCode::Usage;
    }
    try {
        if (target.isEmpty()) {
            const Backup::Settings settings = Backup::Settings::load(QDir::currentPath());
            if (!settings.problem.isEmpty())
                m_err << "taluvo db backup: engine.ini: " << settings.problem << '\n';
            if (!QDir().mkpath(settings.dir))
                databaseError(QStringLiteral("Não foi possível criar a pasta \"%1\".")
                                  .arg(QDir::toNativeSeparators(settings.dir)));
            target = QDir(settings.dir).filePath(
                ServerBackup::fileName(location, Clock::instance().today()));
            if (QFileInfo::exists(target)) {
                m_out << "A cópia de hoje já existe: " << QDir::toNativeSeparators(target)
                      << ".\n";
                return ExitCode::Ok;
            }
        }
        m_out << "A copiar " << ServerBackup::displayName(location) << " com o pg_dump...\n";
        m_out.flush();
        ServerBackup::make(location, target);
    } catch (const DatabaseError &e) {
        m_err << "taluvo db backup: " << e.message() << '\n';
        return ExitCode::Failure;
    }
    m_out << "Cópia feita e verificada: " << QDir::toNativeSeparators(target) << " ("
          << sizeText(QFileInfo(target).size()) << ")\n";
    return ExitCode::Ok;
}

int BackupCommand::serverRestore(const QString &file, const QString &location, bool replace)
{
    QList<DatabaseCheck::Finding> findings;
    QString kept;
    try {
        m_out << "A restaurar " << QDir::toNativeSeparators(file) << " numa base de dados nova "
              << "para a verificar...\n";
        m_out.flush();
        // By default the copy's record rules are read, as db check reads them, and shown.
        const ServerBackup::RestoreCheck rules = [](const QString &copy,
                                                    QList<DatabaseCheck::Finding> *found) {
            Database db(QStringLiteral("RESTORE-CHECK"));
            db.openLocation(copy);
            const QList<DatabaseCheck::Finding> all = DatabaseCheck::recordRules(db.connection());
            for (const DatabaseCheck::Finding &f : all)
                if (f.count > 0 && found)
                    found->append(f);
            return QString();
        };
        ServerBackup::restore(file, location, replace, m_serverCheck ? m_serverCheck : rules,
                              &findings, &kept);
    } catch (const DatabaseError &e) {
        m_err << "taluvo db restore: recusado, nada foi alterado: " << e.message() << '\n';
        return ExitCode::Failure;
    }
    printFindings(findings);
    if (!kept.isEmpty())
        m_out << "A base de dados anterior ficou como " << kept << ".\n";
    m_out << "Restaurada em " << ServerBackup::displayName(location) << " a partir de "
          << QDir::toNativeSeparators(file) << ".\n";
    return ExitCode::Ok;
}

void BackupCommand::printFindings(const QList<DatabaseCheck::Finding> &findings)
{
    if (findings.isEmpty())
        return;
    m_out << "Registos que o programa não teria escrito (restaurados como estão):\n";
    for (const DatabaseCheck::Finding &f : findings) {
        m_out << "  " << f.what << ": " << f.count;
        if (!f.firstKeys.isEmpty())
            m_out << " (primeiros: " << f.firstKeys.join(QLatin1String("; ")) << ')';
        m_out << '\n';
    }
}
