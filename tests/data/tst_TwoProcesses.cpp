#include "data/DM.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/SqlStatement.h"
#include "platform/widgets/DialogRecorder.h"
#include "support/PracticeDirectory.h"

#include <QApplication>
#include <QProcess>
#include <QThread>
#include <QtTest>

// Two processes post into one database at once. Round i of process p edits the exam both share
// (Peso p*1000+i, scores C1 p and C2 i) and every third round adds an exam of its own patient p.
namespace {
constexpr int kRounds = 150;

int runDriver(int p, const QString &dir, const QString &go)
{
    Dialogs::install(std::make_unique<DialogRecorder>());
    Database::setCommandLineDirectory(dir);
    TDataModule1 dm;
    DataModule1 = &dm;
    dm.load();
    for (int step = 0; step < 10000 && !QFile::exists(go); ++step)
        QThread::msleep(1); // start together, so that the posts interleave
    int refused = 0;
    for (int i = 1; i <= kRounds; ++i) {
        dm.TablePac->locate(QStringLiteral("NF"), 9);
        dm.TableEco->refresh();
        dm.TableIMG->refresh();
        for (int mine = 0; mine < (i % 3 ? 1 : 2); ++mine) {
            try {
                mine ? dm.TableEco->insert() : dm.TableEco->edit();
                dm.TableEcoPeso->setAsInteger(p * 1000 + i);
                dm.TableIMGC1->setAsInteger(p);
                dm.TableIMGC2->setAsInteger(i);
                dm.TableEco->post();
                const QString key = dm.TableEcoCodigoExame->asDateTime().toString(
                    QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
                std::printf("%d %d %s\n", p, i, mine ? qPrintable(key) : "");
            } catch (const DatabaseError &e) {
                if (mine || !e.message().startsWith(QLatin1String("Couldn't perform the edit"))) {
                    std::fprintf(stderr, "%s\n", qPrintable(e.message()));
                    return 1;
                }
                ++refused;
                dm.TableEco->cancel();
            }
            dm.TablePac->locate(QStringLiteral("NF"), p);
            QThread::msleep(2 * mine); // exam keys are milliseconds: the next must not share one
        }
    }
    std::printf("refused %d %d\n", p, refused);
    return 0;
}
} // namespace

class tst_TwoProcesses : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyAcknowledgedPostStoredNoneBlended()
    {
        const QString today = QDate::currentDate().toString(Qt::ISODate);
        PracticeDirectory dir(QStringLiteral(
            "INSERT INTO bddid (NF, BENIF) VALUES (1, '1'), (2, '1'), (9, '1');"
            "INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor) VALUES "
            "(9, '%1 08:00:00.000', '%1', 1); INSERT INTO imagem (CodpacienteI, DodExamei) "
            "VALUES (9, '%1 08:00:00.000')").arg(today));
        const QString go = dir.path() + QStringLiteral("/go");
        QProcess drivers[2];
        for (int p = 0; p < 2; ++p)
            drivers[p].start(QCoreApplication::applicationFilePath(),
                             { QStringLiteral("--driver"), QString::number(p + 1), dir.path(), go });
        QFile(go).open(QIODevice::WriteOnly);
        QStringList acks;
        for (QProcess &d : drivers) {
            QVERIFY(d.waitForFinished(-1));
            QVERIFY2(d.exitCode() == 0, d.readAllStandardError().constData());
            acks += QString::fromUtf8(d.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        }
        QProcess check;
        check.start(QStringLiteral(TALUVO_BINARY), { "db", "check", dir.path() });
        QVERIFY(check.waitForFinished(-1));
        QVERIFY2(check.exitCode() == 0, check.readAllStandardOutput().constData());

        // Each post holds the exam fields and the scores of one acknowledged post; the shared
        // exam, the last one written; the refused edits are the ones not acknowledged.
        Database db(QStringLiteral("CHECK"));
        db.openDirectory(dir.path());
        SqlStatement st(db.handle(),
                        QStringLiteral("SELECT CodigoPaciente, Peso, C1, C2, CodigoExame FROM eco "
                                       "JOIN imagem ON CodpacienteI = CodigoPaciente AND "
                                       "DodExamei = CodigoExame"));
        int rows = 0;
        while (st.step()) {
            const int patient = int(st.int64(0));
            const QString key = patient == 9 ? QString() : st.text(4);
            QCOMPARE(st.int64(1), st.int64(2) * 1000 + st.int64(3));
            QVERIFY(acks.contains(
                QStringLiteral("%1 %2 %3").arg(st.int64(2)).arg(st.int64(3)).arg(key)));
            ++rows;
        }
        QCOMPARE(rows, 1 + 2 * (kRounds / 3));
        for (int p = 1; p <= 2; ++p) {
            const auto edits = QRegularExpression(QStringLiteral("^%1 \\d+ $").arg(p));
            const QString refused = acks.filter(QStringLiteral("refused %1 ").arg(p)).value(0);
            QCOMPARE(acks.filter(edits).size() + refused.section(u' ', 2).toInt(), kRounds);
        }
    }
};

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 5 && qstrcmp(argv[1], "--driver") == 0)
        return runDriver(atoi(argv[2]), QString::fromLocal8Bit(argv[3]),
                         QString::fromLocal8Bit(argv[4]));
    tst_TwoProcesses test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_TwoProcesses.moc"
