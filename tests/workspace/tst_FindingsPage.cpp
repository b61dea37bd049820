#include "workspace/FindingsPage.h"

#include "data/DM.h"
#include "data/Schema.h"
#include "platform/engine/SqliteStore.h"
#include "platform/widgets/DBCheckBox.h"
#include "platform/widgets/DBRichEdit.h"
#include "platform/widgets/DialogRecorder.h"
#include "support/PracticeDirectory.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
// Patient 7 has one exam with normal ventricular kinetics and no other finding.
const char *const kPractice = R"(
INSERT INTO convencao (CODIGO, SIGLA, ENTIDADE, ACTIVO) VALUES (1, 'Particular', 'Particular', 1);
INSERT INTO medico (CODIGO, NOME, ACTIVO) VALUES (1, 'DR ACTIVO', 1);
INSERT INTO bddid (NF, NOME, DNASC, BENIF) VALUES (7, 'ANA MARIA COSTA', '2000-06-15', '1');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor, Peso, Idade, Cvn, Cvd)
    VALUES (7, '2024-06-14 09:00:00.000', '2024-06-14', 1, 60, 23, 1, 0);
INSERT INTO imagem (CodpacienteI, DodExamei, C1, C2, C3, C4, C5, C6, C7, C8, C9, C10, C11, C12,
    C13, C14, C15, C16) VALUES
    (7, '2024-06-14 09:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1);
)";

const QColor kMaroon(0x80, 0x00, 0x00);
} // namespace

class tst_FindingsPage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void subPagesAndFirstShown();
    void boxesBoundInTabOrder();
    void captionsAndHints();
    void clicksCycleNullTrueFalseTrue();
    void anyCombinationIsStored();
    void browsedExamIgnoresClicks();
    void scoresNote();
    void screenshots();

private:
    void focus(QWidget *w) { focusAndWait(w); }
    [[nodiscard]] DialogRecorder &recorder() const { return m_env->recorder(); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<PracticeDirectory> m_dir;
    std::unique_ptr<QWidget> m_window;
    FindingsPage *m_page = nullptr;
    QLineEdit *m_elsewhere = nullptr;
    std::unique_ptr<TDataModule1> m_module;
};

void tst_FindingsPage::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_dir = std::make_unique<PracticeDirectory>(QString::fromUtf8(kPractice));

    m_window = std::make_unique<QWidget>();
    auto *layout = new QVBoxLayout(m_window.get());
    m_page = new FindingsPage(m_window.get());
    m_elsewhere = new QLineEdit(m_window.get());
    layout->addWidget(m_page);
    layout->addWidget(m_elsewhere);
    m_window->resize(707, 300);
    m_module = std::make_unique<TDataModule1>();
    DataModule1 = m_module.get();
    m_module->load();
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QVERIFY(m_module->TablePac->locate(u"NF"_s, 7));
    recorder().clear();
}

void tst_FindingsPage::cleanup()
{
    m_window.reset();
    m_module.reset();
    DataModule1 = nullptr;
    m_dir.reset();
    m_env.reset();
}

void tst_FindingsPage::subPagesAndFirstShown()
{
    QTabWidget *pages = m_page->PageControl3;
    QCOMPARE(pages->count(), 3);
    QCOMPARE(pages->tabText(0), u"Ord. Segm. / Diam. Cav."_s);
    QCOMPARE(pages->tabText(1), u"Válv. Cardiacas"_s);
    QCOMPARE(pages->tabText(2), u"Cin. Ventr. / Pericárdio / A.S.Disq."_s);
    QCOMPARE(pages->widget(0), m_page->TabSheet3);
    QCOMPARE(pages->widget(1), m_page->TabSheet9);
    QCOMPARE(pages->currentWidget(), m_page->TabSheet10);
    QVERIFY(m_page->DBCheckBox13->isVisible());
    QCOMPARE(m_page->Editor1->dataField(), u"OrdSeg1"_s);
    QCOMPARE(m_page->Editor2->dataField(), u"Vc1"_s);
}

void tst_FindingsPage::boxesBoundInTabOrder()
{
    QStringList fields;
    for (DBCheckBox *check : m_page->checkBoxes())
        fields << check->dataField();
    QCOMPARE(fields, (QStringList { u"OrdSeg"_s, u"Dcc"_s,   u"Dccae"_s, u"Dccad"_s, u"Dccvd"_s,
                                    u"Dccve"_s,  u"Vcn"_s,   u"Vceem"_s, u"Vcmm"_s,  u"Vceea"_s,
                                    u"Vcma"_s,   u"Vceep"_s, u"Vcmp"_s,  u"Vceet"_s, u"VcmT"_s,
                                    u"Cvn"_s,    u"Cvd"_s,   u"Cvm"_s,   u"Cvc"_s,   u"Pn"_s,
                                    u"Pdp"_s,    u"Pdm"_s,   u"Pdg"_s,   u"Asd"_s,   u"Econ"_s }));
    QVERIFY(!m_page->findChildren<DBCheckBox *>().contains(nullptr));
    QCOMPARE(m_page->findChildren<DBCheckBox *>().size(), 25);

    // Tab runs through each sub-page's boxes; the valve grid column by column.
    const auto visits = [](QWidget *from, int steps) {
        QList<QWidget *> seen;
        from->setFocus(Qt::TabFocusReason);
        for (int i = 0; i < steps; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget();
        }
        return seen;
    };
    FindingsPage &p = *m_page;
    QCOMPARE(visits(p.DBCheckBox13, 9),
             (QList<QWidget *> { p.DBCheckBox14, p.DBCheckBox15, p.DBCheckBox16, p.DBCheckBox18,
                                 p.DBCheckBox19, p.DBCheckBox20, p.DBCheckBox21, p.DBCheckBox17,
                                 p.DBCheckBox23 }));
    p.PageControl3->setCurrentIndex(1);
    QCOMPARE(visits(p.DBCheckBox7, 9),
             (QList<QWidget *> { p.DBCheckBox8, p.DBCheckBox22, p.DBCheckBox9, p.DBCheckBox25,
                                 p.DBCheckBox10, p.DBCheckBox26, p.DBCheckBox11, p.DBCheckBox27,
                                 p.Editor2 }));
    p.PageControl3->setCurrentIndex(0);
    // Tab leaves the observations editor rather than typing into it.
    QCOMPARE(visits(p.DBCheckBox1, 6),
             (QList<QWidget *> { p.Editor1, p.DBCheckBox2, p.DBCheckBox3, p.DBCheckBox4,
                                 p.DBCheckBox5, p.DBCheckBox6 }));
}

void tst_FindingsPage::captionsAndHints()
{
    FindingsPage &p = *m_page;
    QStringList captions;
    for (DBCheckBox *check : p.checkBoxes())
        captions << check->text();
    QCOMPARE(captions,
             (QStringList { QString(),
                            u"Normais"_s,
                            u"AE"_s,
                            u"AD"_s,
                            u"VD"_s,
                            u"VE"_s,
                            u"Normais"_s,
                            QString(),
                            QString(),
                            QString(),
                            QString(),
                            QString(),
                            QString(),
                            QString(),
                            QString(),
                            u"Normal"_s,
                            u"Deprimida"_s,
                            u"Muito"_s,
                            u"Comprometida"_s,
                            u"Normal"_s,
                            u"Pequeno"_s,
                            u"Médio"_s,
                            u"Grande"_s,
                            u"Áreas Segmentares Disquinéticas"_s,
                            u"Ecocardiograma Normal"_s }));
    QCOMPARE(p.DBCheckBox7->toolTip(), u"Desmarque se ANORMAIS"_s);
    QCOMPARE(p.DBCheckBox8->toolTip(), u"Marque se ANORMAL"_s);
    for (DBCheckBox *check : { p.DBCheckBox22, p.DBCheckBox9, p.DBCheckBox25, p.DBCheckBox10,
                               p.DBCheckBox26, p.DBCheckBox11, p.DBCheckBox27 })
        QCOMPARE(check->toolTip(), u"Marque se Anormal"_s);
    QCOMPARE(p.LabelOrdSeg->text(), u"Ordenamento Segmentar:"_s);
    QCOMPARE(p.LabelCavidades->text(), u"Diâmetro das Cavidades Cardíacas:"_s);
    QCOMPARE(p.LabelDilatacao->text(), u"Dilatação:"_s);
    QCOMPARE(p.LabelValvulas->text(), u"Válvulas Cardíacas:"_s);
    QCOMPARE(p.LabelCinetica->text(), u"Cinética Ventricular:"_s);
    QCOMPARE(p.LabelPericardio->text(), u"Pericárdio:"_s);
    QCOMPARE(p.LabelDerrame->text(), u"Derrame:"_s);
    // The framed groups hold their boxes.
    QCOMPARE(p.DBCheckBox6->parentWidget(), p.PanelCavidades);
    QCOMPARE(p.DBCheckBox27->parentWidget(), p.PanelValvulas);
    QCOMPARE(p.DBCheckBox16->parentWidget(), p.PanelCinetica);
    QCOMPARE(p.DBCheckBox21->parentWidget(), p.PanelPericardio);
}

void tst_FindingsPage::clicksCycleNullTrueFalseTrue()
{
    m_module->TableEco->insert();
    for (DBCheckBox *check : m_page->checkBoxes())
        QVERIFY2(check->checkState() == Qt::PartiallyChecked, qPrintable(check->objectName()));
    DBCheckBox *normal = m_page->DBCheckBox13;
    QVERIFY(m_module->TableEcoCvn->isNull());
    const QList<Qt::CheckState> shown { Qt::Checked, Qt::Unchecked, Qt::Checked };
    const QList<bool> stored { true, false, true };
    for (int i = 0; i < shown.size(); ++i) {
        QTest::mouseClick(normal, Qt::LeftButton, {}, QPoint(6, normal->height() / 2));
        QCOMPARE(normal->checkState(), shown.at(i));
        QVERIFY(!m_module->TableEcoCvn->isNull());
        QCOMPARE(m_module->TableEcoCvn->asBoolean(), stored.at(i));
    }
    // Focus colours change the caption only.
    QCOMPARE(normal->palette().color(QPalette::WindowText), kMaroon);
    focus(m_elsewhere);
    QCOMPARE(normal->palette().color(QPalette::WindowText), QColor(Qt::black));
    m_module->TableEco->cancel();
}

void tst_FindingsPage::anyCombinationIsStored()
{
    m_module->TableEco->edit();
    QCOMPARE(m_page->DBCheckBox13->checkState(), Qt::Checked);
    QCOMPARE(m_page->DBCheckBox14->checkState(), Qt::Unchecked);
    QTest::mouseClick(m_page->DBCheckBox14, Qt::LeftButton, {},
                      QPoint(6, m_page->DBCheckBox14->height() / 2));
    m_module->TableEco->post();
    QVERIFY(recorder().isEmpty());
    m_module->TableEco->refresh();
    QVERIFY(m_module->TableEcoCvn->asBoolean());
    QVERIFY(m_module->TableEcoCvd->asBoolean());
    QCOMPARE(m_page->DBCheckBox14->checkState(), Qt::Checked);
    QVERIFY(m_module->TableEcoCvm->isNull());
}

void tst_FindingsPage::browsedExamIgnoresClicks()
{
    QCOMPARE(m_module->TableEco->state(), DatasetState::Browse);
    for (DBCheckBox *check : { m_page->DBCheckBox13, m_page->DBCheckBox14, m_page->DBCheckBox15,
                               m_page->DBCheckBox23 }) {
        const Qt::CheckState before = check->checkState();
        QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
        QCOMPARE(check->checkState(), before);
    }
    QCOMPARE(m_module->TableEco->state(), DatasetState::Browse);
    QVERIFY(m_module->TableEcoCvn->asBoolean());
    QVERIFY(!m_module->TableEcoCvd->asBoolean());
    QVERIFY(m_module->TableEcoCvm->isNull());
    QVERIFY(m_module->TableEcoEcon->isNull());
}

void tst_FindingsPage::scoresNote()
{
    QLabel *note = m_page->LabelScores;
    QCOMPARE(note->text(),
             u"seleccione se pretende visualizar as imagens de 'scores' no relatório"_s);
    QCOMPARE(note->palette().color(QPalette::WindowText), QColor(Qt::red));
    QVERIFY(note->font().pointSizeF() < m_page->DBCheckBox17->font().pointSizeF()
            || note->font().pixelSize() < m_page->DBCheckBox17->font().pixelSize());
    // Two lines, under its box.
    const int line = note->fontMetrics().lineSpacing();
    QVERIFY(note->height() >= 2 * line && note->height() < 3 * line);
    QVERIFY(note->y() > m_page->DBCheckBox17->y());
}

void tst_FindingsPage::screenshots()
{
    QFont font = m_window->font();
    font.setPixelSize(11);
    m_window->setFont(font);
    const QString dir = QCoreApplication::applicationDirPath();
    for (int i = 0; i < 3; ++i) {
        m_page->PageControl3->setCurrentIndex(i);
        QVERIFY(m_page->grab().save(dir + u"/FindingsPage%1.png"_s.arg(i + 1)));
    }
}

QTEST_MAIN(tst_FindingsPage)
#include "tst_FindingsPage.moc"
