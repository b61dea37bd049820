#include "cli/CommandLine.h"
#include "data/DemoData.h"
#include "data/Schema.h"
#include "platform/engine/Database.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/SqliteStore.h"
#include "platform/engine/Table.h"
#include "support/ParadoxPractice.h"
#include "support/ParadoxWriter.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <memory>

#include <sqlite3.h>

namespace {

using T = paradox::FieldType;

struct Outcome
{
    int code = -1;
    QString out;
    QString err;
};

Outcome taluvo(const QStringList &args)
{
    Outcome o;
    QTextStream out(&o.out);
    QTextStream err(&o.err);
    bool handled = false;
    o.code = runCommandLine(args, &handled, out, err);
    out.flush();
    err.flush();
    return o;
}

QString readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// Every row of a table as the program's fields read it, in key order.
QList<QVariantList> rowsThroughFields(const QString &databaseName, const TableDef &def)
{
    Table table;
    table.setDatabaseName(databaseName);
    table.setTableName(def.fileName);
    for (const ColumnDef &c : def.columns)
        table.addField(c.name, c.type, c.size);
    table.open();
    QList<QVariantList> rows;
    for (table.first(); !table.eof(); table.next()) {
        QVariantList row;
        for (Field *f : table.fields())
            row.append(f->value());
        rows.append(row);
    }
    return rows;
}

QVariant scalar(const QString &dir, const QString &sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(SqliteStore::filePath(dir)).constData(), &db,
                    SQLITE_OPEN_READWRITE, nullptr);
    QVariant v;
    {
        SqlStatement st(db, sql);
        if (st.step())
            v = st.value(0);
    }
    sqlite3_close(db);
    return v;
}

} // namespace

class tst_ParadoxImport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void practiceComesAcrossWhole();
    void refusedRowsAndFindingsAreReported();
    void failureOrDryRunLeavesNoDatabase();

private:
    std::unique_ptr<TestEnvironment> m_env;
};

void tst_ParadoxImport::practiceComesAcrossWhole()
{
    QTemporaryDir tmp;
    const QString demo = tmp.filePath(QStringLiteral("demo"));
    const QString old = tmp.filePath(QStringLiteral("old"));
    const QString target = tmp.filePath(QStringLiteral("novo"));
    QCOMPARE(taluvo({ "db", "demo", demo, "--patients", "40", "--exams", "120", "--seed", "7" })
                 .code,
             0);
    QVERIFY(QDir().mkpath(old));
    ParadoxPractice::Options options;
    options.codePage = 850;
    options.extraFieldTypes = true;
    options.encrypted = { QStringLiteral("eco"), QStringLiteral("eco_conclusoes") };
    options.blockSize = 2048;
    ParadoxPractice::write(demo, old, options);
    // The practice's files come in whatever letter case the old system left.
    QVERIFY(QFile::rename(QDir(old).filePath("eco.DB"), QDir(old).filePath("ECO.DB")));

    const Outcome o = taluvo({ "db", "import-paradox", old, target });
    QVERIFY2(o.code == 0, qPrintable(o.err + o.out));
    QVERIFY(o.out.contains(QRegularExpression(QStringLiteral("ECO.DB +120 +120 +0 +0"))));
    const QString reportPath = QDir(target).filePath(QStringLiteral("import-report.txt"));
    QCOMPARE(QFile::permissions(reportPath) & 0x0077, QFileDevice::Permissions());
    const QString report = readAll(reportPath);
    QVERIFY(report.contains(QStringLiteral(
        "Tabelas guardadas com palavra-passe (lidas sem ela): ECO.DB, eco_conclusoes.db")));
    QVERIFY(report.contains(QStringLiteral("Registos recusados (não importados): 0")));

    {
        Database source(QStringLiteral("SRC"));
        source.openDirectory(demo);
        Database imported(QStringLiteral("DST"));
        imported.openDirectory(target);
        for (const TableDef &def : Schema::tables()) {
            const QList<QVariantList> expected = rowsThroughFields(QStringLiteral("SRC"), def);
            const QList<QVariantList> actual = rowsThroughFields(QStringLiteral("DST"), def);
            QVERIFY2(!expected.isEmpty(), qPrintable(def.name));
            QCOMPARE(actual.size(), expected.size());
            for (int r = 0; r < expected.size(); ++r) {
                for (int c = 0; c < def.columns.size(); ++c)
                    QVERIFY2(actual[r][c] == expected[r][c],
                             qPrintable(QStringLiteral("%1 row %2 %3: %4 against %5")
                                            .arg(def.name)
                                            .arg(r)
                                            .arg(def.columns[c].name,
                                                 actual[r][c].toString(),
                                                 expected[r][c].toString())));
            }
        }
    }

    // The columns the program does not know came across in the storage formats.
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(SqliteStore::filePath(target)).constData(), &db),
             SQLITE_OK);
    {
        SqlStatement st(db, QStringLiteral("SELECT NF, SALDO, QUOTA, HORA, ULTIMA, NPROC, OBS, "
                                           "FOTO, DOC, OLE, CARTAO FROM bddid ORDER BY NF"));
        int rows = 0;
        while (st.step()) {
            ++rows;
            const int nf = int(st.int64(0));
            const QVariantList v = ParadoxPractice::extraValues(nf);
            if (nf % 5 == 0) {
                for (int c = 1; c <= 10; ++c)
                    QVERIFY(st.isNull(c));
                continue;
            }
            QCOMPARE(st.real(1), v[0].toDouble());
            QCOMPARE(st.real(2), v[1].toString().toDouble());
            QCOMPARE(st.text(3), v[2].toTime().toString(QStringLiteral("HH:mm:ss.zzz")));
            QCOMPARE(st.text(4), v[3].toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")));
            QCOMPARE(st.int64(5), qint64(v[4].toInt()));
            QCOMPARE(st.text(6), v[5].toString());
            QCOMPARE(st.value(7).toByteArray(), v[6].toByteArray());
            QCOMPARE(st.value(8).toByteArray(), v[7].toByteArray());
            QCOMPARE(st.isNull(9), v[8].isNull());
            QCOMPARE(st.value(9).toByteArray(), v[8].toByteArray());
            QCOMPARE(st.value(10).toByteArray(), v[9].toByteArray());
        }
        QCOMPARE(rows, 40);
    }
    sqlite3_close(db);
    // The folded names, made at the end of the import, are what the triggers make.
    const QString folded = scalar(target, "SELECT group_concat(NOME_ORDEM, '|') FROM bddid").toString();
    QVERIFY(folded.contains(QLatin1Char('|')));
    scalar(target, "UPDATE bddid SET NOME = NOME");
    QCOMPARE(scalar(target, "SELECT group_concat(NOME_ORDEM, '|') FROM bddid").toString(), folded);
    // A new patient gets the number after the practice's last one.
    QCOMPARE(scalar(target, "SELECT seq FROM sqlite_sequence WHERE name = 'bddid'").toInt(),
             scalar(demo, "SELECT max(NF) FROM bddid").toInt());
}

void tst_ParadoxImport::refusedRowsAndFindingsAreReported()
{
    QTemporaryDir tmp;
    const QString old = tmp.filePath(QStringLiteral("old"));
    const QString target = tmp.filePath(QStringLiteral("novo"));
    QVERIFY(QDir().mkpath(old));
    {
        ParadoxWriter::Options o;
        o.keyFieldCount = 1;
        o.nextAutoInc = 500;
        // IDADE kept as a Long by this practice: a value past a Short cannot be stored.
        ParadoxWriter w(QDir(old).filePath("BDDID.DB"),
                        { { "NF", T::AutoInc, 0 }, { "NOME", T::Alpha, 50 },
                          { "IDADE", T::Long, 0 }, { "BENIF", T::Alpha, 10 } },
                        o);
        w.addRecord({ 1, QStringLiteral("JOÃO"), 40, QStringLiteral("1") });
        w.addRecord({ 1, QStringLiteral("REPETIDO"), 41, QStringLiteral("1") });
        w.addDeletedRecord({ 9, QStringLiteral("APAGADO"), 50, QStringLiteral("1") });
        w.addRecord({ 2, QStringLiteral("IDADE ERRADA"), 70000, QStringLiteral("1") });
        w.addRecord({ 3, QString(50, QLatin1Char('N')), QVariant(), QVariant() });
    }
    qint64 brokenMemoAt = 0;
    {
        ParadoxWriter::Options o;
        o.keyFieldCount = 2;
        o.externalBlobs = true;
        ParadoxWriter w(QDir(old).filePath("eco.db"),
                        { { "CodigoPaciente", T::Number, 0 }, { "CodigoExame", T::Timestamp, 0 },
                          { "DataExame", T::Date, 0 }, { "Eco1", T::Memo, 20 } },
                        o);
        const QDateTime when(QDate(2003, 4, 5), QTime(10, 11, 12, 345), Qt::UTC);
        w.addRecord({ 1.0, when, when.date(), QStringLiteral("{\\rtf1 texto}") });
        w.addRecord({ 99.0, when, when.date(), QVariant() });
        w.addRecord({ 3.0, when, when.date(), QStringLiteral("{\\rtf1 memo perdido}") });
        w.close();
        brokenMemoAt = w.blobPointerOffset(2, 3);
    }
    ParadoxWriter::patch(QDir(old).filePath("eco.db"), brokenMemoAt, ParadoxWriter::le32(0x7fff0000));
    {
        ParadoxWriter w(QDir(old).filePath("imagem.db"),
                        { { "CodpacienteI", T::Number, 0 }, { "DodExamei", T::Timestamp, 0 },
                          { "C1", T::Short, 0 } });
        w.addRecord({ 1.0, QDateTime(QDate(2003, 4, 5), QTime(10, 11, 12, 345), Qt::UTC), 2 });
    }

    const Outcome o = taluvo({ "db", "import-paradox", old, target });
    QCOMPARE(o.code, 1);
    QVERIFY2(o.out.contains(QRegularExpression(QStringLiteral("BDDID.DB +4 +2 +2 +1"))), qPrintable(o.out));
    QVERIFY2(o.out.contains(QRegularExpression(QStringLiteral("eco.db +3 +2 +1 +0"))), qPrintable(o.out));
    QVERIFY(o.out.contains(QRegularExpression(QStringLiteral("Frase.db \\(não há\\) +0"))));
    const QString report = readAll(QDir(target).filePath(QStringLiteral("import-report.txt")));
    QVERIFY2(report.contains(QStringLiteral("BDDID.DB\t2\tNF=1\tchave repetida")), qPrintable(report));
    QVERIFY(report.contains(QStringLiteral("BDDID.DB\t3\tNF=2\to valor 70000 do campo IDADE está "
                                           "fora do intervalo do campo (-32768 a 32767, inteiro)")));
    QVERIFY(report.contains(QStringLiteral("eco.db\t3\tCodigoPaciente=3, CodigoExame=2003-04-05 "
                                           "10:11:12.345\t")));
    QVERIFY(report.contains(QStringLiteral("BDDID.DB\t4\tNF=3\to campo obrigatório BENIF está em branco")));
    QVERIFY(report.contains(QStringLiteral("\t99 2003-04-05 10:11:12.345\tExames de um paciente que não existe")));
    QVERIFY(report.contains(QStringLiteral("\t99 2003-04-05 10:11:12.345\tExames sem linha de pontuação")));
    QVERIFY(report.contains(QStringLiteral("BDDID.DB: sem as colunas MORADA, DNASC")));

    // What could be stored is in, keys and memo as written, and new numbers follow 499.
    QCOMPARE(scalar(target, "SELECT group_concat(NF || ':' || NOME, ',') FROM bddid").toString(),
             QStringLiteral("1:JOÃO,3:") + QString(50, QLatin1Char('N')));
    QCOMPARE(scalar(target, "SELECT Eco1 FROM eco WHERE CodigoPaciente = 1").toString(),
             QStringLiteral("{\\rtf1 texto}"));
    QCOMPARE(scalar(target, "INSERT INTO bddid (NOME) VALUES ('NOVO') RETURNING NF").toInt(), 500);

    // The dump shows every record and names the one it could not read whole.
    const Outcome dump = taluvo({ "db", "import-paradox", "--dump", QDir(old).filePath("eco.db") });
    QCOMPARE(dump.code, 1);
    QCOMPARE(dump.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).size(), 4);
    QVERIFY(dump.out.startsWith(QStringLiteral("CodigoPaciente,CodigoExame,DataExame,Eco1\r\n"
                                               "1,2003-04-05 10:11:12.345,2003-04-05,{\\rtf1 texto}")));
    QVERIFY2(dump.err.contains(QStringLiteral("registo 3: memo do campo Eco1")), qPrintable(dump.err));

    // A second import into the same database is refused and changes nothing.
    const Outcome again = taluvo({ "db", "import-paradox", old, target });
    QCOMPARE(again.code, 1);
    QVERIFY2(again.err.contains(QStringLiteral("a tabela bddid do destino já tem registos")), qPrintable(again.err));
    QCOMPARE(scalar(target, "SELECT count(*) FROM bddid").toInt(), 3);
}

void tst_ParadoxImport::failureOrDryRunLeavesNoDatabase()
{
    QTemporaryDir tmp;
    const QString old = tmp.filePath(QStringLiteral("old"));
    QVERIFY(QDir().mkpath(old));
    {
        ParadoxWriter w(QDir(old).filePath("Medico.DB"),
                        { { "CODIGO", T::AutoInc, 0 }, { "NOME", T::Alpha, 50 },
                          { "ACTIVO", T::Logical, 0 } });
        w.addRecord({ 1, QStringLiteral("DR A"), true });
        w.addRecord({ 1, QStringLiteral("DR B"), QVariant() });
    }

    // A dry run reads and checks all, and leaves the report alone in the folder.
    const QString dry = tmp.filePath(QStringLiteral("ensaio"));
    const Outcome o = taluvo({ "db", "import-paradox", "--dry-run", old, dry });
    QCOMPARE(o.code, 1);
    QCOMPARE(QDir(dry).entryList(QDir::Files), QStringList { "import-report.txt" });
    const QString report = readAll(QDir(dry).filePath(QStringLiteral("import-report.txt")));
    QVERIFY(report.contains(QStringLiteral("Simulação (--dry-run)")));
    QVERIFY(report.contains(QStringLiteral("Medico.DB\t2\tCODIGO=1\tchave repetida")));

    // A table file that is no table stops the whole import: no database is left.
    QFile bad(QDir(old).filePath("Frase.db"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray("not a table at all"));
    bad.close();
    const QString target = tmp.filePath(QStringLiteral("novo"));
    const Outcome failed = taluvo({ "db", "import-paradox", old, target });
    QCOMPARE(failed.code, 1);
    QVERIFY2(failed.err.contains(QStringLiteral("Frase.db: ")), qPrintable(failed.err));
    QCOMPARE(QDir(target).entryList(QDir::Files), QStringList { "import-report.txt" });
    QVERIFY(readAll(QDir(target).filePath(QStringLiteral("import-report.txt")))
                .contains(QStringLiteral("A importação não foi feita, nada foi escrito: Frase.db: ")));
}

QTEST_GUILESS_MAIN(tst_ParadoxImport)
#include "tst_ParadoxImport.moc"
