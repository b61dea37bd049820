#include "data/DM.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/FormatSettings.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/SqliteStore.h"
#include "platform/widgets/DialogRecorder.h"
#include "platform/widgets/Dialogs.h"
#include "support/PracticeDirectory.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <cstdio>
#include <memory>

// Two processes of the program post into one database at once: the exam both edit, each with
// its score row, and new exams of their own patients. Every post a process was told succeeded
// must be stored, and no exam may carry one process's fields and the other's scores.
namespace {
constexpr int kRounds = 150;
constexpr int kSharedPatient = 9;
const QString kChanged
    = QStringLiteral("Couldn't perform the edit because another user changed the record.");

QString practice()
{
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    return QStringLiteral(
               "INSERT INTO convencao (CODIGO, SIGLA, ACTIVO) VALUES (1, 'Particular', 1);"
               "INSERT INTO medico (CODIGO, NOME, ACTIVO) VALUES (1, 'DR A', 1);"
               "INSERT INTO bddid (NF, NOME, BENIF) VALUES (1, 'UM', '1'), (2, 'DOIS', '1'), "
               "(9, 'COMUM', '1');"
               "INSERT INTO eco (CodigoPaciente, CodigoExame, DataExame, Executor, Peso) "
               "VALUES (9, '%1 08:00:00.000', '%1', 1, 0);"
               "INSERT INTO imagem (CodpacienteI, DodExamei, C1, C2) "
               "VALUES (9, '%1 08:00:00.000', 0, 0);")
        .arg(today);
}

// One process's side: round i edits the shared exam (Peso = p*1000 + i, scores C1 = p, C2 = i)
// and every third round adds an exam for its own patient. Prints what succeeded.
int runDriver(int p, const QString &dir, const QString &goFile)
{
    Dialogs::install(std::make_unique<DialogRecorder>());
    FormatSettings::setCurrent(
        FormatSettings::fromProcessLocale(QLocale(QLocale::Portuguese, QLocale::Portugal)));
    Database::setCommandLineDirectory(dir);
    TDataModule1 dm;
    DataModule1 = &dm;
    dm.load();
    // Start together, so that the posts interleave; bounded by steps, not by time.
    for (int step = 0; step < 10000 && !QFile::exists(goFile); ++step)
        QThread::msleep(1);
    int refused = 0;
    for (int i = 1; i <= kRounds; ++i) {
        try {
            dm.TablePac->locate(QStringLiteral("NF"), kSharedPatient);
            dm.TableEco->refresh();
            dm.TableIMG->refresh();
            dm.TableEco->edit();
            dm.TableEcoPeso->setAsInteger(p * 1000 + i);
            dm.TableIMGC1->setAsInteger(p);
            dm.TableIMGC2->setAsInteger(i);
            dm.TableEco->post();
            std::printf("EDIT %d %d\n", p, i);
        } catch (const DatabaseError &e) {
            if (e.message() != kChanged) {
                std::fprintf(stderr, "%s\n", qPrintable(e.message()));
                return 1;
            }
            ++refused;
            dm.TableEco->cancel();
        }
        if (i % 3 == 0) {
            dm.TablePac->locate(QStringLiteral("NF"), p);
            dm.TableEco->insert();
            dm.TableEcoPeso->setAsInteger(i);
            dm.TableIMGC1->setAsInteger(p);
            dm.TableIMGC2->setAsInteger(i);
            dm.TableEco->post();
            const QString key = dm.TableEcoCodigoExame->asDateTime().toString(
                QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
            std::printf("NEW %d %d %s\n", p, i, qPrintable(key));
            // Exam keys are the clock's milliseconds: the next one must not share it.
            QThread::msleep(2);
        }
        std::fflush(stdout);
    }
    std::printf("REFUSED %d %d\n", p, refused);
    DataModule1 = nullptr;
    return 0;
}
} // namespace

class tst_TwoProcesses : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void interleavedPostsAllStoredNoneBlended();
};

void tst_TwoProcesses::interleavedPostsAllStoredNoneBlended()
{
    PracticeDirectory dir(practice());
    const QString go = dir.path() + QStringLiteral("/go");
    QProcess drivers[2];
    for (int p = 1; p <= 2; ++p) {
        drivers[p - 1].start(QCoreApplication::applicationFilePath(),
                             { QStringLiteral("--driver"), QString::number(p), dir.path(), go });
        QVERIFY(drivers[p - 1].waitForStarted());
    }
    QFile(go).open(QIODevice::WriteOnly);
    QStringList acks;
    for (QProcess &d : drivers) {
        QVERIFY(d.waitForFinished(-1));
        QVERIFY2(d.exitCode() == 0, d.readAllStandardError().constData());
        acks += QString::fromUtf8(d.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    }

    QProcess check;
    check.start(QStringLiteral(TALUVO_BINARY), { QStringLiteral("db"), QStringLiteral("check"),
                                                  dir.path() });
    QVERIFY(check.waitForFinished(-1));
    QVERIFY2(check.exitCode() == 0, check.readAllStandardOutput().constData());

    Database db(QStringLiteral("CHECK"));
    db.openDirectory(dir.path());
    auto value = [&](const QString &sql) {
        SqlStatement st(db.handle(), sql);
        return st.step() ? st.value(0).toString() : QString();
    };
    QStringList edits;
    int news = 0;
    for (const QString &line : acks) {
        const QStringList w = line.split(u' ');
        if (w[0] == QLatin1String("EDIT")) {
            edits.append(w[1] + u' ' + w[2]);
        } else if (w[0] == QLatin1String("NEW")) {
            // Stored with its one score row, both from the same post.
            const QString key = w.mid(3).join(u' ');
            QCOMPARE(value(QStringLiteral("SELECT Peso FROM eco WHERE CodigoPaciente = %1 AND "
                                          "CodigoExame = '%2'")
                               .arg(w[1], key)),
                     w[2]);
            QCOMPARE(value(QStringLiteral("SELECT group_concat(C1 || ' ' || C2) FROM imagem "
                                          "WHERE CodpacienteI = %1 AND DodExamei = '%2'")
                               .arg(w[1], key)),
                     w[1] + u' ' + w[2]);
            ++news;
        }
    }
    QCOMPARE(news, 2 * (kRounds / 3));
    // Every edit was either stored or refused with the message, never lost without a word.
    for (const QString &line : acks.filter(QStringLiteral("REFUSED"))) {
        const QString p = line.section(u' ', 1, 1);
        QCOMPARE(edits.filter(QRegularExpression(QStringLiteral("^%1 ").arg(p))).size()
                     + line.section(u' ', 2, 2).toInt(),
                 kRounds);
    }
    QVERIFY(!edits.isEmpty());
    // The shared exam holds the fields and the scores of one and the same acknowledged post.
    const QString peso = value(QStringLiteral("SELECT Peso FROM eco WHERE CodigoPaciente = 9"));
    const QString scores
        = value(QStringLiteral("SELECT C1 || ' ' || C2 FROM imagem WHERE CodpacienteI = 9"));
    const int p = scores.section(u' ', 0, 0).toInt();
    const int i = scores.section(u' ', 1, 1).toInt();
    QCOMPARE(peso.toInt(), p * 1000 + i);
    QVERIFY(edits.contains(scores));
}

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
