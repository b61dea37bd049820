// The local SQL written for PostgreSQL gives the rows SQLite gives with the program's functions:
// every case runs on both, over the same rows.

#include "platform/engine/FormatSettings.h"
#include "platform/engine/LocalSql.h"

#include <QCoreApplication>
#include <QTest>

#include <sqlite3.h>

#ifdef TALUVO_HAVE_LIBPQ
#include <libpq-fe.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// Both engines take the same tables and rows.
const char *const Setup[] = {
    "create table bddid (nf integer primary key, nome text, dnasc text, benif text, idade integer)",
    "create table eco (codigopaciente double precision, codigoexame text, dataexame text, "
    "executor double precision, medico text, modod text)",
    "create table medico (codigo integer primary key, nome text, activo integer)",
    "create table convencao (codigo integer primary key, sigla text, entidade text)",
    "insert into bddid values (1, 'MARIA DA CONCEIÇÃO', '1936-09-03', '1', 88), "
    "(2, 'conceição lopes', '2024-02-29', '12A', 0), (3, 'João Sá', '2024-02-30', ' 2 ', 12), "
    "(4, 'JOSÉ ANTÓNIO', null, 'abc', null), (5, 'ana luísa', '1999-12-31', "
    "'9223372036854775808', 25), (6, null, '2001-01-01', '-9223372036854775808', 7), "
    "(7, 'it''s 100%', '1970-01-01', '2', 3)",
    "insert into eco values (1, '2024-06-10 09:30:05.250', '2024-06-10', 1, 'DR X', 'Eco TT'), "
    "(1, '2024-07-01 00:00:00.000', '2024-07-01', 2, null, 'Eco TT'), "
    "(2, '2024-07-01 14:05:00.000', '2024-07-01', 9, 'DR \\Y', 'Eco TE'), "
    "(3, '2023-12-31 23:59:59.999', '2023-12-31', 1, null, 'Eco TT'), "
    "(7, '2024-02-29 08:00:00.000', '2024-02-29', 1, null, 'Eco de stress')",
    "insert into medico values (1, 'DR A', 1), (2, 'DR Ó', 0), (3, 'DR C', 1)",
    "insert into convencao values (1, 'SNS', 'Serviço Nacional de Saúde'), (2, 'ADSE', 'ADSE')",
};

std::optional<FieldType> typeOf(const QString &column)
{
    static const QHash<QString, FieldType> types {
        { u"nf"_s, FieldType::AutoInc },       { u"nome"_s, FieldType::String },
        { u"dnasc"_s, FieldType::Date },       { u"benif"_s, FieldType::String },
        { u"idade"_s, FieldType::SmallInt },   { u"codigopaciente"_s, FieldType::Float },
        { u"codigoexame"_s, FieldType::DateTime }, { u"dataexame"_s, FieldType::Date },
        { u"executor"_s, FieldType::Float },   { u"medico"_s, FieldType::String },
        { u"modod"_s, FieldType::String },     { u"codigo"_s, FieldType::AutoInc },
        { u"activo"_s, FieldType::Boolean },   { u"sigla"_s, FieldType::String },
        { u"entidade"_s, FieldType::String },
    };
    const auto it = types.constFind(column.toLower());
    return it == types.cend() ? std::nullopt : std::optional<FieldType>(*it);
}

struct Result
{
    QStringList names;
    QList<QVariantList> rows;
    QString error;
};

// Numbers compare as numbers: SQLite writes 3.0 where the server writes 3.
QString describe(const Result &r)
{
    QStringList lines { r.error.isEmpty() ? r.names.join(u'|').toLower() : r.error };
    for (const QVariantList &row : r.rows) {
        QStringList cells;
        for (const QVariant &v : row)
            cells << (v.isNull()                              ? u"<null>"_s
                          : v.typeId() == QMetaType::QString ? u'"' + v.toString() + u'"'
                                                             : QString::number(v.toDouble(), 'g', 15));
        lines << cells.join(u'|');
    }
    return lines.join(u'\n');
}

Result runSqlite(sqlite3 *db, const QString &sql, const QStringList &params)
{
    Result r;
    sqlite3_stmt *st = nullptr;
    const QByteArray text = LocalSql::translate(sql, typeOf).toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), -1, &st, nullptr) != SQLITE_OK) {
        r.error = QString::fromUtf8(sqlite3_errmsg(db));
        return r;
    }
    for (int i = 0; i < params.size(); ++i) {
        const QByteArray value = params[i].toUtf8();
        sqlite3_bind_text(st, i + 1, value.constData(), int(value.size()), SQLITE_TRANSIENT);
    }
    for (int c = 0; c < sqlite3_column_count(st); ++c)
        r.names << QString::fromUtf8(sqlite3_column_name(st, c));
    while (sqlite3_step(st) == SQLITE_ROW) {
        QVariantList row;
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
            switch (sqlite3_column_type(st, c)) {
            case SQLITE_NULL: row << QVariant(); break;
            case SQLITE_INTEGER: row << QVariant(qint64(sqlite3_column_int64(st, c))); break;
            case SQLITE_FLOAT: row << QVariant(sqlite3_column_double(st, c)); break;
            default:
                row << QVariant(QString::fromUtf8(
                    reinterpret_cast<const char *>(sqlite3_column_text(st, c))));
            }
        }
        r.rows << row;
    }
    sqlite3_finalize(st);
    return r;
}

#ifdef TALUVO_HAVE_LIBPQ
// "?" as the server's $1, $2... outside literals and names, as the engine's layer does.
QByteArray numbered(const QString &sql)
{
    QString out;
    int count = 0;
    QChar quote;
    for (const QChar c : sql) {
        if (!quote.isNull()) {
            quote = c == quote ? QChar() : quote;
        } else if (c == u'\'' || c == u'"') {
            quote = c;
        } else if (c == u'?') {
            out += u'$' + QString::number(++count);
            continue;
        }
        out += c;
    }
    return out.toUtf8();
}

Result runPostgres(PGconn *pg, const QString &sql, const QStringList &params)
{
    Result r;
    std::vector<QByteArray> values;
    std::vector<const char *> pointers;
    for (const QString &p : params)
        values.push_back(p.toUtf8());
    for (const QByteArray &v : values)
        pointers.push_back(v.constData());
    PGresult *res = PQexecParams(pg, numbered(LocalSql::translate(sql, typeOf,
                                                                  LocalSql::Dialect::PostgreSql)),
                                 int(pointers.size()), nullptr, pointers.data(), nullptr, nullptr, 0);
    if (PQresultStatus(res) != PGRES_TUPLES_OK) {
        r.error = QString::fromUtf8(PQresultErrorMessage(res)).trimmed();
        PQclear(res);
        return r;
    }
    for (int c = 0; c < PQnfields(res); ++c)
        r.names << QString::fromUtf8(PQfname(res, c));
    for (int i = 0; i < PQntuples(res); ++i) {
        QVariantList row;
        for (int c = 0; c < PQnfields(res); ++c) {
            const QString text = QString::fromUtf8(PQgetvalue(res, i, c));
            switch (PQftype(res, c)) {
            case 16: // a condition in the select list: SQLite gives 1 or 0
                row << (PQgetisnull(res, i, c) ? QVariant() : QVariant(text == u"t" ? 1.0 : 0.0));
                break;
            case 20: case 21: case 23: case 700: case 701: case 1700: // integers, reals, numeric
                row << (PQgetisnull(res, i, c) ? QVariant() : QVariant(text.toDouble()));
                break;
            default:
                row << (PQgetisnull(res, i, c) ? QVariant() : QVariant(text));
            }
        }
        r.rows << row;
    }
    PQclear(res);
    return r;
}

PGresult *command(PGconn *pg, const QByteArray &sql)
{
    PGresult *res = PQexec(pg, sql.constData());
    return res;
}
#endif

} // namespace

class tst_LocalSqlPostgres : public QObject
{
    Q_OBJECT

    sqlite3 *m_sqlite = nullptr;
#ifdef TALUVO_HAVE_LIBPQ
    PGconn *m_admin = nullptr;
    PGconn *m_pg = nullptr;
    QByteArray m_database;
#endif

private Q_SLOTS:
    void initTestCase()
    {
#ifndef TALUVO_HAVE_LIBPQ
        QSKIP("built without libpq");
#else
        const QByteArray uri = qgetenv("TALUVO_TEST_PG");
        if (uri.isEmpty())
            QSKIP("TALUVO_TEST_PG names no PostgreSQL server");
        m_admin = PQconnectdb(uri.constData());
        if (PQstatus(m_admin) != CONNECTION_OK)
            QSKIP(qPrintable(u"no PostgreSQL server: "_s + QString::fromUtf8(PQerrorMessage(m_admin))));
        m_database = "taluvo_test_dialect_" + QByteArray::number(QCoreApplication::applicationPid());
        // A database in the C locale: folding must not lean on the server's locale.
        PGresult *made = command(m_admin, "create database " + m_database
                                              + " template template0 encoding 'UTF8' locale 'C'");
        QCOMPARE(PQresultStatus(made), PGRES_COMMAND_OK);
        PQclear(made);
        // The new database, over the maintenance URI's other settings (host, port, user).
        const char *uriKeys[] = { "dbname", "dbname", nullptr };
        const char *uriValues[] = { uri.constData(), m_database.constData(), nullptr };
        m_pg = PQconnectdbParams(uriKeys, uriValues, 1);
        QCOMPARE(PQstatus(m_pg), CONNECTION_OK);
        FormatSettings::setCurrent(FormatSettings::portuguese());
        QCOMPARE(sqlite3_open(":memory:", &m_sqlite), SQLITE_OK);
        QCOMPARE(LocalSql::registerFunctions(m_sqlite), SQLITE_OK);
        for (const char *sql : Setup) {
            QCOMPARE(sqlite3_exec(m_sqlite, sql, nullptr, nullptr, nullptr), SQLITE_OK);
            PGresult *res = command(m_pg, sql);
            QVERIFY2(PQresultStatus(res) == PGRES_COMMAND_OK, PQresultErrorMessage(res));
            PQclear(res);
        }
#endif
    }

    void cleanupTestCase()
    {
        sqlite3_close(m_sqlite);
#ifdef TALUVO_HAVE_LIBPQ
        PQfinish(m_pg);
        if (m_admin && PQstatus(m_admin) == CONNECTION_OK && !m_database.isEmpty())
            PQclear(command(m_admin, "drop database if exists " + m_database));
        PQfinish(m_admin);
#endif
    }

    void sameRows_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("params");
        const QString search = u"select nf, nome from bddid where Upper(Cast(NF as char(10))) like "
                               "'%1' or Upper(NOME) like '%1' or Upper(Cast(DNASC as Char(10))) "
                               "like '%1' or Upper(Cast(IDADE as Char(3))) like '%1' or "
                               "Upper(BENIF) like '%1' order by nf"_s;
        const QList<std::pair<const char *, QString>> cases {
            // Joins.
            { "right join", u"select e.executor, m.nome from medico m right join eco e on "
                            "m.codigo = e.executor order by e.codigoexame"_s },
            { "exam list", u"select dataexame, codigoexame, nf, bddid.nome,  medico.nome, medico "
                           "from medico right join eco on medico.codigo = executor, bddid where "
                           "nf = eco.codigopaciente order by dataexame desc, codigoexame"_s },
            { "join on a strict cast", u"select b.nf from bddid b join medico m on "
                                       "cast(b.benif as integer) = m.codigo order by b.nf"_s },
            // Casts.
            { "strict integer", u"select nf, cast(benif as integer), cast(idade as int) + 1 "
                                "from bddid order by nf"_s },
            { "dates as shown", u"select nf, cast(dnasc as char(10)), Cast(DNASC as varchar(5)), "
                                "cast(dnasc as char) from bddid order by nf"_s },
            { "timestamps as shown", u"select cast(codigoexame as char(19)), cast(codigoexame as "
                                     "char(30)) from eco order by codigoexame"_s },
            { "numbers to characters", u"select cast(nf as char(3)), cast(idade as char(3)), "
                                       "cast(executor as char(5)) from eco, bddid where nf = "
                                       "codigopaciente order by codigoexame"_s },
            { "text to numbers", u"select cast(benif as real), cast(benif as numeric) + 0, "
                                 "cast(benif as bigint) from bddid where nf < 5 order by nf"_s },
            // Folding.
            { "upper", u"select nome, upper(nome), lower(nome) from bddid order by nf"_s },
            { "like folds both sides", u"select nf from bddid where nome like '%conceição%' or "
                                       "nome not like '%a%' order by nf"_s },
            { "like plain letters", u"select nf from bddid where nome like '%jo_o%' or nome like "
                                    "'ANA%' order by nf"_s },
            { "like, a backslash is no escape", u"select codigoexame from eco where medico like "
                                                "'dr \\%' or medico like '%é\\%' order by 1"_s },
            { "like with an escape", u"select nf from bddid where nome like '%!%' escape '!' "
                                     "order by nf"_s },
            { "search, accents typed", search.arg(u"%CONCEIçãO%"_s) },
            { "search, a date", search.arg(u"%03/09%"_s) },
            { "search, digits", search.arg(u"%12%"_s) },
            { "search, a quote", search.arg(u"%IT''S%"_s) },
            // Statistics and summaries.
            { "statistics", u"select count(*) from eco where dataexame >= '2024-01-01' and "
                            "dataexame <= '2024-12-31' group by codigopaciente order by "
                            "codigopaciente"_s },
            { "by doctor", u"select codigo, nome, modod, count(*) from medico join eco on codigo "
                           "= executor where dataexame >= '2023-01-01' and dataexame <= "
                           "'2024-12-31' group by executor,codigo,nome, modod order by codigo, "
                           "modod"_s },
            { "by health system", u"select sigla, entidade, count(*) from bddid join convencao "
                                  "on cast(bddid.benif as integer) = convencao.codigo join eco on "
                                  "nf = codigopaciente where dataexame >= '2023-01-01' and "
                                  "dataexame <= '2024-12-31' group by convencao.sigla, "
                                  "convencao.entidade order by sigla"_s },
            // Loose typing.
            { "text column against a number", u"select nf from bddid where benif = 2 or 1 = "
                                              "benif order by nf"_s },
            { "logical columns", u"select nome from medico where activo = true or false = "
                                 "activo order by codigo"_s },
            { "functions", u"select ifnull(benif, 'x'), length(nome), substr(nome, 2, 3), "
                           "length(idade) from bddid order by nf"_s },
            { "concatenation and division", u"select nf || ' ' || nome, 7 / 2, nf / 2, "
                                            "count(distinct executor) from bddid, eco group by "
                                            "nf, nome order by nf"_s },
        };
        for (const auto &[name, sql] : cases)
            QTest::newRow(name) << sql << QStringList();
        const QString withParams = u"select count(*) from eco where dataexame >= ? and "
                                   "dataexame <= ? and executor = ? group by codigopaciente "
                                   "order by codigopaciente"_s;
        QTest::newRow("statistics of a doctor")
            << withParams << QStringList { u"2023-01-01"_s, u"2024-12-31"_s, u"1"_s };
        for (const QString &value : { u"12"_s, u" -3 "_s, u"12A"_s, u""_s,
                                      u"9223372036854775808"_s, u"-9223372036854775808"_s }) {
            QTest::addRow("strict integer of \"%s\"", qPrintable(value))
                << u"select CAST ( ? AS Integer )"_s << QStringList { value };
        }
        for (const QString &value : { u"1936-09-03"_s, u"2024-02-30"_s, u"0000-01-01"_s,
                                      u"2000-02-29"_s, u"1900-02-29"_s, u"2023-02-29"_s,
                                      u"2024-04-31"_s, u"2024-13-01"_s, u"2024-12-31 23:60"_s,
                                      u"2024-06-10 09:30:05.250"_s, u"2024-06-10T09:30"_s,
                                      u"1936-09-03 00:00:00.000"_s, u"2024-06-10 24:00:00"_s,
                                      u"abc"_s }) {
            QTest::addRow("date of \"%s\"", qPrintable(value))
                << u"select Cast(? as char(19)), cast(? as varchar(4)) like '0%'"_s
                << QStringList { value, value };
        }
        QTest::newRow("like a placeholder")
            << u"select nf from bddid where nome like ? order by nf"_s
            << QStringList { u"%ção%"_s };
    }
    void sameRows()
    {
        QFETCH(QString, sql);
        QFETCH(QStringList, params);
#ifdef TALUVO_HAVE_LIBPQ
        const QString sqlite = describe(runSqlite(m_sqlite, sql, params));
        const QString postgres = describe(runPostgres(m_pg, sql, params));
        QCOMPARE(postgres, sqlite);
#endif
    }

    // The date is written in the user's format of the moment.
    void otherDateFormats_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("shown");
        QTest::newRow("short digits") << u"d.M.yy"_s << u"H:mm"_s << u"10.6.24 9:30"_s;
        QTest::newRow("names") << u"ddd, d MMM yyyy"_s << u"hh:mm:ss.zzz"_s
                               << u"Mon, 10 Jun 2024 09:30:05.250"_s;
        QTest::newRow("quoted text") << u"dddd d 'de' MMMM 'de' yyyy"_s << u"hh'h'mm"_s
                                     << u"Monday 10 de June de 2024 09h30"_s;
    }
    void otherDateFormats()
    {
#ifdef TALUVO_HAVE_LIBPQ
        QFETCH(QString, date);
        QFETCH(QString, time);
        QFETCH(QString, shown);
        const FormatSettings saved = FormatSettings::current();
        FormatSettings other = saved;
        other.setShortDateFormat(date);
        other.setLongTimeFormat(time);
        FormatSettings::setCurrent(other);
        const QString sql = u"select cast(codigoexame as varchar) from eco order by codigoexame"_s;
        const QString sqlite = describe(runSqlite(m_sqlite, sql, {}));
        const QString postgres = describe(runPostgres(m_pg, sql, {}));
        FormatSettings::setCurrent(saved);
        QCOMPARE(postgres, sqlite);
        QVERIFY2(sqlite.contains(u'"' + shown + u'"'), qPrintable(sqlite));
#endif
    }
};

QTEST_GUILESS_MAIN(tst_LocalSqlPostgres)
#include "tst_LocalSqlPostgres.moc"
