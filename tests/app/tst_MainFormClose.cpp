#include "app/Main.h"
#include "data/DM.h"
#include "data/Schema.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/SqliteStore.h"
#include "platform/widgets/DialogRecorder.h"
#include "support/PracticeDirectory.h"
#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// Closing the main window with a patient or an exam still being edited.
class tst_MainFormClose : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_dir = std::make_unique<PracticeDirectory>(
            QStringLiteral("INSERT INTO convencao (CODIGO, SIGLA, ACTIVO) VALUES (1, 'P', 1);"
                           "INSERT INTO medico (CODIGO, NOME, ACTIVO) VALUES (1, 'DR', 1);"
                           "INSERT INTO bddid (NF, NOME, BENIF) VALUES (7, 'ANA', '1');"));
        m_form = std::make_unique<TMainForm>();
        MainForm = m_form.get();
        m_module = std::make_unique<TDataModule1>();
        DataModule1 = m_module.get();
        m_module->load();
    }
    void cleanup()
    {
        m_module.reset();
        m_form.reset();
        m_dir.reset();
        m_env.reset();
    }

    void closesAtOnceWithoutChanges()
    {
        QSignalSpy closed(m_form.get(), &TMainForm::closed);
        m_module->TablePac->edit(); // editing, nothing changed
        QVERIFY(m_form->close());
        QCOMPARE(closed.count(), 1);
        QVERIFY(m_env->recorder().isEmpty());
    }

    void answers_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<int>("examsStored");
        QTest::newRow("Sim") << int(Dialogs::Answer::Yes) << true << 1;
        QTest::newRow("Não") << int(Dialogs::Answer::No) << true << 0;
        QTest::newRow("Cancelar") << int(Dialogs::Answer::Cancel) << false << 0;
    }
    void answers()
    {
        QFETCH(int, answer);
        QFETCH(bool, closes);
        QFETCH(int, examsStored);
        m_module->TableEco->insert();
        m_module->TableEcoExecutor->setAsInteger(1);
        m_module->TableEcoPeso->setAsInteger(70);
        m_env->recorder().queueAnswer(Dialogs::Answer(answer));
        QCOMPARE(m_form->close(), closes);
        QCOMPARE(m_env->recorder().texts(DialogRecorder::Kind::Question),
                 QStringList { QStringLiteral("Gravar as alterações?") });
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM eco WHERE Peso = 70")), examsStored);
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM imagem")), examsStored);
        if (!closes)
            QCOMPARE(m_module->TableEco->state(), DatasetState::Insert);
    }

    void failedPostKeepsTheWindowOpen()
    {
        m_module->TablePac->append();
        m_module->TablePacNOME->setAsString(QStringLiteral("SEM SISTEMA"));
        m_env->recorder().queueAnswer(Dialogs::Answer::Yes);
        QVERIFY(!m_form->close());
        QCOMPARE(m_env->recorder().applicationErrors(),
                 QStringList { QStringLiteral("Field 'BENIF' must have a value.") });
        QCOMPARE(m_module->TablePac->state(), DatasetState::Insert);
    }

private:
    int count(const QString &sql)
    {
        SqlStatement st(m_module->Database2->connection(), sql);
        return st.step() ? int(st.int64(0)) : -1;
    }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<PracticeDirectory> m_dir;
    std::unique_ptr<TMainForm> m_form;
    std::unique_ptr<TDataModule1> m_module;
};

QTEST_MAIN(tst_MainFormClose)
#include "tst_MainFormClose.moc"
