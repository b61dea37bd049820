#include "search/UnitConc.h"
#include "search/frase.h"

#include "app/Main.h"
#include "data/DM.h"
#include "platform/engine/Field.h"
#include "platform/engine/Table.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DBRichEdit.h"
#include "platform/widgets/DialogRecorder.h"
#include "support/MainWindowFixture.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextDocument>
#include <QWindow>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
// Today is 2024-06-15. Patient 1's exam is of today, patient 2's of three days ago, patient 3
// has none. Phrase 2 is null; phrase 3 starts with a space. Conclusion 1 is bold throughout.
const char *const kPractice = R"(
INSERT INTO medico (CODIGO, NOME, ACTIVO) VALUES (1, 'DR ACTIVO', 1);
INSERT INTO bddid (NF, NOME, DNASC, BENIF) VALUES (1, 'ANA', '1980-01-01', '1'),
    (2, 'BRUNO', '1970-01-01', '1'), (3, 'CARLA', '1990-01-01', '1');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor, Eco1) VALUES
    (1, '2024-06-15 08:00:00.000', '2024-06-15', 1, 'Exame normal.'),
    (2, '2024-06-12 08:00:00.000', '2024-06-12', 1, 'Antigo.');
INSERT INTO imagem (CodpacienteI, DodExamei, C1, C2, C3, C4, C5, C6, C7, C8, C9, C10, C11, C12,
    C13, C14, C15, C16) VALUES
    (1, '2024-06-15 08:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1),
    (2, '2024-06-12 08:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1);
INSERT INTO frase (CodFrase, Frase, Outros) VALUES (1, 'Ventrículo normal.', 'VE'),
    (2, NULL, 'vazia'), (3, ' Sem derrame.', NULL);
INSERT INTO eco_conclusoes (Id, Nome, Descricao) VALUES
    (1, 'Normal', '{\rtf1\ansi{\fonttbl{\f0 Arial;}}\f0\b Estudo normal.\par Sem altera\''e7\''f5es.\b0}'),
    (2, 'Vazia', NULL);
)";

const QString kLock = u"ATENÇÃO: este EXAME não pode ser alterado!"_s;
constexpr int kConclusionsPage = 2;

void setCaret(QTextEdit *editor, int anchor, int position)
{
    QTextCursor cursor(editor->document());
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    editor->setTextCursor(cursor);
}

QTextCharFormat formatAt(const QTextEdit *editor, int position)
{
    QTextCursor cursor(editor->document());
    cursor.setPosition(position + 1); // the format of the character before
    return cursor.charFormat();
}
} // namespace

class tst_PhrasePicker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void examLockOpensNothing();
    void patientWithoutExamsGetsNewExam();
    void phrasesFollowOneAnotherAndReplaceSelection();
    void browsedExamTakesNothingClipboardKeepsText();
    void escHidesAndReopensOnSameRow();
    void insertsAtLastCaretFromOtherPage();
    void standardConclusionInCaretFormat();
    void conclusionGridAsksBeforeDeleting();
    void tabLeavesTheConclusionGrid();

private:
    void goToPatient(int nf) { QVERIFY(m_module->TablePac->locate(u"NF"_s, nf)); }
    void activate(QWidget *w)
    {
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
    }
    // A key where the user is: the focused control of the active window.
    static void press(Qt::Key key)
    {
        QWidget *target = QApplication::focusWidget();
        if (!target)
            target = QApplication::activeWindow();
        QVERIFY(target);
        QTest::keyClick(target, key);
    }
    void doubleClickPhrase(int row)
    {
        DBGrid *grid = m_picker->DBGrid1;
        const QRect cell = grid->visualRect(grid->model()->index(row, 0));
        // The press that comes first; mouseDClick() sends the double-click event alone.
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    }
    [[nodiscard]] QString conclusion() const { return m_form->Editor->toPlainText(); }
    [[nodiscard]] int caret() const { return m_form->Editor->textCursor().position(); }
    [[nodiscard]] DatasetState examState() const { return m_module->TableEco->state(); }
    [[nodiscard]] DialogRecorder &recorder() const { return m_env->recorder(); }
    // F5 with the main window active; the picker comes up active.
    void openPicker()
    {
        activate(m_form);
        press(Qt::Key_F5);
        QVERIFY(m_picker->isVisible());
        // A tool window counts as active for qWaitForWindowActive() as soon as it shows.
        QTRY_COMPARE(QApplication::activeWindow(), m_picker.get());
    }

    std::unique_ptr<MainWindowFixture> m_fx;
    TestEnvironment *m_env = nullptr;
    TMainForm *m_form = nullptr;
    TDataModule1 *m_module = nullptr;
    std::unique_ptr<TFormConc> m_conc;
    std::unique_ptr<TForm1> m_picker;
};

void tst_PhrasePicker::init()
{
    // Made before the data module, as at start-up: bound when it loads.
    m_fx = std::make_unique<MainWindowFixture>(QString::fromUtf8(kPractice), [this] {
        m_conc = std::make_unique<TFormConc>();
        FormConc = m_conc.get();
    });
    m_env = m_fx->env();
    m_form = m_fx->form();
    m_module = m_fx->module();
    m_picker = std::make_unique<TForm1>();
    Form1 = m_picker.get();
    QGuiApplication::clipboard()->setText(u"antes"_s);
    m_form->show();
    activate(m_form);
    goToPatient(1);
}

void tst_PhrasePicker::cleanup()
{
    m_picker.reset();
    m_conc.reset();
    m_fx.reset();
}

void tst_PhrasePicker::examLockOpensNothing()
{
    goToPatient(2); // examined three days ago
    press(Qt::Key_F8);
    QCOMPARE(recorder().messages(), QStringList { kLock });
    QCOMPARE(recorder().entries().size(), 1);
    QCOMPARE(examState(), DatasetState::Browse);
    QVERIFY(!m_conc->isVisible());
}

void tst_PhrasePicker::patientWithoutExamsGetsNewExam()
{
    goToPatient(3);
    openPicker();
    QCOMPARE(examState(), DatasetState::Insert);
    QCOMPARE(m_module->TableEco->fieldByName(u"CodigoPaciente"_s)->asInteger(), 3);
    QCOMPARE(m_module->TableEcoDataExame->asDate(), QDate(2024, 6, 15));

    doubleClickPhrase(0);
    QCOMPARE(conclusion(), u"Ventrículo normal."_s);
    m_module->TableEco->post();
    // The new exam has no doctor yet.
    QCOMPARE(recorder().messages(),
             QStringList { u"Por favor seleccione um Médico ou Técnico (ou ambos)."_s });
    QVERIFY(m_module->ExecutaQuery(
        u"SELECT 1 FROM eco WHERE CodigoPaciente = 3 AND Eco1 LIKE '{\\rtf%normal.%'"_s, QVariant(),
        true));
}

void tst_PhrasePicker::phrasesFollowOneAnotherAndReplaceSelection()
{
    // The caret put into the browsed conclusion survives the edit that F5 starts.
    setCaret(m_form->Editor, 6, 6);
    openPicker();
    QCOMPARE(examState(), DatasetState::Edit);
    QCOMPARE(m_picker->parent(), nullptr);
    QCOMPARE(m_picker->windowHandle()->transientParent(), m_form->windowHandle());
    doubleClickPhrase(0);
    QCOMPARE(conclusion(), u"Exame Ventrículo normal.normal."_s);
    QCOMPARE(caret(), 6 + 18);

    // Enter is a double-click; the null phrase adds nothing; nothing goes between phrases.
    DBGrid *grid = m_picker->DBGrid1;
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, Qt::Key_Return);
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(conclusion(), u"Exame Ventrículo normal. Sem derrame.normal."_s);
    QCOMPARE(QGuiApplication::clipboard()->text(), u" Sem derrame."_s);
    QVERIFY(m_picker->isVisible());

    // A selection is replaced, whichever way it was made.
    setCaret(m_form->Editor, 37, 0);
    doubleClickPhrase(0);
    QCOMPARE(conclusion(), u"Ventrículo normal.normal."_s);
    QCOMPARE(caret(), 18);
    QVERIFY(recorder().isEmpty());
}

void tst_PhrasePicker::browsedExamTakesNothingClipboardKeepsText()
{
    openPicker();
    m_module->TableEco->post(); // posted while the picker stays open
    QVERIFY(recorder().isEmpty());
    QCOMPARE(examState(), DatasetState::Browse);

    // F8 with the picker active opens the standard conclusions, leaving the exam as it is.
    press(Qt::Key_F8);
    QVERIFY(m_conc->isVisible());
    QCOMPARE(examState(), DatasetState::Browse);
    QVERIFY(m_picker->isVisible());

    doubleClickPhrase(0);
    QCOMPARE(conclusion(), u"Exame normal."_s);
    QCOMPARE(examState(), DatasetState::Browse);
    QCOMPARE(QGuiApplication::clipboard()->text(), u"Ventrículo normal."_s);
}

void tst_PhrasePicker::escHidesAndReopensOnSameRow()
{
    openPicker();
    QTest::keyClick(m_picker->DBGrid1, Qt::Key_Down);
    QTest::keyClick(m_picker->DBGrid1, Qt::Key_Down);
    QTest::keyClick(m_picker->DBGrid1, Qt::Key_Escape);
    QVERIFY(!m_picker->isVisible());

    openPicker();
    QCOMPARE(m_picker->DBGrid1->currentRow(), 2);
    QCOMPARE(m_module->TableFraseFrase->asString(), u" Sem derrame."_s);
    QVERIFY(recorder().isEmpty());
}

void tst_PhrasePicker::insertsAtLastCaretFromOtherPage()
{
    m_module->TableEco->edit();
    QTabBar *tabs = m_form->PageControl2->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(kConclusionsPage).center());
    QTRY_VERIFY(m_form->Editor->hasFocus());
    setCaret(m_form->Editor, 5, 5);
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    QVERIFY(!m_form->Editor->isVisible());

    openPicker();
    doubleClickPhrase(0);
    QCOMPARE(conclusion(), u"ExameVentrículo normal. normal."_s);
    QCOMPARE(m_form->PageControl2->currentIndex(), 0);
}

void tst_PhrasePicker::standardConclusionInCaretFormat()
{
    // "Exame" bold in the conclusion; the standard conclusion is bold throughout.
    m_module->TableEco->edit();
    QTextCursor bold(m_form->Editor->document());
    bold.setPosition(5, QTextCursor::KeepAnchor);
    QTextCharFormat strong;
    strong.setFontWeight(QFont::Bold);
    bold.mergeCharFormat(strong);
    setCaret(m_form->Editor, 13, 13);
    press(Qt::Key_F8);
    QVERIFY(QTest::qWaitForWindowActive(m_conc.get()));

    // Changes not yet stored count.
    TFormConc &conc = *m_conc;
    focusAndWait(conc.PreConclusao);
    conc.PreConclusao->moveCursor(QTextCursor::End);
    QTest::keyClicks(conc.PreConclusao, u" Fim."_s);
    QCOMPARE(m_module->TableConc->state(), DatasetState::Edit);
    conc.BitBtn1->click();
    const QString inserted = u"Estudo normal.\nSem alterações. Fim."_s;
    QCOMPARE(conclusion(), u"Exame normal."_s + inserted);
    QCOMPARE(QGuiApplication::clipboard()->text(), inserted);
    QCOMPARE(caret(), 13 + inserted.size());
    QVERIFY(!formatAt(m_form->Editor, 13).font().bold());
    QVERIFY(!formatAt(m_form->Editor, 13 + inserted.size() - 1).font().bold());
    QVERIFY(conc.isVisible());

    // At a caret in bold text, the same conclusion comes in bold.
    setCaret(m_form->Editor, 5, 5);
    conc.BitBtn1->click();
    QVERIFY(formatAt(m_form->Editor, 5).font().bold());
    QVERIFY(formatAt(m_form->Editor, 5 + inserted.size() - 1).font().bold());
    QVERIFY(!formatAt(m_form->Editor, 5 + inserted.size()).font().bold());
    QVERIFY(recorder().isEmpty());
}

void tst_PhrasePicker::conclusionGridAsksBeforeDeleting()
{
    press(Qt::Key_F8);
    TFormConc &conc = *m_conc;
    QVERIFY(QTest::qWaitForWindowActive(&conc));
    focusAndWait(conc.DBGrid1);
    recorder().queueAnswer(false);
    QTest::keyClick(conc.DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(recorder().questions(), QStringList { u"Delete record?"_s });
    QCOMPARE(m_module->TableConc->recordCount(), 2);

    recorder().queueAnswer(true);
    QTest::keyClick(conc.DBGrid1, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(m_module->TableConc->recordCount(), 1);
    QCOMPARE(m_module->TableConcNome->asString(), u"Vazia"_s);
    QVERIFY(conc.PreConclusao->toPlainText().isEmpty());
}

// Tab leaves the one-column list for the text of the same conclusion: what is typed next never
// edits another one.
void tst_PhrasePicker::tabLeavesTheConclusionGrid()
{
    press(Qt::Key_F8);
    TFormConc &conc = *m_conc;
    QVERIFY(QTest::qWaitForWindowActive(&conc));
    focusAndWait(conc.DBGrid1);
    QTest::keyClick(conc.DBGrid1, Qt::Key_Insert);
    for (const QChar c : u"Nova"_s)
        QTest::keyClicks(QApplication::focusWidget(), QString(c)); // the first opens the editor
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(conc.PreConclusao));
    QCOMPARE(m_module->TableConcNome->asString(), u"Nova"_s);
    QTest::keyClicks(conc.PreConclusao, u"Texto"_s);
    m_module->TableConc->post();
    QCOMPARE(m_module->TableConc->recordCount(), 3);
    QCOMPARE(m_module->TableConcNome->asString(), u"Nova"_s);
    QCOMPARE(conc.PreConclusao->toPlainText(), u"Texto"_s);

    // Without an editor open, Tab leaves as well.
    focusAndWait(conc.DBGrid1);
    QTest::keyClick(conc.DBGrid1, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(conc.PreConclusao));
    QCOMPARE(m_module->TableConcNome->asString(), u"Nova"_s);
}

QTEST_MAIN(tst_PhrasePicker)
#include "tst_PhrasePicker.moc"
