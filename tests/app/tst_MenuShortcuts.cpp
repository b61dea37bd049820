#include "app/MenuShortcuts.h"

#include "app/Main.h"
#include "search/Pesq.h"
#include "search/Pesqt2.h"
#include "search/UnitConc.h"
#include "search/frase.h"
#include "support/MainWindowFixture.h"
#include "support/PracticeDirectory.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
// The platform's key bindings of a focused control, which claim a key before any shortcut sees
// it (a line edit takes Ctrl+E for the end of the line on some desktops). The offscreen platform
// binds none of the menu's keys; this stand-in claims every key, and counts the presses of its
// key that then reach the control.
class ClaimsEveryKey : public QObject
{
public:
    explicit ClaimsEveryKey(int key)
        : m_key(key)
    { }
    int presses = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == m_key)
            ++presses;
        return false;
    }

private:
    const int m_key;
};
} // namespace

class tst_MenuShortcuts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void menuKeysWinOverTheFocusedControl_data();
    void menuKeysWinOverTheFocusedControl();

private:
    std::unique_ptr<MainWindowFixture> m_fx;
    std::unique_ptr<TFormPesqAV> m_advanced;
    std::unique_ptr<TFormConc> m_conclusions;
    std::unique_ptr<TFormT2Pesq> m_search;
    std::unique_ptr<TForm1> m_phrases;
    std::unique_ptr<QWidget> m_other; // a window of the application that is none of these
    QStringList m_fired;
};

void tst_MenuShortcuts::init()
{
    // The start-up order: two secondary windows before the data module, two after.
    m_fx = std::make_unique<MainWindowFixture>(QString(), [this] {
        m_advanced = std::make_unique<TFormPesqAV>();
        FormPesqAV = m_advanced.get();
        m_conclusions = std::make_unique<TFormConc>();
        FormConc = m_conclusions.get();
    });
    m_search = std::make_unique<TFormT2Pesq>();
    FormT2Pesq = m_search.get();
    m_search->load();
    m_phrases = std::make_unique<TForm1>();
    Form1 = m_phrases.get();
    m_other = std::make_unique<QWidget>();
    auto *layout = new QVBoxLayout(m_other.get());
    auto *edit = new QLineEdit(m_other.get());
    edit->setObjectName(u"Edit1"_s);
    layout->addWidget(edit);

    // What the items run is for other tests: here only which item a key reaches.
    TMainForm *form = m_fx->form();
    const QList<QAction *> items = form->findChildren<QAction *>();
    for (QAction *item : items) {
        disconnect(item, &QAction::triggered, form, nullptr);
        connect(item, &QAction::triggered, this,
                [this, item] { m_fired.append(item->objectName()); });
    }
    form->show();
}

void tst_MenuShortcuts::cleanup()
{
    m_other.reset();
    m_phrases.reset();
    m_search.reset();
    m_fx.reset();
    m_conclusions.reset();
    m_advanced.reset();
    m_fired.clear();
}

void tst_MenuShortcuts::menuKeysWinOverTheFocusedControl_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<QString>("item"); // the item run, none when the control keeps the key

    const auto row = [](const char *window, const char *control, const char *key,
                        const char *item) {
        QTest::addRow("%s %s %s", window, control, key)
            << QString::fromLatin1(window) << QString::fromLatin1(control)
            << QKeySequence(QString::fromLatin1(key)) << QString::fromLatin1(item);
    };
    // Nome, Dt. Nasc. and Peso; the conclusion editor.
    row("MainForm", "DBEdit1", "Ctrl+E", "NovoExame1");
    row("MainForm", "DBEdit3", "Ctrl+E", "NovoExame1");
    row("MainForm", "DBEdit5", "Ctrl+E", "NovoExame1");
    row("MainForm", "DBEdit3", "F5", "Frases1");
    row("MainForm", "Editor", "Ctrl+I", "Imagens1");
    // "&Novo Paciente" is disabled: its key stays the control's.
    row("MainForm", "DBEdit1", "Ctrl+N", "");

    row("FormT2Pesq", "Edit1", "Ctrl+E", "NovoExame1");
    row("FormT2Pesq", "Edit1", "Ctrl+P", "FilePrintItem");
    row("FormT2Pesq", "Edit1", "Ctrl+I", "Imagens1");
    row("FormPesqAV", "Edit1", "Ctrl+E", "NovoExame1");
    row("FormPesqAV", "Edit1", "F8", "Concluses1");
    row("Form1", "DBGrid1", "Ctrl+I", "Imagens1");
    row("Form1", "DBGrid1", "F5", "Frases1");
    row("FormConc", "PreConclusao", "Ctrl+P", "FilePrintItem");
    row("FormConc", "DBGrid1", "Ctrl+E", "NovoExame1");

    // Any other window keeps its keys.
    row("other", "Edit1", "Ctrl+E", "");
    row("other", "Edit1", "F5", "");
}

void tst_MenuShortcuts::menuKeysWinOverTheFocusedControl()
{
    QFETCH(QString, window);
    QFETCH(QString, control);
    QFETCH(QKeySequence, key);
    QFETCH(QString, item);

    QWidget *w = m_other.get();
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (top->objectName() == window)
            w = top;
    }
    const QList<QWidget *> named = w->findChildren<QWidget *>(control);
    QCOMPARE(named.size(), 1);
    QWidget *target = named.first();
    w->show();
    w->raise();
    w->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), w);
    focusAndWait(target);
    ClaimsEveryKey binding(key[0].key());
    target->installEventFilter(&binding);

    // As a key from the keyboard arrives: the focused control is asked first, then the shortcuts.
    QTest::keyClick(target, key[0].key(), key[0].keyboardModifiers());
    QCOMPARE(m_fired, item.isEmpty() ? QStringList() : QStringList { item });
    QCOMPARE(binding.presses, item.isEmpty() ? 1 : 0);
}

QTEST_MAIN(tst_MenuShortcuts)
#include "tst_MenuShortcuts.moc"
