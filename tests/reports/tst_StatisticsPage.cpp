#include "reports/StatisticsPage.h"

#include "data/DM.h"
#include "platform/engine/Query.h"
#include "platform/widgets/DBLookupComboBox.h"
#include "platform/widgets/DialogRecorder.h"
#include "support/PracticeDirectory.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include "platform/widgets/DateEdit.h"
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
// Patient 1 has three exams in March by doctor 1, patient 2 one in June without a doctor;
// patient 3 has none. Doctor 2 is inactive.
const char *const kPractice = R"(
INSERT INTO medico (CODIGO, NOME, ACTIVO) VALUES (1, 'DR UM', 1), (2, 'DR DOIS', 0),
    (3, 'DR TRES', 1);
INSERT INTO bddid (NF, NOME, BENIF) VALUES (1, 'ANA', '1'), (2, 'BRUNO', '1'), (3, 'CARLA', '1');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor) VALUES
    (1, '2024-03-01 09:00:00.000', '2024-03-01', 1),
    (1, '2024-03-10 09:00:00.000', '2024-03-10', 1),
    (1, '2024-03-31 09:00:00.000', '2024-03-31', 1),
    (2, '2024-06-01 09:00:00.000', '2024-06-01', NULL);
)";
} // namespace

class tst_StatisticsPage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void layoutAndStart();
    void countsAllDoctors();
    void rangeEndsAreIncluded_data();
    void rangeEndsAreIncluded();
    void emptyRangeKeepsFigures();
    void chosenDoctorThenCleared();
    void noRegisteredPatients();

private:
    void range(const QDate &from, const QDate &to)
    {
        m_page->Data1->setDate(from);
        m_page->Data2->setDate(to);
    }
    [[nodiscard]] QStringList figures() const
    {
        return { m_page->Label57->text(), m_page->Label58->text(), m_page->Label60->text(),
                 m_page->Label59->text() };
    }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<PracticeDirectory> m_dir;
    std::unique_ptr<StatisticsPage> m_page;
    std::unique_ptr<TDataModule1> m_module;
};

void tst_StatisticsPage::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_dir = std::make_unique<PracticeDirectory>(QString::fromUtf8(kPractice));
    m_page = std::make_unique<StatisticsPage>();
    m_module = std::make_unique<TDataModule1>();
    DataModule1 = m_module.get();
    m_module->load();
    range(QDate(2024, 1, 1), QDate(2024, 12, 31));
}

void tst_StatisticsPage::cleanup()
{
    QVERIFY(m_env->recorder().isEmpty());
    m_page.reset();
    m_module.reset();
    DataModule1 = nullptr;
    m_dir.reset();
    m_env.reset();
}

void tst_StatisticsPage::layoutAndStart()
{
    QCOMPARE(figures(), QStringList(4, u"0,00"_s));
    QCOMPARE(m_page->Data1->geometry(), QRect(134, 34, 89, 21));
    QCOMPARE(m_page->BitBtn1->geometry(), QRect(494, 116, 103, 34));
    QCOMPARE(m_page->BitBtn1->text(), u"Calcular"_s);
    QCOMPARE(m_page->Label59->pos(), QPoint(382, 242));
    QVERIFY(m_page->CheckBox1->isChecked());
    QVERIFY(m_page->CheckBox2->isChecked());
    QVERIFY(!m_page->BitBtn4->isEnabled());
    QCOMPARE(m_page->BitBtn4->text(), u"... não usado"_s);
    QCOMPARE(m_page->SpeedButton1->toolTip(), u"limpar selecção"_s);
    // Only active doctors can be chosen; none is at start.
    QCOMPARE(m_page->DBLookupComboBox2->count(), 2);
    QCOMPARE(m_page->DBLookupComboBox2->currentIndex(), -1);
    QVERIFY(m_page->DBLookupComboBox2->keyValue().isNull());
}

void tst_StatisticsPage::countsAllDoctors()
{
    m_page->BitBtn1->click();
    QCOMPARE(figures(), (QStringList { u"4,00"_s, u"2,00"_s, u"2,00"_s, u"1,33"_s }));
    QVERIFY(!m_module->QueryStat->isActive());
}

void tst_StatisticsPage::rangeEndsAreIncluded_data()
{
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QString>("exams");
    QTest::newRow("first day") << QDate(2024, 3, 1) << QDate(2024, 3, 1) << u"1,00"_s;
    QTest::newRow("last day") << QDate(2024, 3, 31) << QDate(2024, 3, 31) << u"1,00"_s;
    QTest::newRow("March") << QDate(2024, 3, 1) << QDate(2024, 3, 31) << u"3,00"_s;
    QTest::newRow("to June") << QDate(2024, 3, 2) << QDate(2024, 6, 1) << u"3,00"_s;
}

void tst_StatisticsPage::rangeEndsAreIncluded()
{
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    range(from, to);
    m_page->BitBtn1->click();
    QTEST(m_page->Label57->text(), "exams");
}

void tst_StatisticsPage::emptyRangeKeepsFigures()
{
    m_page->BitBtn1->click();
    const QStringList before = figures();
    range(QDate(2023, 1, 1), QDate(2023, 12, 31));
    m_page->BitBtn1->click();
    QCOMPARE(figures(), before);
    // A start after the end is just as empty.
    range(QDate(2024, 12, 31), QDate(2024, 1, 1));
    m_page->BitBtn1->click();
    QCOMPARE(figures(), before);
}

void tst_StatisticsPage::chosenDoctorThenCleared()
{
    DBLookupComboBox *doctor = m_page->DBLookupComboBox2;
    doctor->setCurrentIndex(doctor->findText(u"DR UM"_s));
    Q_EMIT doctor->activated(doctor->currentIndex());
    QCOMPARE(doctor->keyValue().toInt(), 1);
    m_page->BitBtn1->click();
    QCOMPARE(figures(), (QStringList { u"3,00"_s, u"1,00"_s, u"3,00"_s, u"1,00"_s }));

    // Another doctor without exams: nothing changes.
    doctor->setCurrentIndex(doctor->findText(u"DR TRES"_s));
    Q_EMIT doctor->activated(doctor->currentIndex());
    m_page->BitBtn1->click();
    QCOMPARE(m_page->Label57->text(), u"3,00"_s);

    // Cleared: every exam of the range, those without a doctor too.
    m_page->SpeedButton1->click();
    QCOMPARE(doctor->currentIndex(), -1);
    m_page->BitBtn1->click();
    QCOMPARE(figures(), (QStringList { u"4,00"_s, u"2,00"_s, u"2,00"_s, u"1,33"_s }));
}

// Exams whose patients are all gone: nothing to divide by, the other figures still show.
void tst_StatisticsPage::noRegisteredPatients()
{
    m_module.reset();
    DataModule1 = nullptr;
    m_dir.reset();
    m_dir = std::make_unique<PracticeDirectory>(QString::fromUtf8(kPractice)
                                                + u"DELETE FROM bddid;"_s);
    m_module = std::make_unique<TDataModule1>();
    DataModule1 = m_module.get();
    m_module->load();
    m_page->BitBtn1->click();
    QCOMPARE(figures(), (QStringList { u"4,00"_s, u"2,00"_s, u"2,00"_s, u"---"_s }));
}

QTEST_MAIN(tst_StatisticsPage)
#include "tst_StatisticsPage.moc"
