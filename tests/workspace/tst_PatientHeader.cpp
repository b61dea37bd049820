#include "workspace/PatientHeader.h"

#include "data/DM.h"
#include "data/Schema.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/SqliteStore.h"
#include "platform/widgets/DBCheckBox.h"
#include "platform/widgets/DBComboBox.h"
#include "platform/widgets/DBEdit.h"
#include "platform/widgets/DBLookupComboBox.h"
#include "platform/widgets/DialogRecorder.h"
#include "support/PracticeDirectory.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
// Patient 7 has two exams (the newer one editable today), patient 3 one exam by a doctor who is
// no longer active, patient 9 none.
const char *const kPractice = R"(
INSERT INTO convencao (CODIGO, SIGLA, ENTIDADE, ACTIVO) VALUES (1, 'Particular', 'Particular', 1),
    (2, 'SNS', 'Serviço Nacional', 1);
INSERT INTO medico (CODIGO, NOME, ACTIVO) VALUES (1, 'DR ACTIVO', 1), (2, 'DR INACTIVO', 0),
    (3, 'TEC ACTIVA', 1);
INSERT INTO bddid (NF, NOME, DNASC, BENIF) VALUES (3, 'CARLOS SOUSA', '1950-02-01', '1'),
    (7, 'ANA MARIA COSTA', '2000-06-15', '2'), (9, 'RUI SEM EXAMES', '1980-01-01', '1');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor, tecnico, Peso, Idade, ModoD)
    VALUES (7, '2024-06-14 09:00:00.000', '2024-06-14', 1, 3, 60, 23, 'Modo M e Bidimensional'),
    (7, '2024-06-01 09:00:00.000', '2024-06-01', 1, NULL, 58, 23, NULL),
    (3, '2024-06-14 11:00:00.000', '2024-06-14', 2, NULL, 80, 74, NULL);
INSERT INTO imagem (CodpacienteI, DodExamei, C1, C2, C3, C4, C5, C6, C7, C8, C9, C10, C11, C12,
    C13, C14, C15, C16) VALUES
    (7, '2024-06-14 09:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1),
    (7, '2024-06-01 09:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1),
    (3, '2024-06-14 11:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1);
)";

const QColor kLightYellow(0xFF, 0xFF, 0xBD);
const QColor kNavy(0x00, 0x00, 0x80);
const QColor kMaroon(0x80, 0x00, 0x00);

// QTest::keyClicks() takes ASCII only.
void typeText(QWidget *control, const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 128)
            QTest::keyClicks(control, QString(c));
        else
            QTest::sendKeyEvent(QTest::Click, control, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

void clearText(QWidget *control)
{
    QTest::keyClick(control, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(control, Qt::Key_Backspace);
}

QColor base(const QWidget *w)
{
    return w->palette().color(QPalette::Base);
}
QColor text(const QWidget *w)
{
    return w->palette().color(QPalette::Text);
}
} // namespace

class tst_PatientHeader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void examNavigatorButtons();
    void bindingsShowTheCurrentRecords();
    void tabOrders();
    void browsedExamRefusesInputUntilEdited();
    void upperCaseNameAndRequester();
    void insertFocusRules();
    void clearMarks();
    void inactiveDoctorShowsEmptyAndKeepsCode();
    void freeTextTypeStoredAsTyped();
    void patientWithoutExamsRefusesTyping();
    void conversionErrorsKeepFocusAndColours();
    void patientEditKeepsTheExamShown_data();
    void patientEditKeepsTheExamShown();
    void birthDates_data();
    void birthDates();
    void focusColoursByKind();
    void gridLinks();
    void screenshot();

private:
    void start()
    {
        m_module = std::make_unique<TDataModule1>();
        DataModule1 = m_module.get();
        m_module->load();
    }
    void openPatient(int nf) { QVERIFY(m_module->TablePac->locate(u"NF"_s, nf)); }
    void focus(QWidget *w) { focusAndWait(w); }
    [[nodiscard]] DialogRecorder &recorder() const { return m_env->recorder(); }
    [[nodiscard]] QVariant stored(const QString &sql) const
    {
        SqlStatement st(m_module->Database2->connection(), sql);
        return st.step() ? st.value(0) : QVariant();
    }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<PracticeDirectory> m_dir;
    std::unique_ptr<QWidget> m_window;
    PatientHeader *m_header = nullptr;
    QLineEdit *m_elsewhere = nullptr;
    std::unique_ptr<TDataModule1> m_module;
};

void tst_PatientHeader::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_dir = std::make_unique<PracticeDirectory>(QString::fromUtf8(kPractice));

    // As at start-up: the window and its header first, the data module after.
    m_window = std::make_unique<QWidget>();
    auto *layout = new QVBoxLayout(m_window.get());
    m_header = new PatientHeader(m_window.get());
    m_elsewhere = new QLineEdit(m_window.get());
    layout->addWidget(m_header);
    layout->addWidget(m_elsewhere);
    m_window->resize(1000, 260);
    start();
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    openPatient(7);
    recorder().clear();
}

void tst_PatientHeader::cleanup()
{
    m_window.reset();
    m_module.reset();
    DataModule1 = nullptr;
    m_dir.reset();
    m_env.reset();
}

void tst_PatientHeader::examNavigatorButtons()
{
    DBNavigator *nav = m_header->DBNavigator2;
    QCOMPARE(nav->visibleButtons(),
             (QSet<DBNavigator::Button> {
                 DBNavigator::Prior, DBNavigator::Next, DBNavigator::Insert, DBNavigator::Delete,
                 DBNavigator::Edit, DBNavigator::Post, DBNavigator::Cancel }));
    // Hints go by button, not by position among the visible ones.
    QCOMPARE(nav->button(DBNavigator::Prior)->toolTip(), u"Exame Anterior"_s);
    QCOMPARE(nav->button(DBNavigator::Insert)->toolTip(), u"Novo Exame"_s);
    QCOMPARE(nav->button(DBNavigator::Cancel)->toolTip(), u"Cancelar Exame"_s);
    QVERIFY(!nav->button(DBNavigator::Prior)->isEnabled());
    QVERIFY(nav->button(DBNavigator::Next)->isEnabled());
    QVERIFY(!nav->button(DBNavigator::Post)->isEnabled());
}

void tst_PatientHeader::bindingsShowTheCurrentRecords()
{
    PatientHeader &h = *m_header;
    QCOMPARE(h.DBEdit1->text(), u"ANA MARIA COSTA"_s);
    QCOMPARE(h.DBEdit2->text(), u"7"_s);
    QCOMPARE(h.DBLookupComboBox3->currentText(), u"SNS"_s);
    QVERIFY(m_module->TableEco->locate(u"DataExame"_s, QDate(2024, 6, 14)));
    QCOMPARE(h.DBEdit5->text(), u"60"_s);
    QCOMPARE(h.DBComboBox1->currentText(), u"Modo M e Bidimensional"_s);
    QCOMPARE(h.DBLookupComboBox1->currentText(), u"DR ACTIVO"_s);
    QCOMPARE(h.DBLookupComboBox4->currentText(), u"TEC ACTIVA"_s);
    // Doctor and technician come from the same list of active doctors.
    QCOMPARE(h.DBLookupComboBox4->count(), 2);

    // Choosing a health system stores its code; the patient starts editing by itself.
    focus(h.DBLookupComboBox3);
    QTest::keyClick(h.DBLookupComboBox3, Qt::Key_Up);
    QCOMPARE(h.DBLookupComboBox3->currentText(), u"Particular"_s);
    QCOMPARE(m_module->TablePac->state(), DatasetState::Edit);
    QCOMPARE(m_module->TablePacBENIF->asString(), u"1"_s);
}

void tst_PatientHeader::tabOrders()
{
    PatientHeader &h = *m_header;
    QVERIFY(m_module->TableEco->locate(u"DataExame"_s, QDate(2024, 6, 14)));
    m_module->TableEco->edit();
    const auto visits = [](QWidget *from, int steps) {
        QList<QWidget *> seen;
        from->setFocus(Qt::TabFocusReason);
        for (int i = 0; i < steps; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget();
        }
        return seen;
    };
    focus(h.DBEdit1);
    QCOMPARE(visits(h.DBEdit1, 4),
             (QList<QWidget *> { h.DBEdit3, h.DBLookupComboBox3, h.DBEdit5, h.DBEdit6 }));
    focus(h.DBEdit8);
    QCOMPARE(visits(h.DBEdit8, 6),
             (QList<QWidget *> { h.DBComboBox1, h.DBEdit7, h.DBLookupComboBox1, h.DBLookupComboBox4,
                                 h.DBComboBox2, h.DBEdit45 }));
    m_module->TableEco->cancel();
}

void tst_PatientHeader::browsedExamRefusesInputUntilEdited()
{
    PatientHeader &h = *m_header;
    QVERIFY(m_module->TableEco->locate(u"DataExame"_s, QDate(2024, 6, 14)));
    focus(h.DBEdit5);
    QTest::keyClick(h.DBEdit5, Qt::Key_End);
    QTest::keyClicks(h.DBEdit5, u"5"_s);
    QCOMPARE(h.DBEdit5->text(), u"60"_s);
    QCOMPARE(m_module->TableEco->state(), DatasetState::Browse);
    // A combo box may not change the field either.
    QTest::keyClick(h.DBComboBox2, Qt::Key_Down);
    QVERIFY(m_module->TableEcoQte->isNull());

    h.DBNavigator2->button(DBNavigator::Edit)->click();
    QCOMPARE(m_module->TableEco->state(), DatasetState::Edit);
    QTest::keyClick(h.DBEdit5, Qt::Key_End);
    QTest::keyClicks(h.DBEdit5, u"5"_s);
    QCOMPARE(h.DBEdit5->text(), u"605"_s);
    // A letter never fits a number field.
    QTest::keyClicks(h.DBEdit5, u"a"_s);
    QCOMPARE(h.DBEdit5->text(), u"605"_s);
    QCOMPARE(recorder().beeps(), 1);
    h.DBNavigator2->button(DBNavigator::Post)->click();
    QCOMPARE(m_module->TableEcoPeso->asInteger(), 605);
    QCOMPARE(m_module->TableEco->state(), DatasetState::Browse);
}

void tst_PatientHeader::upperCaseNameAndRequester()
{
    PatientHeader &h = *m_header;
    focus(h.DBEdit1);
    QTest::keyClick(h.DBEdit1, Qt::Key_End);
    typeText(h.DBEdit1, u" júnior"_s);
    QCOMPARE(m_module->TablePac->state(), DatasetState::Edit);
    QCOMPARE(h.DBEdit1->text(), u"ANA MARIA COSTA JÚNIOR"_s);

    QVERIFY(m_module->TableEco->locate(u"DataExame"_s, QDate(2024, 6, 14)));
    m_module->TableEco->edit();
    focus(h.DBEdit7);
    typeText(h.DBEdit7, u"dr. sá"_s);
    QCOMPARE(h.DBEdit7->text(), u"DR. SÁ"_s);
    focus(m_elsewhere);
    QCOMPARE(m_module->TableEcoMedico->asString(), u"DR. SÁ"_s);
}

void tst_PatientHeader::insertFocusRules()
{
    PatientHeader &h = *m_header;
    focus(m_elsewhere);
    h.DBNavigator1Click(DBNavigator::Next);
    QCOMPARE(QApplication::focusWidget(), m_elsewhere);
    h.DBNavigator1Click(DBNavigator::Insert);
    QTRY_COMPARE(QApplication::focusWidget(), h.DBEdit1);

    // The exam navigator's insert leaves the focus where it was.
    focus(m_elsewhere);
    h.DBNavigator2->button(DBNavigator::Insert)->click();
    QCOMPARE(m_module->TableEco->state(), DatasetState::Insert);
    QCOMPARE(QApplication::focusWidget(), m_elsewhere);
    m_module->TableEco->cancel();

    // "Novo Exame" from the menu: the same insert, with the new exam's rules.
    h.NovoExame1Click();
    QCOMPARE(m_module->TableEco->state(), DatasetState::Insert);
    QCOMPARE(h.DBEdit8->text(), m_module->TableEcoDataExame->displayText());
    QCOMPARE(m_module->TableEcoDataExame->asDate(), QDate(2024, 6, 15));
    QCOMPARE(h.DBEdit4->text(), u"24"_s);
    QVERIFY(!h.DBEdit5->isReadOnly());
    QCOMPARE(QApplication::focusWidget(), m_elsewhere);
}

void tst_PatientHeader::clearMarks()
{
    PatientHeader &h = *m_header;
    QVERIFY(m_module->TableEco->locate(u"DataExame"_s, QDate(2024, 6, 14)));
    QTest::mouseClick(h.Label71, Qt::LeftButton);
    QCOMPARE(recorder().messages(),
             QStringList { u"Operação permitida só em modo de Edição/Inserção"_s });
    QCOMPARE(m_module->TableEcoExecutor->asInteger(), 1);
    QCOMPARE(h.DBLookupComboBox1->currentText(), u"DR ACTIVO"_s);

    recorder().clear();
    m_module->TableEco->edit();
    QTest::mouseClick(h.Label71, Qt::LeftButton);
    QVERIFY(recorder().isEmpty());
    QVERIFY(m_module->TableEcoExecutor->isNull());
    QVERIFY(h.DBLookupComboBox1->currentText().isEmpty());
    QCOMPARE(m_module->TableEcotecnico->asInteger(), 3);
    QCOMPARE(h.DBLookupComboBox4->currentText(), u"TEC ACTIVA"_s);

    QTest::mouseClick(h.Label72, Qt::LeftButton);
    QVERIFY(m_module->TableEcotecnico->isNull());
    QVERIFY(h.DBLookupComboBox4->currentText().isEmpty());
    // Neither doctor nor technician: the post warns.
    h.DBNavigator2->button(DBNavigator::Post)->click();
    QCOMPARE(recorder().messages(),
             QStringList { u"Por favor seleccione um Médico ou Técnico (ou ambos)."_s });
}

void tst_PatientHeader::inactiveDoctorShowsEmptyAndKeepsCode()
{
    PatientHeader &h = *m_header;
    openPatient(3);
    QVERIFY(h.DBLookupComboBox1->currentText().isEmpty());
    m_module->TableEco->edit();
    focus(h.DBEdit5);
    clearText(h.DBEdit5);
    typeText(h.DBEdit5, u"81"_s);
    h.DBNavigator2->button(DBNavigator::Post)->click();
    QCOMPARE(m_module->TableEcoPeso->asInteger(), 81);
    QCOMPARE(m_module->TableEcoExecutor->asInteger(), 2);
    QVERIFY(h.DBLookupComboBox1->currentText().isEmpty());
}

void tst_PatientHeader::freeTextTypeStoredAsTyped()
{
    PatientHeader &h = *m_header;
    QVERIFY(m_module->TableEco->locate(u"DataExame"_s, QDate(2024, 6, 14)));
    h.DBNavigator2->button(DBNavigator::Edit)->click();
    focus(h.DBComboBox1);
    clearText(h.DBComboBox1);
    typeText(h.DBComboBox1, u"Transesofágico"_s);
    h.DBNavigator2->button(DBNavigator::Post)->click();
    QCOMPARE(m_module->TableEcoModoD->asString(), u"Transesofágico"_s);
    QCOMPARE(h.DBComboBox1->currentText(), u"Transesofágico"_s);
}

void tst_PatientHeader::patientWithoutExamsRefusesTyping()
{
    PatientHeader &h = *m_header;
    openPatient(9);
    QVERIFY(m_module->TableEco->isEmpty());
    const QList<DBEdit *> examEdits { h.DBEdit4, h.DBEdit5, h.DBEdit6,
                                      h.DBEdit8, h.DBEdit7, h.DBEdit45 };
    for (DBEdit *e : examEdits) {
        QVERIFY2(e->text().isEmpty(), qPrintable(e->objectName()));
        focus(e);
        QTest::keyClicks(e, u"7"_s);
        QVERIFY2(e->text().isEmpty(), qPrintable(e->objectName()));
    }
    QVERIFY(h.DBComboBox1->currentText().isEmpty());
    QVERIFY(h.DBLookupComboBox1->currentText().isEmpty());
    QCOMPARE(m_module->TableEco->state(), DatasetState::Browse);
    QVERIFY(!h.DBNavigator2->button(DBNavigator::Delete)->isEnabled());

    h.NovoExame1Click();
    focus(h.DBEdit6);
    QTest::keyClicks(h.DBEdit6, u"170"_s);
    QCOMPARE(h.DBEdit6->text(), u"170"_s);
}

void tst_PatientHeader::conversionErrorsKeepFocusAndColours()
{
    PatientHeader &h = *m_header;
    QVERIFY(m_module->TableEco->locate(u"DataExame"_s, QDate(2024, 6, 14)));
    m_module->TableEco->edit();

    focus(h.DBEdit8);
    QCOMPARE(base(h.DBEdit8), QColor(Qt::white));
    clearText(h.DBEdit8);
    typeText(h.DBEdit8, u"31/02/2024"_s);
    m_elsewhere->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), h.DBEdit8);
    QCOMPARE(recorder().applicationErrors(),
             QStringList { Dialogs::applicationErrorText(u"'31/02/2024' is not a valid date"_s) });
    QCOMPARE(h.DBEdit8->selectedText(), u"31/02/2024"_s);
    QCOMPARE(m_module->TableEcoDataExame->asDate(), QDate(2024, 6, 14));
    QCOMPARE(base(h.DBEdit8), QColor(Qt::white));
    QCOMPARE(text(h.DBEdit8), kNavy);
    QTest::keyClick(h.DBEdit8, Qt::Key_Escape);
    focus(m_elsewhere);
    QCOMPARE(base(h.DBEdit8), kLightYellow);

    recorder().clear();
    focus(h.DBEdit5);
    clearText(h.DBEdit5);
    QTest::keyClicks(h.DBEdit5, u"6-0"_s);
    m_elsewhere->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), h.DBEdit5);
    QCOMPARE(recorder().applicationErrors(),
             QStringList { Dialogs::applicationErrorText(
                 u"'6-0' is not a valid integer value for field 'Peso'"_s) });
    QCOMPARE(h.DBEdit5->selectedText(), u"6-0"_s);
    QCOMPARE(m_module->TableEcoPeso->asInteger(), 60);
    m_module->TableEco->cancel();
}

void tst_PatientHeader::patientEditKeepsTheExamShown_data()
{
    QTest::addColumn<QString>("then");
    QTest::newRow("patient posted") << u"post"_s;
    QTest::newRow("patient cancelled") << u"cancel"_s;
    QTest::newRow("another patient") << u"move"_s;
}

// Correcting the patient while an exam is shown or edited neither moves the exam nor ends its
// edit; the patient's post, cancel or move then ends the exam's edit as leaving a row does.
void tst_PatientHeader::patientEditKeepsTheExamShown()
{
    QFETCH(QString, then);
    PatientHeader &h = *m_header;
    Table &pac = *m_module->TablePac;
    Table &eco = *m_module->TableEco;
    const QDateTime newer(QDate(2024, 6, 14), QTime(9, 0));
    const auto examShown = [&] { return m_module->TableEcoCodigoExame->asDateTime(); };
    const QString storedWeight
        = u"SELECT Peso FROM eco WHERE CodigoExame = '2024-06-14 09:00:00.000'"_s;

    eco.last();
    focus(h.DBEdit3);
    QTest::keyClick(h.DBEdit3, Qt::Key_End);
    QTest::keyClick(h.DBEdit3, Qt::Key_Backspace);
    QTest::keyClicks(h.DBEdit3, u"1"_s);
    QCOMPARE(pac.state(), DatasetState::Edit);
    QCOMPARE(examShown(), newer);
    pac.cancel();

    h.DBNavigator2->button(DBNavigator::Edit)->click();
    focus(h.DBEdit5);
    clearText(h.DBEdit5);
    QTest::keyClicks(h.DBEdit5, u"90"_s);
    focus(h.DBEdit1);
    QTest::keyClick(h.DBEdit1, Qt::Key_End);
    QTest::keyClicks(h.DBEdit1, u"s"_s);
    QCOMPARE(pac.state(), DatasetState::Edit);
    QCOMPARE(eco.state(), DatasetState::Edit);
    QCOMPARE(examShown(), newer);
    QCOMPARE(h.DBEdit5->text(), u"90"_s);
    QCOMPARE(stored(storedWeight).toInt(), 60);

    if (then == u"post")
        pac.post();
    else if (then == u"cancel")
        pac.cancel();
    else
        pac.next();
    QCOMPARE(eco.state(), DatasetState::Browse);
    QCOMPARE(stored(storedWeight).toInt(), 90);
    QCOMPARE(stored(u"SELECT NOME FROM bddid WHERE NF = 7"_s).toString(),
             then == u"cancel" ? u"ANA MARIA COSTA"_s : u"ANA MARIA COSTAS"_s);
    if (then == u"move") {
        QCOMPARE(m_module->TablePacCODIGO->asInteger(), 3);
        QCOMPARE(h.DBEdit5->text(), u"80"_s);
    } else {
        QCOMPARE(examShown(), newer);
        QCOMPARE(h.DBEdit5->text(), u"90"_s);
    }
}

void tst_PatientHeader::birthDates_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored"); // empty: refused
    // Today is 15/06/2024; a short year is read within the 80 years before and 20 after.
    QTest::newRow("short year behind") << u"14/03/58"_s << u"1958-03-14"_s;
    QTest::newRow("whole year") << u"14/03/1958"_s << u"1958-03-14"_s;
    QTest::newRow("today") << u"15/06/24"_s << u"2024-06-15"_s;
    QTest::newRow("short year 80 years back") << u"16/06/44"_s << u"1944-06-16"_s;
    QTest::newRow("tomorrow") << u"16/06/24"_s << QString();
    QTest::newRow("after today") << u"15/06/2030"_s << QString();
}

// A birth date is stored as a bare date; one after today is refused in the field, nothing stored.
void tst_PatientHeader::birthDates()
{
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    PatientHeader &h = *m_header;
    focus(h.DBEdit3);
    clearText(h.DBEdit3);
    QTest::keyClicks(h.DBEdit3, typed);
    m_elsewhere->setFocus(Qt::TabFocusReason);
    if (stored.isEmpty()) {
        QTRY_COMPARE(QApplication::focusWidget(), h.DBEdit3);
        QCOMPARE(recorder().messages(),
                 QStringList { u"A data de nascimento não pode ser posterior à data de hoje."_s });
        QCOMPARE(h.DBEdit3->selectedText(), typed);
        QTest::keyClick(h.DBEdit3, Qt::Key_Escape);
        focus(m_elsewhere);
        m_module->TablePac->checkBrowseMode();
        QCOMPARE(this->stored(u"SELECT DNASC FROM bddid WHERE NF = 7"_s).toString(),
                 u"2000-06-15"_s);
        return;
    }
    QVERIFY(recorder().isEmpty());
    m_module->TablePac->post();
    QCOMPARE(this->stored(u"SELECT DNASC FROM bddid WHERE NF = 7"_s).toString(), stored);
    QCOMPARE(h.DBEdit3->text(), QDate::fromString(stored, Qt::ISODate).toString(u"dd/MM/yyyy"_s));
}

void tst_PatientHeader::focusColoursByKind()
{
    PatientHeader &h = *m_header;
    // Design colours equal the exit colours.
    for (QWidget *w : { static_cast<QWidget *>(h.DBEdit8), static_cast<QWidget *>(h.DBComboBox1),
                        static_cast<QWidget *>(h.DBEdit7), static_cast<QWidget *>(h.DBComboBox2),
                        static_cast<QWidget *>(h.DBEdit45) }) {
        QCOMPARE(base(w), kLightYellow);
        QCOMPARE(text(w), QColor(Qt::black));
        focus(w);
        QCOMPARE(base(w), QColor(Qt::white));
        QCOMPARE(text(w), kNavy);
        focus(m_elsewhere);
        QCOMPARE(base(w), kLightYellow);
        QCOMPARE(text(w), QColor(Qt::black));
    }
    // Patient controls are not attached: they keep white on black.
    focus(h.DBEdit3);
    QCOMPARE(text(h.DBEdit3), QColor(Qt::black));

    // Check boxes (on other pages) change only their caption; other kinds change nothing.
    auto *check = new DBCheckBox(u"Derrame"_s, m_window.get());
    auto *memo = new QTextEdit(m_window.get());
    m_window->layout()->addWidget(check);
    m_window->layout()->addWidget(memo);
    check->show();
    memo->show();
    PatientHeader::attachFocusHighlight(check);
    PatientHeader::attachFocusHighlight(memo);
    const QColor checkBase = base(check);
    const QPalette memoPalette = memo->palette();
    focus(check);
    QCOMPARE(check->palette().color(QPalette::WindowText), kMaroon);
    QCOMPARE(base(check), checkBase);
    focus(memo);
    QCOMPARE(check->palette().color(QPalette::WindowText), QColor(Qt::black));
    PatientHeader::DBEdit1Enter(memo);
    QCOMPARE(memo->palette(), memoPalette);
}

void tst_PatientHeader::gridLinks()
{
    PatientHeader &h = *m_header;
    int shown = 0;
    h.onLabel70Click = [&shown] { ++shown; };
    QTest::mouseClick(h.Label63, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(h.Label70, Qt::LeftButton);
    QCOMPARE(shown, 2);
    QCOMPARE(h.Label70->cursor().shape(), Qt::PointingHandCursor);
}

void tst_PatientHeader::screenshot()
{
    QVERIFY(m_module->TableEco->locate(u"DataExame"_s, QDate(2024, 6, 14)));
    // At the main window's size and font.
    QFont font = m_window->font();
    font.setPixelSize(11);
    m_window->setFont(font);
    m_window->resize(707, m_window->sizeHint().height());
    QCOMPARE(m_window->width(), 707);
    const QString path = QCoreApplication::applicationDirPath() + u"/PatientHeader.png"_s;
    QVERIFY(m_window->grab().save(path));
}

QTEST_MAIN(tst_PatientHeader)
#include "tst_PatientHeader.moc"
