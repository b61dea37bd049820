#include "cli/CommandLine.h"

#include "support/PracticeDirectory.h"
#include "support/TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
// Patient 7: two exams on 14/06 (the later one without scores) and one on 10/06; patient 8 none.
const char *const kPractice = R"(
INSERT INTO medico (CODIGO, NOME, ACTIVO) VALUES (1, 'DR JOAO SILVA', 1), (2, 'DRA ANTIGA', 0);
INSERT INTO convencao (CODIGO, SIGLA, ENTIDADE, ACTIVO) VALUES (1, 'Particular', 'Particular', 1);
INSERT INTO bddid (NF, NOME, DNASC, BENIF) VALUES (7, 'MARIA FERREIRA', '1950-03-02', '1'),
    (8, 'RUI SEM EXAMES', '1960-01-01', '1');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor) VALUES
    (7, '2024-06-10 08:00:00.000', '2024-06-10', 2),
    (7, '2024-06-14 09:00:00.000', '2024-06-14', 1),
    (7, '2024-06-14 10:00:00.000', '2024-06-14', 1);
INSERT INTO imagem (CodpacienteI, DodExamei, C1, C2, C3, C4, C5, C6, C7, C8, C9, C10, C11, C12,
    C13, C14, C15, C16) VALUES
    (7, '2024-06-10 08:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1),
    (7, '2024-06-14 09:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,2,2,2,2,1);
)";

QByteArray digest(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
        ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
        : QByteArray();
}
} // namespace

// The sub-commands as a user meets them: help, usage, messages and exit codes, and PDFs that
// never cost the file that was there.
class tst_CommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_dir = std::make_unique<PracticeDirectory>(QString::fromUtf8(kPractice));
        m_out = std::make_unique<QTemporaryDir>();
    }
    void cleanup()
    {
        m_out.reset();
        m_dir.reset();
        m_env.reset();
    }

    void cases_data();
    void cases();
    void failedPdfKeepsWhatWasThere();

private:
    int run(QStringList args)
    {
        args.replaceInStrings(u"DIR"_s, m_dir->location());
        args.replaceInStrings(u"OUT"_s, m_out->path());
        m_stdout.clear();
        m_stderr.clear();
        QTextStream out(&m_stdout);
        QTextStream err(&m_stderr);
        bool handled = false;
        const int code = runCommandLine(args, &handled, out, err);
        out.flush();
        err.flush();
        return handled ? code : -1;
    }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<PracticeDirectory> m_dir;
    std::unique_ptr<QTemporaryDir> m_out; // where the PDFs go
    QString m_stdout;
    QString m_stderr;
};

void tst_CommandLine::cases_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out"); // what standard output holds
    QTest::addColumn<QString>("err"); // what standard error holds

    const auto row = [](const char *name, const QString &line, int code, const QString &out,
                        const QString &err) {
        QTest::newRow(name) << line.split(u' ', Qt::SkipEmptyParts) << code << out << err;
    };
    for (const char *command : { "db", "exams", "report", "summary" })
        row(command, QString::fromLatin1(command) + u" --help"_s, 0,
            u"Uso: taluvo "_s + QString::fromLatin1(command), QString());
    row("db demo help", u"db demo OUT/x --help"_s, 0, u"Uso: taluvo db"_s, QString());
    row("import to a server", u"db import-paradox OUT postgresql://u:segredo@h/t"_s, 1, QString(),
        u"para uma pasta (SQLite); depois, \"taluvo db copy PASTA postgresql://u@h/t\""_s);
    row("range reversed",
        u"summary --data DIR --by doctor --from 2024-06-30 --to 2024-06-01 --pdf OUT/s.pdf"_s, 2,
        QString(),
        u"taluvo summary: o intervalo está invertido: --from 2024-06-30 é posterior a --to "
        "2024-06-01.\nUso:"_s);
    row("option twice", u"exams --data DIR --patient 7 --patient 8"_s, 2, QString(),
        u"taluvo exams: --patient foi indicada mais de uma vez.\nUso:"_s);
    row("unknown option", u"exams --data DIR --patient 7 --all"_s, 2, QString(),
        u"opção desconhecida '--all'"_s);
    row("exam and date", u"report --data DIR --patient 7 --exam x --date y --pdf OUT/r.pdf"_s, 2,
        QString(), u"indique --exam ou --date"_s);
    row("exam list", u"exams --data DIR --patient 7"_s, 0,
        u"2024-06-10 08:00:00.000  10/06/2024  DRA ANTIGA\n"
        "2024-06-14 09:00:00.000  14/06/2024  DR JOAO SILVA\n"
        "2024-06-14 10:00:00.000  14/06/2024  DR JOAO SILVA\n"_s,
        QString());
    row("no exams", u"exams --data DIR --patient 8"_s, 0, u"O paciente 8 não tem exames.\n"_s,
        QString());
    row("unknown patient", u"exams --data DIR --patient 9"_s, 1, QString(),
        u"Nenhum paciente tem o número 9.\n"_s);
    row("the day's only exam", u"report --data DIR --patient 7 --date 2024-06-10 --pdf OUT/r.pdf"_s,
        0, u"Escrito "_s, QString());
    row("a day of two exams",
        u"report --data DIR --patient 7 --date 2024-06-14 --pdf OUT/r.pdf"_s, 2, QString(),
        u"O paciente 7 tem 2 exames em 14/06/2024; indique um com --exam:\n"
        "2024-06-14 09:00:00.000  14/06/2024  DR JOAO SILVA\n"
        "2024-06-14 10:00:00.000  14/06/2024  DR JOAO SILVA\n"_s);
    row("a day without exams",
        u"report --data DIR --patient 7 --date 2024-06-15 --pdf OUT/r.pdf"_s, 1, QString(),
        u"O paciente 7 não tem exames em 15/06/2024.\n"_s);
    row("not ours", u"--data DIR"_s, -1, QString(), QString());
}

void tst_CommandLine::cases()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QCOMPARE(run(args), code);
    const auto holds = [](const QString &stream, const QString &wanted) {
        return wanted.isEmpty() ? stream.isEmpty() : stream.contains(wanted);
    };
    QVERIFY2(holds(m_stdout, out), qPrintable(m_stdout));
    QVERIFY2(holds(m_stderr, err), qPrintable(m_stderr));
    // Only the run that succeeds writes its file.
    QCOMPARE(QDir(m_out->path()).entryList(QDir::Files | QDir::Hidden).size(),
             code == 0 && out.startsWith(u"Escrito"_s) ? 1 : 0);
}

void tst_CommandLine::failedPdfKeepsWhatWasThere()
{
    const QString pdf = m_out->filePath(u"old.pdf"_s);
    const QStringList report { u"report"_s,     u"--data"_s,     u"DIR"_s,
                               u"--patient"_s,  u"7"_s,          u"--date"_s,
                               u"2024-06-10"_s, u"--pdf"_s,      pdf };
    {
        QFile old(pdf);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("the practice's earlier report");
    }
    QVERIFY(QFile::setPermissions(pdf, QFileDevice::ReadOwner));
    const QByteArray before = digest(pdf);
    QCOMPARE(run(report), 1);
    QCOMPARE(m_stderr, u"Não foi possível escrever %1: o ficheiro não pode ser alterado\n"_s.arg(pdf));
    QCOMPARE(digest(pdf), before);
    QCOMPARE(QDir(m_out->path()).entryList(QDir::Files | QDir::Hidden), QStringList { u"old.pdf"_s });

    // Writable again: replaced whole, still for the owner only.
    QVERIFY(QFile::setPermissions(pdf, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QCOMPARE(run(report), 0);
    QVERIFY(digest(pdf) != before);
    QCOMPARE(QFile::permissions(pdf) & 0x0077, QFileDevice::Permissions());
    QCOMPARE(QDir(m_out->path()).entryList(QDir::Files | QDir::Hidden), QStringList { u"old.pdf"_s });

    // No folder: nothing made anywhere.
    const QString nowhere = m_out->filePath(u"missing/r.pdf"_s);
    QStringList summary { u"summary"_s, u"--data"_s, u"DIR"_s,        u"--by"_s,  u"doctor"_s,
                          u"--from"_s,  u"2024-01-01"_s, u"--to"_s, u"2024-12-31"_s, u"--pdf"_s,
                          nowhere };
    QCOMPARE(run(summary), 1);
    QVERIFY2(m_stderr.contains(u"não existe"_s), qPrintable(m_stderr));
    QVERIFY(!QFileInfo::exists(m_out->filePath(u"missing"_s)));
}

QTEST_MAIN(tst_CommandLine)
#include "tst_CommandLine.moc"
