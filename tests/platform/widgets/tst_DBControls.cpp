#include "platform/engine/DataSource.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/Table.h"
#include "platform/widgets/DBCheckBox.h"
#include "platform/widgets/DBComboBox.h"
#include "platform/widgets/DBEdit.h"
#include "platform/widgets/DBLookupComboBox.h"
#include "platform/widgets/DBNavigator.h"
#include "platform/widgets/DBText.h"
#include "platform/widgets/DialogRecorder.h"
#include "support/EngineFixture.h"
#include "support/TestSupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
const char *const kSchema = R"(
CREATE TABLE exame (ID INTEGER PRIMARY KEY AUTOINCREMENT, Nome TEXT, Peso INTEGER, Fe REAL,
                    Asd INTEGER, Executor REAL, ModoD TEXT);
INSERT INTO exame (Nome, Peso, Fe, Asd, Executor, ModoD) VALUES
    ('ANA', 70, 55.5, NULL, 2, 'Boa'), ('RUI', 80, NULL, 1, 1, NULL),
    ('EVA', NULL, 60, 0, 3, 'Má');
CREATE TABLE medico (CODIGO INTEGER PRIMARY KEY AUTOINCREMENT, NOME TEXT, ACTIVO INTEGER);
INSERT INTO medico (NOME, ACTIVO) VALUES ('DR ACTIVO', 1), ('DR INACTIVO', 0), ('DR OUTRO', 1);
CREATE TABLE vazio (ID INTEGER PRIMARY KEY AUTOINCREMENT, Nome TEXT);
)";

// The exam-like table, the doctors' list and a shown, active window to put controls on.
struct Bench
{
    Table exame;
    DataSource source;
    Table medico;
    DataSource medSource;
    QWidget window;
    QVBoxLayout *layout = new QVBoxLayout(&window);
    QLineEdit *elsewhere = new QLineEdit(&window); // somewhere for the focus to go

    Bench()
    {
        exame.setTableName(u"exame.DB"_s);
        exame.addField(u"ID"_s, FieldType::AutoInc);
        exame.addField(u"Nome"_s, FieldType::String, 20);
        exame.addField(u"Peso"_s, FieldType::SmallInt);
        exame.addField(u"Fe"_s, FieldType::Float);
        exame.addField(u"Asd"_s, FieldType::Boolean);
        exame.addField(u"Executor"_s, FieldType::Float);
        exame.addField(u"ModoD"_s, FieldType::String, 40);
        source.setDataset(&exame);
        source.setAutoEdit(false);

        medico.setTableName(u"Medico.DB"_s);
        medico.setReadOnly(true);
        medico.setFilter(u"activo = true"_s);
        medico.setFiltered(true);
        medSource.setDataset(&medico);

        layout->addWidget(elsewhere);
    }

    template<class Control> Control *add(const QString &fieldName)
    {
        auto *control = new Control(&window);
        control->setDataSource(&source);
        control->setDataField(fieldName);
        layout->addWidget(control);
        control->show();
        return control;
    }

    DBNavigator *navigator()
    {
        auto *nav = new DBNavigator(&window);
        nav->setDataSource(&source);
        layout->addWidget(nav);
        nav->show();
        return nav;
    }

    bool showActive()
    {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }

    Field *field(const QString &name) const { return exame.fieldByName(name); }
};

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
} // namespace

class tst_DBControls : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_fx = std::make_unique<EngineFixture>();
        m_fx->exec(QString::fromUtf8(kSchema));
        m_b = std::make_unique<Bench>();
        QVERIFY(m_b->showActive());
    }
    void cleanup()
    {
        m_b.reset();
        m_fx.reset();
        m_env.reset();
    }

    void editIsReadOnlyUntilTheDatasetEdits();
    void autoEditStartsOnTheFirstKeyUnlessRefused();
    void upperCaseAndMaxLength();
    void keyFiltering_data();
    void keyFiltering();
    void conversionErrorKeepsTheFocus();
    void exitStoresAndEscReverts();
    void postWritesPendingText();
    void comboBoxStoresItemsAndFreeText();
    void longTextShowsItsBeginningWhenLeft();
    void checkBoxNeverReturnsToNull();
    void lookupShowsAndStoresKeys();
    void navigatorEnableRules();
    void navigatorActions();

private:
    [[nodiscard]] DialogRecorder &recorder() const { return m_env->recorder(); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<EngineFixture> m_fx;
    std::unique_ptr<Bench> m_b;
};

void tst_DBControls::editIsReadOnlyUntilTheDatasetEdits()
{
    Bench &b = *m_b;
    auto *peso = b.add<DBEdit>(u"Peso"_s);
    auto *fe = b.add<DBText>(u"Fe"_s);
    b.exame.open();
    QCOMPARE(peso->text(), u"70"_s);
    QCOMPARE(fe->text(), u"55,5"_s);
    QVERIFY(peso->isReadOnly());
    QTest::keyClick(peso, Qt::Key_End);
    QTest::keyClicks(peso, u"5"_s);
    QTest::keyClick(peso, Qt::Key_Backspace);
    QCOMPARE(peso->text(), u"70"_s);
    QCOMPARE(b.exame.state(), DatasetState::Browse);

    b.exame.edit();
    QVERIFY(!peso->isReadOnly());
    QTest::keyClicks(peso, u"5"_s);
    QCOMPARE(peso->text(), u"705"_s);
    b.exame.cancel();
    QCOMPARE(peso->text(), u"70"_s);
    QVERIFY(peso->isReadOnly());

    b.exame.next();
    QCOMPARE(peso->text(), u"80"_s);
    QVERIFY(fe->text().isEmpty());
    // Closed: empty and deaf.
    b.exame.close();
    QVERIFY(peso->text().isEmpty());
    QVERIFY(fe->text().isEmpty());
    QVERIFY(peso->isReadOnly());
    QTest::keyClicks(peso, u"5"_s);
    QVERIFY(peso->text().isEmpty());
    QVERIFY(recorder().isEmpty());
}

void tst_DBControls::autoEditStartsOnTheFirstKeyUnlessRefused()
{
    Bench &b = *m_b;
    b.source.setAutoEdit(true);
    auto *peso = b.add<DBEdit>(u"Peso"_s);
    auto *id = b.add<DBEdit>(u"ID"_s);
    b.exame.open();

    // A refused edit drops the key without a word; an error is shown.
    b.exame.hooks().beforeEdit = [](Dataset &) { abortSilently(); };
    QTest::keyClick(peso, Qt::Key_End);
    QTest::keyClicks(peso, u"1"_s);
    QCOMPARE(peso->text(), u"70"_s);
    QCOMPARE(b.exame.state(), DatasetState::Browse);
    QVERIFY(recorder().isEmpty());
    b.exame.hooks().beforeEdit = [](Dataset &) { databaseError(u"Registo bloqueado"_s); };
    QTest::keyClick(peso, Qt::Key_Backspace);
    QCOMPARE(peso->text(), u"70"_s);
    QCOMPARE(recorder().applicationErrors(), QStringList { u"Registo bloqueado."_s });

    // A read-only field never starts the edit.
    b.exame.hooks().beforeEdit = nullptr;
    QTest::keyClicks(id, u"9"_s);
    QCOMPARE(b.exame.state(), DatasetState::Browse);

    // The key lands where the caret was, although the edit reloaded the record.
    QTest::keyClick(peso, Qt::Key_Home);
    QTest::keyClicks(peso, u"1"_s);
    QCOMPARE(b.exame.state(), DatasetState::Edit);
    QCOMPARE(peso->text(), u"170"_s);
    QVERIFY(!peso->isReadOnly());
    QVERIFY(id->isReadOnly());
}

void tst_DBControls::upperCaseAndMaxLength()
{
    Bench &b = *m_b;
    b.source.setAutoEdit(true);
    auto *nome = b.add<DBEdit>(u"Nome"_s);
    auto *peso = b.add<DBEdit>(u"Peso"_s);
    peso->setMaxLength(1);
    nome->setCharCase(DBEdit::CharCase::Upper);
    b.exame.open();
    QCOMPARE(nome->maxLength(), 20);
    QCOMPARE(peso->maxLength(), 1); // the window's own limit stays

    clearText(nome);
    typeText(nome, u"maria joão de sá e silva"_s);
    QCOMPARE(nome->text(), u"MARIA JOÃO DE SÁ E S"_s);
    QApplication::clipboard()->setText(u"x"_s);
    QTest::keyClick(nome, Qt::Key_Home);
    QTest::keyClick(nome, Qt::Key_Delete);
    QTest::keyClick(nome, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(nome->text(), u"XARIA JOÃO DE SÁ E S"_s);
    b.exame.post();
    QCOMPARE(m_fx->scalar(u"SELECT Nome FROM exame WHERE ID = 1"_s).toString(),
             u"XARIA JOÃO DE SÁ E S"_s);
}

void tst_DBControls::keyFiltering_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("beeps");
    QTest::addColumn<bool>("keypad");

    QTest::newRow("letter in an integer") << u"Peso"_s << u"7a-"_s << u"7-"_s << 1 << false;
    QTest::newRow("point in a float") << u"Fe"_s << u"3.5"_s << u"35"_s << 1 << false;
    QTest::newRow("comma in a float") << u"Fe"_s << u"3,5e+1"_s << u"3,5e+1"_s << 0 << false;
    QTest::newRow("anything in text") << u"Nome"_s << u"a1,.!"_s << u"a1,.!"_s << 0 << false;
    // The keypad's decimal key sends '.' on most layouts: it is the locale's separator here.
    QTest::newRow("keypad point in a float") << u"Fe"_s << u"24.5"_s << u"24,5"_s << 0 << true;
    QTest::newRow("keypad point in an integer") << u"Peso"_s << u"24.5"_s << u"245"_s << 1 << true;
    QTest::newRow("keypad point in text") << u"Nome"_s << u"2.5"_s << u"2.5"_s << 0 << true;
}

void tst_DBControls::keyFiltering()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, beeps);
    QFETCH(bool, keypad);

    Bench &b = *m_b;
    auto *edit = b.add<DBEdit>(field);
    b.exame.open();
    // Refused keys beep whether or not the edit could be typed into.
    QTest::keyClicks(edit, u"x"_s);
    const int browsingBeeps = field == u"Nome"_s ? 0 : 1;
    QCOMPARE(recorder().beeps(), browsingBeeps);
    b.exame.edit();
    clearText(edit);
    QTest::keyClicks(edit, typed, keypad ? Qt::KeypadModifier : Qt::NoModifier);
    QCOMPARE(edit->text(), shown);
    QCOMPARE(recorder().beeps(), browsingBeeps + beeps);
    if (keypad) {
        b.exame.post();
        QCOMPARE(b.field(field)->displayText(), shown);
    }
}

void tst_DBControls::conversionErrorKeepsTheFocus()
{
    Bench &b = *m_b;
    auto *fe = b.add<DBEdit>(u"Fe"_s);
    QSignalSpy entered(fe, &DBEdit::entered);
    QSignalSpy exited(fe, &DBEdit::exited);
    b.exame.open();
    b.exame.edit();
    fe->setFocus();
    QVERIFY(fe->hasFocus());
    QCOMPARE(entered.count(), 1);
    clearText(fe);
    QTest::keyClicks(fe, u"6,5,1"_s);
    b.elsewhere->setFocus();

    QCOMPARE(recorder().applicationErrors(),
             QStringList { u"'6,5,1' is not a valid floating point value for field 'Fe'."_s });
    QCOMPARE(QApplication::focusWidget(), fe);
    QCOMPARE(fe->selectedText(), u"6,5,1"_s);
    QCOMPARE(b.field(u"Fe"_s)->asFloat(), 55.5);
    QCOMPARE(exited.count(), 0);
    QCOMPARE(entered.count(), 1);
    QVERIFY(!b.elsewhere->hasFocus());

    // A post meets the same text and stops.
    QVERIFY(!errorOf([&] { b.exame.post(); }).isEmpty());
    QCOMPARE(b.exame.state(), DatasetState::Edit);

    QTest::keyClick(fe, Qt::Key_Backspace);
    QTest::keyClicks(fe, u"6,5"_s);
    b.elsewhere->setFocus();
    QVERIFY(b.elsewhere->hasFocus());
    QCOMPARE(exited.count(), 1);
    QCOMPARE(b.field(u"Fe"_s)->asFloat(), 6.5);
    QCOMPARE(recorder().applicationErrors().size(), 1);
}

void tst_DBControls::exitStoresAndEscReverts()
{
    Bench &b = *m_b;
    auto *fe = b.add<DBEdit>(u"Fe"_s);
    auto *twin = b.add<DBEdit>(u"Fe"_s);
    QSignalSpy changed(twin, &DBEdit::changed);
    b.exame.open();
    b.exame.edit();
    fe->setFocus();

    // Esc brings the field's value back and keeps the focus.
    QTest::keyClick(fe, Qt::Key_End);
    QTest::keyClicks(fe, u"9"_s);
    QTest::keyClick(fe, Qt::Key_Escape);
    QCOMPARE(fe->text(), u"55,5"_s);
    QVERIFY(fe->hasFocus());

    // The stored value is shown as the field formats it, here and in every edit of the field.
    clearText(fe);
    QTest::keyClicks(fe, u"3,50"_s);
    changed.clear();
    b.elsewhere->setFocus();
    QCOMPARE(b.field(u"Fe"_s)->asFloat(), 3.5);
    QCOMPARE(fe->text(), u"3,5"_s);
    QCOMPARE(twin->text(), u"3,5"_s);
    QVERIFY(!changed.isEmpty());

    fe->setFocus();
    clearText(fe);
    b.elsewhere->setFocus();
    QVERIFY(b.field(u"Fe"_s)->isNull());
    b.exame.post();
    QVERIFY(m_fx->scalar(u"SELECT Fe FROM exame WHERE ID = 1"_s).isNull());
    QVERIFY(recorder().isEmpty());
}

void tst_DBControls::postWritesPendingText()
{
    Bench &b = *m_b;
    auto *peso = b.add<DBEdit>(u"Peso"_s);
    auto *nav = b.navigator();
    b.exame.open();
    b.exame.edit();
    peso->setFocus();
    clearText(peso);
    QTest::keyClicks(peso, u"72"_s);
    // The navigator takes no focus: the edit still holds the text when Post runs.
    QTest::mouseClick(nav->button(DBNavigator::Post), Qt::LeftButton);
    QVERIFY(peso->hasFocus());
    QCOMPARE(b.exame.state(), DatasetState::Browse);
    QCOMPARE(m_fx->scalar(u"SELECT Peso FROM exame WHERE ID = 1"_s).toInt(), 72);

    // Moving away from a changed row posts it with the pending text, too.
    b.exame.edit();
    clearText(peso);
    QTest::keyClicks(peso, u"73"_s);
    QTest::mouseClick(nav->button(DBNavigator::Next), Qt::LeftButton);
    QCOMPARE(m_fx->scalar(u"SELECT Peso FROM exame WHERE ID = 1"_s).toInt(), 73);
    QCOMPARE(peso->text(), u"80"_s);
    QVERIFY(recorder().isEmpty());
}

void tst_DBControls::comboBoxStoresItemsAndFreeText()
{
    Bench &b = *m_b;
    auto *modo = b.add<DBComboBox>(u"ModoD"_s);
    modo->addItems({ u"Boa"_s, u"Regular"_s, u"Má"_s });
    QSignalSpy exited(modo, &DBComboBox::exited);
    b.exame.open();
    QCOMPARE(modo->currentText(), u"Boa"_s);
    QCOMPARE(modo->lineEdit()->maxLength(), 40);

    // Browsing: neither keys, arrows nor the list change anything.
    modo->setFocus();
    QTest::keyClicks(modo, u"x"_s);
    QTest::keyClick(modo, Qt::Key_Down);
    modo->showPopup();
    QVERIFY(!modo->view()->isVisible());
    QCOMPARE(modo->currentText(), u"Boa"_s);

    b.exame.edit();
    QTest::keyClick(modo, Qt::Key_Down);
    QCOMPARE(modo->currentText(), u"Regular"_s);
    b.elsewhere->setFocus();
    QCOMPARE(exited.count(), 1);
    QCOMPARE(b.field(u"ModoD"_s)->asString(), u"Regular"_s);

    // A prefix of an item is stored as typed, not completed.
    modo->setFocus();
    clearText(modo);
    QTest::keyClicks(modo, u"Reg"_s);
    b.elsewhere->setFocus();
    QCOMPARE(b.field(u"ModoD"_s)->asString(), u"Reg"_s);
    QCOMPARE(modo->currentIndex(), -1);
    b.exame.post();
    b.exame.last();
    QCOMPARE(modo->currentText(), u"Má"_s);
    QCOMPARE(modo->currentIndex(), 2);
    QVERIFY(recorder().isEmpty());
}

void tst_DBControls::longTextShowsItsBeginningWhenLeft()
{
    Bench &b = *m_b;
    m_fx->exec(u"UPDATE exame SET Nome = 'MARIA DA CONCEIÇÃO', "
               "ModoD = 'Modo M e Bidimensional com Doppler' WHERE ID = 2"_s);
    auto *nome = b.add<DBEdit>(u"Nome"_s);
    auto *modo = b.add<DBComboBox>(u"ModoD"_s);
    modo->addItem(u"Modo M e Bidimensional com Doppler"_s);
    nome->setFixedWidth(50);
    modo->setFixedWidth(50);
    // Where the caret is the box shows; at 0, the text's beginning.
    const auto carets = [&] {
        return QList<int> { nome->cursorPosition(), modo->lineEdit()->cursorPosition() };
    };
    b.exame.open();
    b.exame.next();
    QCOMPARE(carets(), QList<int>({ 0, 0 }));
    b.exame.edit(); // the same texts again
    b.exame.cancel();
    QCOMPARE(carets(), QList<int>({ 0, 0 }));

    b.exame.edit();
    for (QWidget *box : { static_cast<QWidget *>(nome), static_cast<QWidget *>(modo) }) {
        box->setFocus();
        QTest::keyClick(box, Qt::Key_End);
        QTest::keyClicks(box, u"S"_s);
        b.elsewhere->setFocus();
    }
    QCOMPARE(b.field(u"Nome"_s)->asString(), u"MARIA DA CONCEIÇÃOS"_s);
    QCOMPARE(b.field(u"ModoD"_s)->asString(), u"Modo M e Bidimensional com DopplerS"_s);
    QCOMPARE(carets(), QList<int>({ 0, 0 }));
    QVERIFY(recorder().isEmpty());
}

void tst_DBControls::checkBoxNeverReturnsToNull()
{
    Bench &b = *m_b;
    auto *asd = b.add<DBCheckBox>(u"Asd"_s);
    asd->setText(u"Asd"_s);
    QSignalSpy entered(asd, &DBCheckBox::entered);
    QSignalSpy exited(asd, &DBCheckBox::exited);
    Field *field = b.field(u"Asd"_s);
    QCOMPARE(asd->checkState(), Qt::Unchecked);
    b.exame.open();
    QCOMPARE(asd->checkState(), Qt::PartiallyChecked);

    // Browsing: a click changes nothing.
    QTest::mouseClick(asd, Qt::LeftButton, {}, QPoint(8, asd->height() / 2));
    QCOMPARE(asd->checkState(), Qt::PartiallyChecked);
    QVERIFY(field->isNull());

    b.exame.edit();
    const QList<Qt::CheckState> cycle = { Qt::Checked, Qt::Unchecked, Qt::Checked };
    for (const Qt::CheckState expected : cycle) {
        QTest::mouseClick(asd, Qt::LeftButton, {}, QPoint(8, asd->height() / 2));
        QCOMPARE(asd->checkState(), expected);
        QCOMPARE(field->asBoolean(), expected == Qt::Checked);
    }
    b.exame.post();
    QCOMPARE(m_fx->scalar(u"SELECT Asd FROM exame WHERE ID = 1"_s).toInt(), 1);
    b.exame.last();
    QCOMPARE(asd->checkState(), Qt::Unchecked);

    // With auto-edit the space bar starts the edit; the first click took the focus.
    b.source.setAutoEdit(true);
    QVERIFY(asd->hasFocus());
    QTest::keyClick(asd, Qt::Key_Space);
    QCOMPARE(b.exame.state(), DatasetState::Edit);
    QVERIFY(field->asBoolean());
    b.elsewhere->setFocus();
    QCOMPARE(entered.count(), 1);
    QCOMPARE(exited.count(), 1);
}

void tst_DBControls::lookupShowsAndStoresKeys()
{
    Bench &b = *m_b;
    auto *executor = b.add<DBLookupComboBox>(u"Executor"_s);
    executor->setListSource(&b.medSource);
    executor->setKeyField(u"CODIGO"_s);
    executor->setListField(u"NOME"_s);
    b.medico.open();
    QCOMPARE(executor->count(), 2);
    b.exame.open();

    // Doctor 2 is filtered out: nothing shown, the key stays.
    QCOMPARE(executor->currentIndex(), -1);
    QVERIFY(executor->currentText().isEmpty());
    QCOMPARE(b.field(u"Executor"_s)->asFloat(), 2.0);
    b.medico.setFiltered(false);
    QCOMPARE(executor->count(), 3);
    QCOMPARE(executor->currentText(), u"DR INACTIVO"_s);
    b.medico.setFiltered(true);

    // The float 1.0 finds the integer code 1.
    b.exame.next();
    QCOMPARE(executor->currentText(), u"DR ACTIVO"_s);

    // Browsing: keys do not choose.
    QTest::keyClick(executor, Qt::Key_Down);
    QCOMPARE(executor->currentText(), u"DR ACTIVO"_s);
    QCOMPARE(b.field(u"Executor"_s)->asFloat(), 1.0);

    b.exame.edit();
    QTest::keyClick(executor, Qt::Key_Down);
    QCOMPARE(executor->currentText(), u"DR OUTRO"_s);
    QCOMPARE(b.field(u"Executor"_s)->asFloat(), 3.0);
    b.field(u"Executor"_s)->clear();
    QCOMPARE(executor->currentIndex(), -1);
    b.exame.cancel();
    QCOMPARE(executor->currentText(), u"DR ACTIVO"_s);

    // With auto-edit, choosing starts the edit.
    b.source.setAutoEdit(true);
    QTest::keyClick(executor, Qt::Key_Down);
    QCOMPARE(b.exame.state(), DatasetState::Edit);
    QCOMPARE(b.field(u"Executor"_s)->asFloat(), 3.0);
    QVERIFY(recorder().isEmpty());
}

void tst_DBControls::navigatorEnableRules()
{
    Bench &b = *m_b;
    auto *nav = b.navigator();
    using B = DBNavigator;
    auto enabled = [nav] {
        QString flags;
        for (int i = B::First; i <= B::Refresh; ++i)
            flags += nav->button(B::Button(i))->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        return flags;
    };
    auto press = [nav](B::Button which) { QTest::mouseClick(nav->button(which), Qt::LeftButton); };
    //                  FPNLIDEPCR
    QCOMPARE(enabled(), u"0000000000"_s);
    b.exame.open();
    QCOMPARE(enabled(), u"0011111001"_s);
    press(B::Next);
    QCOMPARE(enabled(), u"1111111001"_s);
    press(B::Last);
    QCOMPARE(enabled(), u"1100111001"_s);
    // The last row reached by a step is the end as well.
    press(B::Prior);
    press(B::Next);
    QCOMPARE(enabled(), u"1100111001"_s);
    nav->btnClick(B::Next); // finds no further row
    QCOMPARE(enabled(), u"1100111001"_s);
    press(B::Edit);
    QCOMPARE(b.exame.state(), DatasetState::Edit);
    QCOMPARE(enabled(), u"1100110111"_s);
    press(B::Post);
    QCOMPARE(enabled(), u"1100111001"_s);
    press(B::Insert);
    QCOMPARE(b.exame.state(), DatasetState::Insert);
    QCOMPARE(enabled().mid(B::Edit, 3), u"011"_s);
    press(B::Cancel);
    QCOMPARE(b.exame.state(), DatasetState::Browse);
    // So is the first row reached by steps back.
    press(B::Prior);
    press(B::Prior);
    QCOMPARE(b.exame.recNo(), 1);
    QCOMPARE(enabled(), u"0011111001"_s);

    b.exame.close();
    b.exame.setReadOnly(true);
    b.exame.open();
    QCOMPARE(enabled(), u"0011000001"_s);

    Table vazio;
    vazio.setTableName(u"vazio.DB"_s);
    b.source.setDataset(&vazio);
    vazio.open();
    QCOMPARE(enabled(), u"0000101001"_s);
    // An only row is the first and the last.
    m_fx->exec(u"INSERT INTO vazio (Nome) VALUES ('SO')"_s);
    vazio.refresh();
    QCOMPARE(enabled(), u"0000111001"_s);
    b.source.setDataset(nullptr);
    QCOMPARE(enabled(), u"0000000000"_s);

    nav->setVisibleButtons({ B::Prior, B::Next });
    QCOMPARE(nav->visibleButtons(), (QSet<B::Button> { B::Prior, B::Next }));
    QVERIFY(nav->button(B::Prior)->isVisible());
    QVERIFY(!nav->button(B::First)->isVisible());
    nav->setHints({ u"Primeiro Exame"_s, u"Exame Anterior"_s });
    QCOMPARE(nav->button(B::Prior)->toolTip(), u"Exame Anterior"_s);
    QCOMPARE(nav->hints().at(B::Next), u"Next record"_s);
}

void tst_DBControls::navigatorActions()
{
    Bench &b = *m_b;
    auto *nav = b.navigator();
    QStringList log;
    nav->setBeforeAction([&](DBNavigator::Button which) {
        log << u"before %1 at %2"_s.arg(int(which)).arg(b.exame.recNo());
        if (which == DBNavigator::Last)
            abortSilently();
    });
    connect(nav, &DBNavigator::clicked, &b.window, [&](DBNavigator::Button which) {
        log << u"clicked %1 at %2"_s.arg(int(which)).arg(b.exame.recNo());
    });
    b.exame.open();

    QTest::mouseClick(nav->button(DBNavigator::Next), Qt::LeftButton);
    QTest::mouseClick(nav->button(DBNavigator::Last), Qt::LeftButton);
    QCOMPARE(log, (QStringList { u"before 2 at 1"_s, u"clicked 2 at 2"_s, u"before 3 at 2"_s }));
    QCOMPARE(b.exame.recNo(), 2);
    QVERIFY(recorder().isEmpty());

    // An error of the action goes to the error box; pressed from code, it reaches the caller.
    b.field(u"Nome"_s)->setRequired(true);
    log.clear();
    nav->btnClick(DBNavigator::Insert);
    QTest::mouseClick(nav->button(DBNavigator::Post), Qt::LeftButton);
    QCOMPARE(recorder().applicationErrors(), QStringList { u"Field 'Nome' must have a value."_s });
    QCOMPARE(b.exame.state(), DatasetState::Insert);
    QCOMPARE(errorOf([&] { nav->btnClick(DBNavigator::Post); }),
             u"Field 'Nome' must have a value"_s);
    QCOMPARE(log,
             (QStringList { u"before 4 at 2"_s, u"clicked 4 at 2"_s, u"before 7 at 2"_s,
                            u"before 7 at 2"_s }));
}

QTEST_MAIN(tst_DBControls)
#include "tst_DBControls.moc"
