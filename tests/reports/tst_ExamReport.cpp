#include "reports/ExamReport.h"

#include "data/DM.h"
#include "platform/engine/Table.h"
#include "platform/report/BandedReport.h"
#include "platform/report/ReportDocument.h"
#include "platform/report/ReportLabel.h"
#include "platform/widgets/DialogRecorder.h"
#include "support/PdfInfo.h"
#include "support/PracticeDirectory.h"
#include "support/ReportLayoutCheck.h"
#include "support/TestSupport.h"
#include "workspace/MeasurementsPage.h"
#include "workspace/SegmentViews.h"

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
// Patient 7's exam has findings, scores and observations; patient 8's exam has no score row.
const char *const kPractice = R"(
INSERT INTO medico (CODIGO, NOME, ACTIVO) VALUES (1, 'DR JOAO SILVA', 1), (2, 'ANA TECNICA', 1);
INSERT INTO bddid (NF, NOME, DNASC, BENIF) VALUES (7, 'MARIA DA CONCEICAO FERREIRA', '1950-03-02', '1');
INSERT INTO bddid (NF, NOME, DNASC, BENIF) VALUES (8, 'JOSE', '1960-01-01', '1');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor, tecnico, Peso, Altura, Idade,
    Medico, ModoD, Qte, InfoCl, Vd, Fe, OrdSeg, Dcc, Vcn, Cvn, Asd, Pn, OrdSeg1, Eco1) VALUES
    (7, '2024-06-14 09:00:00.000', '2024-06-14', 1, 2, 61, 158, 74, 'DR CARDOSO',
     'Modo M e Bidimensional', 'Boa', 'Dispneia', 25.5, 62, 0, 1, 1, 1, 1, 1, 'Hipocinesia apical.',
     '{\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fnil\fcharset0 Arial;}}\viewkind4\uc1\pard\f0\fs20 Exame \b normal\b0 .\par}');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor) VALUES
    (8, '2024-06-14 10:00:00.000', '2024-06-14', 1);
INSERT INTO bddid (NF, NOME, BENIF) VALUES
    (9, 'NINGUEM RESPONDEU', '1'),
    (10, 'MEMOS VAZIOS', '1'),
    (11, 'DUAS LINHAS', '1'),
    (12, 'MARIA DA CONCEICAO DOS SANTOS FERREIRA DE ALBUQUERQUE E VASCONCELOS MENDONCA', '1');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor, OrdSeg1, Vc1, Asd) VALUES
    (9, '2024-06-14 09:00:00.000', '2024-06-14', NULL, NULL, NULL, NULL),
    (10, '2024-06-14 09:00:00.000', '2024-06-14', 1,
     '{\rtf1\ansi\deff0\pard\par}', '{\rtf1\ansi\deff0\pard\par}', 0),
    (11, '2024-06-14 09:00:00.000', '2024-06-14', 1, NULL, NULL, 1),
    (12, '2024-06-14 09:00:00.000', '2024-06-14', 1, NULL, NULL, NULL);
INSERT INTO imagem (CodpacienteI, DodExamei, C1, C2, C3, C4, C5, C6, C7, C8, C9, C10, C11, C12,
    C13, C14, C15, C16) VALUES
    (9, '2024-06-14 09:00:00.000', NULL,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1),
    (10, '2024-06-14 09:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1),
    (11, '2024-06-14 09:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1),
    (11, '2024-06-14 09:00:00.000', 2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2),
    (12, '2024-06-14 09:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1);
INSERT INTO imagem (CodpacienteI, DodExamei, C1, C2, C3, C4, C5, C6, C7, C8, C9, C10, C11, C12,
    C13, C14, C15, C16) VALUES
    (7, '2024-06-14 09:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,2,2,2,2,1);
)";

// From an outline, walked every tenth of a millimetre, to a box.
qreal distanceMm(const QPolygonF &outline, const QRectF &box)
{
    qreal best = std::numeric_limits<qreal>::max();
    for (qsizetype i = 0; i + 1 < outline.size(); ++i) {
        const QLineF edge(outline.at(i), outline.at(i + 1));
        const int steps = std::max(1, int(edge.length() * 10));
        for (int k = 0; k <= steps; ++k) {
            const QPointF p = edge.pointAt(qreal(k) / steps);
            best = std::min(best,
                            std::hypot(std::max({ box.left() - p.x(), 0.0, p.x() - box.right() }),
                                       std::max({ box.top() - p.y(), 0.0, p.y() - box.bottom() })));
        }
    }
    return best;
}
} // namespace

class tst_ExamReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void onePageWithEverything();
    void examWithoutScoreRowPrintsNothing();
    void unansweredExam();
    void emptiedMemosPrintTheirBands();
    void twoScoreRowsRepeatTheChain();
    void longConclusionContinuesOnPageTwo();
    void longNameIsCut();
    void pictureForTheEye();
    void printedTextFollowsTheFindings_data();
    void printedTextFollowsTheFindings();
    void nullMeasurementIsAnEmptyGreyBox();
    void normalRangesAgreeWithTheScreen();
    void pdfIsTitledForTheRecord();
    void noTextIsHidden();
    void diagramNamesStandBesideTheirSegments();

private:
    // The report as PDF, read back page by page; empty when pdftotext is missing.
    QStringList pdfPages()
    {
        const QString pdf = m_files.path() + u"/report.pdf"_s;
        if (!m_report->QuickRep1->exportPdf(pdf))
            return {};
        QProcess read;
        read.start(u"pdftotext"_s, { u"-layout"_s, pdf, u"-"_s });
        if (!read.waitForFinished(30000))
            return {};
        QStringList pages = QString::fromUtf8(read.readAllStandardOutput()).split(u'\f');
        if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
            pages.removeLast();
        return pages;
    }
    static bool canReadPdf() { return !QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty(); }
    // What the report as PDF says about itself (PdfInfo.h).
    QString reportInfo()
    {
        const QString pdf = m_files.path() + u"/info.pdf"_s;
        return m_report->QuickRep1->exportPdf(pdf) ? pdfInfo(pdf) : QString();
    }
    // Patient 7's exam with every finding abnormal and the widest values it may hold.
    void makeEverythingAbnormal()
    {
        Table *eco = m_module->TableEco;
        eco->edit();
        eco->fieldByName(u"ModoD"_s)
            ->setAsString(u"Modo M e Bid. / Doppler: Pulsado, Contínuo, Côr"_s);
        eco->fieldByName(u"Peso"_s)->setAsInteger(120);
        eco->fieldByName(u"Altura"_s)->setAsInteger(185);
        eco->fieldByName(u"Qte"_s)->setAsString(u"Razoável"_s);
        for (const char *normal : { "OrdSeg", "Dcc", "Vcn", "Cvn", "Pn" })
            eco->fieldByName(QString::fromLatin1(normal))->setAsBoolean(false);
        for (const char *abnormal :
             { "Dccae", "Dccad", "Dccve", "Dccvd", "Vceem", "Vceea", "Vceep", "Vceet", "Vcmm",
               "Vcma", "Vcmp", "VcmT", "Cvm", "Cvd", "Pdg" })
            eco->fieldByName(QString::fromLatin1(abnormal))->setAsBoolean(true);
        eco->post();
    }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<PracticeDirectory> m_dir;
    std::unique_ptr<TDataModule1> m_module;
    std::unique_ptr<ExamReport> m_report;
    QTemporaryDir m_files;
};

void tst_ExamReport::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_dir = std::make_unique<PracticeDirectory>(QString::fromUtf8(kPractice));
    m_module = std::make_unique<TDataModule1>();
    DataModule1 = m_module.get();
    m_module->load();
    m_report = std::make_unique<ExamReport>(*m_module);
    QVERIFY(m_module->TablePac->locate(u"NF"_s, 7));
}

void tst_ExamReport::cleanup()
{
    m_report.reset();
    m_module.reset();
    DataModule1 = nullptr;
    m_dir.reset();
    m_env.reset();
}

void tst_ExamReport::onePageWithEverything()
{
    const ReportDocument doc = m_report->QuickRep1->generate();
    QCOMPARE(doc.pageCount(), 1);
    QCOMPARE(doc.pageBands(0),
             (QStringList { u"PageHeaderBand1"_s, u"TitleBand1"_s, u"DetailBand1"_s,
                            u"ChildBand1"_s, u"ChildBand2"_s, u"ChildBand3"_s, u"ChildBand4"_s,
                            u"ChildBand5"_s, u"ChildBand6"_s, u"SummaryBand1"_s }));
    QCOMPARE(doc.itemTexts(u"QRDBText3"_s), QStringList { u"14-06-2024"_s });
    QCOMPARE(doc.itemTexts(u"QRDBText6"_s), QStringList { u"02-03-1950"_s });
    QCOMPARE(doc.itemTexts(u"QRDBTextVd"_s), QStringList { u"25,5"_s });
    QCOMPARE(doc.itemTexts(u"QRLabel59"_s).size(), 1);
    QCOMPARE(doc.itemTexts(u"QRLabel69"_s), QStringList { u"DR JOAO SILVA"_s });
    QCOMPARE(doc.itemTexts(u"QRLabel80"_s), QStringList { u"ANA TECNICA"_s });
    QCOMPARE(doc.itemTexts(u"QRDBRichText1"_s), QStringList { u"Exame normal."_s });
    QCOMPARE(doc.itemTexts(u"QRDBRichText2"_s), QStringList { u"Hipocinesia apical."_s });
    QVERIFY(m_env->recorder().isEmpty());
}

void tst_ExamReport::examWithoutScoreRowPrintsNothing()
{
    QVERIFY(m_module->TablePac->locate(u"NF"_s, 8));
    QCOMPARE(m_report->QuickRep1->generate().pageCount(), 0);
}

void tst_ExamReport::unansweredExam()
{
    QVERIFY(m_module->TablePac->locate(u"NF"_s, 9));
    const ReportDocument doc = m_report->QuickRep1->generate();
    QCOMPARE(doc.pageCount(), 1);
    // No observations, no dyskinetic areas: those bands stay out; the rest prints.
    QCOMPARE(
        doc.pageBands(0),
        (QStringList { u"PageHeaderBand1"_s, u"TitleBand1"_s, u"DetailBand1"_s, u"ChildBand2"_s,
                       u"ChildBand3"_s, u"ChildBand4"_s, u"ChildBand6"_s, u"SummaryBand1"_s }));
    // A null measurement is an empty box; the title still shows the other values.
    QCOMPARE(doc.itemTexts(u"QRDBTextVd"_s), QStringList { QString() });
    // No doctor: caption and underline still print, the name is empty.
    QCOMPARE(doc.itemTexts(u"QRLabel1"_s), QStringList { u"O Médico"_s });
    QCOMPARE(doc.itemTexts(u"QRLabel56"_s), QStringList { QString(34, u'_') });
    QVERIFY(m_env->recorder().isEmpty());
}

void tst_ExamReport::emptiedMemosPrintTheirBands()
{
    QVERIFY(m_module->TablePac->locate(u"NF"_s, 10));
    const ReportDocument doc = m_report->QuickRep1->generate();
    QVERIFY(doc.pageBands(0).contains(u"ChildBand1"_s));
    QVERIFY(!doc.pageBands(0).contains(u"ChildBand5"_s));
    for (const ReportDocument::BandRecord &band : doc.bands()) {
        if (band.band == u"ChildBand3"_s)
            QVERIFY2(qAbs(band.rectMm.height() - 15.1) < 0.05,
                     qPrintable(QString::number(band.rectMm.height())));
    }
}

void tst_ExamReport::twoScoreRowsRepeatTheChain()
{
    QVERIFY(m_module->TablePac->locate(u"NF"_s, 11));
    const ReportDocument doc = m_report->QuickRep1->generate();
    QStringList all;
    for (int page = 0; page < doc.pageCount(); ++page)
        all += doc.pageBands(page);
    QCOMPARE(all.count(u"TitleBand1"_s), 1);
    QCOMPARE(all.count(u"SummaryBand1"_s), 1);
    QCOMPARE(all.count(u"DetailBand1"_s), 2);
    QCOMPARE(all.count(u"ChildBand5"_s), 2);
    QCOMPARE(doc.itemTexts(u"QRLabel59"_s).size(), 2);
    QVERIFY(doc.itemTexts(u"QRLabel59"_s).at(1).endsWith(u"2"_s));
    if (!canReadPdf())
        return;
    const QString text = pdfPages().join(u'\f');
    QCOMPARE(text.count(u"Nome:"_s), 1);
    QCOMPARE(text.count(u"Total (score): 1"_s), 1);
    QCOMPARE(text.count(u"Total (score): 2"_s), 1);
    QCOMPARE(text.count(u"O Médico"_s), 1);
}

void tst_ExamReport::longConclusionContinuesOnPageTwo()
{
    QStringList paragraphs;
    for (int i = 0; i < 60; ++i)
        paragraphs << u"Parágrafo %1 da conclusão.\\par "_s.arg(i + 1);
    m_module->TableEco->edit();
    m_module->TableEcoEco1->setAsString(u"{\\rtf1\\ansi\\deff0\\pard "_s
                                        + paragraphs.join(QString()) + u"}"_s);
    m_module->TableEco->post();
    const ReportDocument doc = m_report->QuickRep1->generate();
    QCOMPARE(doc.pageCount(), 2);
    QCOMPARE(doc.pageBands(1).first(), u"PageHeaderBand1"_s);
    // The second page says whose it is and which it is; the first has no footer.
    QVERIFY(!doc.pageBands(0).contains(u"PageFooterBand1"_s));
    QCOMPARE(doc.pageBands(1).last(), u"PageFooterBand1"_s);
    QCOMPARE(doc.itemTexts(u"QRDBTextFooterName"_s),
             QStringList { u"MARIA DA CONCEICAO FERREIRA"_s });
    QCOMPARE(doc.itemTexts(u"QRSysDataFooterPage"_s), QStringList { u"Pág. 2"_s });
    const QStringList hidden = hiddenTexts(*m_report->QuickRep1, doc);
    QVERIFY2(hidden.isEmpty(), qPrintable(hidden.join(u'\n')));
    QVERIFY(!doc.pageBands(1).contains(u"TitleBand1"_s));
    QVERIFY(doc.pageBands(1).contains(u"SummaryBand1"_s));
    const QStringList pieces = doc.itemTexts(u"QRDBRichText1"_s);
    QCOMPARE(pieces.size(), 2);
    QVERIFY(pieces.at(1).contains(u"Parágrafo 60 da conclusão."_s));
    if (!canReadPdf())
        return;
    const QStringList pages = pdfPages();
    QCOMPARE(pages.size(), 2);
    QCOMPARE(pages.at(1).trimmed().section(u'\n', 0, 0).trimmed(),
             u"Relatório de Exame Ecocardiográfico"_s);
    QVERIFY(!pages.at(1).contains(u"Nome:"_s));
    QVERIFY(pages.at(1).contains(u"Parágrafo 60 da conclusão."_s));
    QVERIFY(pages.at(0).contains(u"Parágrafo 1 da conclusão."_s));
    const QString footer = pages.at(1).trimmed().section(u'\n', -1).simplified();
    QCOMPARE(footer, u"MARIA DA CONCEICAO FERREIRA Pág. 2"_s);
    QVERIFY(!pages.at(0).contains(u"Pág."_s));
}

void tst_ExamReport::longNameIsCut()
{
    QVERIFY(m_module->TablePac->locate(u"NF"_s, 12));
    const ReportDocument doc = m_report->QuickRep1->generate();
    for (const ReportDocument::TextRecord &text : doc.texts()) {
        if (text.item == u"QRDBText1"_s)
            QVERIFY(text.rectMm.right() <= 16.9 + 84.9 + 10 + 0.01);
    }
    if (!canReadPdf())
        return;
    const QString text = pdfPages().join(u'\f');
    QVERIFY(text.contains(u"MARIA DA CONCEICAO DOS SANTOS"_s));
    QVERIFY(!text.contains(u"VASCONCELOS MENDONCA"_s));
}

void tst_ExamReport::pictureForTheEye()
{
    const QString pdf = QCoreApplication::applicationDirPath() + u"/ExamReport.pdf"_s;
    QVERIFY(m_report->QuickRep1->exportPdf(pdf));
    if (QStandardPaths::findExecutable(u"pdftoppm"_s).isEmpty())
        QSKIP("pdftoppm is not installed");
    QProcess render;
    render.start(u"pdftoppm"_s,
                 { u"-png"_s, u"-r"_s, u"110"_s, u"-singlefile"_s, pdf,
                   QCoreApplication::applicationDirPath() + u"/ExamReport"_s });
    QVERIFY(render.waitForFinished(30000));
    QVERIFY(QImage(QCoreApplication::applicationDirPath() + u"/ExamReport.png"_s).width() > 0);
}

void tst_ExamReport::printedTextFollowsTheFindings_data()
{
    QTest::addColumn<int>("patient");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    const QString diagram = u"Áreas Segmentares Disquinéticas :"_s;
    QTest::newRow("dyskinetic areas ticked")
        << 7 << QStringList { diagram, u"Anormais"_s, u"1 = normal"_s, u"Hipocinesia apical."_s }
        << QStringList {};
    QTest::newRow("dyskinetic areas unticked") << 10 << QStringList { u"Válvulas Cardíacas :"_s }
                                               << QStringList { diagram, u"5 = aneurismático"_s };
    // Never answered: the findings read as normal, no diagram, no observations.
    QTest::newRow("all findings null")
        << 9 << QStringList { u"Válvulas Cardíacas :"_s, u"Normais"_s, u"Normal"_s }
        << QStringList { diagram, u"Anormais"_s };
}

void tst_ExamReport::printedTextFollowsTheFindings()
{
    QFETCH(int, patient);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    if (!canReadPdf())
        QSKIP("pdftotext is not installed");
    QVERIFY(m_module->TablePac->locate(u"NF"_s, patient));
    const QString text = pdfPages().join(u'\f');
    QVERIFY(text.contains(u"Relatório de Exame Ecocardiográfico"_s));
    for (const QString &expected : present)
        QVERIFY2(text.contains(expected), qPrintable(expected));
    for (const QString &unexpected : absent)
        QVERIFY2(!text.contains(unexpected), qPrintable(unexpected));
}

void tst_ExamReport::nullMeasurementIsAnEmptyGreyBox()
{
    if (QStandardPaths::findExecutable(u"pdftoppm"_s).isEmpty())
        QSKIP("pdftoppm is not installed");
    QVERIFY(m_module->TablePac->locate(u"NF"_s, 9));
    const ReportDocument doc = m_report->QuickRep1->generate();
    QRectF box;
    for (const ReportDocument::TextRecord &text : doc.texts()) {
        if (text.item == u"QRDBTextVd"_s) {
            QVERIFY(text.text.isEmpty());
            box = text.rectMm;
        }
    }
    QVERIFY(box.isValid());
    const QString pdf = m_files.path() + u"/null.pdf"_s;
    QVERIFY(m_report->QuickRep1->exportPdf(pdf));
    QProcess render;
    constexpr int dpi = 100;
    render.start(u"pdftoppm"_s,
                 { u"-png"_s, u"-r"_s, QString::number(dpi), u"-singlefile"_s, pdf,
                   m_files.path() + u"/null"_s });
    QVERIFY(render.waitForFinished(30000));
    const QImage page(m_files.path() + u"/null.png"_s);
    QVERIFY(!page.isNull());
    const QPointF centre = box.center() * dpi / 25.4;
    const QColor colour = page.pixelColor(centre.toPoint());
    QVERIFY2(qAbs(colour.red() - 223) <= 2 && colour.red() == colour.green()
                 && colour.green() == colour.blue(),
             qPrintable(colour.name()));
}

void tst_ExamReport::normalRangesAgreeWithTheScreen()
{
    // The page "Valores" is the reference: the report may add a unit or leave out a blank.
    MeasurementsPage page;
    const auto plain = [](QString text) { return text.remove(u' '); };
    int compared = 0;
    for (const QLabel *normal : page.findChildren<QLabel *>()) {
        if (!normal->objectName().startsWith(u"LabelNormal"_s))
            continue;
        const QString field = normal->objectName().mid(11);
        const auto *printed
            = qobject_cast<ReportLabel *>(m_report->DetailBand1->item(u"QRLabelNormal"_s + field));
        QVERIFY2(printed, qPrintable(field));
        QVERIFY2(plain(printed->caption()).startsWith(plain(normal->text())),
                 qPrintable(field + u": "_s + printed->caption()));
        ++compared;
    }
    QCOMPARE(compared, 16);

    if (!canReadPdf())
        QSKIP("pdftotext is not installed");
    const QStringList lines = pdfPages().value(0).split(u'\n');
    const auto ejection = std::find_if(lines.cbegin(), lines.cend(), [](const QString &line) {
        return line.contains(u"Fracção de Ejecção (FE)"_s);
    });
    QVERIFY(ejection != lines.cend());
    QVERIFY2(ejection->contains(QRegularExpression(u"\\(FE\\) +62 +> 55 %"_s)),
             qPrintable(*ejection));
}

void tst_ExamReport::pdfIsTitledForTheRecord()
{
    if (QStandardPaths::findExecutable(u"pdfinfo"_s).isEmpty())
        QSKIP("pdfinfo is not installed");
    const QString info = reportInfo();
    const QString title = u"Relatório de Exame Ecocardiográfico — MARIA DA CONCEICAO FERREIRA — "
                          "14/06/2024"_s;
    QCOMPARE(pdfInfoField(info, u"Title"_s), title);
    QVERIFY(info.contains(u"<rdf:li xml:lang=\"x-default\">"_s + title + u"</rdf:li>"_s));
    QCOMPARE(pdfInfoField(info, u"Creator"_s), u"Taluvo"_s);
    QCOMPARE(pdfInfoField(info, u"Page size"_s), u"595 x 842 pts (A4)"_s);
    QVERIFY2(claimsPdfA1b(info), qPrintable(info));
    // Worked out for every run: another patient, another title.
    QVERIFY(m_module->TablePac->locate(u"NF"_s, 12));
    QVERIFY(
        pdfInfoField(reportInfo(), u"Title"_s).contains(u"VASCONCELOS MENDONCA — 14/06/2024"_s));
}

void tst_ExamReport::noTextIsHidden()
{
    makeEverythingAbnormal();
    const ReportDocument doc = m_report->QuickRep1->generate();
    QCOMPARE(doc.pageCount(), 1);
    QVERIFY(doc.pageBands(0).contains(u"ChildBand5"_s));
    QCOMPARE(doc.itemTexts(u"QRDBText9"_s), QStringList { u"185"_s });
    const QStringList hidden = hiddenTexts(*m_report->QuickRep1, doc);
    QVERIFY2(hidden.isEmpty(), qPrintable(hidden.join(u'\n')));
}

void tst_ExamReport::diagramNamesStandBesideTheirSegments()
{
    const ReportDocument doc = m_report->QuickRep1->generate();
    QPointF band;
    for (const ReportDocument::BandRecord &record : doc.bands()) {
        if (record.band == u"ChildBand5"_s)
            band = record.rectMm.topLeft();
    }
    QVERIFY(!band.isNull());
    // Where each segment's name and score (C6, or C6b on the short axis) print in the band.
    QMap<QString, QList<QRectF>> texts;
    for (const ReportDocument::TextRecord &text : doc.texts()) {
        const bool name = text.item.startsWith(u"QRLabelSegC"_s);
        if (name || text.item.startsWith(u"QRDBTextC"_s))
            texts[text.item.mid(name ? 10 : 8)] << text.textMm.translated(-band);
    }
    QCOMPARE(texts.size(), 21);

    // Name and score stand nearer their own strip than any other of any view.
    QMap<QPair<SegmentView, int>, QPolygonF> strips;
    for (const ExamReport::DiagramView &view : ExamReport::diagramViews()) {
        for (int segment : SegmentViews::segments(view.view))
            strips[{ view.view, segment }]
                = SegmentViews::transformFor(view.rectMm)
                      .map(SegmentViews::stripPath(view.view, segment).toFillPolygon());
    }
    for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
        QCOMPARE(it.value().size(), 2);
        const QRectF both = it.value().first().united(it.value().last());
        const int segment = it.key().mid(1).remove(u'b').toInt();
        QPair<SegmentView, int> own { SegmentView::ShortAxis, segment };
        for (SegmentView view :
             { SegmentView::FourChamber, SegmentView::TwoChamber, SegmentView::LongAxis }) {
            if (!it.key().endsWith(u'b') && SegmentViews::segments(view).contains(segment))
                own.first = view;
        }
        const qreal apart = distanceMm(strips.value(own), both);
        QVERIFY2(apart < 8, qPrintable(it.key()));
        for (auto strip = strips.cbegin(); strip != strips.cend(); ++strip) {
            QVERIFY2(strip.key() == own || distanceMm(strip.value(), both) > apart,
                     qPrintable(it.key() + u" beside segment %1"_s.arg(strip.key().second)));
        }
    }

    // No stroke of the drawing, leaders included, reaches into a name or a score, and none is
    // cut at the picture's edges: the drawing is what the picture adds to the page.
    constexpr qreal dpi = 400;
    const auto render = [&] {
        QImage image(qRound(190 / 25.4 * dpi), qRound(50.3 / 25.4 * dpi), QImage::Format_RGB32);
        image.fill(Qt::white);
        const ReportDocument page = m_report->QuickRep1->generate();
        QPainter painter(&image);
        painter.translate(-band * dpi / 25.4);
        page.render(painter, 0, QRectF(QPointF(0, 0), page.pageSizeMm() * dpi / 25.4));
        return image;
    };
    const QImage drawing = render();
    ReportItem *picture = m_report->ChildBand5->item(u"QRImage2"_s);
    picture->setEnabled(false);
    const QImage without = render();
    picture->setEnabled(true);
    const auto drawnIn = [&](const QRectF &mm) {
        const QRect pixels
            = QRectF(mm.topLeft() * dpi / 25.4, mm.size() * dpi / 25.4).toAlignedRect();
        for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
            for (int x = pixels.left(); x <= pixels.right(); ++x) {
                if (drawing.pixel(x, y) != without.pixel(x, y))
                    return true;
            }
        }
        return false;
    };
    const QRectF frame = picture->geometry();
    QVERIFY(drawnIn(frame));
    for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
        for (const QRectF &box : it.value())
            QVERIFY2(!drawnIn(box.adjusted(0.1, 0.1, -0.1, -0.1)), qPrintable(it.key()));
    }
    const qreal hair = 25.4 / dpi;
    QVERIFY(!drawnIn(QRectF(frame.topLeft(), QSizeF(frame.width(), hair))));
    QVERIFY(!drawnIn(QRectF(frame.left(), frame.bottom() - hair, frame.width(), hair)));
    QVERIFY(!drawnIn(QRectF(frame.topLeft(), QSizeF(hair, frame.height()))));
    QVERIFY(!drawnIn(QRectF(frame.right() - hair, frame.top(), hair, frame.height())));
}

QTEST_MAIN(tst_ExamReport)
#include "tst_ExamReport.moc"
