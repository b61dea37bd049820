#include "app/Main.h"
#include "app/acerca.h"
#include "platform/widgets/Clock.h"
#include "platform/widgets/DialogRecorder.h"
#include "support/TestSupport.h"

#include <QAction>
#include "platform/widgets/DateEdit.h"
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {
// Records when the page-change reaction runs and which page it saw.
class SpyMainForm : public TMainForm
{
public:
    void PageControl2Change() override { changes.append(PageControl2->currentIndex()); }
    QList<int> changes;
};

QStringList captions(const QList<QAction *> &actions)
{
    QStringList texts;
    for (const QAction *action : actions)
        texts.append(action->isSeparator() ? u"-"_s : action->text());
    return texts;
}

QString tabCaption(const QTabWidget *control)
{
    return control->tabText(control->currentIndex());
}

QString panel0()
{
    return MainForm->statusPanel(0)->text();
}

void sendEnterLeave(QWidget *widget, QEvent::Type type)
{
    if (type == QEvent::Enter) {
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), widget->mapToGlobal(QPointF(1, 1)));
        QCoreApplication::sendEvent(widget, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(widget, &leave);
    }
}
} // namespace

class tst_MainForm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void menuItems_data();
    void menuItems();
    void menuStructure();
    void frameLayout();
    void verItemsSetOnlyTheInnerPage();
    void imagensFromBarAndShortcut();
    void pageChangeReactionOnlyOnTabClick();
    void aboutWindowFreshEachTime();
    void statisticsRangeIsTheClocksYear_data();
    void statisticsRangeIsTheClocksYear();
    void hintsInStatusPanel();
    void exitClosesWindow();

private:
    void showActive();

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<SpyMainForm> m_form;
};

void tst_MainForm::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_form = std::make_unique<SpyMainForm>();
    MainForm = m_form.get();
    MainForm->FormCreate();
}

void tst_MainForm::cleanup()
{
    QVERIFY(m_env->recorder().isEmpty());
    m_form.reset();
    QCOMPARE(MainForm, nullptr);
    m_env.reset();
}

void tst_MainForm::showActive()
{
    MainForm->show();
    MainForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
}

void tst_MainForm::menuItems_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::addColumn<int>("tag");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("statusTip");

    const auto row = [](const char *name, const QString &caption, const QKeySequence &shortcut,
                        int tag, bool enabled, const QString &tip) {
        QTest::newRow(name) << QString::fromLatin1(name) << caption << shortcut << tag << enabled
                            << tip;
    };
    row("FileNewItem", u"&Pesquisar Pacientes"_s, QKeySequence(u"Ctrl+F"_s), 0, true,
        u"Pesquisar Paciente"_s);
    row("NovoPaciente1", u"&Novo Paciente"_s, QKeySequence(u"Ctrl+N"_s), 0, false, QString());
    row("FilePrintItem", u"&Imprimir"_s, QKeySequence(u"Ctrl+P"_s), 0, true,
        u"Imprimir Relatório"_s);
    row("FileExitItem", u"&Saír"_s, QKeySequence(), 0, true, u"Exit this application"_s);
    row("Frases1", u"&Frases"_s, QKeySequence(u"F5"_s), 1, true, QString());
    row("Concluses1", u"&Conclusões"_s, QKeySequence(u"F8"_s), 2, true, QString());
    row("GerirFrases1", u"G&erir Frases"_s, QKeySequence(), 5, true, QString());
    row("Imagens1", u"I&magens"_s, QKeySequence(u"Ctrl+I"_s), 1, true, QString());
    row("Mapas1", u"Estatísticas"_s, QKeySequence(), 2, true, QString());
    row("Ajuda2", u"&Ajuda"_s, QKeySequence(), 0, false, QString());
    row("InserirConcluses1", u"Inserir Conclusão"_s, QKeySequence(), 2, true, QString());
}

void tst_MainForm::menuItems()
{
    QFETCH(QString, name);
    auto *item = MainForm->findChild<QAction *>(name);
    QVERIFY(item);
    QTEST(item->text(), "caption");
    QTEST(item->shortcut(), "shortcut");
    QTEST(TMainForm::tagOf(item), "tag");
    QTEST(item->isEnabled(), "enabled");
    QTEST(item->statusTip(), "statusTip");
}

void tst_MainForm::menuStructure()
{
    QCOMPARE(
        captions(MainForm->MainMenu->actions()),
        QStringList({ u"&Acções"_s, u"&Ver"_s, u"I&magens"_s, u"Estatísticas"_s, u"Aju&da"_s }));
    // The two bar items run at once; the others open their menu.
    QCOMPARE(MainForm->Imagens1->menu(), nullptr);
    QCOMPARE(MainForm->Mapas1->menu(), nullptr);
    QCOMPARE(captions(MainForm->Accoes1->actions()),
             QStringList({ u"&Pesquisar Pacientes"_s, u"Pesquisar Exames por &Dia"_s, u"-"_s,
                           u"&Novo Paciente"_s, u"Novo &Exame"_s, u"-"_s, u"&Imprimir"_s,
                           u"Ver Antes"_s, u"C&onfig. Impressora"_s, u"-"_s, u"&Saír"_s }));
    QCOMPARE(captions(MainForm->Ver1->actions()),
             QStringList({ u"&Pacientes"_s, u"-"_s, u"&Frases"_s, u"&Conclusões"_s, u"-"_s,
                           u"&Valores"_s, u"&Resultados"_s, u"C&onclusões"_s, u"-"_s,
                           u"&Grelha de exames do paciente"_s, u"-"_s, u"G&erir Frases"_s }));
    QCOMPARE(captions(MainForm->Ajuda1->actions()),
             QStringList({ u"A&cerca de..."_s, u"-"_s, u"&Ajuda"_s }));
    QCOMPARE(captions(MainForm->PopupMenu1->actions()),
             QStringList({ u"Inserir Frase"_s, u"-"_s, u"Inserir Conclusão"_s }));
    QCOMPARE(TMainForm::tagOf(MainForm->inserirFrases1), 1);
}

void tst_MainForm::frameLayout()
{
    showActive();
    QCOMPARE(MainForm->windowTitle(), u"Taluvo - Merindal - ver. 2.6.8.0 (stand alone)"_s);
    QCOMPARE(MainForm->ToolBar1->height(), 39);
    QCOMPARE(MainForm->StatusLine->height(), 23);
    QVERIFY(MainForm->ToolBar1->geometry().bottom() < MainForm->PageControl1->geometry().top());
    QVERIFY(MainForm->PageControl1->geometry().bottom() < MainForm->StatusLine->geometry().top());

    // Tool bar items left to right, with the gaps and dividers at their widths.
    const QList<QWidget *> items = {
        MainForm->ToolButton4, MainForm->BotaoPsq,    MainForm->ToolButton9,  MainForm->ToolButton5,
        MainForm->ToolButton1, MainForm->ToolButton8, MainForm->ToolButton3,  MainForm->BotaoPrn,
        MainForm->ToolButton6, MainForm->ToolButton2, MainForm->DBNavigator1, MainForm->ToolButton7,
    };
    const QList<int> widths = { 25, 68, 8, 68, 8, 68, 20, 68, 68, 8, 273, 14 };
    for (int i = 0; i < items.size(); ++i) {
        QVERIFY2(items[i]->isVisible(), qPrintable(items[i]->objectName()));
        QCOMPARE(items[i]->width(), widths[i]);
        if (i > 0)
            QVERIFY2(items[i]->x() >= items[i - 1]->geometry().right(),
                     qPrintable(items[i]->objectName()));
    }
    const QList<QToolButton *> buttons
        = { MainForm->BotaoPsq, MainForm->ToolButton5, MainForm->ToolButton8, MainForm->BotaoPrn,
            MainForm->ToolButton6 };
    QStringList texts;
    for (QToolButton *button : buttons) {
        QCOMPARE(button->size(), QSize(68, 36));
        QVERIFY(button->autoRaise());
        QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        QCOMPARE(button->toolTip(), button->statusTip());
        QVERIFY(!button->icon().isNull());
        texts << button->text() + u'|' + button->toolTip();
    }
    QCOMPARE(texts,
             QStringList({ u"pacientes|pesquisa de paciente"_s, u"exames|pesquisa por exames"_s,
                           u"avançada|pesquisa avançada de pacientes..."_s,
                           u"imprimir|imprimir relatório"_s,
                           u"pré-visualisar|pré-visualisar relatório"_s }));
    QCOMPARE(TMainForm::tagOf(MainForm->BotaoPsq), 10);
    QCOMPARE(TMainForm::tagOf(MainForm->ToolButton5), 11);
    QCOMPARE(MainForm->ImageList1.size(), 5);

    // The patient navigator: no delete, edit or refresh.
    DBNavigator *nav = MainForm->DBNavigator1;
    QCOMPARE(nav->size(), QSize(273, 36));
    QVERIFY(nav->isFlat());
    QCOMPARE(nav->visibleButtons(),
             QSet<DBNavigator::Button>({ DBNavigator::First, DBNavigator::Prior, DBNavigator::Next,
                                         DBNavigator::Last, DBNavigator::Insert, DBNavigator::Post,
                                         DBNavigator::Cancel }));
    QCOMPARE(nav->button(DBNavigator::Cancel)->toolTip(), u"Cancelar Paciente"_s);

    QStringList panels;
    for (int i = 0; i < 4; ++i)
        panels << u"%1:%2"_s.arg(MainForm->statusPanel(i)->width())
                      .arg(MainForm->statusPanel(i)->text());
    QCOMPARE(panels,
             QStringList({ u"350:"_s, u"140:Relatório Ecocardiográfico"_s, u"110:Cardiologia"_s,
                           u"90:versão 2.6.5.0"_s }));
    QVERIFY(MainForm->statusPanel(0)->isVisible());

    // Pages, tabs on the left, not reached by Tab; the first pages active.
    for (QTabWidget *control : { MainForm->PageControl1, MainForm->PageControl2 }) {
        QCOMPARE(control->tabPosition(), QTabWidget::West);
        QCOMPARE(control->focusPolicy(), Qt::NoFocus);
        QCOMPARE(control->tabBar()->focusPolicy(), Qt::NoFocus);
        QCOMPARE(control->currentIndex(), 0);
    }
    QCOMPARE(MainForm->PageControl1->widget(2), MainForm->TabSheet11);
    QCOMPARE(MainForm->PageControl1->tabText(2), u"Estatística de Exames"_s);
    QCOMPARE(MainForm->PageControl2->widget(3), MainForm->TabSheet6);
    QCOMPARE(MainForm->PageControl2->tabText(3), u"Grelha"_s);
    QVERIFY(MainForm->TabSheet1->isAncestorOf(MainForm->PageControl2));
    QVERIFY(MainForm->HeaderArea->geometry().bottom() < MainForm->PageControl2->y());

    MainForm->grab().save(QCoreApplication::applicationDirPath() + u"/mainform.png"_s);
}

void tst_MainForm::verItemsSetOnlyTheInnerPage()
{
    MainForm->Imagens1->trigger();
    QCOMPARE(tabCaption(MainForm->PageControl1), u"Imagens"_s);
    MainForm->Concluses2->trigger();
    QCOMPARE(tabCaption(MainForm->PageControl1), u"Imagens"_s);
    QCOMPARE(tabCaption(MainForm->PageControl2), u"Conclusões"_s);
    MainForm->Pacientes1->trigger();
    QCOMPARE(MainForm->PageControl1->currentWidget(), MainForm->TabSheet1);
    QCOMPARE(MainForm->PageControl2->currentWidget(), MainForm->TabSheet7);

    MainForm->GerirFrases1->trigger();
    QCOMPARE(tabCaption(MainForm->PageControl2), u"Frases"_s);
    MainForm->Resultados1->trigger();
    QCOMPARE(tabCaption(MainForm->PageControl2), u"Resultados"_s);
    MainForm->Valores1->trigger();
    QCOMPARE(tabCaption(MainForm->PageControl2), u"Valores"_s);
    MainForm->Mapas1->trigger();
    QCOMPARE(tabCaption(MainForm->PageControl1), u"Estatística de Exames"_s);
}

void tst_MainForm::imagensFromBarAndShortcut()
{
    showActive();
    QMenuBar *bar = MainForm->MainMenu;
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(MainForm->Imagens1).center());
    QCOMPARE(tabCaption(MainForm->PageControl1), u"Imagens"_s);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(MainForm->Mapas1).center());
    QCOMPARE(tabCaption(MainForm->PageControl1), u"Estatística de Exames"_s);

    // The shortcut works whatever control has the focus.
    MainForm->Data1->setFocus();
    QTest::keyClick(MainForm->Data1, Qt::Key_I, Qt::ControlModifier);
    QCOMPARE(tabCaption(MainForm->PageControl1), u"Imagens"_s);
}

void tst_MainForm::pageChangeReactionOnlyOnTabClick()
{
    showActive();
    auto *form = m_form.get();
    for (QAction *item : { form->Concluses2, form->GerirFrases1, form->Valores1 })
        item->trigger();
    QCOMPARE(form->changes, QList<int>());
    // The grid item runs the reaction itself, on "Grelha".
    form->Grelhadeexamesdopaciente1->trigger();
    QCOMPARE(form->changes, QList<int>({ 3 }));
    form->changes.clear();

    // The reaction sees the page the user picked.
    QTabBar *tabs = form->PageControl2->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
    QCOMPARE(form->PageControl2->currentIndex(), 2);
    QCOMPARE(form->changes, QList<int>({ 2 }));
    // Clicking the page already shown is no change.
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
    QCOMPARE(form->changes, QList<int>({ 2 }));
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(3).center());
    QCOMPARE(form->changes, QList<int>({ 2, 3 }));
}

void tst_MainForm::aboutWindowFreshEachTime()
{
    QPointer<TFormAcerca> previous;
    for (int round = 0; round < 2; ++round) {
        MainForm->Acercade1->trigger();
        QPointer<TFormAcerca> about = FormAcerca;
        QVERIFY(about);
        QVERIFY(about != previous);
        QVERIFY(about->isVisible());
        QVERIFY(!about->isModal());
        QCOMPARE(about->windowTitle(), u"Acerca de..."_s);
        QCOMPARE(about->size(), QSize(319, 247));
        QVERIFY(about->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(!about->windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QCOMPARE(about->focusWidget(), about->BitBtn1);
        QCOMPARE(about->Label2->text(), u"Nome do Produto : Taluvo"_s);
        QVERIFY(about->Label2->font().bold());
        QCOMPARE(about->Label3->text(), u"Versão 2.6.0.0 (SA)"_s);
        QVERIFY(!MainForm->Acercade1->isEnabled());
        if (round == 0)
            about->grab().save(QCoreApplication::applicationDirPath() + u"/acerca.png"_s);

        QTest::mouseClick(about->BitBtn1, Qt::LeftButton);
        QVERIFY(!about->isVisible());
        QTRY_VERIFY(!about); // destroyed once closed
        QCOMPARE(FormAcerca, nullptr);
        QVERIFY(MainForm->Acercade1->isEnabled());
        previous = about;
    }
}

void tst_MainForm::statisticsRangeIsTheClocksYear_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::newRow("mid-year") << TestEnvironment::defaultNow() << QDate(2024, 1, 1)
                              << QDate(2024, 12, 31);
    QTest::newRow("new year's eve") << QDateTime(QDate(2025, 12, 31), QTime(23, 59, 59))
                                    << QDate(2025, 1, 1) << QDate(2025, 12, 31);
}

void tst_MainForm::statisticsRangeIsTheClocksYear()
{
    QFETCH(QDateTime, now);
    m_env->clock().setNow(now);
    SpyMainForm form;
    form.FormCreate();
    QTEST(form.Data1->date(), "from");
    QTEST(form.Data2->date(), "to");
}

void tst_MainForm::hintsInStatusPanel()
{
    showActive();
    sendEnterLeave(MainForm->BotaoPrn, QEvent::Enter);
    QCOMPARE(panel0(), u"imprimir relatório"_s);
    // The status line keeps its panels while a hint shows.
    QVERIFY(MainForm->StatusLine->currentMessage().isEmpty());
    QVERIFY(MainForm->statusPanel(1)->isVisible());

    sendEnterLeave(MainForm->BotaoPrn, QEvent::Leave);
    sendEnterLeave(MainForm->HeaderArea, QEvent::Enter);
    QCOMPARE(panel0(), QString());

    QToolButton *next = MainForm->DBNavigator1->button(DBNavigator::Next);
    sendEnterLeave(next, QEvent::Enter);
    QCOMPARE(panel0(), u"Próximo Paciente"_s);
    QStatusTipEvent empty { QString() };
    QCoreApplication::sendEvent(MainForm->BotaoPrn, &empty);
    QCOMPARE(panel0(), QString());

    // A highlighted menu item shows its hint.
    QTest::mouseClick(MainForm->MainMenu, Qt::LeftButton, {},
                      MainForm->MainMenu->actionGeometry(MainForm->Accoes1->menuAction()).center());
    QMenu *menu = MainForm->Accoes1;
    QVERIFY(QTest::qWaitForWindowExposed(menu));
    QTest::mouseMove(menu, menu->actionGeometry(MainForm->FilePrintItem).center());
    QTRY_COMPARE(panel0(), u"Imprimir Relatório"_s);
    menu->close();

    // So does a control of another window.
    QWidget other;
    auto *button = new QPushButton(&other);
    button->setStatusTip(u"Usa o registo selecionado..."_s);
    sendEnterLeave(button, QEvent::Enter);
    QCOMPARE(panel0(), u"Usa o registo selecionado..."_s);
}

void tst_MainForm::exitClosesWindow()
{
    showActive();
    QSignalSpy closed(MainForm, &TMainForm::closed);
    MainForm->FileExitItem->trigger();
    QCOMPARE(closed.count(), 1);
    QVERIFY(!MainForm->isVisible());
}

QTEST_MAIN(tst_MainForm)
#include "tst_MainForm.moc"
