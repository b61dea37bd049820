#include "cli/CommandLine.h"
#include "cli/ReportCommand.h"

#include "support/PracticeDirectory.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
const char *const kPractice = R"(
INSERT INTO medico (CODIGO, NOME, ACTIVO) VALUES (1, 'DR JOAO SILVA', 1);
INSERT INTO bddid (NF, NOME, DNASC, BENIF) VALUES (7, 'MARIA FERREIRA', '1950-03-02', '1');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor, Asd) VALUES
    (7, '2024-06-14 09:00:00.000', '2024-06-14', 1, 1),
    (7, '2024-06-14 10:00:00.000', '2024-06-14', 1, 0);
INSERT INTO imagem (CodpacienteI, DodExamei, C1, C2, C3, C4, C5, C6, C7, C8, C9, C10, C11, C12,
    C13, C14, C15, C16) VALUES
    (7, '2024-06-14 09:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,2,2,2,2,1);
)";
} // namespace

// "taluvo report": the exam report to PDF, or a clear refusal with no file.
class tst_ReportCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_dir = std::make_unique<PracticeDirectory>(QString::fromUtf8(kPractice));
        m_pdf = m_out.path() + u"/report.pdf"_s;
        QFile::remove(m_pdf);
    }
    void cleanup()
    {
        m_dir.reset();
        m_env.reset();
    }

    void writesTheExamReport()
    {
        QCOMPARE(run({ u"--patient"_s, u"7"_s, u"--exam"_s, u"2024-06-14 09:00:00.000"_s }),
                 ExitCode::Ok);
        QVERIFY(QFile::exists(m_pdf));
        QCOMPARE(QFile::permissions(m_pdf) & 0x0077, QFileDevice::Permissions());
        if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
            QSKIP("pdftotext is not installed");
        QProcess text;
        text.start(u"pdftotext"_s, { u"-layout"_s, m_pdf, u"-"_s });
        QVERIFY(text.waitForFinished(30000));
        const QString page = QString::fromUtf8(text.readAllStandardOutput());
        QVERIFY(page.contains(u"Relatório de Exame Ecocardiográfico"_s));
        QVERIFY(page.contains(u"MARIA FERREIRA"_s));
        QVERIFY(page.contains(u"14-06-2024"_s));
        QVERIFY(page.contains(u"DR JOAO SILVA"_s));
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown patient")
            << QStringList { u"--patient"_s, u"8"_s, u"--exam"_s, u"2024-06-14 09:00:00.000"_s }
            << ExitCode::Failure << u"Nenhum paciente tem o número 8."_s;
        QTest::newRow("unknown exam")
            << QStringList { u"--patient"_s, u"7"_s, u"--exam"_s, u"2024-06-14 09:30:00.000"_s }
            << ExitCode::Failure << u"O paciente 7 não tem nenhum exame feito em 2024-06-14 09:30:00.000."_s;
        QTest::newRow("no segment scores")
            << QStringList { u"--patient"_s, u"7"_s, u"--exam"_s, u"2024-06-14 10:00:00.000"_s }
            << ExitCode::Failure << u"não tem pontuações dos segmentos"_s;
        QTest::newRow("bad date") << QStringList { u"--patient"_s, u"7"_s, u"--exam"_s,
                                                   u"14/06/2024"_s }
                                  << ExitCode::Usage << u"não é uma data e hora"_s;
        QTest::newRow("missing option")
            << QStringList { u"--patient"_s, u"7"_s } << ExitCode::Usage << u"Uso:"_s;
    }
    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, message);
        QCOMPARE(run(args), code);
        QVERIFY2(m_err.contains(message), qPrintable(m_err));
        QVERIFY(!QFile::exists(m_pdf));
    }

private:
    int run(QStringList args)
    {
        if (args.size() > 2)
            args << u"--data"_s << m_dir->location() << u"--pdf"_s << m_pdf;
        QString out;
        m_err.clear();
        QTextStream outStream(&out);
        QTextStream errStream(&m_err);
        const int code = ReportCommand(outStream, errStream).run(args);
        errStream.flush();
        return code;
    }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<PracticeDirectory> m_dir;
    QTemporaryDir m_out;
    QString m_pdf;
    QString m_err;
};

QTEST_MAIN(tst_ReportCommand)
#include "tst_ReportCommand.moc"
