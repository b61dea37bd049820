#include "platform/engine/DataSource.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DatasetModel.h"
#include "platform/widgets/DialogRecorder.h"
#include "support/EngineFixture.h"
#include "support/TestSupport.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {
const char *const kSchema = R"(
CREATE TABLE eco (Codigo INTEGER PRIMARY KEY AUTOINCREMENT, Paciente INTEGER, DataExame TEXT,
                  Peso INTEGER, Fe REAL, Asd INTEGER, Vcn INTEGER, OrdSeg1 TEXT, Vc1 TEXT);
INSERT INTO eco (Paciente, DataExame, Peso, Fe, Asd, Vcn, OrdSeg1, Vc1) VALUES
    (7, '2024-06-15', 70, 55.5, 1, 1, 'hipocinesia', '{\rtf1 x}'),
    (7, '2023-01-02', 80, 60, 0, 0, NULL, NULL),
    (7, '2022-11-30', NULL, NULL, NULL, NULL, NULL, NULL),
    (8, '2021-05-05', 90, 1.25, 1, 1, NULL, NULL);
CREATE TABLE frase (CodFrase INTEGER PRIMARY KEY AUTOINCREMENT, Frase TEXT, Outros TEXT);
INSERT INTO frase (Frase, Outros) VALUES ('Normal', NULL), ('Dilatado', 'ver'),
    ('Hipertrofia', NULL);
CREATE TABLE medida (Id INTEGER PRIMARY KEY AUTOINCREMENT, Fe REAL, Asd INTEGER);
INSERT INTO medida (Fe, Asd) VALUES (55.5, 1), (60, NULL);
)";

// The exam history query, the phrase and measurement tables, and a window for one grid, whose
// model runs under the item model tester throughout.
struct Bench
{
    EngineFixture &fx;
    Query grelha;
    DataSource grelhaSource;
    Table frase;
    DataSource fraseSource;
    Table medida;
    DataSource medidaSource;
    QWidget window;
    QVBoxLayout *layout = new QVBoxLayout(&window);
    QLineEdit *elsewhere = new QLineEdit(&window); // somewhere for the focus to go
    DBGrid *grid = nullptr;
    std::unique_ptr<QAbstractItemModelTester> tester;

    explicit Bench(EngineFixture &fixture)
        : fx(fixture)
    {
        // The types a query takes from the schema for columns SQLite declares loosely.
        const std::pair<const char *, FieldType> types[] = {
            { "DataExame", FieldType::Date }, { "Peso", FieldType::SmallInt },
            { "Asd", FieldType::Boolean },    { "Vcn", FieldType::Boolean },
            { "OrdSeg1", FieldType::Memo },   { "Vc1", FieldType::FmtMemo },
        };
        for (const auto &[column, type] : types)
            fx.db().registerColumnType(u"eco"_s, QString::fromLatin1(column), type, 0);
        grelha.setSql(QStringList { u"SELECT * "_s, u"FROM eco"_s, u"WHERE paciente=:CP"_s });
        grelha.param(0).setAsInteger(7);
        grelhaSource.setDataset(&grelha);

        frase.setTableName(u"Frase.db"_s);
        frase.addField(u"CodFrase"_s, FieldType::AutoInc);
        frase.addField(u"Frase"_s, FieldType::String, 200);
        frase.addField(u"Outros"_s, FieldType::String, 200);
        frase.setIndexFieldNames(u"CodFrase"_s);
        fraseSource.setDataset(&frase);

        medida.setTableName(u"medida.DB"_s);
        medida.addField(u"Id"_s, FieldType::AutoInc);
        medida.addField(u"Fe"_s, FieldType::Float);
        medida.addField(u"Asd"_s, FieldType::Boolean);
        medidaSource.setDataset(&medida);

        layout->addWidget(elsewhere);
        window.resize(1200, 500);
    }

    DBGrid *addGrid(DataSource *source, const QList<DBGridColumn> &columns)
    {
        grid = new DBGrid(&window);
        grid->setDataSource(source);
        grid->setColumns(columns);
        layout->addWidget(grid);
        tester = std::make_unique<QAbstractItemModelTester>(
            grid->datasetModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        return grid;
    }

    // The phrase library as the practice edits it, shown and active.
    bool fraseGrid()
    {
        addGrid(&fraseSource,
                { DBGridColumn(u"CodFrase"_s, u"Código"_s, 43).setReadOnly(true),
                  DBGridColumn(u"Frase"_s, u"Frase"_s, 430),
                  DBGridColumn(u"Outros"_s, u"Obs."_s, 300) });
        frase.open();
        return showActive();
    }

    bool medidaGrid()
    {
        addGrid(&medidaSource,
                { DBGridColumn(u"Fe"_s), DBGridColumn(u"Asd"_s).setDisplayValues(u"O;."_s) });
        medida.open();
        return showActive();
    }

    bool showActive()
    {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }

    [[nodiscard]] int rows() const { return grid->model()->rowCount(); }
    [[nodiscard]] QString cell(int row, int column) const
    {
        return grid->model()->index(row, column).data().toString();
    }
    [[nodiscard]] QString indicator(int row) const
    {
        return grid->model()->headerData(row, Qt::Vertical).toString();
    }
    [[nodiscard]] bool editorOpen() const
    {
        const auto editors = grid->viewport()->findChildren<QLineEdit *>();
        return std::any_of(editors.begin(), editors.end(),
                           [](const QLineEdit *e) { return e->isVisible(); });
    }

    void click(int row, int column)
    {
        const QRect r = grid->visualRect(grid->model()->index(row, column));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, r.center());
    }
    // Keys go where the focus is: the grid, then the cell editor the first key opened.
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    }
    void type(const QString &text)
    {
        for (const QChar c : text)
            QTest::keyClicks(QApplication::focusWidget(), QString(c));
    }

    [[nodiscard]] QVariant stored(const QString &sql) { return fx.scalar(sql); }
};
} // namespace

class tst_DBGrid : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_fx = std::make_unique<EngineFixture>();
        m_fx->exec(QString::fromUtf8(kSchema));
        m_b = std::make_unique<Bench>(*m_fx);
    }
    void cleanup()
    {
        m_b.reset();
        m_fx.reset();
        m_env.reset();
    }

    void cellTexts_data();
    void cellTexts();
    void titlesAlignmentsAndColours();
    void currentRowFollowsTheDatasetBothWays();
    void lazyQueryIsReadAsTheViewAsks();
    void refreshingAWideQueryShowsItsRowsAgain();
    void doubleClickMakesTheRowCurrent();
    void typingEditsAndLeavingTheRowPosts();
    void insertKeyInsertsAtTheCurrentRow();
    void downOnTheLastRowAppends();
    void escRevertsTheCellThenCancelsTheRecord();
    void ctrlDeleteDeletesWithoutAsking();
    void untouchedInsertIsDroppedWhenTheFocusLeaves();
    void readOnlyGridRefusesEditing();
    void conversionErrorKeepsTheEditor();
    void logicalColumnsEditTheirOwnWords();

private:
    [[nodiscard]] DialogRecorder &recorder() const { return m_env->recorder(); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<EngineFixture> m_fx;
    std::unique_ptr<Bench> m_b;
};

void tst_DBGrid::cellTexts_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("displayValues");
    QTest::addColumn<QStringList>("texts"); // rows 0, 1, 2

    QTest::newRow("date") << u"DataExame"_s << QString()
                          << QStringList { u"15/06/2024"_s, u"02/01/2023"_s, u"30/11/2022"_s };
    QTest::newRow("integer") << u"Peso"_s << QString() << QStringList { u"70"_s, u"80"_s, {} };
    QTest::newRow("float") << u"Fe"_s << QString() << QStringList { u"55,5"_s, u"60"_s, {} };
    QTest::newRow("logical, own words")
        << u"Asd"_s << u"O;."_s << QStringList { u"O"_s, u"."_s, {} };
    QTest::newRow("logical, the field's words")
        << u"Vcn"_s << QString() << QStringList { u"True"_s, u"False"_s, {} };
    QTest::newRow("memo") << u"OrdSeg1"_s << QString()
                          << QStringList { u"(MEMO)"_s, u"(Memo)"_s, u"(Memo)"_s };
    QTest::newRow("formatted memo")
        << u"Vc1"_s << QString() << QStringList { u"(BLOB)"_s, u"(Blob)"_s, u"(Blob)"_s };
}

void tst_DBGrid::cellTexts()
{
    QFETCH(QString, field);
    QFETCH(QString, displayValues);
    QFETCH(QStringList, texts);
    Bench &b = *m_b;
    b.addGrid(&b.grelhaSource, { DBGridColumn(field).setDisplayValues(displayValues) });
    b.grelha.open();
    QCOMPARE(b.rows(), texts.size());
    for (int row = 0; row < texts.size(); ++row)
        QCOMPARE(b.cell(row, 0), texts[row]);
    // Closed, the grid keeps its columns and shows no rows.
    b.grelha.close();
    QCOMPARE(b.rows(), 0);
    QCOMPARE(b.grid->model()->columnCount(), 1);
}

void tst_DBGrid::titlesAlignmentsAndColours()
{
    Bench &b = *m_b;
    b.addGrid(&b.grelhaSource,
              { DBGridColumn(u"DataExame"_s, u"Data"_s, 143)
                    .setAlignment(Qt::AlignHCenter)
                    .setTitleAlignment(Qt::AlignHCenter),
                DBGridColumn(u"Peso"_s), DBGridColumn(u"OrdSeg1"_s).setTitleColor(Qt::red) });
    b.grid->setCellColors(QColor(0xC0C0C0), QColor(0x800000));
    b.grid->setTitleColor(QColor(0x000080));
    b.grelha.open();
    b.grelha.fieldByName(u"Peso"_s)->setDisplayLabel(u"Peso (kg)"_s);
    const QAbstractItemModel *m = b.grid->model();
    auto title = [m](int c, int role) { return m->headerData(c, Qt::Horizontal, role); };
    auto data = [m](int c, int role) { return m->index(0, c).data(role); };
    QCOMPARE(title(0, Qt::DisplayRole).toString(), u"Data"_s);
    QCOMPARE(title(1, Qt::DisplayRole).toString(), u"Peso (kg)"_s);
    QCOMPARE(title(0, Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
    QCOMPARE(title(1, Qt::TextAlignmentRole).toInt(), int(Qt::AlignLeft | Qt::AlignVCenter));
    QCOMPARE(data(0, Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
    QCOMPARE(data(1, Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
    QCOMPARE(data(2, Qt::TextAlignmentRole).toInt(), int(Qt::AlignLeft | Qt::AlignVCenter));
    QCOMPARE(data(2, Qt::BackgroundRole).value<QBrush>().color(), QColor(0xC0C0C0));
    QCOMPARE(data(2, Qt::ForegroundRole).value<QBrush>().color(), QColor(0x800000));
    QCOMPARE(title(1, Qt::ForegroundRole).value<QBrush>().color(), QColor(0x000080));
    QCOMPARE(title(2, Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::red));
    // Given widths hold; others fit the field's display width or the title.
    QCOMPARE(b.grid->columnWidth(0), 143);
    QVERIFY(b.grid->columnWidth(1) >= b.grid->fontMetrics().horizontalAdvance(u"000000"_s));
    // A width the user dragged survives the query's refresh.
    b.grid->horizontalHeader()->resizeSection(1, 222);
    b.grelha.close();
    b.grelha.open();
    QCOMPARE(b.grid->columnWidth(1), 222);
}

void tst_DBGrid::currentRowFollowsTheDatasetBothWays()
{
    Bench &b = *m_b;
    QVERIFY(b.fraseGrid());
    DBGrid *grid = b.grid;
    int scrolls = 0;
    b.frase.hooks().afterScroll = [&](Dataset &) { ++scrolls; };
    QCOMPARE(grid->currentIndex().row(), 0);
    QCOMPARE(b.indicator(0), u"\u25B6"_s);

    b.frase.next();
    QCOMPARE(grid->currentIndex().row(), 1);
    QCOMPARE(b.indicator(0), QString());
    QCOMPARE(b.indicator(1), u"\u25B6"_s);

    b.click(2, 1);
    QCOMPARE(b.frase.recNo(), 3);
    QCOMPARE(grid->currentIndex(), grid->model()->index(2, 1));
    QCOMPARE(scrolls, 2);

    b.key(Qt::Key_Up);
    QCOMPARE(b.frase.recNo(), 2);
    b.key(Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(b.frase.recNo(), 1);
    // Moving along a row leaves the record where it is.
    b.key(Qt::Key_Tab);
    QCOMPARE(grid->currentIndex(), grid->model()->index(0, 1));
    QCOMPARE(b.frase.recNo(), 1);
    QCOMPARE(scrolls, 4);
    QVERIFY(recorder().isEmpty());
}

void tst_DBGrid::lazyQueryIsReadAsTheViewAsks()
{
    Bench &b = *m_b;
    m_fx->exec(u"CREATE TABLE big (n INTEGER); WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL "
               "SELECT x + 1 FROM c WHERE x < 600) INSERT INTO big SELECT x FROM c;"_s);
    Query q;
    q.setSql(u"SELECT n FROM big ORDER BY n"_s);
    DataSource source;
    source.setDataset(&q);
    b.addGrid(&source, {}); // no columns configured: every field
    q.open();
    QAbstractItemModel *m = b.grid->model();
    QCOMPARE(m->headerData(0, Qt::Horizontal).toString(), u"n"_s);
    const int first = b.rows();
    QVERIFY(first < 600);
    QVERIFY(m->canFetchMore(QModelIndex()));
    m->fetchMore(QModelIndex());
    QVERIFY(b.rows() > first);
    QCOMPARE(b.cell(b.rows() - 1, 0), QString::number(b.rows()));

    // A move of the dataset that reads the rest brings them in, and the view to the end.
    q.last();
    QCOMPARE(b.rows(), 600);
    QVERIFY(!m->canFetchMore(QModelIndex()));
    QCOMPARE(b.grid->currentIndex().row(), 599);
    QCOMPARE(b.cell(599, 0), u"600"_s);
}

// What a refresh costs is measured by bench_history, on the exam history itself.
void tst_DBGrid::refreshingAWideQueryShowsItsRowsAgain()
{
    Bench &b = *m_b;
    // Fifty-one columns, as the exam history shows them.
    QStringList columns;
    QList<DBGridColumn> gridColumns;
    for (int c = 0; c < 51; ++c) {
        columns.append(u"c%1 REAL"_s.arg(c));
        gridColumns.append(DBGridColumn(u"c%1"_s.arg(c), u"Coluna %1"_s.arg(c), 64));
    }
    m_fx->exec(u"CREATE TABLE wide (p INTEGER, %1)"_s.arg(columns.join(u", "_s)));
    m_fx->exec(u"WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r WHERE x < 200) "
               "INSERT INTO wide SELECT 7, %1 FROM r"_s.arg(
                   QString(u"x * 1.5, "_s.repeated(51)).chopped(2)));
    Query q;
    q.setSql(QStringList { u"SELECT * "_s, u"FROM wide"_s, u"WHERE p=:CP"_s });
    DataSource source;
    source.setDataset(&q);
    b.addGrid(&source, gridColumns);
    QVERIFY(b.showActive());

    for (int run = 0; run < 2; ++run) {
        q.close();
        q.param(0).setAsInteger(7);
        q.open();
        b.grid->viewport()->repaint();
        QCOMPARE(b.rows(), 200);
        QCOMPARE(b.cell(199, 50), u"300"_s);
    }
}

void tst_DBGrid::doubleClickMakesTheRowCurrent()
{
    Bench &b = *m_b;
    DBGrid *grid = b.addGrid(&b.grelhaSource, { DBGridColumn(u"DataExame"_s, u"Data"_s) });
    grid->setReadOnly(true);
    QSignalSpy clicked(grid, &DBGrid::rowDoubleClicked);
    b.grelha.open();
    QVERIFY(b.showActive());

    const QRect r = grid->visualRect(grid->model()->index(1, 0));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, r.center());
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(b.grelha.fieldByName(u"DataExame"_s)->asDate(), QDate(2023, 1, 2));
    grid->doubleClickRow(2);
    QCOMPARE(clicked.count(), 2);
    QCOMPARE(b.grelha.recNo(), 3);

    // A patient without exams: the grid is empty and still answers.
    b.grelha.close();
    b.grelha.param(0).setAsInteger(99);
    b.grelha.open();
    QCOMPARE(b.rows(), 0);
    grid->doubleClickRow(-1);
    QCOMPARE(clicked.count(), 3);
}

void tst_DBGrid::typingEditsAndLeavingTheRowPosts()
{
    Bench &b = *m_b;
    QVERIFY(b.fraseGrid());
    Field *frase = b.frase.fieldByName(u"Frase"_s);
    b.click(0, 1);
    b.type(u"Normal sem"_s);
    QCOMPARE(b.frase.state(), DatasetState::Edit);
    QCOMPARE(b.indicator(0), u"I"_s);
    QCOMPARE(frase->asString(), u"Normal"_s); // still in the editor
    // Tab writes the cell and goes on editing the next one.
    b.key(Qt::Key_Tab);
    QCOMPARE(frase->asString(), u"Normal sem"_s);
    QCOMPARE(b.grid->currentIndex().column(), 2);
    QVERIFY(b.editorOpen());
    b.type(u"nada"_s);
    b.key(Qt::Key_Down);
    QCOMPARE(b.frase.state(), DatasetState::Browse);
    QCOMPARE(b.grid->currentRow(), 1);
    QCOMPARE(b.stored(u"SELECT Frase || '/' || Outros FROM frase WHERE CodFrase = 1"_s).toString(),
             u"Normal sem/nada"_s);
    QCOMPARE(b.cell(0, 1), u"Normal sem"_s);

    // A row whose typing was abandoned is cancelled when left, not written.
    b.type(u"x"_s);
    b.key(Qt::Key_Escape);
    b.click(2, 2);
    QCOMPARE(b.frase.state(), DatasetState::Browse);
    QCOMPARE(b.stored(u"SELECT Outros FROM frase WHERE CodFrase = 2"_s).toString(), u"ver"_s);

    // Clicking another row writes the open cell and posts.
    b.type(u"fim"_s);
    b.click(0, 2);
    QCOMPARE(b.frase.recNo(), 1);
    QCOMPARE(b.stored(u"SELECT Outros FROM frase WHERE CodFrase = 3"_s).toString(), u"fim"_s);
    // The code column is the table's: no editor opens on it.
    b.click(0, 0);
    b.type(u"5"_s);
    QVERIFY(!b.editorOpen());
    QCOMPARE(b.frase.state(), DatasetState::Browse);
    QVERIFY(recorder().isEmpty());
}

void tst_DBGrid::insertKeyInsertsAtTheCurrentRow()
{
    Bench &b = *m_b;
    QVERIFY(b.fraseGrid());
    b.click(1, 1);
    b.key(Qt::Key_Insert);
    QCOMPARE(b.frase.state(), DatasetState::Insert);
    QCOMPARE(b.rows(), 4);
    QCOMPARE(b.grid->currentIndex(), b.grid->model()->index(1, 1));
    QCOMPARE(b.indicator(1), u"*"_s);
    QCOMPARE(b.cell(1, 1), QString());
    QCOMPARE(b.cell(2, 1), u"Dilatado"_s);

    // Posted on leaving, in code order, with the code the table gave it.
    b.type(u"Nova"_s);
    b.key(Qt::Key_Up);
    QCOMPARE(b.frase.state(), DatasetState::Browse);
    QCOMPARE(b.rows(), 4);
    QCOMPARE(b.cell(3, 0), u"4"_s);
    QCOMPARE(b.cell(3, 1), u"Nova"_s);
    QCOMPARE(b.stored(u"SELECT Frase FROM frase WHERE CodFrase = 4"_s).toString(), u"Nova"_s);
    QCOMPARE(b.grid->currentRow(), b.frase.recNo() - 1);

    // Insert from inside an editor writes the cell first.
    b.click(0, 2);
    b.type(u"obs"_s);
    b.key(Qt::Key_Insert);
    QCOMPARE(b.frase.state(), DatasetState::Insert);
    QCOMPARE(b.stored(u"SELECT Outros FROM frase WHERE CodFrase = 1"_s).toString(), u"obs"_s);
    QCOMPARE(b.grid->currentRow(), 0);
    QCOMPARE(b.rows(), 5);
    QVERIFY(recorder().isEmpty());
}

void tst_DBGrid::downOnTheLastRowAppends()
{
    Bench &b = *m_b;
    QVERIFY(b.fraseGrid());
    b.click(2, 1);
    b.key(Qt::Key_Down);
    QCOMPARE(b.frase.state(), DatasetState::Insert);
    QCOMPARE(b.rows(), 4);
    QCOMPARE(b.grid->currentIndex(), b.grid->model()->index(3, 1));
    // Nothing typed: Down stays, Up drops the new row and goes to the one above.
    b.key(Qt::Key_Down);
    QCOMPARE(b.rows(), 4);
    b.key(Qt::Key_Up);
    QCOMPARE(b.frase.state(), DatasetState::Browse);
    QCOMPARE(b.rows(), 3);
    QCOMPARE(b.frase.recNo(), 3);

    // Typed into, the new row is posted by the next Down, which appends another.
    b.key(Qt::Key_Down);
    b.type(u"Derrame"_s);
    b.key(Qt::Key_Down);
    QCOMPARE(b.stored(u"SELECT Frase FROM frase WHERE CodFrase = 4"_s).toString(), u"Derrame"_s);
    QCOMPARE(b.frase.state(), DatasetState::Insert);
    QCOMPARE(b.rows(), 5);
    QCOMPARE(b.grid->currentRow(), 4);

    QVERIFY(recorder().isEmpty());
}

void tst_DBGrid::escRevertsTheCellThenCancelsTheRecord()
{
    Bench &b = *m_b;
    QVERIFY(b.fraseGrid());
    Field *frase = b.frase.fieldByName(u"Frase"_s);
    b.click(0, 1);
    b.type(u"Outra"_s);
    b.key(Qt::Key_Tab);
    QCOMPARE(frase->asString(), u"Outra"_s);
    b.key(Qt::Key_Escape); // the next cell's editor, with nothing typed
    QCOMPARE(b.frase.state(), DatasetState::Browse);
    QCOMPARE(b.cell(0, 1), u"Normal"_s);

    // The first Esc drops what the open cell holds, the second the record's changes.
    b.click(0, 1);
    b.type(u"Mais"_s);
    b.key(Qt::Key_Escape);
    QVERIFY(!b.editorOpen());
    QVERIFY(b.grid->hasFocus());
    QCOMPARE(b.frase.state(), DatasetState::Edit);
    QCOMPARE(frase->asString(), u"Normal"_s);
    b.key(Qt::Key_Escape);
    QCOMPARE(b.frase.state(), DatasetState::Browse);

    // An inserted row goes with its record.
    b.key(Qt::Key_Insert);
    b.type(u"Nada"_s);
    b.key(Qt::Key_Tab);
    b.key(Qt::Key_Escape);
    QCOMPARE(b.frase.state(), DatasetState::Browse);
    QCOMPARE(b.rows(), 3);
    QCOMPARE(b.stored(u"SELECT count(*) FROM frase"_s).toInt(), 3);
    QVERIFY(recorder().isEmpty());
}

void tst_DBGrid::ctrlDeleteDeletesWithoutAsking()
{
    Bench &b = *m_b;
    QVERIFY(b.fraseGrid());
    b.click(1, 1);
    b.key(Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(b.stored(u"SELECT count(*) FROM frase WHERE CodFrase = 2"_s).toInt(), 0);
    QCOMPARE(b.rows(), 2);
    QCOMPARE(b.cell(1, 1), u"Hipertrofia"_s);
    QCOMPARE(b.grid->currentRow(), 1);

    // From inside an editor too, and what it held goes with the record.
    b.type(u"abc"_s);
    b.key(Qt::Key_Delete, Qt::ControlModifier);
    QVERIFY(!b.editorOpen());
    QCOMPARE(b.stored(u"SELECT count(*) FROM frase"_s).toInt(), 1);

    // A row being inserted is dropped; an empty table is left alone.
    b.key(Qt::Key_Insert);
    b.key(Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(b.frase.state(), DatasetState::Browse);
    QCOMPARE(b.rows(), 1);
    b.key(Qt::Key_Delete, Qt::ControlModifier);
    b.key(Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(b.rows(), 0);
    QVERIFY(recorder().isEmpty()); // no question, no error
}

void tst_DBGrid::untouchedInsertIsDroppedWhenTheFocusLeaves()
{
    Bench &b = *m_b;
    QVERIFY(b.fraseGrid());
    b.click(0, 1);
    b.key(Qt::Key_Insert);
    QCOMPARE(b.rows(), 4);
    b.elsewhere->setFocus();
    QCOMPARE(b.frase.state(), DatasetState::Browse);
    QCOMPARE(b.rows(), 3);
    QCOMPARE(b.grid->currentRow(), 0);

    // Typed into, it stays, with what the editor held written into it.
    b.grid->setFocus();
    b.key(Qt::Key_Insert);
    b.type(u"Fica"_s);
    b.elsewhere->setFocus();
    QCOMPARE(b.frase.state(), DatasetState::Insert);
    QCOMPARE(b.frase.fieldByName(u"Frase"_s)->asString(), u"Fica"_s);
    b.frase.post();

    // Its own cell editor is no exit from the grid; leaving from there is.
    b.click(0, 1);
    b.key(Qt::Key_Insert);
    b.key(Qt::Key_F2);
    QVERIFY(b.editorOpen());
    QCOMPARE(b.frase.state(), DatasetState::Insert);
    b.elsewhere->setFocus();
    QCOMPARE(b.frase.state(), DatasetState::Browse);
    QCOMPARE(b.rows(), 4);
    QVERIFY(recorder().isEmpty());
}

void tst_DBGrid::readOnlyGridRefusesEditing()
{
    Bench &b = *m_b;
    QVERIFY(b.fraseGrid());
    b.grid->setReadOnly(true);
    b.click(0, 1);
    b.type(u"abc"_s);
    b.key(Qt::Key_F2);
    QVERIFY(!b.editorOpen());
    b.key(Qt::Key_Insert);
    b.key(Qt::Key_Delete, Qt::ControlModifier);
    b.key(Qt::Key_End, Qt::ControlModifier);
    b.key(Qt::Key_Down);
    QCOMPARE(b.frase.state(), DatasetState::Browse);
    QCOMPARE(b.frase.recNo(), 3);
    QCOMPARE(b.rows(), 3);
    QCOMPARE(b.stored(u"SELECT count(*) FROM frase"_s).toInt(), 3);

    // A grid that may edit still cannot change a query's rows.
    b.addGrid(&b.grelhaSource, { DBGridColumn(u"Peso"_s) });
    b.grelha.open();
    QVERIFY(!(b.grid->model()->index(0, 0).flags() & Qt::ItemIsEditable));
    QVERIFY(recorder().isEmpty());
}

void tst_DBGrid::conversionErrorKeepsTheEditor()
{
    Bench &b = *m_b;
    QVERIFY(b.medidaGrid());
    Field *fe = b.medida.fieldByName(u"Fe"_s);
    b.click(0, 0);
    b.type(u"6,5,1"_s);
    b.key(Qt::Key_Tab);
    const QString message = u"'6,5,1' is not a valid floating point value for field 'Fe'."_s;
    QCOMPARE(recorder().applicationErrors(), QStringList { message });
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor && b.editorOpen());
    QCOMPARE(editor->selectedText(), u"6,5,1"_s);
    QCOMPARE(fe->asFloat(), 55.5);
    QCOMPARE(b.grid->currentIndex(), b.grid->model()->index(0, 0));

    // Neither another row nor another control takes the text away; each try says why once.
    b.key(Qt::Key_Down);
    QCOMPARE(recorder().applicationErrors().size(), 2);
    b.click(1, 0);
    QCOMPARE(recorder().applicationErrors().size(), 3);
    b.elsewhere->setFocus();
    QCOMPARE(recorder().applicationErrors(), QStringList(4, message));
    QCOMPARE(QApplication::focusWidget(), editor);
    QCOMPARE(editor->selectedText(), u"6,5,1"_s);
    QCOMPARE(b.medida.recNo(), 1);
    QCOMPARE(fe->asFloat(), 55.5);
    // Nor does a post.
    QVERIFY(!errorOf([&] { b.medida.post(); }).isEmpty());
    QCOMPARE(b.medida.state(), DatasetState::Edit);

    b.type(u"6,5"_s);
    b.key(Qt::Key_Down);
    QCOMPARE(b.stored(u"SELECT Fe FROM medida WHERE Id = 1"_s).toDouble(), 6.5);
    QCOMPARE(b.cell(0, 0), u"6,5"_s);
    QCOMPARE(b.medida.recNo(), 2);
    QCOMPARE(recorder().applicationErrors().size(), 4);
}

void tst_DBGrid::logicalColumnsEditTheirOwnWords()
{
    Bench &b = *m_b;
    QVERIFY(b.medidaGrid());
    b.click(0, 1);
    b.type(u"."_s);
    // Tab from the last column goes on to the next row, posting this one.
    b.key(Qt::Key_Tab);
    QCOMPARE(b.stored(u"SELECT Asd FROM medida WHERE Id = 1"_s).toInt(), 0);
    QCOMPARE(b.cell(0, 1), u"."_s);
    QCOMPARE(b.grid->currentIndex(), b.grid->model()->index(1, 0));
    // A number takes no letter: a beep, and the record stays as it was.
    b.type(u"o"_s);
    QCOMPARE(b.medida.state(), DatasetState::Browse);
    b.click(0, 1);
    b.type(u"o"_s);
    b.key(Qt::Key_Down);
    QCOMPARE(b.stored(u"SELECT Asd FROM medida WHERE Id = 1"_s).toInt(), 1);
    QCOMPARE(recorder().beeps(), 1);
}

QTEST_MAIN(tst_DBGrid)
#include "tst_DBGrid.moc"
