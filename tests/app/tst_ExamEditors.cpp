#include "app/Main.h"
#include "data/DM.h"
#include "platform/engine/Field.h"
#include "platform/engine/Table.h"
#include "platform/widgets/DBCheckBox.h"
#include "platform/widgets/DBRichEdit.h"
#include "platform/widgets/DialogRecorder.h"
#include "support/MainWindowFixture.h"
#include "support/TestSupport.h"
#include "workspace/FindingsPage.h"

#include <QAction>
#include <QApplication>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
// Patient 7's exam of yesterday has a conclusion kept as plain text from before it was rich.
const char *const kPractice = R"(
INSERT INTO medico (CODIGO, NOME, ACTIVO) VALUES (1, 'DR ACTIVO', 1);
INSERT INTO bddid (NF, NOME, DNASC, BENIF) VALUES (7, 'ANA', '2000-06-15', '1');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor, Eco1) VALUES
    (7, '2024-06-14 09:00:00.000', '2024-06-14', 1, 'Exame normal.');
INSERT INTO imagem (CodpacienteI, DodExamei, C1, C2, C3, C4, C5, C6, C7, C8, C9, C10, C11, C12,
    C13, C14, C15, C16) VALUES
    (7, '2024-06-14 09:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1);
)";

constexpr int kConclusionsPage = 2;

// The character format over the editor's selection (of its first character).
QTextCharFormat selectionFormat(const DBRichEdit *editor)
{
    QTextCursor cursor = editor->textCursor();
    QTextCursor first(editor->document());
    first.setPosition(cursor.selectionStart() + 1);
    return first.charFormat();
}

void selectWord(DBRichEdit *editor, int from, int length)
{
    QTextCursor cursor(editor->document());
    cursor.setPosition(from);
    cursor.setPosition(from + length, QTextCursor::KeepAnchor);
    editor->setTextCursor(cursor);
}
} // namespace

class tst_ExamEditors : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void styleClicksBuildOnTheFormatFont();
    void toolBarsAreIndependent();
    void postReleasesButtonsButKeepsStyles();
    void browsedExamTakesNoStyle();
    void conclusionTabFocusesEditorMenuDoesNot();
    void tabInsertsInConclusionMovesInObservations();
    void plainConclusionSavedBackAsRtf();
    void untouchedKeepsNullEmptiedWritesRtf();
    void editKeepsCaretCancelRestoresText();

private:
    void editExam()
    {
        m_module->TableEco->edit();
        QCOMPARE(m_module->TableEco->state(), DatasetState::Edit);
    }
    [[nodiscard]] DialogRecorder &recorder() const { return m_env->recorder(); }

    std::unique_ptr<MainWindowFixture> m_fx;
    TestEnvironment *m_env = nullptr;
    TMainForm *m_form = nullptr;
    TDataModule1 *m_module = nullptr;
};

void tst_ExamEditors::init()
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

void tst_ExamEditors::cleanup()
{
    m_fx.reset();
}

void tst_ExamEditors::styleClicksBuildOnTheFormatFont()
{
    TMainForm &f = *m_form;
    editExam();
    f.PageControl2->setCurrentIndex(kConclusionsPage);
    DBRichEdit *editor = f.Editor;
    QCOMPARE(editor->toPlainText(), u"Exame normal."_s);
    selectWord(editor, 0, 5);

    f.ToolButton10->click(); // bold
    QTextCharFormat format = selectionFormat(editor);
    QVERIFY(format.font().bold());
    QVERIFY(!format.font().underline());
    QCOMPARE(format.font().family(), u"Arial"_s);
    QCOMPARE(format.font().pixelSize(), 13);

    f.ToolButton12->click(); // underline
    format = selectionFormat(editor);
    QVERIFY(format.font().bold());
    QVERIFY(format.font().underline());

    f.ToolButton10->click(); // bold released
    QVERIFY(!f.ToolButton10->isChecked());
    format = selectionFormat(editor);
    QVERIFY(!format.font().bold());
    QVERIFY(format.font().underline());
    QVERIFY(!format.font().italic());
    // The rest of the text is as it was.
    QTextCursor rest(editor->document());
    rest.setPosition(8);
    QVERIFY(!rest.charFormat().font().underline());
    QVERIFY(editor->isDataModified());
    QVERIFY(recorder().isEmpty());
    m_module->TableEco->cancel();
}

void tst_ExamEditors::toolBarsAreIndependent()
{
    TMainForm &f = *m_form;
    editExam();
    f.ToolButton10->click(); // bold on the conclusions bar, nothing selected
    QVERIFY(f.FontDialog1.font.bold());

    f.PageControl2->setCurrentIndex(1);
    f.FindingsPage1->PageControl3->setCurrentIndex(0);
    DBRichEdit *editor = f.Editor1;
    QTest::keyClicks(editor, u"hipocinesia"_s);
    selectWord(editor, 0, 4);
    f.ToolButton21->click(); // italic on the segmental-ordering bar
    const QTextCharFormat format = selectionFormat(editor);
    QVERIFY(format.font().italic());
    QVERIFY(!format.font().bold());
    QVERIFY(f.ToolButton10->isChecked());
    QVERIFY(!f.ToolButton17->isChecked());
    QVERIFY(!f.FontDialog2.font.bold());
    m_module->TableEco->cancel();
}

void tst_ExamEditors::postReleasesButtonsButKeepsStyles()
{
    TMainForm &f = *m_form;
    editExam();
    f.PageControl2->setCurrentIndex(kConclusionsPage);
    f.ToolButton10->click();
    f.ToolButton26->click();
    m_module->TableEco->post();
    for (QToolButton *button :
         { f.ToolButton10, f.ToolButton12, f.ToolButton14, f.ToolButton17, f.ToolButton19,
           f.ToolButton21, f.ToolButton24, f.ToolButton26, f.ToolButton28 })
        QVERIFY2(!button->isChecked(), qPrintable(button->objectName()));
    QVERIFY(f.FontDialog1.font.bold());

    // The next click builds on the style kept, not on the buttons shown.
    editExam();
    selectWord(f.Editor, 6, 6);
    f.ToolButton12->click();
    const QTextCharFormat format = selectionFormat(f.Editor);
    QVERIFY(format.font().bold());
    QVERIFY(format.font().underline());
    m_module->TableEco->cancel();
}

void tst_ExamEditors::browsedExamTakesNoStyle()
{
    TMainForm &f = *m_form;
    const QString stored = m_module->TableEcoEco1->asString();
    QVERIFY(f.Editor->isReadOnly());
    selectWord(f.Editor, 0, 5);
    f.ToolButton10->click();
    QVERIFY(!selectionFormat(f.Editor).font().bold());
    QVERIFY(!f.Editor->isDataModified());
    QCOMPARE(m_module->TableEco->state(), DatasetState::Browse);
    QCOMPARE(m_module->TableEcoEco1->asString(), stored);
    // The font remembers it for the next edit.
    QVERIFY(f.FontDialog1.font.bold());
}

void tst_ExamEditors::conclusionTabFocusesEditorMenuDoesNot()
{
    TMainForm &f = *m_form;
    f.PageControl1->setFocus();
    f.Concluses2->trigger();
    QCOMPARE(f.PageControl2->currentWidget(), f.TabSheet7);
    QVERIFY(!f.Editor->hasFocus());

    f.PageControl2->setCurrentIndex(0);
    QTabBar *tabs = f.PageControl2->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(kConclusionsPage).center());
    QCOMPARE(f.PageControl2->currentWidget(), f.TabSheet7);
    QTRY_VERIFY(f.Editor->hasFocus());
}

void tst_ExamEditors::tabInsertsInConclusionMovesInObservations()
{
    TMainForm &f = *m_form;
    editExam();
    f.PageControl2->setCurrentIndex(kConclusionsPage);
    focusAndWait(f.Editor);
    f.Editor->moveCursor(QTextCursor::End);
    QTest::keyClick(f.Editor, Qt::Key_Tab);
    QVERIFY(f.Editor->hasFocus());
    QCOMPARE(f.Editor->toPlainText(), u"Exame normal.\t"_s);

    f.PageControl2->setCurrentIndex(1);
    f.FindingsPage1->PageControl3->setCurrentIndex(0);
    focusAndWait(f.Editor1);
    QTest::keyClick(f.Editor1, Qt::Key_Tab);
    QTRY_VERIFY(!f.Editor1->hasFocus());
    QVERIFY(f.Editor1->toPlainText().isEmpty());
    m_module->TableEco->cancel();
}

void tst_ExamEditors::plainConclusionSavedBackAsRtf()
{
    TMainForm &f = *m_form;
    QCOMPARE(f.Editor->toPlainText(), u"Exame normal."_s);
    QCOMPARE(f.Editor->document()->blockCount(), 1);
    editExam();
    f.PageControl2->setCurrentIndex(kConclusionsPage);
    focusAndWait(f.Editor);
    f.Editor->moveCursor(QTextCursor::End);
    QTest::keyClicks(f.Editor, u" Sem "_s);
    f.Editor->insertPlainText(u"alterações."_s); // as a paste would

    m_module->TableEco->post();
    m_module->TableEco->refresh();
    const QString stored = m_module->TableEcoEco1->asString();
    QVERIFY2(stored.startsWith(u"{\\rtf1\\ansi"_s), qPrintable(stored));
    QCOMPARE(f.Editor->toPlainText(), u"Exame normal. Sem alterações."_s);
    QVERIFY(recorder().applicationErrors().isEmpty());
}

void tst_ExamEditors::untouchedKeepsNullEmptiedWritesRtf()
{
    TMainForm &f = *m_form;
    QVERIFY(m_module->TableEcoOrdSeg1->isNull());
    editExam();
    f.PageControl2->setCurrentIndex(kConclusionsPage);
    focusAndWait(f.Editor);
    QTest::keyClick(f.Editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(f.Editor, Qt::Key_Delete);
    // Going through the observations without typing changes nothing.
    f.PageControl2->setCurrentIndex(1);
    f.FindingsPage1->PageControl3->setCurrentIndex(0);
    focusAndWait(f.Editor1);
    focusAndWait(f.FindingsPage1->DBCheckBox2);
    m_module->TableEco->post();
    m_module->TableEco->refresh();
    QVERIFY(m_module->TableEcoOrdSeg1->isNull());
    QVERIFY(m_module->TableEcoVc1->isNull());
    const QString emptied = m_module->TableEcoEco1->asString();
    QVERIFY2(emptied.startsWith(u"{\\rtf1"_s), qPrintable(emptied));
    QVERIFY(f.Editor->toPlainText().isEmpty());
}

void tst_ExamEditors::editKeepsCaretCancelRestoresText()
{
    TMainForm &f = *m_form;
    f.PageControl2->setCurrentIndex(kConclusionsPage);
    focusAndWait(f.Editor);
    QTextCursor caret = f.Editor->textCursor();
    caret.setPosition(6); // after "Exame "
    f.Editor->setTextCursor(caret);
    // Starting the edit announces the record again: the caret stays where the user put it.
    editExam();
    QCOMPARE(f.Editor->textCursor().position(), 6);
    f.Editor->insertPlainText(u"muito "_s);
    QCOMPARE(f.Editor->toPlainText(), u"Exame muito normal."_s);
    // The same stored value comes back on cancel; the typed text must not stay.
    m_module->TableEco->cancel();
    QCOMPARE(f.Editor->toPlainText(), u"Exame normal."_s);
}

QTEST_MAIN(tst_ExamEditors)
#include "tst_ExamEditors.moc"
