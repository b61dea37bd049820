#include "platform/engine/DataSource.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/SqliteStore.h"
#include "platform/engine/Table.h"
#include "support/EngineFixture.h"
#include "support/TestSupport.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QtTest>

#include <sys/stat.h>

namespace {
// Stands in for a data-aware control: remembers what it heard and, like an edit box, writes its
// pending text into the field when the record is updated.
class RecordingLink : public DataLink
{
public:
    QStringList events;
    Field *target = nullptr;
    QString pendingText;
    bool hasPending = false;

protected:
    void activeChanged() override { events << QStringLiteral("active"); }
    void editingChanged() override { events << QStringLiteral("editing"); }
    void recordChanged(Field *f) override
    {
        events << (f ? QStringLiteral("field:") + f->fieldName() : QStringLiteral("record"));
    }
    void updateData() override
    {
        events << QStringLiteral("update");
        if (hasPending && target) {
            target->setText(pendingText);
            hasPending = false;
        }
    }
    void focusControl(Field *f) override { events << QStringLiteral("focus:") + f->fieldName(); }
};

} // namespace

class tst_DataSource : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_fx = std::make_unique<EngineFixture>();
        m_fx->exec(QStringLiteral(
            "CREATE TABLE frase (CodFrase INTEGER PRIMARY KEY AUTOINCREMENT, Frase TEXT, "
            "Outros TEXT, Peso INTEGER);"
            "INSERT INTO frase (Frase) VALUES ('Um'), ('Dois'), ('Tres');"));
        m_table = std::make_unique<Table>();
        m_table->setTableName(QStringLiteral("Frase.db"));
        m_table->addField(QStringLiteral("CodFrase"), FieldType::AutoInc);
        m_table->addField(QStringLiteral("Frase"), FieldType::String, 200)->setRequired(true);
        m_table->addField(QStringLiteral("Peso"), FieldType::SmallInt);
        m_source = std::make_unique<DataSource>();
        m_source->setDataset(m_table.get());
    }
    void cleanup()
    {
        m_source.reset();
        m_table.reset();
        m_fx.reset();
        m_env.reset();
    }

    void autoEditFollowsTheSource()
    {
        RecordingLink link;
        link.setDataSource(m_source.get());
        m_table->open();
        QVERIFY(link.isActive());
        m_source->setAutoEdit(false);
        QVERIFY(!link.edit());
        QCOMPARE(m_table->state(), DatasetState::Browse);
        m_source->setAutoEdit(true);
        QVERIFY(link.edit());
        QCOMPARE(m_table->state(), DatasetState::Edit);
        QVERIFY(link.events.contains(QStringLiteral("editing")));
        m_table->close();
        QVERIFY(!link.isActive());
    }

    void signalsTellStateAndFieldChanges()
    {
        m_table->open();
        QSignalSpy state(m_source.get(), &DataSource::stateChanged);
        QSignalSpy data(m_source.get(), &DataSource::dataChanged);
        m_table->edit();
        QCOMPARE(state.count(), 1);
        m_table->fieldByName(QStringLiteral("Frase"))->setAsString(QStringLiteral("Um!"));
        QVERIFY(!data.isEmpty());
        QCOMPARE(data.last().at(0).value<Field *>(),
                 m_table->fieldByName(QStringLiteral("Frase")));
        m_table->post();
        QCOMPARE(state.count(), 2);
    }

    void postWritesPendingControlText()
    {
        RecordingLink link;
        link.setDataSource(m_source.get());
        m_table->open();
        link.target = m_table->fieldByName(QStringLiteral("Peso"));
        m_table->edit();
        link.pendingText = QStringLiteral("12");
        link.hasPending = true;
        m_table->post();
        QCOMPARE(m_fx->scalar(QStringLiteral("SELECT Peso FROM frase WHERE CodFrase = 1")).toInt(),
                 12);

        // A control whose text does not convert stops the post; the row stays in edit.
        m_table->edit();
        link.pendingText = QStringLiteral("doze");
        link.hasPending = true;
        QCOMPARE(errorOf([&] { m_table->post(); }),
                 QStringLiteral("'doze' is not a valid integer value for field 'Peso'"));
        QCOMPARE(m_table->state(), DatasetState::Edit);
    }

    void requiredFieldAsksForFocus()
    {
        RecordingLink link;
        link.setDataSource(m_source.get());
        m_table->open();
        m_table->append();
        link.events.clear();
        QCOMPARE(errorOf([&] { m_table->post(); }), QStringLiteral("Field 'Frase' must have a value"));
        QVERIFY(link.events.contains(QStringLiteral("focus:Frase")));
        QCOMPARE(m_table->state(), DatasetState::Insert);
    }

    void hookOrder()
    {
        QStringList log;
        auto hook = [&log](const char *name) {
            return [&log, name](Dataset &) { log << QLatin1String(name); };
        };
        DatasetHooks &h = m_table->hooks();
        h.afterOpen = hook("afterOpen");
        h.beforeInsert = hook("beforeInsert");
        h.afterInsert = hook("afterInsert");
        h.onNewRecord = hook("onNewRecord");
        h.beforeScroll = hook("beforeScroll");
        h.afterScroll = hook("afterScroll");
        h.beforePost = hook("beforePost");
        h.afterPost = hook("afterPost");
        h.beforeCancel = hook("beforeCancel");
        h.afterCancel = hook("afterCancel");
        m_table->open();
        QCOMPARE(log, (QStringList{QStringLiteral("afterOpen"), QStringLiteral("afterScroll")}));
        log.clear();
        m_table->insert();
        QCOMPARE(log, (QStringList{QStringLiteral("beforeInsert"), QStringLiteral("beforeScroll"),
                                   QStringLiteral("onNewRecord"), QStringLiteral("afterInsert"),
                                   QStringLiteral("afterScroll")}));
        QVERIFY(!m_table->isModified());
        log.clear();
        // Leaving an untouched new row cancels it; nothing is stored.
        m_table->next();
        QCOMPARE(log.first(), QStringLiteral("beforeCancel"));
        QCOMPARE(m_table->recordCount(), 3);
    }

    void disabledControlsHearOneChangeAtTheEnd()
    {
        RecordingLink link;
        link.setDataSource(m_source.get());
        m_table->open();
        link.events.clear();
        m_table->disableControls();
        for (m_table->first(); !m_table->eof(); m_table->next()) {
        }
        QVERIFY(link.events.isEmpty());
        m_table->enableControls();
        QCOMPARE(link.events, QStringList{QStringLiteral("record")});
    }

    void storeFilesAreOwnerOnlyAndDurable()
    {
        if (PgTestDatabase::wanted())
            QSKIP("the modes and pragmas of the SQLite file");
        m_table->open();
        m_table->edit();
        m_table->fieldByName(QStringLiteral("Peso"))->setAsInteger(1);
        m_table->post();
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(m_fx->dir()).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0700);
        for (const char *suffix : {"", "-wal"}) {
            const QString path = SqliteStore::filePath(m_fx->dir()) + QLatin1String(suffix);
            QVERIFY2(QFileInfo::exists(path), qPrintable(path));
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
            QCOMPARE(int(st.st_mode & 0777), 0600);
        }
        QCOMPARE(m_fx->scalar(QStringLiteral("PRAGMA journal_mode")).toString(),
                 QStringLiteral("wal"));
        QCOMPARE(m_fx->scalar(QStringLiteral("PRAGMA synchronous")).toInt(), 2);
        QVERIFY(m_fx->scalar(QStringLiteral("PRAGMA busy_timeout")).toInt() > 0);
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<EngineFixture> m_fx;
    std::unique_ptr<Table> m_table;
    std::unique_ptr<DataSource> m_source;
};

QTEST_GUILESS_MAIN(tst_DataSource)
#include "tst_DataSource.moc"
