#include "platform/widgets/DateEdit.h"

#include "platform/widgets/DialogRecorder.h"
#include "support/TestSupport.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

class tst_DateEdit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void typedAfterOneClick_data();
    void typedAfterOneClick();
    void wholeYearTakenAsTyped();
    void keys();

private:
    void clickAndType(const QString &text)
    {
        QTest::mouseClick(m_edit, Qt::LeftButton, {}, QPoint(m_edit->width() / 2, 5));
        QTRY_VERIFY(m_edit->hasFocus());
        QTest::keyClicks(m_edit, text);
    }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<QWidget> m_window;
    DateEdit *m_edit = nullptr;
    QLineEdit *m_elsewhere = nullptr;
};

void tst_DateEdit::init()
{
    m_env = std::make_unique<TestEnvironment>(); // today is 15/06/2024
    m_window = std::make_unique<QWidget>();
    auto *layout = new QVBoxLayout(m_window.get());
    m_elsewhere = new QLineEdit(m_window.get());
    m_edit = new DateEdit(m_window.get());
    layout->addWidget(m_elsewhere);
    layout->addWidget(m_edit);
    m_edit->setDate(QDate(2024, 1, 1));
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_elsewhere->setFocus();
}

void tst_DateEdit::cleanup()
{
    m_window.reset();
    m_env.reset();
}

void tst_DateEdit::typedAfterOneClick_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QDate>("date"); // invalid: refused, the date kept
    QTest::newRow("short year ahead") << u"15/03/24"_s << QDate(2024, 3, 15);
    QTest::newRow("short year behind") << u"14/03/58"_s << QDate(1958, 3, 14);
    QTest::newRow("no year") << u"15/3"_s << QDate(2024, 3, 15);
    QTest::newRow("whole year") << u"15-03-2024"_s << QDate(2024, 3, 15);
    QTest::newRow("no such day") << u"31/02/2024"_s << QDate();
    QTest::newRow("not a date") << u"amanha"_s << QDate();
}

// One click selects the whole date, so that a date typed replaces it; leaving takes it.
void tst_DateEdit::typedAfterOneClick()
{
    QFETCH(QString, typed);
    QFETCH(QDate, date);
    QCOMPARE(m_edit->text(), u"01/01/2024"_s);
    clickAndType(typed);
    m_elsewhere->setFocus(Qt::TabFocusReason);
    QCOMPARE(m_edit->date(), date.isValid() ? date : QDate(2024, 1, 1));
    QCOMPARE(m_edit->text(), m_edit->date().toString(u"dd/MM/yyyy"_s));
    QCOMPARE(m_env->recorder().beeps(), date.isValid() ? 0 : 1);

    // The same with the focus already in the box.
    m_edit->setDate(QDate(2024, 1, 1));
    m_edit->setFocus(Qt::TabFocusReason);
    clickAndType(typed);
    QTest::keyClick(m_edit, Qt::Key_Return);
    QCOMPARE(m_edit->date(), date.isValid() ? date : QDate(2024, 1, 1));
}

// A date with its whole year counts at once, as the day jump of a search expects; a short year
// waits, since the user may be typing four digits.
void tst_DateEdit::wholeYearTakenAsTyped()
{
    QSignalSpy changed(m_edit, &DateEdit::dateChanged);
    clickAndType(u"15/03/20"_s);
    QCOMPARE(changed.count(), 0);
    QTest::keyClicks(m_edit, u"24"_s);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toDate(), QDate(2024, 3, 15));
    QCOMPARE(m_edit->text(), u"15/03/2024"_s);

    m_edit->setDisplayFormat(u"dddd, d 'de' MMMM 'de' yyyy"_s);
    QCOMPARE(m_edit->text(), u"sexta-feira, 15 de março de 2024"_s);
}

void tst_DateEdit::keys()
{
    QWidget *window = m_window.get();
    struct EnterSpy : QObject
    {
        int enters = 0;
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::KeyPress
                && static_cast<QKeyEvent *>(e)->key() == Qt::Key_Return)
                ++enters;
            return false;
        }
    } spy;
    window->installEventFilter(&spy);
    clickAndType(u"1/2/25"_s);
    QTest::keyClick(m_edit, Qt::Key_Return);
    QCOMPARE(m_edit->date(), QDate(2025, 2, 1));
    QCOMPARE(spy.enters, 1); // passed on to the window
    QTest::keyClick(m_edit, Qt::Key_Up);
    QCOMPARE(m_edit->date(), QDate(2025, 2, 2));
    QTest::keyClicks(m_edit, u"9/9"_s);
    QTest::keyClick(m_edit, Qt::Key_Escape);
    QCOMPARE(m_edit->text(), u"02/02/2025"_s);
    QCOMPARE(m_edit->date(), QDate(2025, 2, 2));
}

QTEST_MAIN(tst_DateEdit)
#include "tst_DateEdit.moc"
