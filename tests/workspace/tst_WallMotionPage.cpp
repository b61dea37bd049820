#include "workspace/WallMotionPage.h"

#include "workspace/SegmentViews.h"

#include "data/DM.h"
#include "platform/engine/Field.h"
#include "platform/engine/Table.h"
#include "platform/widgets/DBEdit.h"
#include "platform/widgets/DBNavigator.h"
#include "platform/widgets/DialogRecorder.h"
#include "support/PracticeDirectory.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
// Today is 2024-06-15.
// 7: one exam of yesterday scored 1 everywhere.
// 8: one exam without a score row.
// 9: two exams of yesterday; the first holds a 7 that was stored by something else.
// 10: one exam of three days ago, locked.
const char *const kPractice = R"(
INSERT INTO medico (CODIGO, NOME, ACTIVO) VALUES (1, 'DR ACTIVO', 1);
INSERT INTO bddid (NF, NOME, DNASC, BENIF) VALUES (7, 'ANA', '2000-06-15', '1');
INSERT INTO bddid (NF, NOME, DNASC, BENIF) VALUES (8, 'BEATRIZ', '2000-06-15', '1');
INSERT INTO bddid (NF, NOME, DNASC, BENIF) VALUES (9, 'CARLOS', '2000-06-15', '1');
INSERT INTO bddid (NF, NOME, DNASC, BENIF) VALUES (10, 'DIANA', '2000-06-15', '1');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor) VALUES
    (7, '2024-06-14 09:00:00.000', '2024-06-14', 1),
    (8, '2024-06-14 09:30:00.000', '2024-06-14', 1),
    (9, '2024-06-14 10:00:00.000', '2024-06-14', 1),
    (9, '2024-06-14 11:00:00.000', '2024-06-14', 1),
    (10, '2024-06-12 09:00:00.000', '2024-06-12', 1);
INSERT INTO imagem (CodpacienteI, DodExamei, C1, C2, C3, C4, C5, C6, C7, C8, C9, C10, C11, C12,
    C13, C14, C15, C16) VALUES
    (7, '2024-06-14 09:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1),
    (9, '2024-06-14 10:00:00.000', 1,1,7,1,1,1,1,1,1,1,1,1,1,1,1,1),
    (9, '2024-06-14 11:00:00.000', 2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2),
    (10, '2024-06-12 09:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1);
)";

const QColor kBoxBackground(0x00, 0x40, 0x80);
const QColor kFocusedBackground(0xFF, 0xFF, 0xBD);
const QColor kNavy(0x00, 0x00, 0x80);

void clearText(QWidget *control)
{
    QTest::keyClick(control, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(control, Qt::Key_Backspace);
}
} // namespace

class tst_WallMotionPage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void layout();
    void boxesFollowTheirColumnsInTabOrder();
    void newExamScoresOneEverywhere();
    void sharedSegmentShowsInBothViews();
    void scoreAboveFiveBeepsAndBecomesOne();
    void index_data();
    void index();
    void emptiedBoxStoresNull();
    void examWithoutScoreRow();
    void browsedRowKeepsStoredScore();
    void lockedExamRefusesScores();
    void navigatorMovesThroughExams();
    void screenshot();

private:
    void showPatient(int nf) { QVERIFY(m_module->TablePac->locate(u"NF"_s, nf)); }
    void type(DBEdit *box, const QString &text)
    {
        focusAndWait(box);
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(box, text);
    }
    void leave()
    {
        m_elsewhere->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), m_elsewhere);
    }
    Field *score(int segment) const
    {
        return m_module->TableIMG->fieldByName(u"C%1"_s.arg(segment));
    }
    QStringList boxTexts() const
    {
        QStringList texts;
        for (DBEdit *box : m_page->scoreBoxes())
            texts << box->text();
        return texts;
    }
    [[nodiscard]] DialogRecorder &recorder() const { return m_env->recorder(); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<PracticeDirectory> m_dir;
    std::unique_ptr<QWidget> m_window;
    WallMotionPage *m_page = nullptr;
    QLineEdit *m_elsewhere = nullptr;
    std::unique_ptr<TDataModule1> m_module;
};

void tst_WallMotionPage::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_dir = std::make_unique<PracticeDirectory>(QString::fromUtf8(kPractice));
    m_window = std::make_unique<QWidget>();
    auto *layout = new QVBoxLayout(m_window.get());
    m_page = new WallMotionPage(m_window.get());
    m_elsewhere = new QLineEdit(m_window.get());
    layout->addWidget(m_page);
    layout->addWidget(m_elsewhere);
    // The design text stands until the first scores are shown.
    QCOMPARE(m_page->Label46->text(), u"0.0"_s);
    m_module = std::make_unique<TDataModule1>();
    DataModule1 = m_module.get();
    m_module->load();
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    showPatient(7);
    recorder().clear();
}

void tst_WallMotionPage::cleanup()
{
    m_window.reset();
    m_module.reset();
    DataModule1 = nullptr;
    m_dir.reset();
    m_env.reset();
}

void tst_WallMotionPage::layout()
{
    struct Expected
    {
        const char *name;
        QPoint at;
    };
    const Expected boxes[] = {
        { "DBEdit23", { 37, 32 } },   { "DBEdit24", { 181, 43 } },  { "DBEdit27", { 192, 105 } },
        { "DBEdit28", { 189, 149 } }, { "DBEdit26", { 85, 179 } },  { "DBEdit25", { 16, 99 } },
        { "DBEdit29", { 45, 247 } },  { "DBEdit32", { 164, 249 } }, { "DBEdit33", { 180, 303 } },
        { "DBEdit34", { 176, 361 } }, { "DBEdit31", { 35, 355 } },  { "DBEdit30", { 27, 302 } },
        { "DBEdit35", { 450, 32 } },  { "DBEdit38", { 580, 46 } },  { "DBEdit37", { 576, 160 } },
        { "DBEdit36", { 464, 178 } }, { "DBEdit43", { 535, 240 } }, { "DBEdit42", { 599, 299 } },
        { "DBEdit41", { 594, 382 } }, { "DBEdit40", { 540, 382 } }, { "DBEdit39", { 436, 294 } },
    };
    const QList<DBEdit *> tabOrder = m_page->scoreBoxes();
    QCOMPARE(tabOrder.size(), 21);
    for (int i = 0; i < 21; ++i) {
        DBEdit *box = tabOrder.at(i);
        QCOMPARE(box->objectName(), QString::fromLatin1(boxes[i].name));
        QCOMPARE(box->geometry(), QRect(boxes[i].at, QSize(17, 21)));
        QCOMPARE(box->maxLength(), 1);
        QCOMPARE(box->font().pixelSize(), 11);
        QVERIFY(box->font().bold());
    }

    // Each box stands where its drawing puts the label beside it.
    const QList<SegmentViews::Slot> &slotList = SegmentViews::scoreSlots();
    QCOMPARE(slotList.size(), 21);
    const QWidget *images[] = { m_page->Image1, m_page->Image2, m_page->Image3, m_page->Image4 };
    for (int i = 0; i < 21; ++i) {
        const SegmentViews::Slot &slot = slotList.at(i);
        QCOMPARE(tabOrder.at(i)->dataField(), u"C%1"_s.arg(slot.segment));
        QCOMPARE(tabOrder.at(i)->geometry(),
                 slot.box.toRect().translated(images[int(slot.view)]->pos()));
    }

    QCOMPARE(m_page->Image1->geometry(), QRect(11, 2, 199, 199));
    QCOMPARE(m_page->Image2->geometry(), QRect(11, 210, 199, 199));
    QCOMPARE(m_page->Image3->geometry(), QRect(428, 4, 199, 199));
    QCOMPARE(m_page->Image4->geometry(), QRect(428, 211, 199, 199));
    QCOMPARE(m_page->Frame4->geometry(), QRect(427, 210, 202, 202));
    QCOMPARE(m_page->Bevel2->geometry(), QRect(232, 136, 176, 145));
    QCOMPARE(m_page->DBEdit44->geometry(), QRect(304, 62, 65, 19));
    QCOMPARE(m_page->Label46->geometry(), QRect(280, 335, 81, 24));
    QCOMPARE(m_page->Label46->palette().color(QPalette::WindowText), kNavy);
    QCOMPARE(m_page->Label46->font().pixelSize(), 19);
    QCOMPARE(m_page->DBNavigator3->geometry(), QRect(232, 390, 176, 22));

    QCOMPARE(m_page->LabelExame->text(), u"Exame"_s);
    QVERIFY(m_page->LabelScores->font().underline());
    QCOMPARE(m_page->LabelTotalScore->text(), u"Total Score"_s);
    QStringList legend;
    for (QLabel *line : m_page->LegendLabels)
        legend << line->text();
    QCOMPARE(legend,
             (QStringList { u"0 = hiperquinético"_s, u"1 = normal"_s, u"2 = hipoquinético"_s,
                            u"3 = acinético"_s, u"4 = disquinético"_s, u"5 = aneurismático"_s }));
    QCOMPARE(m_page->LegendLabels.last()->pos(), QPoint(265, 256));

    QCOMPARE(m_page->DBNavigator3->visibleButtons(),
             (QSet<DBNavigator::Button> { DBNavigator::First, DBNavigator::Prior, DBNavigator::Next,
                                          DBNavigator::Last }));
    QCOMPARE(m_page->DBNavigator3->hints().mid(0, 4),
             (QStringList { u"Primeiro Exame"_s, u"Exame Anterior"_s, u"Próximo Exame"_s,
                            u"Último Exame"_s }));
}

void tst_WallMotionPage::boxesFollowTheirColumnsInTabOrder()
{
    focusAndWait(m_elsewhere);
    QStringList columns;
    for (DBEdit *box : m_page->scoreBoxes()) {
        columns << box->dataField();
        QCOMPARE(box->palette().color(QPalette::Base), kBoxBackground);
        QCOMPARE(box->palette().color(QPalette::Text), QColor(Qt::white));
    }
    QCOMPARE(columns.join(u' '),
             u"C11 C13 C8 C3 C5 C10 C14 C12 C7 C2 C4 C9 C6 C1 C16 C15 C6 C7 C8 C9 C10"_s);
    QCOMPARE(m_page->DBEdit44->text(), u"14/06/2024"_s);
    QVERIFY(m_page->DBEdit44->focusPolicy() != Qt::TabFocus
            && m_page->DBEdit44->focusPolicy() != Qt::StrongFocus);

    const QList<DBEdit *> boxes = m_page->scoreBoxes();
    focusAndWait(boxes.first());
    QCOMPARE(boxes.first()->palette().color(QPalette::Base), kFocusedBackground);
    QCOMPARE(boxes.first()->palette().color(QPalette::Text), kNavy);
    QList<QWidget *> seen;
    for (int i = 1; i < boxes.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << QApplication::focusWidget();
    }
    QCOMPARE(seen, QList<QWidget *>(boxes.begin() + 1, boxes.end()));
    // Leaving restores the page's own colours.
    QCOMPARE(boxes.first()->palette().color(QPalette::Base), kBoxBackground);
    QCOMPARE(boxes.first()->palette().color(QPalette::Text), QColor(Qt::white));
    QCOMPARE(m_module->TableIMG->state(), DatasetState::Browse);
}

void tst_WallMotionPage::newExamScoresOneEverywhere()
{
    m_module->TableEco->insert();
    QCOMPARE(boxTexts(), QStringList(21, u"1"_s));
    QCOMPARE(m_page->Label46->text(), u"1"_s);
    m_module->TableEco->cancel();
}

void tst_WallMotionPage::sharedSegmentShowsInBothViews()
{
    type(m_page->DBEdit25, u"3"_s);
    QCOMPARE(m_module->TableIMG->state(), DatasetState::Edit);
    QCOMPARE(m_module->TableEco->state(), DatasetState::Edit);
    leave();
    QCOMPARE(score(10)->asInteger(), 3);
    QCOMPARE(m_page->DBEdit39->text(), u"3"_s);
    QCOMPARE(m_page->Label46->text(), u"1,1"_s);
    QVERIFY(recorder().isEmpty());

    // Typing 0 is a score like any other.
    type(m_page->DBEdit39, u"0"_s);
    leave();
    QCOMPARE(m_page->DBEdit25->text(), u"0"_s);
    QCOMPARE(m_page->Label46->text(), u",9"_s);

    m_module->TableEco->post();
    m_module->TableIMG->refresh();
    QCOMPARE(score(10)->asInteger(), 0);
    QVERIFY(recorder().applicationErrors().isEmpty());
}

void tst_WallMotionPage::scoreAboveFiveBeepsAndBecomesOne()
{
    type(m_page->DBEdit38, u"7"_s);
    // Still only typed: nothing stored, no beep.
    QCOMPARE(recorder().beeps(), 0);
    leave();
    QCOMPARE(recorder().beeps(), 1);
    QCOMPARE(score(1)->asInteger(), 1);
    QCOMPARE(m_page->DBEdit38->text(), u"1"_s);
    QCOMPARE(m_page->Label46->text(), u"1"_s);

    // Stored by the post itself, with the box still focused.
    type(m_page->DBEdit43, u"9"_s);
    m_module->TableEco->post();
    QCOMPARE(recorder().beeps(), 2);
    m_module->TableIMG->refresh();
    QCOMPARE(score(6)->asInteger(), 1);
    QCOMPARE(m_page->DBEdit35->text(), u"1"_s);

    // Letters never get into a box.
    type(m_page->DBEdit23, u"x"_s);
    QCOMPARE(m_page->DBEdit23->text(), u"1"_s);
    QCOMPARE(recorder().beeps(), 3);
    QVERIFY(recorder().applicationErrors().isEmpty());
    m_module->TableEco->cancel();
}

void tst_WallMotionPage::index_data()
{
    QTest::addColumn<QList<int>>("scores"); // -1: null
    QTest::addColumn<QString>("expected");
    QTest::newRow("all 1") << QList<int>(16, 1) << u"1"_s;
    QTest::newRow("all 0") << QList<int>(16, 0) << QString();
    QTest::newRow("all 5") << QList<int>(16, 5) << u"5"_s;
    QList<int> four2 = QList<int>(12, 1) + QList<int>(4, 2);
    QTest::newRow("sum 20") << four2 << u"1,3"_s;
    QTest::newRow("sum 17") << QList<int>(15, 1) + QList<int> { 2 } << u"1,1"_s;
    QTest::newRow("sum 8") << QList<int>(8, 1) + QList<int>(8, -1) << u",5"_s;
    QTest::newRow("all null") << QList<int>(16, -1) << QString();
}

void tst_WallMotionPage::index()
{
    QFETCH(QList<int>, scores);
    QFETCH(QString, expected);
    m_module->TableIMG->edit();
    for (int segment = 1; segment <= 16; ++segment) {
        const int value = scores.at(segment - 1);
        if (value < 0)
            score(segment)->clear();
        else
            score(segment)->setAsInteger(value);
    }
    QCOMPARE(m_page->Label46->text(), expected);
    m_module->TableEco->cancel();
    QCOMPARE(m_page->Label46->text(), u"1"_s);
}

void tst_WallMotionPage::emptiedBoxStoresNull()
{
    focusAndWait(m_page->DBEdit28);
    clearText(m_page->DBEdit28);
    leave();
    QVERIFY(score(3)->isNull());
    QCOMPARE(m_page->Label46->text(), u",9"_s);
    m_module->TableEco->post();
    m_module->TableIMG->refresh();
    QVERIFY(score(3)->isNull());
    QCOMPARE(m_page->DBEdit28->text(), QString());
}

void tst_WallMotionPage::examWithoutScoreRow()
{
    showPatient(8);
    QCOMPARE(boxTexts(), QStringList(21, QString()));
    QCOMPARE(m_page->Label46->text(), QString());
    QVERIFY(recorder().isEmpty());
}

void tst_WallMotionPage::browsedRowKeepsStoredScore()
{
    showPatient(9);
    QCOMPARE(m_page->DBEdit28->text(), u"7"_s);
    QCOMPARE(m_module->TableIMG->state(), DatasetState::Browse);
    QCOMPARE(score(3)->asInteger(), 7);
    QCOMPARE(m_page->Label46->text(), u"1,4"_s); // 22 / 16
    QVERIFY(recorder().isEmpty());

    // Editing another segment leaves it too; only a 7 stored through its own box is corrected.
    type(m_page->DBEdit23, u"2"_s);
    leave();
    QCOMPARE(score(11)->asInteger(), 2);
    QCOMPARE(score(3)->asInteger(), 7);
    QCOMPARE(m_page->Label46->text(), u"1,4"_s); // 23 / 16
    type(m_page->DBEdit28, u"7"_s);
    leave();
    QCOMPARE(score(3)->asInteger(), 1);
    QCOMPARE(recorder().beeps(), 1);
}

void tst_WallMotionPage::lockedExamRefusesScores()
{
    showPatient(10);
    type(m_page->DBEdit25, u"3"_s);
    QCOMPARE(recorder().messages(),
             QStringList { u"ATENÇÃO: este EXAME não pode ser alterado!"_s });
    QCOMPARE(m_page->DBEdit25->text(), u"1"_s);
    leave();
    QCOMPARE(m_module->TableIMG->state(), DatasetState::Browse);
    QCOMPARE(m_module->TableEco->state(), DatasetState::Browse);
    QCOMPARE(score(10)->asInteger(), 1);
    QCOMPARE(m_page->Label46->text(), u"1"_s);
}

void tst_WallMotionPage::navigatorMovesThroughExams()
{
    showPatient(9);
    QVERIFY(!m_page->DBNavigator3->button(DBNavigator::Next)->isHidden());
    m_page->DBNavigator3->button(DBNavigator::Next)->click();
    QCOMPARE(m_module->TableEco->fieldByName(u"CodigoExame"_s)->asDateTime().time(), QTime(11, 0));
    QCOMPARE(boxTexts(), QStringList(21, u"2"_s));
    QCOMPARE(m_page->Label46->text(), u"2"_s);
    m_page->DBNavigator3->button(DBNavigator::First)->click();
    QCOMPARE(m_page->Label46->text(), u"1,4"_s);
    QVERIFY(recorder().isEmpty());
}

void tst_WallMotionPage::screenshot()
{
    QFont font = m_window->font();
    font.setPixelSize(11);
    m_window->setFont(font);
    m_window->resize(707, 480);
    const QString path = QCoreApplication::applicationDirPath() + u"/WallMotionPage.png"_s;
    QVERIFY(m_page->grab().save(path));
}

QTEST_MAIN(tst_WallMotionPage)
#include "tst_WallMotionPage.moc"
