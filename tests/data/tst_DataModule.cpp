#include "data/DM.h"
#include "data/MainWindowCallbacks.h"
#include "data/Schema.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/SqliteStore.h"
#include "platform/engine/StorageFault.h"
#include "platform/widgets/Clock.h"
#include "platform/widgets/DialogRecorder.h"
#include "support/EngineFixture.h"
#include "support/MemoryRecordLocks.h"
#include "platform/engine/PgConnection.h"
#include "support/PgTestDatabase.h"
#include "support/PracticeDirectory.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sqlite3.h>
#include <sys/stat.h>

namespace {
// Stands in for the main window: the navigator's edit action and the grid page.
class FakeMainWindow : public MainWindowCallbacks
{
public:
    bool gridShown = false;
    int gridRefreshes = 0;
    int formatResets = 0;

    void examNavigatorEdit() override { DataModule1->TableEco->edit(); }
    void ResetFormatButtons() override { ++formatResets; }
    void PageControl2Change() override { ++gridRefreshes; }
    bool gridPageShown() const override { return gridShown; }
};

const char *const kPractice = R"(
INSERT INTO convencao (CODIGO, SIGLA, ENTIDADE, ACTIVO) VALUES (1, 'Particular', 'Particular', 1);
INSERT INTO medico (CODIGO, NOME, ACTIVO) VALUES (1, 'DR ACTIVO', 1), (2, 'DR INACTIVO', 0);
INSERT INTO bddid (NF, NOME, DNASC, BENIF) VALUES (3, 'CARLOS SOUSA', '1950-02-01', '1'),
    (7, 'ANA MARIA COSTA', '2000-06-15', '1');
INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor) VALUES
    (7, '2024-06-14 09:00:00.000', '2024-06-14', 1),
    (7, '2024-06-01 09:00:00.000', '2024-06-01', 1),
    (3, '2024-06-14 11:00:00.000', '2024-06-14', 1);
INSERT INTO imagem (CodpacienteI, DodExamei, C1, C2, C3, C4, C5, C6, C7, C8, C9, C10, C11, C12,
    C13, C14, C15, C16) VALUES
    (7, '2024-06-14 09:00:00.000', 1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1),
    (7, '2024-06-01 09:00:00.000', 2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2),
    (3, '2024-06-14 11:00:00.000', 3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3);
)";
} // namespace

class tst_DataModule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_dir = std::make_unique<PracticeDirectory>(QString::fromUtf8(kPractice));
    }
    void cleanup()
    {
        stop();
        m_dir.reset();
        m_env.reset();
    }

    void windowsMadeEarlierAreBoundOnLoad();
    void upgradeRunsOnceAndQuietly();
    void missingTableGivesOneMessageAndOthersOpen();
    void executaQueryResults();
    void staleLockFilesAreRemoved();
    void ageRule_data();
    void ageRule();
    void newExamGetsKeyDateAgeAndScores();
    void examLockByDate();
    void noDoctorWarningOnceAndStored();
    void editWithoutScoreRowCreatesOne();
    void deleteRemovesOnlyItsScores();
    void gridRefreshOnlyWhenShown();
    void newPatientWithoutHealthSystemBlocksExam();
    void cancelledNewExamLeavesNoScoreRow();
    void cancelledEditDropsScoreChanges();
    void lockedExamRefusesScoreChange();
    void undatedExamIsLocked();
    void rowsLockedElsewhereStayInBrowse();
    void unpostedEditsAreDroppedAtExit();
    void storageFaults_data();
    void storageFaults();

private:
    void start()
    {
        m_module = std::make_unique<TDataModule1>();
        DataModule1 = m_module.get();
        m_module->setMainWindowCallbacks(&m_main);
        m_module->load();
    }
    void stop()
    {
        m_module.reset();
        DataModule1 = nullptr;
    }
    QVariant scalar(const QString &sql) { return scalarOn(m_module->Database2, sql); }
    static QVariant scalarOn(Database *db, const QString &sql)
    {
        SqlStatement st(db->connection(), sql);
        return st.step() ? st.value(0) : QVariant();
    }
    void setNow(const QDateTime &now) { m_env->clock().setNow(now); }
    void openPatient(int nf) { QVERIFY(m_module->TablePac->locate(QStringLiteral("NF"), nf)); }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<PracticeDirectory> m_dir;
    std::unique_ptr<TDataModule1> m_module;
    FakeMainWindow m_main;
};

namespace {
enum Fault { ReadOnlyFile, ReadOnlyDir, ZeroLength, HalfCreated, Damaged, NewerVersion, DiskFull };

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing");
}

int onFile(const QString &path, const QString &sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr);
    const int value = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : 0;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return value;
}

// Puts the fault into the practice's database file or its folder.
void makeFault(Fault fault, const QString &dir)
{
    const QString path = SqliteStore::filePath(dir);
    if (fault == ReadOnlyFile || fault == ReadOnlyDir)
        ::chmod(QFile::encodeName(fault == ReadOnlyDir ? dir : path).constData(), 0500);
    if (fault == ZeroLength || fault == HalfCreated) // a header and no table, for the second
        QFile(path).resize(0);
    if (fault == HalfCreated)
        onFile(path, QStringLiteral("PRAGMA user_version = 0"));
    if (fault == NewerVersion)
        onFile(path, QStringLiteral("PRAGMA user_version = %1").arg(Schema::Version + 1));
    if (fault == Damaged) {
        const int page = onFile(path, QStringLiteral("SELECT rootpage FROM sqlite_master "
                                                     "WHERE name = 'eco'"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite) && f.seek(qint64(page - 1) * 4096));
        f.write(QByteArray(4096, '\xff'));
    }
}
} // namespace

void tst_DataModule::windowsMadeEarlierAreBoundOnLoad()
{
    QObject window;
    auto gone = std::make_unique<QObject>();
    QStringList seen;
    TDataModule1::bindWhenLoaded(&window, [&seen](TDataModule1 &dm) {
        seen << (dm.TablePac->isActive() ? QStringLiteral("open") : QStringLiteral("closed"));
    });
    TDataModule1::bindWhenLoaded(gone.get(),
                                 [&seen](TDataModule1 &) { seen << QStringLiteral("gone"); });
    gone.reset();
    start();
    // Bound before the tables opened, so the controls hear the first rows arrive.
    QCOMPARE(seen, QStringList { QStringLiteral("closed") });
    TDataModule1::bindWhenLoaded(&window, [&seen](TDataModule1 &dm) {
        seen << (dm.TablePac->isActive() ? QStringLiteral("open") : QStringLiteral("closed"));
    });
    QCOMPARE(seen, (QStringList { QStringLiteral("closed"), QStringLiteral("open") }));
}

// An older database gains the technician column and loses the times of its birth dates, once.
void tst_DataModule::upgradeRunsOnceAndQuietly()
{
    if (PgTestDatabase::wanted())
        QSKIP("works on the SQLite file itself");
    const auto exec = [this](const QString &sql) {
        QSqlDatabase db = SqliteStore::open(m_dir->path(), QStringLiteral("old"), false);
        SqliteStore::exec(SqliteStore::handle(db), sql);
        db = QSqlDatabase();
        SqliteStore::close(QStringLiteral("old"));
    };
    exec(QStringLiteral("ALTER TABLE eco DROP COLUMN tecnico; PRAGMA user_version = 0;"
                        "UPDATE bddid SET DNASC = DNASC || ' 00:00:00.000'"));
    const QString timestamps
        = QStringLiteral("SELECT count(*) FROM bddid WHERE length(DNASC) > 10");
    start();
    QVERIFY(m_env->recorder().isEmpty());
    QVERIFY(m_module->TableEco->isActive());
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM pragma_table_info('eco') WHERE name = "
                                   "'tecnico'"))
                 .toInt(),
             1);
    QCOMPARE(scalar(timestamps).toInt(), 0);
    QVERIFY(scalar(QStringLiteral("SELECT count(*) FROM bddid WHERE length(DNASC) = 10")).toInt()
            > 0);
    QCOMPARE(scalar(QStringLiteral("PRAGMA user_version")).toInt(), Schema::Version);
    stop();
    // What other software writes later is its own business.
    exec(QStringLiteral("UPDATE bddid SET DNASC = DNASC || ' 00:00:00.000'"));
    start();
    QVERIFY(m_env->recorder().isEmpty());
    QVERIFY(m_module->TableEco->isActive());
    QVERIFY(scalar(timestamps).toInt() > 0);
}

void tst_DataModule::missingTableGivesOneMessageAndOthersOpen()
{
    if (PgTestDatabase::wanted()) {
        PgConnection(m_dir->location()).exec(QStringLiteral("DROP TABLE frase"));
    } else {
        {
            QSqlDatabase db = SqliteStore::open(m_dir->path(), QStringLiteral("drop"), false);
            SqliteStore::exec(SqliteStore::handle(db), QStringLiteral("DROP TABLE frase"));
        }
        SqliteStore::close(QStringLiteral("drop"));
    }
    start();
    QCOMPARE(m_env->recorder().messages(),
             QStringList { QStringLiteral("ATENÇÃO:\r\rErro ao abrir «« Frase.db »»") });
    QVERIFY(!m_module->TableFrase->isActive());
    QVERIFY(m_module->TableMed->isActive());
    QVERIFY(m_module->TableConc->isActive());
    QCOMPARE(errorOf([&] { m_module->TableFrase->append(); }),
             QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void tst_DataModule::executaQueryResults()
{
    start();
    QVERIFY(!m_module->ExecutaQuery(QStringLiteral("select * from bddid where NF = ?"), 99, true));
    QVERIFY(m_module->Query1->isActive());
    QVERIFY(m_module->Query1->isEmpty());
    QVERIFY(m_module->ExecutaQuery(QStringLiteral("select NOME from bddid where NF = ?"), 7, true));
    QCOMPARE(m_module->Query1->field(0)->asString(), QStringLiteral("ANA MARIA COSTA"));
    QVERIFY(!m_module->ExecutaQuery(QStringLiteral("update eco set Peso = 70"), QVariant(), false));
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM eco WHERE Peso = 70")).toInt(), 3);
    QVERIFY(!errorOf([&] {
                 m_module->ExecutaQuery(QStringLiteral("select * from nada"), QVariant(), true);
             }).isEmpty());
    TDataModule1::ExecutaComando(QStringLiteral("select * from nada"));
}

void tst_DataModule::staleLockFilesAreRemoved()
{
    QTemporaryDir cwd;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(cwd.path());
    for (const char *name : { "Paradox.lck", "Pdoxusrs.lck" }) {
        QFile f(QString::fromLatin1(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    start();
    const bool gone = !QFile::exists(QStringLiteral("Paradox.lck"))
        && !QFile::exists(QStringLiteral("Pdoxusrs.lck"));
    QDir::setCurrent(previous);
    QVERIFY(gone);
}

void tst_DataModule::ageRule_data()
{
    QTest::addColumn<QDate>("birth");
    QTest::addColumn<QDate>("examDay");
    QTest::addColumn<QVariant>("age");
    QTest::newRow("day before birthday")
        << QDate(2000, 6, 15) << QDate(2024, 6, 14) << QVariant(23);
    QTest::newRow("birthday") << QDate(2000, 6, 15) << QDate(2024, 6, 15) << QVariant(24);
    QTest::newRow("day after") << QDate(2000, 6, 15) << QDate(2024, 6, 16) << QVariant(24);
    QTest::newRow("born on the exam day") << QDate(2024, 3, 1) << QDate(2024, 3, 1) << QVariant(0);
    QTest::newRow("two days old") << QDate(2024, 3, 1) << QDate(2024, 3, 3) << QVariant(0);
    QTest::newRow("centenarian") << QDate(1920, 5, 5) << QDate(2024, 5, 20) << QVariant(104);
    QTest::newRow("29 February, common year")
        << QDate(2000, 2, 29) << QDate(2023, 2, 28) << QVariant(23);
    QTest::newRow("29 February, day before")
        << QDate(2000, 2, 29) << QDate(2023, 2, 27) << QVariant(22);
    QTest::newRow("no birth date") << QDate() << QDate(2024, 6, 15) << QVariant();
    QTest::newRow("born after the exam") << QDate(2024, 6, 16) << QDate(2024, 6, 15) << QVariant();
}

void tst_DataModule::ageRule()
{
    QFETCH(QDate, birth);
    QFETCH(QDate, examDay);
    QFETCH(QVariant, age);
    const QVariant got
        = TDataModule1::ageOnExamDay(birth.isValid() ? QVariant(birth) : QVariant(), examDay);
    QCOMPARE(got.isValid(), age.isValid());
    if (age.isValid())
        QCOMPARE(got.toInt(), age.toInt());
}

void tst_DataModule::newExamGetsKeyDateAgeAndScores()
{
    const QDateTime now(QDate(2024, 6, 15), QTime(10, 30, 0, 123));
    setNow(now);
    start();
    openPatient(7);
    m_module->TableEco->insert();
    QCOMPARE(m_module->TableEcoCodigoPaciente->asFloat(), 7.0);
    QCOMPARE(m_module->TableEcoCodigoExame->asDateTime(), now);
    QCOMPARE(m_module->TableEcoDataExame->asDate(), QDate(2024, 6, 15));
    QCOMPARE(m_module->TableEcoIdade->asInteger(), 24);
    QCOMPARE(m_module->TableIMG->state(), DatasetState::Insert);
    QCOMPARE(m_module->TableIMGDodExamei->asDateTime(), now);
    QCOMPARE(m_module->TableIMGCodpacienteI->asFloat(), 7.0);
    for (int i = 1; i <= 16; ++i)
        QCOMPARE(m_module->TableIMG->fieldByName(QStringLiteral("C%1").arg(i))->asInteger(), 1);
    m_module->TableEcoExecutor->setAsInteger(1);
    m_module->TableEco->post();
    QCOMPARE(m_main.formatResets, 1);
    QCOMPARE(scalar(QStringLiteral("SELECT C16 FROM imagem WHERE DodExamei = "
                                   "'2024-06-15 10:30:00.123' AND CodpacienteI = 7.0"))
                 .toInt(),
             1);
    QCOMPARE(scalar(QStringLiteral("SELECT Idade FROM eco WHERE CodigoExame = "
                                   "'2024-06-15 10:30:00.123'"))
                 .toInt(),
             24);
}

void tst_DataModule::examLockByDate()
{
    setNow(QDateTime(QDate(2024, 3, 10), QTime(23, 59)));
    start();
    openPatient(3);
    m_module->TableEco->insert();
    m_module->TableEcoExecutor->setAsInteger(1);
    m_module->TableEco->post();
    const QDateTime created = m_module->TableEcoCodigoExame->asDateTime();
    stop();

    // Edit the exam on a given day; true when the lock let it through. A refusal must come with
    // its message and leave the exam browsing.
    bool refusedCleanly = false;
    auto editOn = [&](const QDate &day, const std::function<void()> &whileEditing) {
        setNow(QDateTime(day, QTime(0, 0, 1)));
        start();
        openPatient(3);
        if (!m_module->TableEco->locate(QStringLiteral("CodigoExame"), created))
            return false;
        m_env->recorder().clear();
        try {
            m_module->TableEco->edit();
        } catch (const SilentAbort &) {
            const bool told = m_env->recorder().messages()
                == QStringList { QStringLiteral("ATENÇÃO: este EXAME não pode ser alterado!") };
            refusedCleanly = told && m_module->TableEco->state() == DatasetState::Browse;
            stop();
            return false;
        }
        whileEditing();
        stop();
        return true;
    };
    const auto cancel = [&] { m_module->TableEco->cancel(); };
    QVERIFY(editOn(QDate(2024, 3, 11), cancel));
    QVERIFY(!editOn(QDate(2024, 3, 12), cancel));
    QVERIFY(refusedCleanly);
    QVERIFY(!editOn(QDate(2025, 1, 1), cancel));
    QVERIFY(refusedCleanly);

    // Moving the exam date to the day of an allowed edit makes it editable the next day.
    QVERIFY(editOn(QDate(2024, 3, 11), [&] {
        m_module->TableEcoDataExame->setAsDate(QDate(2024, 3, 11));
        m_module->TableEco->post();
    }));
    QVERIFY(editOn(QDate(2024, 3, 12), cancel));
    QVERIFY(!editOn(QDate(2024, 3, 13), cancel));
    QVERIFY(refusedCleanly);

    // An exam dated in the future can be edited.
    setNow(QDateTime(QDate(2024, 6, 1), QTime(12, 0)));
    start();
    openPatient(7);
    QVERIFY(m_module->TableEco->locate(QStringLiteral("DataExame"), QDate(2024, 6, 14)));
    m_module->TableEco->edit();
    QCOMPARE(m_module->TableEco->state(), DatasetState::Edit);
}

void tst_DataModule::noDoctorWarningOnceAndStored()
{
    start();
    openPatient(7);
    m_module->TableEco->insert();
    m_module->TableEco->post();
    QCOMPARE(
        m_env->recorder().messages(),
        QStringList { QStringLiteral("Por favor seleccione um Médico ou Técnico (ou ambos).") });
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM eco WHERE CodigoPaciente = 7")).toInt(),
             3);
    // A technician alone is enough.
    m_env->recorder().clear();
    m_env->clock().advance(1000);
    m_module->TableEco->insert();
    m_module->TableEcotecnico->setAsInteger(2);
    m_module->TableEco->post();
    QVERIFY(m_env->recorder().messages().isEmpty());
}

void tst_DataModule::editWithoutScoreRowCreatesOne()
{
    start();
    Query delete1;
    delete1.setSql(QStringLiteral("DELETE FROM imagem WHERE CodpacienteI = 3"));
    delete1.execSql();
    openPatient(3);
    QVERIFY(m_module->TableIMG->isEmpty());
    m_module->TableEco->edit();
    QCOMPARE(m_module->TableIMG->state(), DatasetState::Insert);
    QCOMPARE(m_module->TableIMGC9->asInteger(), 1);
    m_module->TableEco->post();
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM imagem WHERE CodpacienteI = 3 AND "
                                   "C1 + C2 + C3 + C4 + C5 + C6 + C7 + C8 + C9 + C10 + C11 + C12 "
                                   "+ C13 + C14 + C15 + C16 = 16"))
                 .toInt(),
             1);
}

void tst_DataModule::deleteRemovesOnlyItsScores()
{
    start();
    openPatient(7);
    QVERIFY(m_module->TableEco->locate(QStringLiteral("DataExame"), QDate(2024, 6, 1)));
    m_module->TableEco->deleteRecord();
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM imagem")).toInt(), 2);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM imagem WHERE C1 = 2")).toInt(), 0);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM eco")).toInt(), 2);
    QCOMPARE(m_module->TableIMGC1->asInteger(), 1);
}

void tst_DataModule::gridRefreshOnlyWhenShown()
{
    start();
    m_main.gridRefreshes = 0;
    m_module->TablePac->next();
    QCOMPARE(m_main.gridRefreshes, 0);
    m_main.gridShown = true;
    m_module->TablePac->first();
    QCOMPARE(m_main.gridRefreshes, 1);
    openPatient(3);
    QCOMPARE(m_main.gridRefreshes, 2);
}

void tst_DataModule::newPatientWithoutHealthSystemBlocksExam()
{
    start();
    m_module->TablePac->append();
    m_module->TablePacNOME->setAsString(QStringLiteral("PACIENTE NOVO"));
    QCOMPARE(errorOf([&] { m_module->TableEco->insert(); }),
             QStringLiteral("Field 'BENIF' must have a value"));
    QCOMPARE(m_module->TablePac->state(), DatasetState::Insert);
    QCOMPARE(m_module->TableEco->state(), DatasetState::Browse);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM eco")).toInt(), 3);
    // With a health system the patient is posted first and the exam follows.
    m_module->TablePacBENIF->setAsString(QStringLiteral("1"));
    m_module->TableEco->insert();
    QVERIFY(m_module->TablePacCODIGO->asInteger() > 7);
    QCOMPARE(m_module->TableEcoCodigoPaciente->asFloat(),
             double(m_module->TablePacCODIGO->asInteger()));
}

void tst_DataModule::cancelledNewExamLeavesNoScoreRow()
{
    start();
    openPatient(7);
    m_module->TableEco->insert();
    m_module->TableEco->cancel();
    QCOMPARE(m_module->TableIMG->state(), DatasetState::Browse);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM imagem")).toInt(), 3);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM eco")).toInt(), 3);
}

void tst_DataModule::cancelledEditDropsScoreChanges()
{
    start();
    openPatient(7);
    QVERIFY(m_module->TableEco->locate(QStringLiteral("DataExame"), QDate(2024, 6, 14)));
    m_module->TableEco->edit();
    m_module->TableIMGC5->setAsInteger(4);
    m_module->TableEco->cancel();
    QCOMPARE(scalar(QStringLiteral("SELECT C5 FROM imagem WHERE DodExamei LIKE '2024-06-14 09%'"))
                 .toInt(),
             1);
    QCOMPARE(m_module->TableIMGC5->asInteger(), 1);
}

void tst_DataModule::lockedExamRefusesScoreChange()
{
    start();
    openPatient(7);
    QVERIFY(m_module->TableEco->locate(QStringLiteral("DataExame"), QDate(2024, 6, 1)));
    // A score box edits its source automatically: the exam lock must refuse and undo it.
    bool aborted = false;
    try {
        m_module->DataSourceIMG->edit();
    } catch (const SilentAbort &) {
        aborted = true;
    }
    QVERIFY(aborted);
    QCOMPARE(m_env->recorder().messages(),
             QStringList { QStringLiteral("ATENÇÃO: este EXAME não pode ser alterado!") });
    QCOMPARE(m_module->TableIMG->state(), DatasetState::Browse);
    QCOMPARE(m_module->TableEco->state(), DatasetState::Browse);
    QCOMPARE(errorOf([&] { m_module->TableIMGC1->setAsInteger(5); }),
             QStringLiteral("Dataset not in edit or insert mode"));

    // On an editable exam the score change takes the exam into edit mode with it.
    QVERIFY(m_module->TableEco->locate(QStringLiteral("DataExame"), QDate(2024, 6, 14)));
    m_module->DataSourceIMG->edit();
    QCOMPARE(m_module->TableIMG->state(), DatasetState::Edit);
    QCOMPARE(m_module->TableEco->state(), DatasetState::Edit);
    m_module->TableIMGC1->setAsInteger(3);
    m_module->TableEco->post();
    QCOMPARE(scalar(QStringLiteral("SELECT C1 FROM imagem WHERE DodExamei LIKE '2024-06-14 09%'"))
                 .toInt(),
             3);
}

void tst_DataModule::undatedExamIsLocked()
{
    start();
    m_module->ExecutaQuery(
        QStringLiteral("update eco set DataExame = null where CodigoPaciente = 3"), QVariant(),
        false);
    m_module->TablePac->refresh();
    openPatient(3);
    QVERIFY(m_module->TableEcoDataExame->isNull());
    QVERIFY_THROWS_EXCEPTION(SilentAbort, m_module->TableEco->edit());
    QCOMPARE(m_env->recorder().messages().size(), 1);
}

void tst_DataModule::rowsLockedElsewhereStayInBrowse()
{
    start();
    auto holders = std::make_shared<MemoryRecordLocks::Holders>();
    auto own = std::make_unique<MemoryRecordLocks>(holders);
    MemoryRecordLocks *mine = own.get();
    m_module->Database2->setRecordLocks(std::move(own));
    MemoryRecordLocks other(holders);
    const QString locked = QStringLiteral("Record locked by another user.");
    const QVariantList exam { 7.0, QStringLiteral("2024-06-14 09:00:00.000") };
    QVERIFY(other.tryLock(QStringLiteral("eco"), exam));
    QVERIFY(other.tryLock(QStringLiteral("bddid"), { 7 }));
    openPatient(7);
    QVERIFY(m_module->TableEco->locate(QStringLiteral("DataExame"), QDate(2024, 6, 14)));

    QCOMPARE(errorOf([&] { m_module->DataSourcePac->edit(); }), locked);
    QCOMPARE(errorOf([&] { m_module->TableEco->edit(); }), locked);
    // A score box edits its source automatically: the exam's lock keeps the scores as well.
    QCOMPARE(errorOf([&] { m_module->DataSourceIMG->edit(); }), locked);
    QCOMPARE(m_module->TableIMG->state(), DatasetState::Browse);
    QCOMPARE(m_module->TableEco->state(), DatasetState::Browse);
    QCOMPARE(m_module->TablePac->state(), DatasetState::Browse);
    QVERIFY(mine->held().isEmpty());
    QVERIFY(m_env->recorder().messages().isEmpty());

    // Released elsewhere: the score change takes the exam's lock, and only that one.
    other.unlockAll();
    m_module->DataSourceIMG->edit();
    QCOMPARE(mine->held(), QList<QByteArray> { RecordLocks::keyText(QStringLiteral("eco"), exam) });
    QVERIFY(!other.tryLock(QStringLiteral("eco"), exam));
    m_module->TableIMGC1->setAsInteger(4);
    m_module->TableEco->post();
    QVERIFY(mine->held().isEmpty());
    QCOMPARE(scalar(QStringLiteral("SELECT C1 FROM imagem WHERE DodExamei LIKE '2024-06-14 09%'"))
                 .toInt(),
             4);
    QVERIFY(m_module->TableFrase->lockOnEdit() && m_module->TableConc->lockOnEdit());
}

void tst_DataModule::unpostedEditsAreDroppedAtExit()
{
    start();
    openPatient(7);
    // The patient first: a master entering edit makes a changed exam leave its edit.
    m_module->TablePac->edit();
    m_module->TablePacNOME->setAsString(QStringLiteral("OUTRO NOME"));
    QVERIFY(m_module->TableEco->locate(QStringLiteral("DataExame"), QDate(2024, 6, 14)));
    m_module->TableEco->edit();
    m_module->TableEcoPeso->setAsInteger(81);
    m_module->TableIMGC2->setAsInteger(4);
    stop();
    QVERIFY(m_env->recorder().isEmpty());
    start();
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM eco WHERE Peso = 81")).toInt(), 0);
    QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM imagem WHERE C2 = 4")).toInt(), 0);
    QCOMPARE(scalar(QStringLiteral("SELECT NOME FROM bddid WHERE NF = 7")).toString(),
             QStringLiteral("ANA MARIA COSTA"));
}

QTEST_MAIN(tst_DataModule)
#include "tst_DataModule.moc"

void tst_DataModule::storageFaults_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("starts");
    using Kind = StorageFault::Kind;
    QTest::newRow("read-only file") << int(ReadOnlyFile) << int(Kind::ReadOnly) << true;
    QTest::newRow("read-only folder") << int(ReadOnlyDir) << int(Kind::ReadOnly) << true;
    QTest::newRow("zero-length file") << int(ZeroLength) << int(Kind::NotADatabase) << false;
    QTest::newRow("half-created file") << int(HalfCreated) << int(Kind::NotADatabase) << false;
    QTest::newRow("damaged file") << int(Damaged) << int(Kind::Damaged) << false;
    QTest::newRow("newer version") << int(NewerVersion) << int(Kind::NewerVersion) << false;
    QTest::newRow("full disk") << int(DiskFull) << int(Kind::DiskFull) << true;
}

void tst_DataModule::storageFaults()
{
    if (PgTestDatabase::wanted())
        QSKIP("faults of the SQLite file itself");
    QFETCH(int, fault);
    QFETCH(int, kind);
    QFETCH(bool, starts);
    const QString path = SqliteStore::filePath(m_dir->path());
    makeFault(Fault(fault), m_dir->path());
    const QByteArray before = bytesOf(path);
    const QString text = StorageFault::text(StorageFault::Kind(kind), path, Schema::Version + 1,
                                            Schema::Version);
    if (!starts) {
        // One message, the file as it was, and no connection left behind.
        QCOMPARE(errorOf([&] { start(); }), text);
        QVERIFY(m_env->recorder().isEmpty());
        QCOMPARE(bytesOf(path), before);
        QVERIFY(!QFile::exists(path + QLatin1String("-wal")));
        return;
    }
    start();
    if (fault == DiskFull)
        scalar(QStringLiteral("PRAGMA max_page_count = %1")
                   .arg(scalar(QStringLiteral("PRAGMA page_count")).toInt()));
    QCoreApplication::processEvents(); // said once the windows are up
    QCOMPARE(m_env->recorder().messages(), fault == DiskFull ? QStringList() : QStringList { text });
    // The exams still read; a post fails with the same words and keeps what was typed.
    openPatient(7);
    m_module->TableEco->last();
    m_module->TableEco->edit();
    const QString conclusion(200000, QLatin1Char('x'));
    m_module->TableEcoEco1->setAsString(conclusion);
    QCOMPARE(errorOf([&] { m_module->TableEco->post(); }), text);
    QCOMPARE(m_module->TableEcoEco1->asString(), conclusion);
    stop();
    QVERIFY(fault == DiskFull || bytesOf(path) == before);
    ::chmod(QFile::encodeName(m_dir->path()).constData(), 0700);
}
