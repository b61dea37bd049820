#include "workspace/MeasurementsPage.h"

#include "data/DM.h"
#include "data/Schema.h"
#include "platform/engine/SqliteStore.h"
#include "platform/widgets/DBEdit.h"
#include "platform/widgets/DialogRecorder.h"
#include "platform/widgets/Dialogs.h"
#include "support/PracticeDirectory.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
// Patient 7 has one exam with a few measurements.
const char *const kPractice = R"(
INSERT INTO convencao (CODIGO, SIGLA, ENTIDADE, ACTIVO) VALUES (1, 'Particular', 'Particular', 1);
INSERT INTO medico (CODIGO, NOME, ACTIVO) VALUES (1, 'DR ACTIVO', 1);
INSERT INTO bddid (NF, NOME, DNASC, BENIF) VALUES (7, 'ANA MARIA COSTA', '2000-06-15', '1');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor, Peso, Idade, Vd, Fe, Vptactevd)
    VALUES (7, '2024-06-14 09:00:00.000', '2024-06-14', 1, 60, 23, 25.5, 62, 0.5);
INSERT INTO imagem (CodpacienteI, DodExamei, C1, C2, C3, C4, C5, C6, C7, C8, C9, C10, C11, C12,
    C13, C14, C15, C16) VALUES
    (7, '2024-06-14 09:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1);
)";

const QColor kOlive(0x80, 0x80, 0x00);
const QColor kLightYellow(0xFF, 0xFF, 0xBD);
const QColor kNavy(0x00, 0x00, 0x80);

void clearText(QWidget *control)
{
    QTest::keyClick(control, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(control, Qt::Key_Backspace);
}
} // namespace

class tst_MeasurementsPage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void captionsAndNormalRanges();
    void editsFollowTheirFieldsInTabOrder();
    void browsedExamRefusesInput();
    void decimalSeparatorIsTheLocales();
    void unreadableNumberKeepsFocusAndValue();
    void emptyingStoresNullAndOutOfRangeIsKept();
    void newExamShowsEmptyEdits();
    void screenshot();

private:
    void focus(QWidget *w) { focusAndWait(w); }
    // Tries to move the focus away; a refused value keeps it.
    void leave() { m_elsewhere->setFocus(Qt::TabFocusReason); }
    [[nodiscard]] DialogRecorder &recorder() const { return m_env->recorder(); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<PracticeDirectory> m_dir;
    std::unique_ptr<QWidget> m_window;
    MeasurementsPage *m_page = nullptr;
    QLineEdit *m_elsewhere = nullptr;
    std::unique_ptr<TDataModule1> m_module;
};

void tst_MeasurementsPage::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_dir = std::make_unique<PracticeDirectory>(QString::fromUtf8(kPractice));

    // As at start-up: the page first, the data module after.
    m_window = std::make_unique<QWidget>();
    auto *layout = new QVBoxLayout(m_window.get());
    m_page = new MeasurementsPage(m_window.get());
    m_elsewhere = new QLineEdit(m_window.get());
    layout->addWidget(m_page);
    layout->addWidget(m_elsewhere);
    m_module = std::make_unique<TDataModule1>();
    DataModule1 = m_module.get();
    m_module->load();
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QVERIFY(m_module->TablePac->locate(u"NF"_s, 7));
    recorder().clear();
}

void tst_MeasurementsPage::cleanup()
{
    m_window.reset();
    m_module.reset();
    DataModule1 = nullptr;
    m_dir.reset();
    m_env.reset();
}

void tst_MeasurementsPage::captionsAndNormalRanges()
{
    const auto textOf = [this](const QString &name) {
        auto *label = m_page->findChild<QLabel *>(name);
        return label ? label->text() : u"<missing %1>"_s.arg(name);
    };
    const QStringList fields { u"Vd"_s,       u"Ved"_s,         u"Ves"_s,         u"Fenc"_s,
                               u"Fe"_s,       u"Pp"_s,          u"Siv"_s,         u"Ae"_s,
                               u"Ao"_s,       u"Gradveaomax"_s, u"Gradveaomin"_s, u"Areavm"_s,
                               u"VMGradMx"_s, u"VMGradMd"_s,    u"Vptac"_s,       u"Vptactevd"_s };
    QStringList normals;
    QStringList captions;
    for (const QString &field : fields) {
        normals << textOf(u"LabelNormal"_s + field);
        captions << textOf(u"Label"_s + field);
        auto *normal = m_page->findChild<QLabel *>(u"LabelNormal"_s + field);
        QVERIFY(normal);
        QCOMPARE(normal->palette().color(QPalette::WindowText), kOlive);
    }
    QCOMPARE(normals,
             (QStringList { u"22 - 30 mm"_s, u"35 - 56 mm"_s, u"23 - 34 mm"_s, u"30 - 45 %"_s,
                            u"> 55 %"_s, u"6.6 - 11"_s, u"6 - 10"_s, u"19 - 40 mm"_s,
                            u"20 - 37 mm"_s, u"mmHg"_s, u"mmHg"_s, u"cm 2"_s, u"mmHg"_s, u"mmHg"_s,
                            u"> 100 ms"_s, u"> 0.45 "_s }));
    QCOMPARE(captions,
             (QStringList { u"Diástole"_s, u"Diástole"_s, u"Sístole"_s,
                            u"Fracção de Encurtamento"_s, u"Fracção de Ejecção (FE)"_s,
                            u"Espessura da Parede Posterior (PP)"_s, u"Septo Interv. (SIV)"_s,
                            u"Auricula Esquerda (AE)"_s, u"Diâmetro"_s, u"máx."_s, u"médio"_s,
                            u"Área"_s, u"máx."_s, u"médio"_s, u"Tac"_s, u"Tac/TEVD"_s }));
    QStringList groups;
    for (QLabel *label : m_page->findChildren<QLabel *>()) {
        if (label->objectName().startsWith(u"LabelGrupo"_s)
            || label->objectName().startsWith(u"LabelSubGrupo"_s))
            groups << label->text();
    }
    groups.sort();
    QCOMPARE(groups,
             (QStringList { u"Aorta (AO)"_s, u"Grad."_s, u"Grad. VE/AO"_s,
                            u"Ventrículo Direito (VD)"_s, u"Ventrículo Esquerdo (VE)"_s,
                            u"Válvula Mitral"_s, u"Válvula Pulmonar"_s }));
    for (QLabel *heading : { m_page->LabelNormaisEsq, m_page->LabelNormaisDir }) {
        QCOMPARE(heading->text(), u"Valores Normais"_s);
        QCOMPARE(heading->palette().color(QPalette::WindowText), kOlive);
    }
    // The boxed column holds every range of its side.
    const QRect box = m_page->PanelNormaisDir->geometry();
    QVERIFY(box.contains(m_page->findChild<QLabel *>(u"LabelNormalVptactevd"_s)->geometry()));
    QVERIFY(box.contains(m_page->LabelNormaisDir->geometry()));
}

void tst_MeasurementsPage::editsFollowTheirFieldsInTabOrder()
{
    focus(m_elsewhere);
    const QList<DBEdit *> edits = m_page->edits();
    QStringList fields;
    for (DBEdit *e : edits) {
        fields << e->dataField();
        QCOMPARE(e->palette().color(QPalette::Base), kLightYellow);
    }
    QCOMPARE(fields,
             (QStringList { u"Vd"_s, u"Ved"_s, u"Ves"_s, u"Fenc"_s, u"Fe"_s, u"Pp"_s, u"Siv"_s,
                            u"Ae"_s, u"Ao"_s, u"Gradveaomax"_s, u"Gradveaomin"_s, u"Areavm"_s,
                            u"VMGradMx"_s, u"VMGradMd"_s, u"Vptac"_s, u"Vptactevd"_s }));
    // Values in the general format with the locale's separator.
    QCOMPARE(m_page->DBEdit9->text(), u"25,5"_s);
    QCOMPARE(m_page->DBEdit13->text(), u"62"_s);
    QCOMPARE(m_page->DBEdit21->text(), u"0,5"_s);
    QVERIFY(m_page->DBEdit10->text().isEmpty());

    m_module->TableEco->edit();
    focus(m_page->DBEdit9);
    QCOMPARE(m_page->DBEdit9->palette().color(QPalette::Text), kNavy);
    QList<QWidget *> seen;
    for (int i = 1; i < edits.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen << QApplication::focusWidget();
    }
    QCOMPARE(seen, QList<QWidget *>(edits.begin() + 1, edits.end()));
    QCOMPARE(m_page->DBEdit9->palette().color(QPalette::Base), kLightYellow);
    m_module->TableEco->cancel();
}

void tst_MeasurementsPage::browsedExamRefusesInput()
{
    focus(m_page->DBEdit10);
    QTest::keyClicks(m_page->DBEdit10, u"40"_s);
    QVERIFY(m_page->DBEdit10->text().isEmpty());
    QCOMPARE(m_module->TableEco->state(), DatasetState::Browse);
    QVERIFY(m_module->TableEcoVed->isNull());
}

void tst_MeasurementsPage::decimalSeparatorIsTheLocales()
{
    QCOMPARE(QLocale().decimalPoint(), u","_s);
    m_module->TableEco->edit();
    DBEdit *e = m_page->DBEdit10;
    focus(e);
    QTest::keyClicks(e, u"3.5"_s);
    QCOMPARE(e->text(), u"35"_s);
    QCOMPARE(recorder().beeps(), 1);

    clearText(e);
    QTest::keyClicks(e, u"3,5"_s);
    QCOMPARE(e->text(), u"3,5"_s);
    QCOMPARE(recorder().beeps(), 1);
    leave();
    QTRY_COMPARE(QApplication::focusWidget(), m_elsewhere);
    QCOMPARE(m_module->TableEcoVed->asFloat(), 3.5);
    QVERIFY(recorder().applicationErrors().isEmpty());
    m_module->TableEco->cancel();
}

void tst_MeasurementsPage::unreadableNumberKeepsFocusAndValue()
{
    m_module->TableEco->edit();
    DBEdit *e = m_page->DBEdit9;
    focus(e);
    clearText(e);
    QTest::keyClicks(e, u"3,5,1"_s);
    leave();
    QTRY_COMPARE(QApplication::focusWidget(), e);
    QCOMPARE(recorder().applicationErrors(),
             QStringList { Dialogs::applicationErrorText(
                 u"'3,5,1' is not a valid floating point value for field '%1'"_s.arg(
                     m_module->TableEcoVd->displayLabel())) });
    QCOMPARE(m_module->TableEcoVd->displayLabel(), u"Ventrículo Direito"_s);
    QCOMPARE(e->selectedText(), u"3,5,1"_s);
    QCOMPARE(m_module->TableEcoVd->asFloat(), 25.5);
    QCOMPARE(e->palette().color(QPalette::Base), QColor(Qt::white));
    m_module->TableEco->cancel();
}

void tst_MeasurementsPage::emptyingStoresNullAndOutOfRangeIsKept()
{
    m_module->TableEco->edit();
    focus(m_page->DBEdit9);
    clearText(m_page->DBEdit9);
    focus(m_page->DBEdit13);
    clearText(m_page->DBEdit13);
    QTest::keyClicks(m_page->DBEdit13, u"5"_s);
    focus(m_elsewhere);
    m_module->TableEco->post();
    QCOMPARE(m_module->TableEco->state(), DatasetState::Browse);
    QVERIFY(recorder().isEmpty());

    m_module->TableEco->refresh();
    QVERIFY(m_module->TableEcoVd->isNull());
    QVERIFY(m_page->DBEdit9->text().isEmpty());
    QCOMPARE(m_module->TableEcoFe->asFloat(), 5.0);
    QCOMPARE(m_page->DBEdit13->text(), u"5"_s);
}

void tst_MeasurementsPage::newExamShowsEmptyEdits()
{
    m_module->TableEco->insert();
    for (DBEdit *e : m_page->edits()) {
        QVERIFY2(e->text().isEmpty(), qPrintable(e->objectName()));
        QVERIFY2(!e->isReadOnly(), qPrintable(e->objectName()));
    }
    m_module->TableEco->cancel();
}

void tst_MeasurementsPage::screenshot()
{
    QFont font = m_window->font();
    font.setPixelSize(11);
    m_window->setFont(font);
    // The page fits the main window's width.
    m_window->resize(707, m_window->sizeHint().height());
    QCOMPARE(m_window->width(), 707);
    const QString path = QCoreApplication::applicationDirPath() + u"/MeasurementsPage.png"_s;
    QVERIFY(m_page->grab().save(path));
}

QTEST_MAIN(tst_MeasurementsPage)
#include "tst_MeasurementsPage.moc"
