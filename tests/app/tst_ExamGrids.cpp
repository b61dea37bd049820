#include "app/Main.h"
#include "data/DM.h"
#include "platform/engine/Field.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"
#include "platform/widgets/Clock.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DatasetModel.h"
#include "platform/widgets/DialogRecorder.h"
#include "support/MainWindowFixture.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QHeaderView>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
// Today is 2024-06-15. Patient 7 has two exams, the first with observations; patient 8 one.
const char *const kPractice = R"(
INSERT INTO medico (CODIGO, NOME, ACTIVO) VALUES (1, 'DR ACTIVO', 1);
INSERT INTO bddid (NF, NOME, DNASC, BENIF) VALUES (7, 'ANA', '2000-06-15', '1');
INSERT INTO bddid (NF, NOME, DNASC, BENIF) VALUES (8, 'BRUNO', '2000-06-15', '1');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor, Peso, OrdSeg1, Vc1, Asd, Vcn)
    VALUES (7, '2024-06-13 09:00:00.000', '2024-06-13', 1, 61, 'obs', '{\rtf1 v}', 1, 1),
           (7, '2024-06-14 09:00:00.000', '2024-06-14', 1, 62, NULL, NULL, 0, 0),
           (8, '2024-06-14 10:00:00.000', '2024-06-14', 1, 80, NULL, NULL, NULL, NULL);
INSERT INTO imagem (CodpacienteI, DodExamei, C1, C2, C3, C4, C5, C6, C7, C8, C9, C10, C11, C12,
    C13, C14, C15, C16) VALUES
    (7, '2024-06-13 09:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1),
    (7, '2024-06-14 09:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1),
    (8, '2024-06-14 10:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1);
INSERT INTO frase (CodFrase, Frase) VALUES (1, 'Ventrículo esquerdo normal.');
)";

constexpr int kGridPage = 3;
} // namespace

class tst_ExamGrids : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void historyColumns();
    void markersAndLogicals();
    void tabShowsCurrentPatientOnly();
    void refreshedOnlyByItsThreeEvents();
    void newPatientShowsNoRows();
    void doubleClickMakesExamCurrent();
    void doubleClickPostsPendingChanges();
    void doubleClickOnMissingExam();
    void phraseGridPostsAndNumbers();

private:
    void pickTab(int index)
    {
        QTabBar *tabs = m_form->PageControl2->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center());
    }
    [[nodiscard]] QString cell(int row, int column) const
    {
        const QAbstractItemModel *model = m_form->DBGrid2->model();
        return model->data(model->index(row, column)).toString();
    }
    [[nodiscard]] int rows() const { return m_form->DBGrid2->model()->rowCount(); }
    [[nodiscard]] QTime currentExamTime() const
    {
        return m_module->TableEcoCodigoExame->asDateTime().time();
    }
    [[nodiscard]] DialogRecorder &recorder() const { return m_env->recorder(); }

    std::unique_ptr<MainWindowFixture> m_fx;
    TestEnvironment *m_env = nullptr;
    TMainForm *m_form = nullptr;
    TDataModule1 *m_module = nullptr;
};

void tst_ExamGrids::init()
{
    m_fx = std::make_unique<MainWindowFixture>(QString::fromUtf8(kPractice));
    m_env = m_fx->env();
    m_form = m_fx->form();
    m_module = m_fx->module();
    m_form->show();
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form));
    QVERIFY(m_module->TablePac->locate(u"NF"_s, 7));
}

void tst_ExamGrids::cleanup()
{
    m_fx.reset();
}

void tst_ExamGrids::historyColumns()
{
    DBGrid *grid = m_form->DBGrid2;
    QVERIFY(!m_module->QueryGrelha->isActive());
    pickTab(kGridPage);
    const QAbstractItemModel *model = grid->model();
    QCOMPARE(model->columnCount(), 51);
    QStringList titles;
    for (int c : { 0, 1, 2, 3, 4, 13, 22, 38, 49, 50 })
        titles << model->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(titles,
             (QStringList { u"Data"_s, u"Idade"_s, u"Peso"_s, u"Altura"_s, u"Inform. Clínica"_s,
                            u"Aurícula Esquerda"_s, u"Ord. Segm. Normal"_s,
                            u"Obs. Válv. Cardíacas"_s, u"Qual. Técn. Exame"_s, u"Medico"_s }));
    QCOMPARE(grid->horizontalHeader()->sectionSize(4), 143);
    QCOMPARE(grid->horizontalHeader()->sectionSize(14), 64);
    QVERIFY(grid->isReadOnly());
    QCOMPARE(grid->toolTip(), u"Duplo-clique para seleccionar exame..."_s);
    QCOMPARE(model->data(model->index(0, 0), Qt::BackgroundRole).value<QColor>(),
             QColor(0xC0, 0xC0, 0xC0));
    QCOMPARE(model->data(model->index(0, 0), Qt::ForegroundRole).value<QColor>(),
             QColor(0x80, 0x00, 0x00));
    // Motility columns to the left, the doctor's cell too.
    const auto align = [model](int column) {
        return Qt::Alignment(model->data(model->index(0, column), Qt::TextAlignmentRole).toInt())
            & Qt::AlignHorizontal_Mask;
    };
    QCOMPARE(align(34), Qt::AlignLeft);
    QCOMPARE(align(50), Qt::AlignLeft);
    QCOMPARE(align(49), Qt::AlignHCenter);
    QCOMPARE(cell(0, 0), u"13/06/2024"_s);
    QCOMPARE(cell(0, 2), u"61"_s);
}

void tst_ExamGrids::markersAndLogicals()
{
    pickTab(kGridPage);
    QCOMPARE(rows(), 2);
    // Observations: a marker, not the text; upper case when there is one.
    QCOMPARE(cell(0, 23), u"(MEMO)"_s);
    QCOMPARE(cell(1, 23), u"(Memo)"_s);
    QCOMPARE(cell(0, 38), u"(BLOB)"_s);
    QCOMPARE(cell(1, 38), u"(Blob)"_s);
    // Findings as marks, the normal valves as words.
    QCOMPARE(cell(0, 43), u"O"_s);
    QCOMPARE(cell(1, 43), u"."_s);
    QCOMPARE(cell(0, 29), u"True"_s);
    QCOMPARE(cell(1, 29), u"False"_s);
    QVERIFY(m_module->TablePac->locate(u"NF"_s, 8));
    QCOMPARE(rows(), 1);
    QCOMPARE(cell(0, 43), QString());
}

void tst_ExamGrids::tabShowsCurrentPatientOnly()
{
    pickTab(kGridPage);
    QCOMPARE(rows(), 2);
    // Moving to the next patient with the patient navigator refreshes the grid.
    m_form->DBNavigator1->button(DBNavigator::Next)->click();
    QCOMPARE(m_module->TablePac->fieldByName(u"NF"_s)->asInteger(), 8);
    QCOMPARE(rows(), 1);
    QCOMPARE(cell(0, 2), u"80"_s);
    QVERIFY(recorder().isEmpty());
}

void tst_ExamGrids::refreshedOnlyByItsThreeEvents()
{
    pickTab(kGridPage);
    QCOMPARE(rows(), 2);
    m_module->TableEco->insert();
    m_module->TableEcoExecutor->setAsInteger(1);
    m_module->TableEcoPeso->setAsInteger(63);
    m_module->TableEco->post();
    QCOMPARE(rows(), 2);
    pickTab(kGridPage); // the page already shown
    QCOMPARE(rows(), 2);
    m_form->Label70Click();
    QCOMPARE(rows(), 3);

    m_env->clock().setNow(QDateTime(QDate(2024, 6, 15), QTime(11, 0)));
    m_module->TableEco->insert();
    m_module->TableEcoExecutor->setAsInteger(1);
    m_module->TableEco->post();
    QCOMPARE(rows(), 3);
    pickTab(0);
    pickTab(kGridPage);
    QCOMPARE(rows(), 4);
    QVERIFY(recorder().isEmpty());
}

void tst_ExamGrids::newPatientShowsNoRows()
{
    pickTab(kGridPage);
    QCOMPARE(rows(), 2);
    m_form->DBNavigator1->button(DBNavigator::Insert)->click();
    QCOMPARE(m_module->TablePac->state(), DatasetState::Insert);
    QCOMPARE(rows(), 0);
    m_module->TablePac->cancel();
}

void tst_ExamGrids::doubleClickMakesExamCurrent()
{
    QCOMPARE(currentExamTime(), QTime(9, 0));
    m_module->TableEco->last();
    QCOMPARE(m_module->TableEcoDataExame->asDate(), QDate(2024, 6, 14));
    pickTab(kGridPage);
    m_form->DBGrid2->doubleClickRow(0);
    QCOMPARE(m_module->TableEcoDataExame->asDate(), QDate(2024, 6, 13));
    QCOMPARE(m_form->PageControl2->currentIndex(), kGridPage);
    QVERIFY(recorder().isEmpty());
}

void tst_ExamGrids::doubleClickPostsPendingChanges()
{
    m_module->TableEco->last();
    pickTab(kGridPage);
    m_module->TableEco->edit();
    m_module->TableEcoPeso->setAsInteger(70);
    m_form->DBGrid2->doubleClickRow(0);
    QCOMPARE(m_module->TableEco->state(), DatasetState::Browse);
    QCOMPARE(m_module->TableEcoDataExame->asDate(), QDate(2024, 6, 13));
    m_module->TableEco->last();
    QCOMPARE(m_module->TableEcoPeso->asInteger(), 70);
}

void tst_ExamGrids::doubleClickOnMissingExam()
{
    pickTab(kGridPage);
    // Deleted since the grid was read.
    m_module->TableEco->last();
    m_module->TableEco->deleteRecord();
    m_form->DBGrid2->doubleClickRow(1);
    QCOMPARE(recorder().messages(), QStringList { u"Exame não encontrado..."_s });
    QCOMPARE(m_module->TableEcoDataExame->asDate(), QDate(2024, 6, 13));

    // And on an empty grid.
    recorder().clear();
    m_form->DBNavigator1->button(DBNavigator::Insert)->click();
    QCOMPARE(rows(), 0);
    m_form->DBGrid2->doubleClickRow(-1);
    QCOMPARE(recorder().messages(), QStringList { u"Exame não encontrado..."_s });
    m_module->TablePac->cancel();
}

void tst_ExamGrids::phraseGridPostsAndNumbers()
{
    DBGrid *grid = m_form->DBGrid1;
    m_form->PageControl2->setCurrentIndex(4);
    QCOMPARE(grid->model()->columnCount(), 3);
    QCOMPARE(grid->toolTip(),
             u"Conjunto de frases a usar em 'Conclusões'. CTRL-DEL para apagar Frase..."_s);
    focusAndWait(grid);
    const QModelIndex phrase = grid->model()->index(0, 1);
    grid->setCurrentIndex(phrase);
    QTest::keyClick(grid, Qt::Key_Down); // appends a row
    QCOMPARE(m_module->TableFrase->state(), DatasetState::Insert);
    grid->setCurrentIndex(grid->model()->index(1, 1));
    QTest::keyClick(grid, 'S'); // opens the cell editor
    QTest::keyClicks(QApplication::focusWidget(), u"em derrame."_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    QCOMPARE(m_module->TableFrase->state(), DatasetState::Browse);
    QCOMPARE(grid->model()->rowCount(), 2);
    QCOMPARE(grid->model()->data(grid->model()->index(1, 0)).toString(), u"2"_s);
    QCOMPARE(grid->model()->data(grid->model()->index(1, 1)).toString(), u"Sem derrame."_s);

    // Ctrl+Delete deletes at once, no question asked.
    grid->setCurrentIndex(grid->model()->index(0, 1));
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(grid->model()->rowCount(), 1);
    QVERIFY(recorder().isEmpty());
}

QTEST_MAIN(tst_ExamGrids)
#include "tst_ExamGrids.moc"
