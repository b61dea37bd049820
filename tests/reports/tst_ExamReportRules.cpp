#include "reports/ExamReportRules.h"

#include "data/DM.h"
#include "platform/engine/DataSource.h"
#include "platform/engine/Field.h"
#include "platform/engine/Table.h"
#include "support/PracticeDirectory.h"
#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
// Patient 7: an exam with findings, both people and an observation on the ordering; one score
// null. Patient 8: an exam never answered, without doctor or technician.
const char *const kPractice = R"(
INSERT INTO medico (CODIGO, NOME, ACTIVO) VALUES (1, 'DR ACTIVO', 1), (2, 'TEC ACTIVA', 1),
    (3, 'TEC INACTIVO', 0);
INSERT INTO bddid (NF, NOME, DNASC, BENIF) VALUES (7, 'ANA', '2000-06-15', '1');
INSERT INTO bddid (NF, NOME, DNASC, BENIF) VALUES (8, 'BRUNO', '2000-06-15', '1');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor, tecnico, OrdSeg, OrdSeg1, Dccae,
    Dccvd, Vcn, Vceea, VcmT, Cvm, Cvd, Asd, Pn, Pdm) VALUES
    (7, '2024-06-14 09:00:00.000', '2024-06-14', 1, 2, 0, '{\rtf1 obs}', 1, 0, 0, 1, 1, 1, 1, 1,
     0, 1);
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame) VALUES
    (8, '2024-06-14 10:00:00.000', '2024-06-14');
INSERT INTO imagem (CodpacienteI, DodExamei, C1, C2, C3, C4, C5, C6, C7, C8, C9, C10, C11, C12,
    C13, C14, C15, C16) VALUES
    (7, '2024-06-14 09:00:00.000', 3,2,NULL,1,1,1,1,1,1,1,1,1,1,1,1,1),
    (8, '2024-06-14 10:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1);
)";

const QString kUnderline(34, u'_');

struct Flag
{
    const char *name;
    std::optional<bool> ExamFindings::*member;
};
const Flag kFlags[] = {
    { "OrdSeg", &ExamFindings::OrdSeg }, { "Dcc", &ExamFindings::Dcc },
    { "Dccae", &ExamFindings::Dccae },   { "Dccad", &ExamFindings::Dccad },
    { "Dccve", &ExamFindings::Dccve },   { "Dccvd", &ExamFindings::Dccvd },
    { "Vcn", &ExamFindings::Vcn },       { "Vceem", &ExamFindings::Vceem },
    { "Vceea", &ExamFindings::Vceea },   { "Vceep", &ExamFindings::Vceep },
    { "Vceet", &ExamFindings::Vceet },   { "Vcmm", &ExamFindings::Vcmm },
    { "Vcma", &ExamFindings::Vcma },     { "Vcmp", &ExamFindings::Vcmp },
    { "VcmT", &ExamFindings::VcmT },     { "Cvn", &ExamFindings::Cvn },
    { "Cvd", &ExamFindings::Cvd },       { "Cvc", &ExamFindings::Cvc },
    { "Cvm", &ExamFindings::Cvm },       { "Asd", &ExamFindings::Asd },
    { "Pn", &ExamFindings::Pn },         { "Pdp", &ExamFindings::Pdp },
    { "Pdm", &ExamFindings::Pdm },       { "Pdg", &ExamFindings::Pdg },
};

// "Vcn=F Vceea=T OrdSeg1": the findings named, the others null; a memo named is present.
ExamFindings findings(const QString &given)
{
    ExamFindings f;
    for (const QString &token : given.split(u' ', Qt::SkipEmptyParts)) {
        const QString name = token.section(u'=', 0, 0);
        if (name == u"OrdSeg1"_s) {
            f.OrdSeg1Present = true;
            continue;
        }
        if (name == u"Vc1"_s) {
            f.Vc1Present = true;
            continue;
        }
        bool known = false;
        for (const Flag &flag : kFlags) {
            if (name == QLatin1String(flag.name)) {
                f.*flag.member = token.section(u'=', 1) == u"T"_s;
                known = true;
            }
        }
        if (!known)
            qFatal("unknown finding %s", qPrintable(token));
    }
    return f;
}

// The same notation back, in a fixed order, people's codes last.
QString describe(const ExamFindings &f)
{
    QStringList tokens;
    for (const Flag &flag : kFlags) {
        if (const std::optional<bool> &v = f.*flag.member)
            tokens << QLatin1String(flag.name) + (*v ? u"=T"_s : u"=F"_s);
    }
    if (f.OrdSeg1Present)
        tokens << u"OrdSeg1"_s;
    if (f.Vc1Present)
        tokens << u"Vc1"_s;
    if (f.Executor)
        tokens << u"Executor=%1"_s.arg(*f.Executor);
    if (f.tecnico)
        tokens << u"tecnico=%1"_s.arg(*f.tecnico);
    return tokens.join(u' ');
}

// "2*4 1*12 -": four 2s, twelve 1s and a null.
QList<std::optional<int>> scoreList(const QString &given)
{
    QList<std::optional<int>> list;
    for (const QString &token : given.split(u' ', Qt::SkipEmptyParts)) {
        const QString value = token.section(u'*', 0, 0);
        const int times = token.contains(u'*') ? token.section(u'*', 1).toInt() : 1;
        for (int i = 0; i < times; ++i)
            list << (value == u"-"_s ? std::nullopt : std::optional<int>(value.toInt()));
    }
    return list;
}

QString sentence(const QString &hook, const ExamFindings &f)
{
    using namespace ExamReportRules;
    using Rule = QString (*)(const ExamFindings &);
    static const QHash<QString, Rule> rules = {
        { u"QRLabel47"_s, &QRLabel47Print }, { u"QRLabel71"_s, &QRLabel71Print },
        { u"QRLabel11"_s, &QRLabel11Print }, { u"QRLabel51"_s, &QRLabel51Print },
        { u"QRLabel52"_s, &QRLabel52Print }, { u"QRLabel54"_s, &QRLabel54Print },
        { u"QRLabel58"_s, &QRLabel58Print },
    };
    return rules.value(hook)(f);
}
} // namespace

class tst_ExamReportRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void sentences_data();
    void sentences();
    void bands_data();
    void bands();
    void scoreIndex_data();
    void scoreIndex();
    void scoreIndexFollowsDecimalSeparator();
    void signatures_data();
    void signatures();
    void readsTheCurrentExam();
    void lookupLeavesStaffTableWhereItWas();

private:
    void startPractice();
    void showPatient(int nf) { QVERIFY(m_module->TablePac->locate(u"NF"_s, nf)); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<PracticeDirectory> m_dir;
    std::unique_ptr<TDataModule1> m_module;
};

void tst_ExamReportRules::init()
{
    m_env = std::make_unique<TestEnvironment>();
}

void tst_ExamReportRules::cleanup()
{
    m_module.reset();
    DataModule1 = nullptr;
    m_dir.reset();
    m_env.reset();
}

void tst_ExamReportRules::startPractice()
{
    m_dir = std::make_unique<PracticeDirectory>(QString::fromUtf8(kPractice));
    m_module = std::make_unique<TDataModule1>();
    DataModule1 = m_module.get();
    m_module->load();
}

void tst_ExamReportRules::sentences_data()
{
    QTest::addColumn<QString>("hook");
    QTest::addColumn<QString>("findings");
    QTest::addColumn<QString>("text");

    auto row = [](const char *name, const QString &hook, const QString &given,
                  const QString &text) { QTest::newRow(name) << hook << given << text; };
    const QString ordering = u"QRLabel47"_s;
    row("ordering unanswered", ordering, u""_s, u"Normal"_s);
    row("ordering normal", ordering, u"OrdSeg=T"_s, u"Normal"_s);
    row("ordering abnormal", ordering, u"OrdSeg=F"_s, u"Anormal"_s);

    const QString chambers = u"QRLabel71"_s;
    row("chambers unanswered", chambers, u""_s, u"Normal"_s);
    row("chambers normal", chambers, u"Dcc=T"_s, u"Normal"_s);
    row("chambers abnormal, none dilated", chambers, u"Dcc=F"_s, u"Anormal"_s);
    row("chambers dilatation unticked", chambers, u"Dcc=F Dccae=F Dccvd=F"_s, u"Anormal"_s);
    row("chambers normal yet AE dilated", chambers, u"Dcc=T Dccae=T"_s,
        u"Normal.  Dilatação de AE  "_s);
    row("chambers unanswered, AD VD", chambers, u"Dccvd=T Dccad=T"_s,
        u"Normal.  Dilatação de AD  VD  "_s);
    row("chambers abnormal, VE", chambers, u"Dcc=F Dccve=T"_s, u"Anormal.  Dilatação de VE  "_s);
    row("chambers abnormal, all four", chambers, u"Dcc=F Dccvd=T Dccve=T Dccad=T Dccae=T"_s,
        u"Anormal.  Dilatação de AE  AD  VE  VD  "_s);

    const QString normal = u"QRLabel11"_s;
    row("valves word unanswered", normal, u""_s, u"Normais"_s);
    row("valves word normal", normal, u"Vcn=T Vceem=T"_s, u"Normais"_s);
    row("valves word abnormal", normal, u"Vcn=F"_s, u""_s);

    const QString structure = u"QRLabel51"_s;
    row("structure unanswered", structure, u"Vceem=T"_s, u""_s);
    row("structure normal", structure, u"Vcn=T Vceea=T"_s, u""_s);
    row("structure none ticked", structure, u"Vcn=F Vcmm=T Vceem=F"_s, u"----"_s);
    row("structure mitral", structure, u"Vcn=F Vceem=T"_s, u"Mitral com Estrutura Anormal"_s);
    row("structure aortic tricuspid", structure, u"Vcn=F Vceea=T Vceet=T"_s,
        u" Aórtica Tricúspida com Estrutura Anormal"_s);
    row("structure pulmonary", structure, u"Vcn=F Vceep=T"_s, u" Pulmonar com Estrutura Anormal"_s);
    row("structure all four", structure, u"Vcn=F Vceet=T Vceep=T Vceea=T Vceem=T"_s,
        u"Mitral Aórtica Pulmonar Tricúspida com Estrutura Anormal"_s);

    const QString motility = u"QRLabel52"_s;
    row("motility unanswered", motility, u"Vcmm=T"_s, u""_s);
    row("motility normal", motility, u"Vcn=T Vcma=T"_s, u""_s);
    row("motility none ticked", motility, u"Vcn=F Vceem=T Vcmm=F"_s, u"----"_s);
    row("motility mitral pulmonary", motility, u"Vcn=F Vcmm=T Vcmp=T"_s,
        u"Mitral Pulmonar com Motilidade Anormal"_s);
    row("motility tricuspid", motility, u"Vcn=F VcmT=T"_s, u"Tricúspida com Motilidade Anormal"_s);
    row("motility all four", motility, u"Vcn=F VcmT=T Vcmp=T Vcma=T Vcmm=T"_s,
        u"Mitral Aórtica Pulmonar Tricúspida com Motilidade Anormal"_s);

    const QString kinetics = u"QRLabel54"_s;
    row("kinetics unanswered", kinetics, u""_s, u"Normal"_s);
    row("kinetics abnormal", kinetics, u"Cvn=F"_s, u"Anormal"_s);
    row("kinetics very alone, normal", kinetics, u"Cvm=T"_s, u"Normal"_s);
    row("kinetics very alone, abnormal", kinetics, u"Cvn=F Cvm=T"_s, u"Anormal"_s);
    row("kinetics depressed", kinetics, u"Cvn=F Cvd=T"_s, u"Deprimida"_s);
    row("kinetics very depressed", kinetics, u"Cvm=T Cvd=T"_s, u"Muito Deprimida"_s);
    row("kinetics compromised", kinetics, u"Cvn=T Cvc=T Cvm=F"_s, u"Comprometida"_s);
    row("kinetics both", kinetics, u"Cvd=T Cvc=T"_s, u"Comprometida"_s);
    row("kinetics very, both", kinetics, u"Cvd=T Cvc=T Cvm=T"_s, u"Muito Comprometida"_s);
    row("kinetics words unticked", kinetics, u"Cvn=F Cvd=F Cvc=F Cvm=T"_s, u"Anormal"_s);

    const QString pericardium = u"QRLabel58"_s;
    row("pericardium unanswered", pericardium, u""_s, u"Normal"_s);
    row("pericardium abnormal", pericardium, u"Pn=F"_s, u"Anormal"_s);
    row("pericardium small", pericardium, u"Pn=F Pdp=T"_s, u"Derrame Pequeno"_s);
    row("pericardium medium", pericardium, u"Pdm=T"_s, u"Derrame Médio"_s);
    row("pericardium large", pericardium, u"Pn=T Pdg=T"_s, u"Derrame Grande"_s);
    row("pericardium small and large", pericardium, u"Pdp=T Pdg=T"_s, u"Derrame Grande"_s);
    row("pericardium small and medium", pericardium, u"Pdp=T Pdm=T"_s, u"Derrame Médio"_s);
    row("pericardium all three", pericardium, u"Pdg=T Pdm=T Pdp=T"_s, u"Derrame Grande"_s);
    row("pericardium sizes unticked", pericardium, u"Pn=F Pdp=F Pdm=F Pdg=F"_s, u"Anormal"_s);
}

void tst_ExamReportRules::sentences()
{
    QFETCH(QString, hook);
    QFETCH(QString, findings);
    QFETCH(QString, text);
    QCOMPARE(sentence(hook, ::findings(findings)), text);
}

void tst_ExamReportRules::bands_data()
{
    QTest::addColumn<QString>("findings");
    QTest::addColumn<bool>("orderingObservations");
    QTest::addColumn<double>("valveBandMm");
    QTest::addColumn<bool>("segmentDiagram");

    QTest::newRow("unanswered") << u""_s << false << 9.5 << false;
    QTest::newRow("ordering observations") << u"OrdSeg1"_s << true << 9.5 << false;
    QTest::newRow("ordering abnormal, no observations") << u"OrdSeg=F"_s << false << 9.5 << false;
    QTest::newRow("valve observations") << u"Vc1"_s << false << 15.1 << false;
    QTest::newRow("valves abnormal, no observations")
        << u"Vcn=F Vceem=T"_s << false << 9.5 << false;
    QTest::newRow("both observations") << u"OrdSeg1 Vc1"_s << true << 15.1 << false;
    QTest::newRow("dyskinetic areas") << u"Asd=T"_s << false << 9.5 << true;
    QTest::newRow("no dyskinetic areas") << u"Asd=F OrdSeg1"_s << true << 9.5 << false;
}

void tst_ExamReportRules::bands()
{
    QFETCH(QString, findings);
    QFETCH(bool, orderingObservations);
    QFETCH(double, valveBandMm);
    QFETCH(bool, segmentDiagram);

    const ExamFindings f = ::findings(findings);
    const BandPrint ordering = ExamReportRules::ChildBand1BeforePrint(f);
    QCOMPARE(ordering.print, orderingObservations);
    QVERIFY(!ordering.heightMm);

    const BandPrint valves = ExamReportRules::ChildBand3BeforePrint(f);
    QVERIFY(valves.print);
    QVERIFY(valves.heightMm);
    QCOMPARE(*valves.heightMm, valveBandMm);

    const BandPrint diagram = ExamReportRules::ChildBand5BeforePrint(f);
    QCOMPARE(diagram.print, segmentDiagram);
    QVERIFY(!diagram.heightMm);
}

void tst_ExamReportRules::scoreIndex_data()
{
    QTest::addColumn<QString>("scores");
    QTest::addColumn<QString>("text");

    QTest::newRow("all normal") << u"1*16"_s << u"Total (score): 1"_s;
    QTest::newRow("sum 20 rounds up") << u"2*4 1*12"_s << u"Total (score): 1,3"_s;
    QTest::newRow("nulls count 0") << u"1*8 -*8"_s << u"Total (score): ,5"_s;
    QTest::newRow("all 0") << u"0*16"_s << u"Total (score): "_s;
    QTest::newRow("all null") << u"-*16"_s << u"Total (score): "_s;
    QTest::newRow("quarter") << u"1*4 0*12"_s << u"Total (score): ,3"_s;
    QTest::newRow("sixteenth") << u"1 0*15"_s << u"Total (score): ,1"_s;
    QTest::newRow("just under 1") << u"1*15 0"_s << u"Total (score): ,9"_s;
    QTest::newRow("one null among") << u"3 2 - 1*13"_s << u"Total (score): 1,1"_s;
    QTest::newRow("three quarters past 1") << u"2*12 1*4"_s << u"Total (score): 1,8"_s;
    QTest::newRow("all aneurysmal") << u"5*16"_s << u"Total (score): 5"_s;
    QTest::newRow("just under 5") << u"5*15 4"_s << u"Total (score): 4,9"_s;
}

void tst_ExamReportRules::scoreIndex()
{
    QFETCH(QString, scores);
    QFETCH(QString, text);

    const QList<std::optional<int>> list = scoreList(scores);
    QCOMPARE(list.size(), 16);
    SegmentScores segments;
    std::copy(list.cbegin(), list.cend(), segments.begin());
    QCOMPARE(ExamReportRules::QRLabel63Print(segments), text);
}

void tst_ExamReportRules::scoreIndexFollowsDecimalSeparator()
{
    FormatSettings settings = FormatSettings::portuguese();
    settings.setDecimalSeparator(u'.');
    FormatSettings::setCurrent(settings);
    SegmentScores segments;
    segments.fill(1);
    segments[0] = 5;
    QCOMPARE(ExamReportRules::QRLabel63Print(segments), u"Total (score): 1.3"_s);
}

void tst_ExamReportRules::signatures_data()
{
    QTest::addColumn<QVariant>("executor");
    QTest::addColumn<QVariant>("tecnico");
    QTest::addColumn<QString>("doctor");
    QTest::addColumn<QString>("technician");
    QTest::addColumn<bool>("technicianBlock");

    const QVariant none;
    QTest::newRow("both") << QVariant(1.0) << QVariant(2) << u"DR ACTIVO"_s << u"TEC ACTIVA"_s
                          << true;
    QTest::newRow("no doctor") << none << QVariant(2) << u""_s << u"TEC ACTIVA"_s << true;
    QTest::newRow("no technician") << QVariant(1.0) << none << u"DR ACTIVO"_s << u""_s << false;
    QTest::newRow("neither") << none << none << u""_s << u""_s << false;
    QTest::newRow("deactivated technician")
        << QVariant(1.0) << QVariant(3) << u"DR ACTIVO"_s << u""_s << true;
    QTest::newRow("deactivated doctor")
        << QVariant(3.0) << QVariant(2) << u""_s << u"TEC ACTIVA"_s << true;
    QTest::newRow("unknown codes") << QVariant(99.0) << QVariant(99) << u""_s << u""_s << true;
    QTest::newRow("fractional doctor code")
        << QVariant(1.5) << QVariant(2) << u""_s << u"TEC ACTIVA"_s << true;
    QTest::newRow("roles swapped")
        << QVariant(2.0) << QVariant(1) << u"TEC ACTIVA"_s << u"DR ACTIVO"_s << true;
}

void tst_ExamReportRules::signatures()
{
    QFETCH(QVariant, executor);
    QFETCH(QVariant, tecnico);
    QFETCH(QString, doctor);
    QFETCH(QString, technician);
    QFETCH(bool, technicianBlock);

    startPractice();
    ExamFindings f;
    if (executor.isValid())
        f.Executor = executor.toDouble();
    if (tecnico.isValid())
        f.tecnico = tecnico.toLongLong();
    const StaffNameLookup names = ExamReportRules::staffNames(*m_module->TableMed);

    using namespace ExamReportRules;
    QCOMPARE(QRLabel69Print(f, names), doctor);
    QCOMPARE(QRLabel80Print(f, names), technician);
    QCOMPARE(QRLabel78Print(f, u"O Técnico"_s), technicianBlock ? u"O Técnico"_s : QString());
    QCOMPARE(QRLabel78Print(f, kUnderline), technicianBlock ? kUnderline : QString());
    // The doctor's block prints with or without a doctor.
    QCOMPARE(QRLabel1Print(u"O Médico"_s), u"O Médico"_s);
    QCOMPARE(QRLabel1Print(kUnderline), kUnderline);
}

void tst_ExamReportRules::readsTheCurrentExam()
{
    startPractice();
    showPatient(7);
    QCOMPARE(describe(ExamFindings::fromExam(*m_module->TableEco)),
             u"OrdSeg=F Dccae=T Dccvd=F Vcn=F Vceea=T VcmT=T Cvd=T Cvm=T Asd=T Pn=F Pdm=T "
             "OrdSeg1 Executor=1 tecnico=2"_s);
    const SegmentScores scores = ExamReportRules::segmentScores(*m_module->TableIMG);
    QCOMPARE(scores[0], std::optional<int>(3));
    QCOMPARE(scores[2], std::nullopt);
    QCOMPARE(scores[15], std::optional<int>(1));
    QCOMPARE(ExamReportRules::QRLabel63Print(scores), u"Total (score): 1,1"_s);

    showPatient(8);
    QCOMPARE(describe(ExamFindings::fromExam(*m_module->TableEco)), QString());
    QCOMPARE(ExamReportRules::QRLabel63Print(ExamReportRules::segmentScores(*m_module->TableIMG)),
             u"Total (score): 1"_s);
}

void tst_ExamReportRules::lookupLeavesStaffTableWhereItWas()
{
    startPractice();
    Table &staff = *m_module->TableMed;
    QVERIFY(staff.locate(u"CODIGO"_s, 2));
    QSignalSpy doctorCombo(m_module->DataSourceMed, &DataSource::dataChanged);
    QSignalSpy technicianCombo(m_module->DataSourceMed1, &DataSource::dataChanged);

    const StaffNameLookup names = ExamReportRules::staffNames(staff);
    QCOMPARE(names(1), std::optional<QString>(u"DR ACTIVO"_s));
    QCOMPARE(names(3), std::nullopt);
    QCOMPARE(m_module->TableMedCODIGO->asInteger(), 2);
    QCOMPARE(doctorCombo.count(), 0);
    QCOMPARE(technicianCombo.count(), 0);

    // Active people only, even while the table shows everyone.
    staff.setFiltered(false);
    QCOMPARE(staff.rowCount(), 3);
    QCOMPARE(names(3), std::nullopt);

    m_module.reset();
    DataModule1 = nullptr;
    QCOMPARE(names(1), std::nullopt);
}

QTEST_MAIN(tst_ExamReportRules)
#include "tst_ExamReportRules.moc"
