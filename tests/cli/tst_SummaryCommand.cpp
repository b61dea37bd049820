#include "cli/CommandLine.h"
#include "cli/SummaryCommand.h"

#include "support/PracticeDirectory.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
// 2024: doctor 1 did two exams in M mode and one in Doppler, doctor 2 one, one exam has no
// doctor. Health system 12 covers patient 4 only: "12A" and "abc" are not its number.
// 2023: ninety health systems with one exam each, more than a page.
QString practice()
{
    QString sql = uR"(
INSERT INTO convencao (CODIGO, SIGLA, ENTIDADE, ACTIVO) VALUES (1, 'PART', 'Particular', 1),
    (12, 'DOZE', 'Sistema Doze', 1);
INSERT INTO medico (CODIGO, NOME, ACTIVO) VALUES (1, 'DR UM', 1), (2, 'DR DOIS', 1);
INSERT INTO bddid (NF, NOME, BENIF) VALUES (1, 'A', '1'), (2, 'B', '1'), (4, 'D', '12'),
    (5, 'E', '12A'), (6, 'F', 'abc');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor, ModoD) VALUES
    (1, '2024-03-01 09:00:00.000', '2024-03-01', 1, 'Modo M'),
    (1, '2024-03-02 09:00:00.000', '2024-03-02', 1, 'Modo M'),
    (2, '2024-03-03 09:00:00.000', '2024-03-03', 1, 'Doppler'),
    (4, '2024-03-04 09:00:00.000', '2024-03-04', 2, 'Modo M'),
    (5, '2024-03-05 09:00:00.000', '2024-03-05', NULL, 'Modo M'),
    (6, '2024-03-06 09:00:00.000', '2024-03-06', NULL, 'Modo M');
)"_s;
    for (int i = 100; i < 190; ++i)
        sql += u"INSERT INTO convencao (CODIGO, SIGLA, ENTIDADE, ACTIVO) VALUES (%1, 'S%1', "
               "'Sistema %1', 1); INSERT INTO bddid (NF, NOME, BENIF) VALUES (%1, 'P%1', '%1'); "
               "INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame) VALUES "
               "(%1, '2023-05-01 09:00:00.000', '2023-05-01');\n"_s.arg(i);
    return sql;
}

// Blanks between columns vary with the layout; one blank is enough to compare rows.
QString squeeze(const QString &line)
{
    return line.simplified();
}
} // namespace

// "taluvo summary": the counts to PDF, read back as text.
class tst_SummaryCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
            QSKIP("pdftotext is not installed");
        m_env = std::make_unique<TestEnvironment>();
        m_dir = std::make_unique<PracticeDirectory>(practice());
        m_pdf = m_out.path() + u"/summary.pdf"_s;
        QFile::remove(m_pdf);
    }
    void cleanup()
    {
        m_dir.reset();
        m_env.reset();
    }

    void typesSplitADoctor()
    {
        QCOMPARE(run(u"doctor"_s, true, u"2024-01-01"_s, u"2024-12-31"_s), ExitCode::Ok);
        QCOMPARE(QFile::permissions(m_pdf) & 0x0077, QFileDevice::Permissions());
        const QStringList lines = pages().join(u'\n').split(u'\n');
        QVERIFY(lines.contains(u"Relação de Eco's por médico"_s));
        QVERIFY(lines.contains(u"entre 01/01/2024 e 31/12/2024"_s));
        QVERIFY(lines.contains(u"Médico Eco Total"_s));
        QVERIFY(lines.contains(u"DR UM Modo M 2"_s));
        QVERIFY(lines.contains(u"DR UM Doppler 1"_s));
        QVERIFY(lines.contains(u"DR DOIS Modo M 1"_s));
        // The exams without a doctor are not counted anywhere.
        QVERIFY(lines.contains(u"Total: 4"_s));
    }

    void withoutTypesTheColumnIsBlank()
    {
        QCOMPARE(run(u"doctor"_s, false, u"2024-01-01"_s, u"2024-12-31"_s), ExitCode::Ok);
        const QStringList lines = pages().join(u'\n').split(u'\n');
        QVERIFY(lines.contains(u"Médico Total"_s));
        QVERIFY(lines.contains(u"DR UM 3"_s));
        QVERIFY(lines.contains(u"DR DOIS 1"_s));
        QVERIFY(lines.contains(u"Total: 4"_s));
        QVERIFY(!pages().join(u'\n').contains(u"Modo M"_s));
    }

    void healthSystemNumbersMustBeWhole()
    {
        QCOMPARE(run(u"health-system"_s, true, u"2024-01-01"_s, u"2024-12-31"_s), ExitCode::Ok);
        const QString text = pages().join(u'\n');
        QVERIFY(text.contains(u"Relação de Eco's por Sistema de Saúde"_s));
        const QStringList lines = text.split(u'\n');
        QVERIFY2(lines.contains(u"Sistema Doze Modo M 1"_s), qPrintable(text));
        QVERIFY(lines.contains(u"Particular Modo M 2"_s));
        QVERIFY(lines.contains(u"Particular Doppler 1"_s));
        QVERIFY(lines.contains(u"Total: 4"_s));
    }

    void longSummaryRepeatsItsHeaders()
    {
        QCOMPARE(run(u"health-system"_s, false, u"2023-01-01"_s, u"2023-12-31"_s), ExitCode::Ok);
        const QStringList all = pages();
        QVERIFY(all.size() >= 2);
        QString joined;
        for (int i = 0; i < all.size(); ++i) {
            const QStringList lines = all.at(i).split(u'\n');
            QVERIFY(lines.first().contains(u"Solvária, Lda."_s));
            QVERIFY(lines.first().contains(u"Relatórios Ecocardiográficos"_s));
            QVERIFY(lines.contains(u"Entidade Total"_s));
            // The footer: the day the report was made, then the page.
            static const QRegularExpression footer(u"^\\d\\d/\\d\\d/\\d{4} Pág\\.: (\\d+)$"_s);
            const QRegularExpressionMatch m = footer.match(lines.last());
            QVERIFY2(m.hasMatch(), qPrintable(lines.last()));
            QCOMPARE(m.captured(1).toInt(), i + 1);
            joined += all.at(i) + u'\n';
        }
        QCOMPARE(joined.count(u"Relação de Eco's por Sistema de Saúde"_s), 1);
        QCOMPARE(joined.count(u"Total: "_s), 1);
        QVERIFY(joined.contains(u"Total: 90"_s));
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        const QStringList range { u"--from"_s, u"2023-01-01"_s, u"--to"_s, u"2023-12-31"_s };
        // 2023 holds exams, none by a doctor.
        QTest::newRow("no doctor in the range")
            << (QStringList { u"--by"_s, u"doctor"_s } + range) << int(ExitCode::Failure)
            << u"Não há registos que obedeçam aos parâmetros pedidos.\n"_s;
        QTest::newRow("unknown grouping") << (QStringList { u"--by"_s, u"nurse"_s } + range)
                                          << int(ExitCode::Usage) << u"'nurse'"_s;
        QTest::newRow("bad date") << QStringList { u"--by"_s,       u"doctor"_s, u"--from"_s,
                                                   u"01/01/2023"_s, u"--to"_s,   u"2023-12-31"_s }
                                  << int(ExitCode::Usage) << u"'01/01/2023' não é uma data"_s;
        QTest::newRow("missing option") << range << int(ExitCode::Usage) << u"Uso:"_s;
    }
    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, message);
        QCOMPARE(call(args), code);
        QVERIFY2(m_err.contains(message), qPrintable(m_err));
        QVERIFY(!QFile::exists(m_pdf));
    }

private:
    int run(const QString &by, bool types, const QString &from, const QString &to)
    {
        QStringList args { u"--by"_s, by, u"--from"_s, from, u"--to"_s, to };
        if (types)
            args << u"--types"_s;
        return call(args);
    }
    int call(QStringList args)
    {
        args << u"--data"_s << m_dir->location() << u"--pdf"_s << m_pdf;
        QString out;
        m_err.clear();
        QTextStream outStream(&out);
        QTextStream errStream(&m_err);
        const int code = SummaryCommand(outStream, errStream).run(args);
        errStream.flush();
        return code;
    }
    // Each page's lines, blanks squeezed, empty lines dropped.
    QStringList pages() const
    {
        QProcess text;
        text.start(u"pdftotext"_s, { u"-layout"_s, m_pdf, u"-"_s });
        if (!text.waitForFinished(30000))
            return {};
        QStringList result;
        for (const QString &page : QString::fromUtf8(text.readAllStandardOutput()).split(u'\f')) {
            QStringList lines;
            for (const QString &line : page.split(u'\n'))
                if (!line.trimmed().isEmpty())
                    lines << squeeze(line);
            if (!lines.isEmpty())
                result << lines.join(u'\n');
        }
        return result;
    }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<PracticeDirectory> m_dir;
    QTemporaryDir m_out;
    QString m_pdf;
    QString m_err;
};

QTEST_MAIN(tst_SummaryCommand)
#include "tst_SummaryCommand.moc"
