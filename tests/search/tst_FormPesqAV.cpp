#include "search/Pesq.h"

#include "app/Main.h"
#include "data/DM.h"
#include "platform/engine/Field.h"
#include "platform/engine/Query.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/Connection.h"
#include "platform/engine/Database.h"
#include "platform/engine/Table.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DialogRecorder.h"
#include "support/PracticeDirectory.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {
// A quote in 2's address and 45's name, a backslash in 45's address, three blanks in 12's, a
// semicolon in 1's NCENTROS; 3 has nothing but a name and a health system.
const char *const kPractice = R"(
INSERT INTO bddid (NF, NOME, MORADA, DNASC, NATUR, D1CONS, TELEF, PROF, ESTADO, RECOMEND, BENIFIC,
    IDADE, BENIF, CPOSTAL, CIDADE, SEXO, NCONTRIB, NCONS, PERUTENTE, CENTROS, NCENTROS) VALUES
  (1, 'JOÃO SILVA', 'Rua da Liberdade, 12', '1963-04-16', 'Guarda', '2022-12-06', '921434124',
   'Professor', 'Casado', 'Dr. Diogo', 'ADSE', 59, '7', '2640-085', 'Mafra', 'M', '222813130',
   3, 20, 'Centro de Saúde de Mafra', 'A;B'),
  (2, 'MARIA DA CONCEIÇÃO', 'Rua D''Ávila, 3', '1950-01-31', 'Évora', NULL, '266000000', NULL,
   'Viúva', NULL, NULL, 74, '1', '7000-001', 'Évora', 'F', NULL, 7, NULL, NULL, NULL);
INSERT INTO bddid (NF, NOME, BENIF) VALUES (3, 'ANA', '1');
INSERT INTO bddid (NF, NOME, MORADA, TELEF, BENIF) VALUES (12, 'PEDRO', 'Rua   Larga', '555', '1');
INSERT INTO bddid (NF, NOME, MORADA, BENIF) VALUES (45, 'O''NEILL', 'Bloco A\B', '1');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Peso) VALUES
  (1, '2024-06-10 09:00:00.000', '2024-06-10', 70), (12, '2024-06-11 09:00:00.000', '2024-06-11', 81);
)";

const QList<int> kEveryone { 1, 2, 3, 12, 45 };
} // namespace

class tst_FormPesqAV : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void layoutAndPicture();
    void statementDoublesEveryQuote();
    void resultHasThe21Columns();
    void searchFinds_data();
    void searchFinds();
    void datesFoundAsShown();
    void buttonDisabledWhileRunning();
    void enterSearches();
    void refusedStatementShowsTheError();
    void doubleClickMovesTheMainWindow();
    void doubleClickThatMovesNothing();
    void closeKeepsTextAndResult();

private:
    void search(const QString &text)
    {
        m_form->Edit1->setText(text);
        QTest::mouseClick(m_form->BitBtn1, Qt::LeftButton);
    }
    // NF of the grid's rows, in the engine's order.
    [[nodiscard]] QList<int> rows() const
    {
        const QAbstractItemModel *model = m_form->DBGrid1->model();
        QList<int> nf;
        for (int r = 0; r < model->rowCount(); ++r)
            nf << model->data(model->index(r, 0)).toInt();
        return nf;
    }
    [[nodiscard]] int patient() const
    {
        return m_module->TablePac->fieldByName(u"NF"_s)->asInteger();
    }
    // The table names and every patient as stored, read past the datasets.
    [[nodiscard]] QString stored() const
    {
        Connection &db = m_module->Database2->connection();
        QString out = db.tables().join(u',') + u'/';
        SqlStatement st(db, u"select NF, NOME, MORADA, BENIF from bddid order by NF"_s);
        while (st.step())
            out += st.text(0) + st.text(1) + st.text(2) + st.text(3) + u'|';
        return out;
    }
    [[nodiscard]] DialogRecorder &recorder() const { return m_env->recorder(); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<PracticeDirectory> m_dir;
    std::unique_ptr<TMainForm> m_main;
    std::unique_ptr<TFormPesqAV> m_form;
    std::unique_ptr<TDataModule1> m_module;
};

void tst_FormPesqAV::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_dir = std::make_unique<PracticeDirectory>(QString::fromUtf8(kPractice));
    // In start-up order: main window, this window, then the data module that binds its grid.
    m_main = std::make_unique<TMainForm>();
    MainForm = m_main.get();
    m_form = std::make_unique<TFormPesqAV>();
    FormPesqAV = m_form.get();
    m_module = std::make_unique<TDataModule1>();
    DataModule1 = m_module.get();
    m_module->load();
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
    QVERIFY(!m_form->isVisible());
    showAdvancedSearch();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QCOMPARE(patient(), 3); // ANA, first by name
}

void tst_FormPesqAV::cleanup()
{
    m_form.reset();
    m_main.reset();
    m_module.reset();
    DataModule1 = nullptr;
    m_dir.reset();
    m_env.reset();
}

void tst_FormPesqAV::layoutAndPicture()
{
    QCOMPARE(m_form->windowTitle(), u"Pesquisa Avançada"_s);
    QVERIFY(m_form->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(m_form->windowModality(), Qt::NonModal);
    QCOMPARE(m_form->minimumSize(), QSize(437, 326));
    QCOMPARE(m_form->maximumSize(), QSize(437, 326));
    QCOMPARE(QApplication::focusWidget(), m_form->Edit1);
    QCOMPARE(m_form->Label2->text(), u"Palavra / Frase a Pesquisar..."_s);
    QCOMPARE(m_form->Label3->text(), u"Use o símbolo % para representar \"qualquer coisa\""_s);
    QCOMPARE(m_form->BitBtn1->text(), u"Pesquisar..."_s);
    QCOMPARE(m_form->Label1->text(), u"  Resultados da Pesquisa..."_s);
    QCOMPARE(m_form->DBGrid1->toolTip(), u"Duplo-CLique para selecionar paciente..."_s);
    // The picture ships as a JPEG and is decoded by the JPEG plug-in.
    QImageReader reader(u":/lupa.jpg"_s);
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    QCOMPARE(m_form->Image1->pixmap().size(), QSize(194, 112));
    QCOMPARE(m_form->Image1->geometry(), QRect(243, 0, 194, 112));
}

void tst_FormPesqAV::statementDoublesEveryQuote()
{
    // a to z in capitals; accents, "%" and doubled quotes as typed.
    const QString p = u"'%D''AçãO'' %X%'"_s;
    const QString expected = u"select NF,NOME,MORADA,DNASC,NATUR,D1CONS,TELEF,PROF,ESTADO,RECOMEND,"
                             "BENIFIC,IDADE,BENIF,CPOSTAL,CIDADE,SEXO,NCONTRIB,NCONS,PERUTENTE,"
                             "CENTROS,NCENTROS from bddid where Upper(Cast(NF as char(10))) like "_s
        + p + u" or Upper(NOME) like "_s + p + u" or Upper(MORADA) like "_s + p
        + u" or Upper(Cast(DNASC as Char(10))) like "_s + p + u" or Upper(NATUR) like "_s + p
        + u" or Upper(Cast(D1CONS as Char(10))) like "_s + p + u" or Upper(TELEF) like "_s + p
        + u" or Upper(PROF) like "_s + p + u" or Upper(ESTADO) like "_s + p
        + u" or Upper(RECOMEND) like "_s + p + u" or Upper(BENIFIC) like "_s + p
        + u" or Upper(Cast(IDADE as Char(3))) like "_s + p + u" or Upper(BENIF) like "_s + p
        + u" or Upper(CPOSTAL) like "_s + p + u" or Upper(CIDADE) like "_s + p
        + u" or Upper(SEXO) like "_s + p + u" or Upper(NCONTRIB) like "_s + p
        + u" or Upper(Cast(NCONS as Char(3))) like "_s + p
        + u" or Upper(Cast(PERUTENTE as Char(3))) like "_s + p + u" or Upper(CENTROS) like "_s + p
        + u" or Upper(NCENTROS) like "_s + p;
    QCOMPARE(TFormPesqAV::searchStatement(u"d'açãO' %x"_s), expected);
}

void tst_FormPesqAV::resultHasThe21Columns()
{
    search(u"silva"_s);
    QCOMPARE(m_module->QueryPesqAv->sql(),
             QStringList { TFormPesqAV::searchStatement(u"silva"_s) });
    const QAbstractItemModel *model = m_form->DBGrid1->model();
    QStringList titles;
    for (int c = 0; c < model->columnCount(); ++c)
        titles << model->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(titles.join(u','),
             u"NF,NOME,MORADA,DNASC,NATUR,D1CONS,TELEF,PROF,ESTADO,RECOMEND,BENIFIC,IDADE,BENIF,"
             "CPOSTAL,CIDADE,SEXO,NCONTRIB,NCONS,PERUTENTE,CENTROS,NCENTROS"_s);
    QCOMPARE(model->data(model->index(0, 1)).toString(), u"JOÃO SILVA"_s);
    QCOMPARE(model->data(model->index(0, 20)).toString(), u"A;B"_s);
}

void tst_FormPesqAV::searchFinds_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("found");
    QTest::newRow("empty: everyone") << QString() << kEveryone;
    QTest::newRow("small letters") << u"silva"_s << QList<int> { 1 };
    QTest::newRow("accented small") << u"conceição"_s << QList<int> { 2 };
    QTest::newRow("accented, other column") << u"saúde de"_s << QList<int> { 1 };
    QTest::newRow("null columns match nothing") << u"ana"_s << QList<int> { 3 };
    QTest::newRow("quote in an address") << u"d'ávila"_s << QList<int> { 2 };
    QTest::newRow("quote in a name") << u"o'neill"_s << QList<int> { 45 };
    QTest::newRow("number and texts") << u"12"_s << QList<int> { 1, 12 };
    QTest::newRow("patient number") << u"45"_s << QList<int> { 45 };
    QTest::newRow("age") << u"74"_s << QList<int> { 2 };
    QTest::newRow("birth date as shown") << u"16/04"_s << QList<int> { 1 };
    QTest::newRow("birth year") << u"1963"_s << QList<int> { 1 };
    QTest::newRow("first visit as shown") << u"06/12/2022"_s << QList<int> { 1 };
    QTest::newRow("date as stored") << u"1963-04"_s << QList<int> {};
    QTest::newRow("percent inside") << u"rua%12"_s << QList<int> { 1 };
    QTest::newRow("nothing found") << u"nobody"_s << QList<int> {};
    // What the user may type or paste is only ever text.
    QTest::newRow("quote") << u"'"_s << QList<int> { 2, 45 };
    QTest::newRow("two quotes") << u"''"_s << QList<int> {};
    QTest::newRow("percent") << u"%"_s << kEveryone;
    QTest::newRow("underscore: any character") << u"_"_s << kEveryone;
    QTest::newRow("backslash") << u"\\"_s << QList<int> { 45 };
    QTest::newRow("semicolon") << u";"_s << QList<int> { 1 };
    QTest::newRow("comment") << u"--"_s << QList<int> {};
    QTest::newRow("always true") << u"' or 1=1 --"_s << QList<int> {};
    QTest::newRow("second statement") << u"'; delete from bddid; --"_s << QList<int> {};
    QTest::newRow("closing the literal") << u"%' or NOME like '%"_s << QList<int> {};
    QTest::newRow("colon") << u":NF"_s << QList<int> {};
    QTest::newRow("1000 characters") << QString(1000, u'x') << QList<int> {};
    QTest::newRow("1000 quotes") << QString(1000, u'\'') << QList<int> {};
    QTest::newRow("three blanks, kept") << u"   "_s << QList<int> { 12 };
    QTest::newRow("only blanks") << QString(10, u' ') << QList<int> {};
    QTest::newRow("pasted NUL") << u"sil"_s + QChar(0) + u"va"_s << QList<int> { 1 };
    QTest::newRow("pasted NUL, tab, line") << u"a"_s + QChar(0) + u"\t\n"_s << QList<int> {};
}

void tst_FormPesqAV::searchFinds()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, found);
    const QString before = stored();
    search(text);
    QList<int> listed = rows();
    std::sort(listed.begin(), listed.end());
    QCOMPARE(listed, found);
    QCOMPARE(m_form->Edit1->text(), text);
    // The beep and nothing else: no message even when nothing is found.
    QCOMPARE(recorder().entries().size(), 1);
    QCOMPARE(recorder().beeps(), 1);
    QCOMPARE(stored(), before);
}

void tst_FormPesqAV::datesFoundAsShown()
{
    // Born at midnight, as other software stores a birth date, and seen at a given time.
    m_module->Database2->connection().exec(
        u"INSERT INTO bddid (NF, NOME, DNASC, D1CONS, BENIF) VALUES "
        "(60, 'ÁLVARO', '1936-09-03 00:00:00.000', '2023-11-05', '1')"_s);
    for (const QString &typed : { u"03/09"_s, u"1936"_s, u"03/09/1936"_s, u"05/11/2023"_s }) {
        search(typed);
        QCOMPARE(rows(), QList<int> { 60 });
    }
    const QAbstractItemModel *model = m_form->DBGrid1->model();
    QCOMPARE(model->data(model->index(0, 3)).toString(), u"03/09/1936"_s);
    QCOMPARE(model->data(model->index(0, 5)).toString(), u"05/11/2023"_s);
    search(u"1936-09"_s);
    QCOMPARE(rows(), QList<int> {});
}

void tst_FormPesqAV::buttonDisabledWhileRunning()
{
    QList<bool> seen;
    m_module->QueryPesqAv->hooks().afterOpen
        = [&](Dataset &) { seen << m_form->BitBtn1->isEnabled() << (recorder().beeps() > 0); };
    search(u"pedro"_s);
    m_module->QueryPesqAv->hooks().afterOpen = nullptr;
    QCOMPARE(seen, (QList<bool> { false, false }));
    QVERIFY(m_form->BitBtn1->isEnabled());
    QCOMPARE(rows(), QList<int> { 12 });
}

void tst_FormPesqAV::enterSearches()
{
    focusAndWait(m_form->Edit1);
    QTest::keyClicks(m_form->Edit1, u"o'ne"_s);
    QCOMPARE(m_form->Edit1->text(), u"o'ne"_s);
    QVERIFY(!m_module->QueryPesqAv->isActive());
    QTest::keyClick(m_form->Edit1, Qt::Key_Return);
    QCOMPARE(rows(), QList<int> { 45 });
    QTest::keyClick(m_form->Edit1, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(recorder().beeps(), 2);
}

void tst_FormPesqAV::refusedStatementShowsTheError()
{
    search(u"silva"_s);
    QCOMPARE(rows(), QList<int> { 1 });
    // The other software's column is gone: the engine refuses the statement.
    m_module->Database2->connection().exec(u"ALTER TABLE bddid DROP COLUMN NCENTROS"_s);
    recorder().clear();
    search(u"silva"_s);
    // In the store's own words.
    const QStringList shown = recorder().applicationErrors();
    QCOMPARE(shown.size(), 1);
    QVERIFY2(shown[0] == u"no such column: NCENTROS."_s
                 || shown[0].startsWith(u"column \"ncentros\" does not exist"_s),
             qPrintable(shown[0]));
    QCOMPARE(recorder().beeps(), 0);
    QVERIFY(!m_module->QueryPesqAv->isActive());
    QCOMPARE(m_form->DBGrid1->model()->rowCount(), 0);
    QVERIFY(m_form->BitBtn1->isEnabled());
}

void tst_FormPesqAV::doubleClickMovesTheMainWindow()
{
    search(u"pedro"_s);
    DBGrid *grid = m_form->DBGrid1;
    const QRect cell = grid->visualRect(grid->model()->index(0, 1));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(patient(), 12);
    QCOMPARE(m_module->TableEcoPeso->asInteger(), 81); // its exam follows
    QVERIFY(m_form->isVisible());

    search(QString());
    const int row = int(rows().indexOf(1));
    grid->doubleClickRow(row);
    QCOMPARE(patient(), 1);
    QCOMPARE(m_module->TableEcoPeso->asInteger(), 70);
    // The whole row stays marked while the main window has the focus.
    QVERIFY(grid->selectionModel()->isRowSelected(row, QModelIndex()));
    QCOMPARE(grid->palette().color(QPalette::Inactive, QPalette::Highlight),
             grid->palette().color(QPalette::Active, QPalette::Highlight));
    QVERIFY(m_form->isVisible());
    QCOMPARE(recorder().entries().size(), 2); // the two beeps
}

void tst_FormPesqAV::doubleClickThatMovesNothing()
{
    DBGrid *grid = m_form->DBGrid1;
    // Before any search, and with nothing found.
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    search(u"nobody"_s);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(patient(), 3);

    // A patient deleted since the search: silently not found.
    search(u"pedro"_s);
    QVERIFY(m_module->TablePac->locate(u"NF"_s, 12));
    m_module->TablePac->deleteRecord();
    QVERIFY(m_module->TablePac->locate(u"NF"_s, 45));
    grid->doubleClickRow(0);
    QCOMPARE(patient(), 45);
    QCOMPARE(recorder().entries().size(), 2); // the two beeps

    // A new patient without a health system cannot be left.
    search(u"silva"_s);
    m_module->TablePac->append();
    m_module->TablePacNOME->setAsString(u"NOVO"_s);
    grid->doubleClickRow(0);
    QCOMPARE(recorder().applicationErrors(), QStringList { u"Field 'BENIF' must have a value."_s });
    QCOMPARE(m_module->TablePac->state(), DatasetState::Insert);
    QCOMPARE(m_module->TablePacNOME->asString(), u"NOVO"_s);
}

void tst_FormPesqAV::closeKeepsTextAndResult()
{
    search(u"rua"_s);
    const QList<int> found = rows();
    QCOMPARE(found.size(), 3);
    m_form->DBGrid1->doubleClickRow(found.indexOf(2));
    QVERIFY(m_form->close());
    QVERIFY(!m_form->isVisible());
    QVERIFY(m_main->isVisible());
    showAdvancedSearch();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    QCOMPARE(m_form->Edit1->text(), u"rua"_s);
    QCOMPARE(rows(), found);
    QCOMPARE(m_form->DBGrid1->currentRow(), found.indexOf(2));
    QCOMPARE(patient(), 2);
}

QTEST_MAIN(tst_FormPesqAV)
#include "tst_FormPesqAV.moc"
