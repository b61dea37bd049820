#include "search/Pesqt2.h"

#include "app/Main.h"
#include "data/DM.h"
#include "platform/engine/Field.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DialogRecorder.h"
#include "support/MainWindowFixture.h"
#include "support/TestSupport.h"

#include "platform/widgets/DateEdit.h"
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
// Today is 2024-06-15. Names sort by their letters, so the lower-case one comes last. Two exams on
// the 14th; the exam of patient 99 has no patient and is not listed; doctor 2 is inactive.
const char *const kPractice = R"(
INSERT INTO medico (CODIGO, NOME, ACTIVO) VALUES (1, 'DR ACTIVO', 1), (2, 'DR INACTIVO', 0);
INSERT INTO bddid (NF, NOME, BENIF) VALUES (1, 'ANA SILVA', '1'), (2, 'ANTÓNIO COSTA', '1'),
    (3, 'bruno mendes', '1'), (4, 'BRUNA REIS', '1'), (5, 'CARLA NUNES', '1');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor, Medico) VALUES
    (1, '2024-06-10 08:00:00.000', '2024-06-10', 1, NULL),
    (3, '2024-06-12 10:00:00.000', '2024-06-12', NULL, 'DR PEDIDO'),
    (99, '2024-06-13 10:00:00.000', '2024-06-13', 1, NULL),
    (1, '2024-06-14 09:00:00.000', '2024-06-14', 1, NULL),
    (2, '2024-06-14 11:00:00.000', '2024-06-14', 2, NULL);
)";
constexpr int Patients = TFormT2Pesq::PatientsTag;
constexpr int Exams = TFormT2Pesq::ExamsTag;
} // namespace

class tst_FormT2Pesq : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void examList();
    void callerChoosesPage();
    void nameSearch_data();
    void nameSearch();
    void dayJump();
    void selects_data();
    void selects();
    void enterInTheDayBoxSelectsTheHighlightedExam();
    void escapeAndCancelChangeNothing();
    void emptyExamListMovesNothing();
    void activationRereads();
    void pendingPatientKeepsWindowOpen();
    void renamedPatientFoundAfterReread();
    void namesInReadingOrder();
    void longListPagedThroughBothWays();

private:
    void open(int tag)
    {
        m_search->showFromMainWindow(tag);
        QVERIFY(QTest::qWaitForWindowActive(m_search.get()));
    }
    void reactivate()
    {
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form));
        open(0);
    }
    // Key by key, accented letters too.
    static void type(QWidget *w, const QString &text)
    {
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, w, Qt::Key(c.toUpper().unicode()), QString(c), {});
    }
    void retype(const QString &text)
    {
        m_search->Edit1->clear();
        type(m_search->Edit1, text);
    }
    void sql(const QString &text) { m_module->ExecutaQuery(text, QVariant(), false); }
    [[nodiscard]] int patient() const { return m_module->TablePacCODIGO->asInteger(); }
    [[nodiscard]] QString found() const { return m_search->TablePesqNOME->asString(); }
    [[nodiscard]] int examRow() const { return m_search->DBGrid2->currentRow(); }
    [[nodiscard]] QString listCell(int row, int column) const
    {
        const QAbstractItemModel *model = m_search->DBGrid2->model();
        return model->data(model->index(row, column)).toString();
    }

    std::unique_ptr<MainWindowFixture> m_fx;
    TestEnvironment *m_env = nullptr;
    TMainForm *m_form = nullptr;
    TDataModule1 *m_module = nullptr;
    std::unique_ptr<TFormT2Pesq> m_search;
};

void tst_FormT2Pesq::init()
{
    m_fx = std::make_unique<MainWindowFixture>(QString::fromUtf8(kPractice));
    m_env = m_fx->env();
    m_form = m_fx->form();
    m_module = m_fx->module();
    m_search = std::make_unique<TFormT2Pesq>();
    FormT2Pesq = m_search.get();
    m_search->load();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
    QVERIFY(m_module->TablePac->locate(u"NF"_s, 5));
}

void tst_FormT2Pesq::cleanup()
{
    m_search.reset();
    m_fx.reset();
}

void tst_FormT2Pesq::examList()
{
    QCOMPARE(m_search->DBGrid2->model()->rowCount(), 4);
    QCOMPARE(listCell(3, 0), u"10/06/2024"_s);
    QCOMPARE(listCell(3, 1), u"ANA SILVA"_s);
    // A missing performing doctor is an empty cell, an inactive one is named.
    QCOMPARE(listCell(2, 2), QString());
    QCOMPARE(listCell(2, 3), u"DR PEDIDO"_s);
    QVERIFY(listCell(0, 2) == u"DR INACTIVO"_s || listCell(1, 2) == u"DR INACTIVO"_s);
    QCOMPARE(m_search->Data->date(), QDate(2024, 6, 15));
}

void tst_FormT2Pesq::callerChoosesPage()
{
    open(Exams);
    QCOMPARE(m_search->PageControl1->currentWidget(), m_search->TabSheet2);
    m_search->hide();
    open(0);
    QCOMPARE(m_search->PageControl1->currentWidget(), m_search->TabSheet2);
    open(Patients);
    QCOMPARE(m_search->PageControl1->currentWidget(), m_search->TabSheet1);
    QCOMPARE(m_search->focusWidget(), m_search->Edit1);

    // From the main window: its buttons, and its shortcuts while the search window has the keys.
    m_search->hide();
    m_form->ToolButton5->click();
    QVERIFY(QTest::qWaitForWindowActive(m_search.get()));
    QCOMPARE(m_search->PageControl1->currentWidget(), m_search->TabSheet2);
    QTest::keyClick(m_search->Data, Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(m_search->PageControl1->currentWidget(), m_search->TabSheet1);
    QTest::keyClick(m_search->Edit1, Qt::Key_D, Qt::ControlModifier);
    QCOMPARE(m_search->PageControl1->currentWidget(), m_search->TabSheet2);
    m_search->hide();
    m_form->BotaoPsq->click();
    QVERIFY(m_search->isVisible());
    QCOMPARE(m_search->PageControl1->currentWidget(), m_search->TabSheet1);
}

void tst_FormT2Pesq::nameSearch_data()
{
    QTest::addColumn<QStringList>("typed"); // one string per step; "\b" is a backspace
    QTest::addColumn<QString>("name");
    QTest::newRow("first letter") << QStringList { u"a"_s } << u"ANA SILVA"_s;
    QTest::newRow("accented") << QStringList { u"antó"_s } << u"ANTÓNIO COSTA"_s;
    QTest::newRow("table order") << QStringList { u"brun"_s } << u"BRUNA REIS"_s;
    QTest::newRow("stored in lower case") << QStringList { u"bruno"_s } << u"bruno mendes"_s;
    QTest::newRow("no name goes on") << QStringList { u"bruno"_s, u"x"_s } << u"bruno mendes"_s;
    QTest::newRow("emptied") << QStringList { u"c"_s, u"\b"_s } << u"ANA SILVA"_s;
}

void tst_FormT2Pesq::nameSearch()
{
    QFETCH(QStringList, typed);
    QFETCH(QString, name);
    open(Patients);
    for (const QString &keys : typed) {
        if (keys == u"\b"_s)
            QTest::keyClick(m_search->Edit1, Qt::Key_Backspace);
        else
            type(m_search->Edit1, keys);
    }
    QCOMPARE(found(), name);
    QCOMPARE(m_search->Edit1->text(), m_search->Edit1->text().toUpper());
    QCOMPARE(patient(), 5); // nothing moves in the main window until a row is chosen
}

void tst_FormT2Pesq::dayJump()
{
    open(Exams);
    DateEdit *day = m_search->Data;
    day->setDate(QDate(2024, 6, 12));
    QCOMPARE(examRow(), 2);
    // No exam that day, only an exam without patient, older than every exam: the grid stays.
    for (const QDate &none : { QDate(2024, 6, 11), QDate(2024, 6, 13), QDate(2023, 1, 1) }) {
        day->setDate(none);
        QCOMPARE(examRow(), 2);
    }
    // Two exams on the 14th: the first of them, its whole row selected.
    day->setDate(QDate(2024, 6, 14));
    QCOMPARE(examRow(), 0);
    QCOMPARE(m_search->DBGrid2->currentIndex().row(), 0);
    QVERIFY(m_search->DBGrid2->selectionModel()->isRowSelected(0, {}));
}

void tst_FormT2Pesq::selects_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("how");
    QTest::newRow("Enter in the name box") << Patients << u"enter name"_s;
    QTest::newRow("Enter in the patient grid") << Patients << u"enter grid"_s;
    QTest::newRow("double-click on a patient") << Patients << u"double-click"_s;
    QTest::newRow("Enter on Selecionar") << Exams << u"enter button"_s;
    QTest::newRow("double-click on an exam") << Exams << u"double-click"_s;
}

void tst_FormT2Pesq::selects()
{
    QFETCH(int, page);
    QFETCH(QString, how);
    open(page);
    TFormT2Pesq &w = *m_search;
    DBGrid *grid = page == Patients ? w.DBGrid1 : w.DBGrid2;
    if (page == Patients)
        type(w.Edit1, u"bruna"_s);
    else
        w.Data->setDate(QDate(2024, 6, 12));
    if (how == u"enter name"_s) {
        QTest::keyClick(w.Edit1, Qt::Key_Return);
    } else if (how == u"enter grid"_s) {
        QTest::keyClick(grid, Qt::Key_Enter, Qt::KeypadModifier);
    } else if (how == u"enter button"_s) {
        QTest::keyClick(w.BitBtn1, Qt::Key_Return);
    } else {
        const QRect cell = grid->visualRect(grid->model()->index(grid->currentRow(), 0));
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    }
    QVERIFY(!w.isVisible());
    QCOMPARE(patient(), page == Patients ? 4 : 3);
    if (page == Exams)
        QCOMPARE(m_module->TableEcoCodigoExame->asDateTime(),
                 QDateTime(QDate(2024, 6, 12), QTime(10, 0)));
    QVERIFY(m_env->recorder().isEmpty());
}

// Reopened, the page highlights the newest exam while the day box still shows the day picked
// before: Enter opens the exam highlighted, not one of that day.
void tst_FormT2Pesq::enterInTheDayBoxSelectsTheHighlightedExam()
{
    open(Exams);
    m_search->Data->setDate(QDate(2024, 6, 12));
    QCOMPARE(examRow(), 2);
    m_search->BitBtn2->click();
    open(Exams);
    QCOMPARE(examRow(), 0);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(m_search->Data));
    QTest::keyClick(m_search->Data, Qt::Key_Return);
    QVERIFY(!m_search->isVisible());
    QCOMPARE(patient(), 2);
    QCOMPARE(m_module->TableEcoCodigoExame->asDateTime(),
             QDateTime(QDate(2024, 6, 14), QTime(11, 0)));
}

void tst_FormT2Pesq::escapeAndCancelChangeNothing()
{
    for (QWidget *from : std::initializer_list<QWidget *> { m_search->Edit1, m_search->DBGrid1 }) {
        open(Patients);
        retype(u"ana"_s);
        QTest::keyClick(from, Qt::Key_Escape);
        QVERIFY(!m_search->isVisible());
    }
    open(Patients);
    focusAndWait(m_search->BitBtn2);
    QTest::keyClick(m_search->BitBtn2, Qt::Key_Return);
    QVERIFY(!m_search->isVisible());
    QCOMPARE(patient(), 5);
    QCOMPARE(m_search->Edit1->text(), u"ANA"_s); // kept for the next search
}

void tst_FormT2Pesq::emptyExamListMovesNothing()
{
    sql(u"DELETE FROM eco"_s);
    open(Exams);
    QCOMPARE(m_search->DBGrid2->model()->rowCount(), 0);
    type(m_search->Edit1, u"ana"_s); // the other page stands on patient 1
    m_search->BitBtn1->click();
    QVERIFY(!m_search->isVisible());
    QCOMPARE(patient(), 5);
    QVERIFY(m_env->recorder().isEmpty());
}

void tst_FormT2Pesq::activationRereads()
{
    open(Exams);
    m_search->Data->setDate(QDate(2024, 6, 10));
    QCOMPARE(examRow(), 3);
    sql(u"INSERT INTO bddid (NF, NOME, BENIF) VALUES (6, 'DORA LIMA', '1')"_s);
    sql(u"INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame) "
        "VALUES (6, '2024-06-15 09:00:00.000', '2024-06-15')"_s);
    reactivate();
    QCOMPARE(listCell(0, 1), u"DORA LIMA"_s);
    QCOMPARE(examRow(), 0);
    QCOMPARE(m_search->Data->date(), QDate(2024, 6, 10));
    type(m_search->Edit1, u"dora"_s);
    QCOMPARE(found(), u"DORA LIMA"_s);
    // Back from a message box shown over the window, the list stays where it was.
    m_search->Data->setDate(QDate(2024, 6, 12));
    QTimer::singleShot(0, this, [] {
        QTRY_VERIFY(QApplication::activeModalWidget());
        QApplication::activeModalWidget()->close();
    });
    QMessageBox(QMessageBox::NoIcon, QString(), u"aviso"_s, QMessageBox::Ok, m_search.get()).exec();
    m_search->activateWindow(); // what the window manager does when the box goes
    QVERIFY(QTest::qWaitForWindowActive(m_search.get()));
    QCOMPARE(examRow(), 3);

    // From the patient page the list is not read again, not even when its tab is picked; the
    // refresh button reads it.
    sql(u"INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame) "
        "VALUES (4, '2024-06-15 10:00:00.000', '2024-06-15')"_s);
    m_search->PageControl1->setCurrentWidget(m_search->TabSheet1);
    reactivate();
    m_search->PageControl1->setCurrentWidget(m_search->TabSheet2);
    QCOMPARE(m_search->DBGrid2->model()->rowCount(), 5);
    m_search->SpeedButton1->click();
    QCOMPARE(listCell(0, 1), u"BRUNA REIS"_s);
}

void tst_FormT2Pesq::pendingPatientKeepsWindowOpen()
{
    TDataModule1 &dm = *m_module;
    dm.TablePac->insert();
    dm.TablePacNOME->setAsString(u"SEM SISTEMA"_s); // no health system: cannot be posted
    open(Patients);
    type(m_search->Edit1, u"ana"_s);
    m_search->BitBtn1->click();
    QCOMPARE(m_env->recorder().applicationErrors().size(), 1);
    QVERIFY(m_search->isVisible());
    QCOMPARE(dm.TablePac->state(), DatasetState::Insert);

    // A changed exam is posted when the search moves the main window away from it.
    dm.TablePac->cancel();
    QVERIFY(dm.TablePac->locate(u"NF"_s, 2));
    dm.TableEco->edit();
    dm.TableEcoPeso->setAsInteger(77);
    m_search->BitBtn1->click();
    QCOMPARE(patient(), 1);
    QVERIFY(dm.ExecutaQuery(u"SELECT 1 FROM eco WHERE CodigoPaciente = 2 AND Peso = 77"_s,
                            QVariant(), true));
}

void tst_FormT2Pesq::renamedPatientFoundAfterReread()
{
    // Enough patients for names to be searched through the engine's sorted copy of them.
    QString rows = u"INSERT INTO bddid (NF, NOME, BENIF) VALUES "_s;
    for (int i = 0; i < 2500; ++i)
        rows += u"(%1, 'P%2', '1'),"_s.arg(100 + i).arg(i, 5, 10, QLatin1Char('0'));
    rows.chop(1);
    sql(rows);
    open(Patients);
    retype(u"p01"_s);
    QCOMPARE(found(), u"P01000"_s);
    reactivate(); // the same names again
    retype(u"p02"_s);
    QCOMPARE(found(), u"P02000"_s);
    // As many names as before, one of them new: the old copy must not answer.
    sql(u"UPDATE bddid SET NOME = 'QUIM' WHERE NOME = 'P01000'"_s);
    reactivate();
    retype(u"quim"_s);
    QCOMPARE(found(), u"QUIM"_s);
    retype(u"p01000"_s);
    QCOMPARE(found(), u"P01001"_s);
}

void tst_FormT2Pesq::namesInReadingOrder()
{
    // Accents count only between names that are otherwise the same.
    sql(u"INSERT INTO bddid (NF, NOME, BENIF) VALUES (20, 'VASCO', '1'), (21, 'ÁLVARO', '1'), "
        "(22, 'AMÉLIA', '1'), (23, 'JOÃO', '1'), (24, 'ALFREDO', '1'), (25, 'JOAO', '1')"_s);
    // Nor does case: a name typed in small letters stands among the others.
    const QStringList order { u"ALFREDO"_s,       u"ÁLVARO"_s,     u"AMÉLIA"_s,       u"ANA SILVA"_s,
                              u"ANTÓNIO COSTA"_s, u"BRUNA REIS"_s, u"bruno mendes"_s, u"CARLA NUNES"_s,
                              u"JOAO"_s,          u"JOÃO"_s,       u"VASCO"_s };
    // The main window's navigator...
    Table &patients = *m_module->TablePac;
    patients.refresh();
    QStringList navigated;
    for (patients.first(); !patients.eof(); patients.next())
        navigated << m_module->TablePacNOME->asString();
    QCOMPARE(navigated, order);
    // ...and the quick search list the names alike.
    open(Patients);
    const QAbstractItemModel *model = m_search->DBGrid1->model();
    QStringList listed;
    for (int r = 0; r < model->rowCount(); ++r)
        listed << model->data(model->index(r, 0)).toString();
    QCOMPARE(listed, order);

    // Typed with or without accents, in either case: the first name in that order that begins so.
    const QList<std::pair<QString, QString>> searches {
        { u"alv"_s, u"ÁLVARO"_s },   { u"álvaro"_s, u"ÁLVARO"_s },
        { u"ame"_s, u"AMÉLIA"_s },   { u"AMÉ"_s, u"AMÉLIA"_s },
        { u"joão"_s, u"JOAO"_s },    { u"antonio c"_s, u"ANTÓNIO COSTA"_s },
        { u"alfé"_s, u"ALFREDO"_s },
    };
    for (const auto &[typed, name] : searches) {
        retype(typed);
        QCOMPARE(found(), name);
    }
}

// More exams than the list holds at once: paged through to the end and back, the grid shows
// every exam once in the list's order and keeps the rows it shows when the rows held change.
void tst_FormT2Pesq::longListPagedThroughBothWays()
{
    QStringList rows;
    const QDateTime start(QDate(2020, 1, 1), QTime(0, 0));
    for (int i = 1; i <= 6000; ++i)
        rows << QStringLiteral("(%1, '%2', '%3', 1)")
                    .arg(1 + i % 5)
                    .arg(start.addSecs(i * 60).toString(u"yyyy-MM-dd HH:mm:ss.zzz"_s),
                         QDate(2024, 6, 1).addDays(-(i / 16)).toString(Qt::ISODate));
    sql(u"INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor) VALUES "_s
        + rows.join(u", "_s));
    open(Exams);
    DBGrid *grid = m_search->DBGrid2;
    Query &list = *m_search->QueryPesq1;
    const auto topRow = [&] {
        const int row = grid->rowAt(0);
        return listCell(row, 0) + listCell(row, 1) + list.rowAt(row).values[1].toString();
    };
    // Each exam shown, once, in the order the grid first showed it.
    struct Seen
    {
        QStringList codes;
        QList<QDate> days;
        QSet<QString> known;
    };
    const auto record = [&](bool downwards, Seen &seen) {
        const int top = grid->rowAt(0);
        const int bottom = grid->rowAt(grid->viewport()->height() - 1);
        for (int i = 0; i <= bottom - top; ++i) {
            const DatasetRow &row = list.rowAt(downwards ? top + i : bottom - i);
            const QString code = row.values[1].toString();
            if (!seen.known.contains(code)) {
                seen.known.insert(code);
                seen.codes.append(code);
                seen.days.append(row.values[0].toDate());
            }
        }
    };
    const auto page = [&](Qt::Key key, Seen &seen) {
        record(key == Qt::Key_PageDown, seen);
        // Until the grid stops moving and no rows remain to read in that direction.
        for (int guard = 0; guard < 2000; ++guard) {
            const int before = examRow();
            QTest::keyClick(grid, key);
            const QString shown = topRow();
            QCoreApplication::processEvents();
            QCOMPARE(topRow(), shown);
            QVERIFY(list.rowCount() <= TFormT2Pesq::ExamRowsHeld + 256);
            record(key == Qt::Key_PageDown, seen);
            if (examRow() == before)
                return;
        }
        QFAIL("the grid kept moving");
    };
    grid->setFocus();
    Seen down;
    page(Qt::Key_PageDown, down);
    QVERIFY(!list.canFetchMore());
    Seen up;
    page(Qt::Key_PageUp, up);
    QVERIFY(!list.canFetchPrior());
    QCOMPARE(examRow(), 0);
    QCOMPARE(down.codes.size(), 6004);
    QVERIFY(std::is_sorted(down.days.rbegin(), down.days.rend()));
    std::reverse(up.codes.begin(), up.codes.end());
    QCOMPARE(up.codes, down.codes);

    // A day far down: read around it, the days above it reached by scrolling up.
    m_search->Data->setDate(QDate(2023, 6, 1));
    QCOMPARE(listCell(examRow(), 0), u"01/06/2023"_s);
    QVERIFY(list.rowCount() < 512);
    for (int i = 0; i < 30; ++i) {
        QTest::keyClick(grid, Qt::Key_PageUp);
        QCoreApplication::processEvents();
    }
    // Well above the page read with the day.
    QVERIFY(QDate::fromString(listCell(examRow(), 0), u"dd/MM/yyyy"_s) > QDate(2023, 6, 10));
}

QTEST_MAIN(tst_FormT2Pesq)
#include "tst_FormT2Pesq.moc"
