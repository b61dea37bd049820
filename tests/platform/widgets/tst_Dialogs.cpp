#include "platform/engine/DatabaseError.h"
#include "platform/engine/FormatSettings.h"
#include "platform/engine/Guard.h"
#include "platform/widgets/Clock.h"
#include "platform/widgets/DialogRecorder.h"
#include "platform/widgets/Dialogs.h"

#include "support/TestSupport.h"

#include <QTest>

#include <memory>
#include <stdexcept>

using namespace Qt::StringLiterals;
using Kind = DialogRecorder::Kind;
using Entry = DialogRecorder::Entry;

class tst_Dialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void recordsInOrder();
    void confirmAnswersFromQueue();
    void finalPeriod_data();
    void finalPeriod();
    void guardReports_data();
    void guardReports();
    void guardDropsSilentAbort();
    void guardReporter();
    void environment();

private:
    std::unique_ptr<TestEnvironment> m_env;
};

namespace {
const QString Title = u"Taluvo - Merindal"_s;
}

void tst_Dialogs::recordsInOrder()
{
    Dialogs &dialogs = Dialogs::instance();
    dialogs.message(u"Paciente sem exames"_s);
    dialogs.beep();
    QVERIFY(dialogs.confirm(u"Delete record?"_s));
    dialogs.applicationError(u"Field 'Peso' must have a value"_s);
    dialogs.systemError(u"Alias not configured"_s);

    const QList<Entry> expected = {
        { Kind::Message, u"Paciente sem exames"_s, Title },
        { Kind::Beep, QString(), QString() },
        { Kind::Confirm, u"Delete record?"_s, u"Confirm"_s },
        { Kind::ApplicationError, u"Field 'Peso' must have a value."_s, Title },
        { Kind::SystemError, u"Alias not configured"_s, u"Error"_s },
    };
    QCOMPARE(m_env->recorder().entries(), expected);
    QCOMPARE(m_env->recorder().messages(), QStringList { u"Paciente sem exames"_s });
    QCOMPARE(m_env->recorder().beeps(), 1);
    m_env->recorder().clear();
    QVERIFY(m_env->recorder().isEmpty());
}

void tst_Dialogs::confirmAnswersFromQueue()
{
    DialogRecorder &recorder = m_env->recorder();
    recorder.queueAnswer(false);
    recorder.queueAnswer(true);
    recorder.queueAnswer(false);
    QCOMPARE(Dialogs::instance().confirm(u"a"_s), false);
    QCOMPARE(Dialogs::instance().confirm(u"b"_s), true);
    QCOMPARE(Dialogs::instance().confirm(u"c"_s), false);
    QCOMPARE(Dialogs::instance().confirm(u"d"_s), true); // an empty queue answers OK
    QCOMPARE(recorder.questions(), QStringList({ u"a"_s, u"b"_s, u"c"_s, u"d"_s }));

    recorder.queueAnswer(false);
    recorder.clear();
    QCOMPARE(Dialogs::instance().confirm(u"e"_s), true);
}

void tst_Dialogs::finalPeriod_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    const auto row = [](const char *text, const char *shown) {
        QTest::newRow(text) << QString::fromUtf8(text) << QString::fromUtf8(shown);
    };
    row("Field 'Peso' must have a value", "Field 'Peso' must have a value.");
    row("'1,2' is not a valid floating point value for field 'Peso'",
        "'1,2' is not a valid floating point value for field 'Peso'.");
    row("Table is busy.", "Table is busy.");
    row("Wait...", "Wait...");
    row("Error 42", "Error 42.");
    row("", "");
}

void tst_Dialogs::finalPeriod()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    Dialogs::instance().applicationError(text);
    QCOMPARE(m_env->recorder().applicationErrors(), QStringList { shown });
}

void tst_Dialogs::guardReports_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("shown");
    QTest::newRow("DatabaseError") << 0 << "Cannot perform this operation on a closed dataset.";
    QTest::newRow("databaseError()") << 1 << "'31/02/2024' is not a valid date.";
    QTest::newRow("std::exception") << 2 << "Disk full.";
    QTest::newRow("anything else") << 3 << "Unknown error.";
}

void tst_Dialogs::guardReports()
{
    QFETCH(int, kind);
    QFETCH(QString, shown);
    const bool completed = guard([kind] {
        if (kind == 0)
            throw DatabaseError(u"Cannot perform this operation on a closed dataset"_s);
        if (kind == 1)
            databaseError(u"'31/02/2024' is not a valid date"_s);
        if (kind == 2)
            throw std::runtime_error("Disk full");
        throw 42;
    });
    QVERIFY(!completed);
    const QList<Entry> expected = { { Kind::ApplicationError, shown, Title } };
    QCOMPARE(m_env->recorder().entries(), expected);
}

void tst_Dialogs::guardDropsSilentAbort()
{
    int calls = 0;
    QVERIFY(guard([&] { ++calls; }));
    QVERIFY(!guard([&] {
        // A rule tells the user why, then stops the operation without a second box.
        Dialogs::instance().message(u"Exame bloqueado"_s);
        ++calls;
        abortSilently();
        ++calls;
    }));
    QCOMPARE(calls, 2);
    const QList<Entry> expected = { { Kind::Message, u"Exame bloqueado"_s, Title } };
    QCOMPARE(m_env->recorder().entries(), expected);

    // An inner guard handles its own error and the outer code goes on.
    QVERIFY(guard([&] { QVERIFY(!guard([] { databaseError(u"inner"_s); })); }));
    QCOMPARE(m_env->recorder().applicationErrors(), QStringList { u"inner."_s });
}

void tst_Dialogs::guardReporter()
{
    QStringList reported;
    setGuardReporter([&](const QString &message) { reported.append(message); });
    QVERIFY(!guard([] { databaseError(u"x"_s); }));
    QCOMPARE(reported, QStringList { u"x"_s });
    QVERIFY(m_env->recorder().isEmpty());

    // A reporter that throws must not let the exception out of the guard.
    setGuardReporter([](const QString &) { throw std::runtime_error("box failed"); });
    QVERIFY(!guard([] { databaseError(u"y"_s); }));

    Dialogs::installAsGuardReporter();
    QVERIFY(!guard([] { databaseError(u"z"_s); }));
    QCOMPARE(m_env->recorder().applicationErrors(), QStringList { u"z."_s });
}

void tst_Dialogs::environment()
{
    QCOMPARE(Clock::instance().now(), QDateTime(QDate(2024, 6, 15), QTime(10, 30)));
    m_env->clock().advance(14 * 3600 * 1000 + 1);
    QCOMPARE(Clock::instance().now(), QDateTime(QDate(2024, 6, 16), QTime(0, 30, 0, 1)));
    QCOMPARE(Clock::instance().today(), QDate(2024, 6, 16));
    QCOMPARE(FormatSettings::current().decimalSeparator(), QChar(u','));
    QCOMPARE(QLocale().language(), QLocale::Portuguese);

    m_env.reset();
    QVERIFY(dynamic_cast<DialogRecorder *>(&Dialogs::instance()) == nullptr);
    QVERIFY(Dialogs::applicationTitle() != Title);
    // The system clock again: its reading falls between two of the system's own.
    const QDateTime before = QDateTime::currentDateTime();
    const QDateTime now = Clock::instance().now();
    QVERIFY(before <= now && now <= QDateTime::currentDateTime());

    m_env = std::make_unique<TestEnvironment>(QDateTime(QDate(2025, 1, 1), QTime(8, 0)));
    QVERIFY(m_env->recorder().isEmpty());
    QCOMPARE(Clock::instance().today(), QDate(2025, 1, 1));
}

QTEST_MAIN(tst_Dialogs)
#include "tst_Dialogs.moc"
