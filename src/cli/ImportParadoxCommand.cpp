#include "cli/ImportParadoxCommand.h"

#include "cli/CommandLine.h"
#include "cli/NewDatabase.h"
#include "data/ParadoxImport.h"
#include "data/Schema.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/SqliteStore.h"
#include "platform/engine/StoreLocation.h"
#include "platform/paradox/ParadoxTable.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <sqlite3.h>

#include <sys/stat.h>

namespace {

const QString kCommand = QStringLiteral("db import-paradox");

QString reportPath(const QString &target)
{
    return QDir(target).filePath(QLatin1String(ParadoxImport::ReportFileName));
}

// A throw-away database for a dry run: SQLite deletes it when it is closed.
class ScratchDatabase
{
public:
    ScratchDatabase()
    {
        if (sqlite3_open("", &m_db) != SQLITE_OK) {
            const QString message = QString::fromUtf8(sqlite3_errmsg(m_db));
            sqlite3_close(m_db);
            databaseError(message);
        }
        SqliteStore::exec(m_db, QStringLiteral("PRAGMA cache_size=-65536"));
        Schema::create(m_db);
    }
    ~ScratchDatabase() { sqlite3_close(m_db); }
    ScratchDatabase(const ScratchDatabase &) = delete;
    ScratchDatabase &operator=(const ScratchDatabase &) = delete;
    sqlite3 *get() const { return m_db; }

private:
    sqlite3 *m_db = nullptr;
};

} // namespace

ImportParadoxCommand::ImportParadoxCommand(QTextStream &out, QTextStream &err)
    : m_out(out)
    , m_err(err)
{ }

QString ImportParadoxCommand::usage()
{
    return QStringLiteral(
        "Uso: taluvo db import-paradox ORIGEM DESTINO [--dry-run]\n"
        "     taluvo db import-paradox --dump FICHEIRO.DB\n"
        "  Importa as tabelas Paradox da pasta ORIGEM (Bddid.DB, eco.DB, imagem.db, Frase.db,\n"
        "  Medico.DB, convencao.DB, eco_conclusoes.db e os seus .MB) para uma base de dados nova\n"
        "  ou vazia na pasta DESTINO, numa só transacção: ou entra tudo, ou nada.\n"
        "  Os registos recusados e os que ficam fora das regras do programa são listados em\n"
        "  DESTINO/import-report.txt.\n"
        "  --dry-run  lê e verifica tudo e escreve só o relatório\n"
        "  --dump     mostra uma tabela Paradox em CSV (uma linha de nomes, depois um registo\n"
        "             por linha)\n"
        "Códigos de saída: 0 feito sem recusas, 1 registos recusados ou falha, 2 uso incorrecto.\n");
}

int ImportParadoxCommand::run(const QStringList &args)
{
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        m_out << usage();
        return ExitCode::Ok;
    }
    QStringList positional;
    bool dryRun = false;
    QString dumpFile;
    bool dumpWanted = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("--dry-run") && !dryRun) {
            dryRun = true;
        } else if ((arg == QLatin1String("--dump") || arg.startsWith(QLatin1String("--dump=")))
                   && !dumpWanted) {
            dumpWanted = true;
            if (arg.contains(QLatin1Char('=')))
                dumpFile = arg.mid(arg.indexOf(QLatin1Char('=')) + 1);
            else if (i + 1 < args.size())
                dumpFile = args.at(++i);
            if (dumpFile.isEmpty())
                return usageError(m_err, kCommand, QStringLiteral("--dump precisa de um ficheiro"),
                                  usage());
        } else if (arg.startsWith(QLatin1String("--"))) {
            return usageError(m_err, kCommand,
                              QStringLiteral("opção desconhecida ou repetida '%1'").arg(arg),
                              usage());
        } else {
            positional.append(arg);
        }
    }
    if (dumpWanted) {
        if (dryRun || !positional.isEmpty())
            return usageError(m_err, kCommand,
                              QStringLiteral("--dump não leva outros argumentos"), usage());
        return dump(dumpFile);
    }
    if (positional.size() < 2)
        return usageError(m_err, kCommand,
                          positional.isEmpty() ? QStringLiteral("faltam a origem e o destino")
                                               : QStringLiteral("falta o destino"),
                          usage());
    if (positional.size() > 2)
        return usageError(m_err, kCommand,
                          QStringLiteral("argumento inesperado '%1'").arg(positional.at(2)),
                          usage());
    return import(positional.at(0), positional.at(1), dryRun);
}

int ImportParadoxCommand::dump(const QString &file)
{
    int unreadable = 0;
    try {
        paradox::TableReader reader(file);
        paradox::writeCsv(reader, m_out, [&](const paradox::Record &record) {
            ++unreadable;
            m_err << "taluvo db import-paradox: " << file << ": registo " << record.number << ": "
                  << record.error << " (o campo sai vazio)\n";
        });
    } catch (const paradox::FormatError &e) {
        m_out.flush();
        m_err << "taluvo db import-paradox: " << file << ": " << e.message() << '\n';
        return ExitCode::Failure;
    }
    return unreadable == 0 ? ExitCode::Ok : ExitCode::Failure;
}

int ImportParadoxCommand::import(const QString &source, const QString &target, bool dryRun)
{
    const QString prefix = QStringLiteral("taluvo db import-paradox: ");
    if (!QFileInfo(source).isDir()) {
        m_err << prefix << "'" << source << "' não é uma pasta\n";
        return ExitCode::Failure;
    }
    if (StoreLocation::isServer(target)) {
        m_err << prefix
              << "esta versão só importa para uma pasta (SQLite); depois, \"taluvo db copy PASTA "
              << StoreLocation::shown(target) << "\" leva-a para o servidor\n";
        return ExitCode::Failure;
    }
    if (QFileInfo::exists(target) && !QFileInfo(target).isDir()) {
        m_err << prefix << "'" << target << "' não é uma pasta\n";
        return ExitCode::Failure;
    }

    QString lastFile;
    qint64 lastDone = -1;
    const ParadoxImport::Progress progress = [&](const QString &file, qint64 done, qint64 total) {
        if (file != lastFile) {
            lastFile = file;
            m_err << "A importar " << file << " (" << total << " registos)\n";
        } else if (done != lastDone) {
            m_err << "  " << file << ": " << done << " de " << total << '\n';
        }
        lastDone = done;
        m_err.flush();
    };

    ParadoxImport::Result result;
    const QString report = reportPath(target);
    QString failure;
    const auto importInto = [&](sqlite3 *db) {
        result = ParadoxImport::run(db, source, report, dryRun, progress);
    };
    const auto makeFolder = [&]() {
        if (QFileInfo(target).isDir())
            return true;
        if (!QDir().mkpath(target))
            return false;
        ::chmod(QFile::encodeName(target).constData(), 0700);
        return true;
    };

    try {
        if (dryRun || NewDatabase::present(target)) {
            if (!makeFolder()) {
                m_err << prefix << "não foi possível criar a pasta '" << target << "'\n";
                return ExitCode::Failure;
            }
            if (dryRun) {
                ScratchDatabase scratch;
                importInto(scratch.get());
            } else {
                // Only a database whose tables are all empty is written to (checked inside).
                const QString name = QStringLiteral("taluvo-import-paradox");
                {
                    const QSqlDatabase db = SqliteStore::open(target, name, false);
                    importInto(SqliteStore::handle(db));
                }
                SqliteStore::close(name);
            }
        } else {
            switch (NewDatabase::create(
                target, [&](Connection &db) { importInto(db.sqlite()); }, &failure)) {
            case NewDatabase::Outcome::Done: break;
            case NewDatabase::Outcome::Refused:
            case NewDatabase::Outcome::Unusable:
            case NewDatabase::Outcome::Failed:
                m_err << prefix << failure << '\n';
                if (QFileInfo::exists(report))
                    m_err << "Relatório: " << report << '\n';
                return ExitCode::Failure;
            }
        }
    } catch (const DatabaseError &e) {
        SqliteStore::close(QStringLiteral("taluvo-import-paradox"));
        m_err << prefix << e.message() << '\n';
        if (QFileInfo::exists(report))
            m_err << "Relatório: " << report << '\n';
        return ExitCode::Failure;
    }

    // The per-table counts, aligned for a terminal.
    int width = 6;
    for (const ParadoxImport::TableResult &t : result.tables)
        width = std::max(width, int(t.file.size()) + 9);
    const auto row = [this, width](const QString &name, const QString &a, const QString &b,
                                   const QString &c, const QString &d) {
        m_out << name.leftJustified(width) << a.rightJustified(10) << b.rightJustified(10)
              << c.rightJustified(11) << d.rightJustified(10) << '\n';
    };
    row(QStringLiteral("Tabela"), QStringLiteral("Lidos"), QStringLiteral("Escritos"),
        QStringLiteral("Recusados"), QStringLiteral("Apagados"));
    qint64 read = 0, written = 0, refused = 0, deleted = 0;
    for (const ParadoxImport::TableResult &t : result.tables) {
        row(t.found ? t.file : t.file + QStringLiteral(" (não há)"), QString::number(t.read),
            QString::number(t.written), QString::number(t.refused), QString::number(t.deleted));
        read += t.read;
        written += t.written;
        refused += t.refused;
        deleted += t.deleted;
    }
    row(QStringLiteral("Total"), QString::number(read), QString::number(written),
        QString::number(refused), QString::number(deleted));
    if (dryRun)
        m_out << "Simulação: nada foi escrito em " << target << ".\n";
    if (result.findings > 0)
        m_out << result.findings << " registos importados fora das regras do programa.\n";
    m_out << "Relatório: " << report << '\n';
    return refused == 0 ? ExitCode::Ok : ExitCode::Failure;
}
