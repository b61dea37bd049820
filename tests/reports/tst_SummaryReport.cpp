#include "reports/SummaryReport.h"

#include "data/DM.h"
#include "platform/engine/Query.h"
#include "platform/report/BandedReport.h"
#include "platform/report/ReportDocument.h"
#include "platform/widgets/DialogRecorder.h"
#include "reports/StatisticsPage.h"
#include "support/PdfInfo.h"
#include "support/PracticeDirectory.h"
#include "support/ReportLayoutCheck.h"
#include "support/TestSupport.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
// Doctor 1 did two exams in M mode and one in Doppler; doctor 2 one; one exam has no doctor.
// Health system 1 covers patients 1 and 2, system 2 patient 3.
QString practice()
{
    QString sql = uR"(
INSERT INTO convencao (CODIGO, SIGLA, ENTIDADE, ACTIVO) VALUES (1, 'PART', 'Particular', 1),
    (2, 'SNS', 'Serviço Nacional', 1);
INSERT INTO medico (CODIGO, NOME, ACTIVO) VALUES (1, 'DR UM', 1), (2, 'DR DOIS', 0);
INSERT INTO bddid (NF, NOME, BENIF) VALUES (1, 'A', '1'), (2, 'B', '1'), (3, 'C', '2');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor, ModoD) VALUES
    (1, '2024-03-01 09:00:00.000', '2024-03-01', 1, 'Modo M'),
    (1, '2024-03-02 09:00:00.000', '2024-03-02', 1, 'Modo M'),
    (2, '2024-03-03 09:00:00.000', '2024-03-03', 1, 'Doppler'),
    (3, '2024-03-04 09:00:00.000', '2024-03-04', 2, 'Modo M'),
    (3, '2024-03-05 09:00:00.000', '2024-03-05', NULL, 'Modo M');
-- 2022: the two longest standard types.
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor, ModoD) VALUES
    (1, '2022-02-01 09:00:00.000', '2022-02-01', 1, 'Modo M e Bid. / Doppler: Pulsado, Contínuo, Côr'),
    (3, '2022-02-02 09:00:00.000', '2022-02-02', 1, 'Doppler : Pulsado + Contínuo + Côr');
)"_s;
    // Many health systems with one exam each, for a summary longer than a page.
    for (int i = 100; i < 190; ++i)
        sql += u"INSERT INTO convencao (CODIGO, SIGLA, ENTIDADE, ACTIVO) VALUES (%1, 'S%1', "
               "'Sistema %1', 1); INSERT INTO bddid (NF, NOME, BENIF) VALUES (%1, 'P%1', '%1'); "
               "INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame) VALUES "
               "(%1, '2023-05-01 09:00:00.000', '2023-05-01');\n"_s.arg(i);
    return sql;
}
} // namespace

class tst_SummaryReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void byDoctorWithTypes();
    void byDoctorWithoutTypes();
    void noDoctorInRange();
    void longSummaryRepeatsHeaders();
    void noTextIsHidden_data();
    void noTextIsHidden();
    void pdfIsTitledForTheRecord();

private:
    ReportDocument run(SummaryReport::Kind kind, bool types, const QDate &from, const QDate &to);

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<PracticeDirectory> m_dir;
    std::unique_ptr<TDataModule1> m_module;
    std::unique_ptr<SummaryReport> m_report;
};

void tst_SummaryReport::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_dir = std::make_unique<PracticeDirectory>(practice());
    m_module = std::make_unique<TDataModule1>();
    DataModule1 = m_module.get();
    m_module->load();
}

void tst_SummaryReport::cleanup()
{
    m_report.reset();
    m_module.reset();
    DataModule1 = nullptr;
    m_dir.reset();
    m_env.reset();
}

ReportDocument tst_SummaryReport::run(SummaryReport::Kind kind, bool types, const QDate &from,
                                      const QDate &to)
{
    SummaryReport::Options options;
    options.types = [types] { return types; };
    options.from = [from] { return from; };
    options.to = [to] { return to; };
    m_report = std::make_unique<SummaryReport>(kind, options);
    m_report->setDataset(m_module->QueryStat);
    const auto summary = kind == SummaryReport::Kind::ByDoctor
        ? StatisticsPage::Summary::ByDoctor
        : StatisticsPage::Summary::ByHealthSystem;
    if (!StatisticsPage::openSummary(summary, types, from, to))
        return {};
    return m_report->QuickRep->generate();
}

void tst_SummaryReport::byDoctorWithTypes()
{
    const ReportDocument doc
        = run(SummaryReport::Kind::ByDoctor, true, QDate(2024, 1, 1), QDate(2024, 12, 31));
    QCOMPARE(doc.pageCount(), 1);
    QStringList rows = doc.itemTexts(u"QRDBText1"_s);
    rows.sort();
    QCOMPARE(rows, (QStringList { u"DR DOIS"_s, u"DR UM"_s, u"DR UM"_s }));
    QStringList types = doc.itemTexts(u"QRDBText3"_s);
    types.sort();
    QCOMPARE(types, (QStringList { u"Doppler"_s, u"Modo M"_s, u"Modo M"_s }));
    QCOMPARE(doc.itemTexts(u"QRLabel8"_s), QStringList { u"4"_s });
    QCOMPARE(doc.itemTexts(u"QRLabel9"_s), QStringList { u"Eco"_s });
    QCOMPARE(doc.itemTexts(u"QRLabel4"_s), QStringList { u"entre 01/01/2024 e 31/12/2024"_s });
    // Printing again starts the total afresh.
    QCOMPARE(m_report->QuickRep->generate().itemTexts(u"QRLabel8"_s), QStringList { u"4"_s });
}

void tst_SummaryReport::byDoctorWithoutTypes()
{
    const ReportDocument doc
        = run(SummaryReport::Kind::ByDoctor, false, QDate(2024, 1, 1), QDate(2024, 12, 31));
    QCOMPARE(doc.itemTexts(u"QRDBText1"_s).size(), 2);
    QVERIFY(doc.itemTexts(u"QRLabel9"_s).isEmpty());
    QVERIFY(doc.itemTexts(u"QRDBText3"_s).isEmpty());
    QCOMPARE(doc.itemTexts(u"QRLabel8"_s), QStringList { u"4"_s });
}

void tst_SummaryReport::noDoctorInRange()
{
    // 2023 holds exams, none by a doctor.
    const ReportDocument doc
        = run(SummaryReport::Kind::ByDoctor, true, QDate(2023, 1, 1), QDate(2023, 12, 31));
    QCOMPARE(doc.pageCount(), 0);
    QCOMPARE(m_env->recorder().messages(),
             QStringList { u"Não há registos que obedeçam aos parâmetros pedidos."_s });
}

void tst_SummaryReport::longSummaryRepeatsHeaders()
{
    const ReportDocument doc
        = run(SummaryReport::Kind::ByHealthSystem, false, QDate(2023, 1, 1), QDate(2024, 12, 31));
    QVERIFY(doc.pageCount() >= 2);
    QStringList all;
    for (int page = 0; page < doc.pageCount(); ++page) {
        const QStringList bands = doc.pageBands(page);
        QCOMPARE(bands.first(), u"PageHeaderBand1"_s);
        QVERIFY(bands.contains(u"ColumnHeaderBand1"_s));
        QCOMPARE(bands.last(), u"PageFooterBand1"_s);
        all += bands;
    }
    QCOMPARE(all.count(u"TitleBand1"_s), 1);
    QCOMPARE(all.count(u"SummaryBand1"_s), 1);
    QStringList pages = doc.itemTexts(u"QRSysData2"_s);
    QCOMPARE(pages.first(), u"Pág.: 1"_s);
    QCOMPARE(pages.last(), u"Pág.: %1"_s.arg(doc.pageCount()));
    QCOMPARE(doc.itemTexts(u"QRSysData1"_s).size(), doc.pageCount());
    QCOMPARE(doc.itemTexts(u"QRLabel8"_s), QStringList { u"95"_s });
}

void tst_SummaryReport::noTextIsHidden_data()
{
    QTest::addColumn<bool>("byDoctor");
    QTest::addColumn<bool>("types");
    QTest::newRow("by doctor, with types") << true << true;
    QTest::newRow("by doctor") << true << false;
    QTest::newRow("by health system, with types") << false << true;
    QTest::newRow("by health system") << false << false;
}

void tst_SummaryReport::noTextIsHidden()
{
    QFETCH(bool, byDoctor);
    QFETCH(bool, types);
    const ReportDocument doc
        = run(byDoctor ? SummaryReport::Kind::ByDoctor : SummaryReport::Kind::ByHealthSystem, types,
              QDate(2022, 1, 1), QDate(2022, 12, 31));
    QCOMPARE(doc.pageCount(), 1);
    if (types) {
        QVERIFY(doc.itemTexts(u"QRDBText3"_s)
                    .contains(u"Modo M e Bid. / Doppler: Pulsado, Contínuo, Côr"_s));
    }
    const QStringList hidden = hiddenTexts(*m_report->QuickRep, doc);
    QVERIFY2(hidden.isEmpty(), qPrintable(hidden.join(u'\n')));
}

void tst_SummaryReport::pdfIsTitledForTheRecord()
{
    if (QStandardPaths::findExecutable(u"pdfinfo"_s).isEmpty())
        QSKIP("pdfinfo is not installed");
    QVERIFY(run(SummaryReport::Kind::ByHealthSystem, true, QDate(2024, 1, 1), QDate(2024, 12, 31))
                .pageCount()
            > 0);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(u"summary.pdf"_s);
    QVERIFY(m_report->QuickRep->exportPdf(pdf));
    const QString info = pdfInfo(pdf);
    QCOMPARE(pdfInfoField(info, u"Title"_s),
             u"Relação de Eco's por Sistema de Saúde — 01/01/2024 a 31/12/2024"_s);
    QCOMPARE(pdfInfoField(info, u"Creator"_s), u"Taluvo"_s);
    QCOMPARE(pdfInfoField(info, u"Page size"_s), u"595 x 842 pts (A4)"_s);
    QVERIFY2(claimsPdfA1b(info), qPrintable(info));
}

QTEST_MAIN(tst_SummaryReport)
#include "tst_SummaryReport.moc"
