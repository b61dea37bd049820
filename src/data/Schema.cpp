#include "data/Schema.h"

#include "platform/engine/Database.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/SqliteStore.h"
#include "platform/engine/TextFold.h"

#include <sqlite3.h>

#include <functional>
#include <limits>
#include <vector>

namespace {

ColumnDef col(const char *name, FieldType type, int size = 0, bool required = false)
{
    return ColumnDef { QString::fromLatin1(name), type, size, required };
}

ColumnDef alpha(const char *name, int size, bool required = false)
{
    return col(name, FieldType::String, size, required);
}

void addAll(QList<ColumnDef> &columns, FieldType type, std::initializer_list<const char *> names)
{
    for (const char *name : names)
        columns.append(col(name, type));
}

TableDef patientTable()
{
    TableDef t;
    t.name = QStringLiteral("bddid");
    t.fileName = QStringLiteral("Bddid.DB");
    // The practice's other software keeps these registration columns; the order is the one the
    // advanced search selects them in.
    t.columns = {
        col("NF", FieldType::AutoInc),
        alpha("NOME", 50),
        alpha("MORADA", 80),
        // A bare date, as the practice's other software writes it: the time of birth is never used.
        col("DNASC", FieldType::Date),
        alpha("NATUR", 40),
        col("D1CONS", FieldType::Date),
        alpha("TELEF", 20),
        alpha("PROF", 40),
        alpha("ESTADO", 15),
        alpha("RECOMEND", 60),
        alpha("BENIFIC", 20),
        col("IDADE", FieldType::SmallInt),
        alpha("BENIF", 10, true),
        alpha("CPOSTAL", 10),
        alpha("CIDADE", 40),
        alpha("SEXO", 1),
        alpha("NCONTRIB", 12),
        col("NCONS", FieldType::SmallInt),
        col("PERUTENTE", FieldType::SmallInt),
        alpha("CENTROS", 60),
        alpha("NCENTROS", 20),
    };
    t.primaryKey = { QStringLiteral("NF") };
    // Names in the order people read them, whatever their case and accents; the name as written
    // then tells apart those that fold alike.
    t.folded = { { QStringLiteral("NOME_ORDEM"), QStringLiteral("NOME") } };
    t.indexes = { { QStringLiteral("BDDIDEX_NO"),
                    { QStringLiteral("NOME_ORDEM"), QStringLiteral("NOME") },
                    false } };
    return t;
}

TableDef examTable()
{
    TableDef t;
    t.name = QStringLiteral("eco");
    t.fileName = QStringLiteral("eco.DB");
    QList<ColumnDef> &c = t.columns;
    c = {
        col("CodigoPaciente", FieldType::Float, 0, true),
        col("CodigoExame", FieldType::DateTime, 0, true),
        alpha("Medico", 60),
        col("Idade", FieldType::SmallInt),
        col("Peso", FieldType::SmallInt),
        col("Altura", FieldType::SmallInt),
        col("DataExame", FieldType::Date),
    };
    addAll(c, FieldType::Float,
           { "Vd", "Ved", "Ves", "Fenc", "Fe", "Pp", "Siv", "Ae", "Ao", "Gradveaomax",
             "Gradveaomin", "Areavm", "Vptac", "Vptactevd" });
    c.append(alpha("ModoD", 50));
    c.append(alpha("Qte", 8));
    c.append(alpha("InfoCl", 50));
    addAll(c, FieldType::Float, { "VMGradMx", "VMGradMd", "Executor" });
    c.append(col("OrdSeg", FieldType::Boolean));
    c.append(col("OrdSeg1", FieldType::Memo));
    addAll(c, FieldType::Boolean,
           { "Dcc", "Dccae", "Dccad", "Dccvd", "Dccve", "Vcn", "Vceem", "Vceea", "Vceep", "Vceet",
             "Vcmm", "Vcma", "Vcmp", "VcmT" });
    c.append(col("Vc1", FieldType::Memo));
    addAll(c, FieldType::Boolean,
           { "Cvn", "Cvd", "Cvm", "Cvc", "Asd", "Pn", "Pdp", "Pdm", "Pdg", "Econ", "Ecoa" });
    c.append(col("Eco1", FieldType::Memo));
    c.append(col("tecnico", FieldType::Integer));
    t.primaryKey = { QStringLiteral("CodigoPaciente"), QStringLiteral("CodigoExame") };
    // The statistics and the summaries select exams by date range and read only these columns:
    // the index answers them alone, which also beats a scan for a range of many years.
    t.indexes = { { QStringLiteral("eco_dataexame"),
                    { QStringLiteral("DataExame"), QStringLiteral("Executor"),
                      QStringLiteral("CodigoPaciente"), QStringLiteral("ModoD") },
                    false } };
    return t;
}

TableDef scoreTable()
{
    TableDef t;
    t.name = QStringLiteral("imagem");
    t.fileName = QStringLiteral("imagem.db");
    t.columns = { col("CodpacienteI", FieldType::Float), col("DodExamei", FieldType::DateTime) };
    for (int i = 1; i <= 16; ++i)
        t.columns.append(ColumnDef { QStringLiteral("C%1").arg(i), FieldType::SmallInt });
    // No key: a cancelled exam can leave a second row for the same exam, and that must not fail.
    t.indexes = { { QStringLiteral("imagem_exame"),
                    { QStringLiteral("CodpacienteI"), QStringLiteral("DodExamei") },
                    false } };
    return t;
}

TableDef phraseTable()
{
    TableDef t;
    t.name = QStringLiteral("frase");
    t.fileName = QStringLiteral("Frase.db");
    t.columns = { col("CodFrase", FieldType::AutoInc), alpha("Frase", 200), alpha("Outros", 200) };
    t.primaryKey = { QStringLiteral("CodFrase") };
    return t;
}

TableDef conclusionTable()
{
    TableDef t;
    t.name = QStringLiteral("eco_conclusoes");
    t.fileName = QStringLiteral("eco_conclusoes.db");
    t.columns
        = { col("Id", FieldType::AutoInc), alpha("Nome", 255), col("Descricao", FieldType::Memo) };
    t.primaryKey = { QStringLiteral("Id") };
    return t;
}

TableDef doctorTable()
{
    TableDef t;
    t.name = QStringLiteral("medico");
    t.fileName = QStringLiteral("Medico.DB");
    t.columns = { col("CODIGO", FieldType::AutoInc), alpha("NOME", 50),
                  col("ACTIVO", FieldType::Boolean) };
    t.primaryKey = { QStringLiteral("CODIGO") };
    return t;
}

TableDef healthSystemTable()
{
    TableDef t;
    t.name = QStringLiteral("convencao");
    t.fileName = QStringLiteral("convencao.DB");
    t.columns = { col("CODIGO", FieldType::AutoInc), alpha("SIGLA", 10), alpha("ENTIDADE", 80),
                  col("ACTIVO", FieldType::Boolean) };
    t.primaryKey = { QStringLiteral("CODIGO") };
    return t;
}

// Letters beyond ASCII that names are written in: Latin with its extensions, the combining
// marks, Greek and Cyrillic.
constexpr std::pair<char16_t, char16_t> FoldedRanges[] = {
    { 0x80, 0x24F }, { 0x300, 0x36F }, { 0x370, 0x3FF }, { 0x400, 0x52F }, { 0x1E00, 0x1FFF },
};
// Nested replace() calls per step, well within what SQLite's parser takes.
constexpr int ReplacesPerStep = 16;

QString sqlText(const QString &text)
{
    QString q = text;
    q.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

// Rows whose text holds anything beyond printable ASCII: only those need more than lower().
QString beyondAscii(const QString &column)
{
    return column + QLatin1String(" GLOB '*[^ -~]*'");
}

QString triggerName(const TableDef &table, const FoldedColumnDef &folded, const QString &what)
{
    return table.name + QLatin1Char('_') + folded.name.toLower() + QLatin1Char('_') + what;
}

QString baseName(const QString &name)
{
    const QLatin1String extension(".db");
    return name.endsWith(extension, Qt::CaseInsensitive) ? name.chopped(extension.size()) : name;
}

} // namespace

const ColumnDef *TableDef::column(const QString &columnName) const
{
    for (const ColumnDef &c : columns) {
        if (c.name.compare(columnName, Qt::CaseInsensitive) == 0)
            return &c;
    }
    return nullptr;
}

const IndexDef *TableDef::index(const QString &indexName) const
{
    for (const IndexDef &i : indexes) {
        if (i.name.compare(indexName, Qt::CaseInsensitive) == 0)
            return &i;
    }
    return nullptr;
}

const QList<TableDef> &Schema::tables()
{
    static const QList<TableDef> all
        = { patientTable(),    examTable(),   scoreTable(),       phraseTable(),
            conclusionTable(), doctorTable(), healthSystemTable() };
    return all;
}

const TableDef *Schema::table(const QString &sqlOrFileName)
{
    const QString wanted = baseName(sqlOrFileName.trimmed());
    for (const TableDef &t : tables()) {
        if (t.name.compare(wanted, Qt::CaseInsensitive) == 0)
            return &t;
    }
    return nullptr;
}

QString Schema::sqlType(FieldType type)
{
    switch (type) {
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::LargeInt:
    case FieldType::Boolean:
    case FieldType::AutoInc:
        return QStringLiteral("INTEGER");
    case FieldType::Float:
        return QStringLiteral("REAL");
    case FieldType::Blob:
        return QStringLiteral("BLOB");
    case FieldType::Unknown:
    case FieldType::String:
    case FieldType::Date:
    case FieldType::DateTime:
    case FieldType::Memo:
    case FieldType::FmtMemo:
        break;
    }
    return QStringLiteral("TEXT");
}

QString Schema::createTableSql(const TableDef &table)
{
    QStringList parts;
    bool keyInColumn = false;
    for (const ColumnDef &c : table.columns) {
        QString def = c.name + QLatin1Char(' ') + sqlType(c.type);
        if (c.type == FieldType::AutoInc) {
            def += QLatin1String(" PRIMARY KEY AUTOINCREMENT");
            keyInColumn = true;
        } else if (table.primaryKey.contains(c.name)) {
            // SQLite lets a NULL into a key column of a rowid table unless told otherwise.
            def += QLatin1String(" NOT NULL");
        }
        // Other required columns are checked by the engine, which names the field in its message;
        // rows imported from older files may lack them, so storage does not refuse them.
        parts.append(def);
    }
    for (const FoldedColumnDef &f : table.folded)
        parts.append(f.name + QLatin1String(" TEXT"));
    if (!keyInColumn && !table.primaryKey.isEmpty())
        parts.append(QLatin1String("PRIMARY KEY (") + table.primaryKey.join(QLatin1String(", "))
                     + QLatin1Char(')'));
    return QLatin1String("CREATE TABLE ") + table.name + QLatin1String(" (")
        + parts.join(QLatin1String(", ")) + QLatin1Char(')');
}

QString Schema::createIndexSql(const TableDef &table, const IndexDef &index)
{
    return QLatin1String(index.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") + index.name
        + QLatin1String(" ON ") + table.name + QLatin1String(" (")
        + index.columns.join(QLatin1String(", ")) + QLatin1Char(')');
}

void Schema::create(sqlite3 *db)
{
    QStringList statements;
    for (const TableDef &t : tables()) {
        statements.append(createTableSql(t));
        for (const IndexDef &i : t.indexes)
            statements.append(createIndexSql(t, i));
        for (const FoldedColumnDef &f : t.folded)
            statements.append(foldedTriggersSql(t, f));
    }
    SqliteStore::exec(db, QStringLiteral("BEGIN IMMEDIATE"));
    try {
        // Plain CREATE, never IF NOT EXISTS: an existing table must stop the whole creation.
        SqliteStore::exec(db, statements.join(QLatin1String(";\n")));
        SqliteStore::exec(db, QStringLiteral("PRAGMA user_version = %1").arg(Version));
        SqliteStore::exec(db, QStringLiteral("COMMIT"));
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

QStringList Schema::foldSteps()
{
    QStringList replaces;
    for (const auto &[from, to] : FoldedRanges) {
        for (char16_t c = from; c <= to; ++c) {
            const QChar ch(c);
            if (ch.isSurrogate() || ch.category() == QChar::Other_NotAssigned)
                continue;
            const QString letter(ch);
            const QString key = TextFold::searchKey(letter);
            if (key != letter)
                replaces.append(QStringLiteral("%1, %2)").arg(sqlText(letter), sqlText(key)));
        }
    }
    QStringList steps { QStringLiteral("lower(%1)") };
    for (qsizetype i = 0; i < replaces.size(); i += ReplacesPerStep) {
        const QStringList part = replaces.mid(i, ReplacesPerStep);
        steps.append(QStringLiteral("replace(").repeated(part.size()) + QStringLiteral("%1, ")
                     + part.join(QLatin1String(", ")));
    }
    return steps;
}

QStringList Schema::foldedTriggersSql(const TableDef &table, const FoldedColumnDef &folded)
{
    const QStringList steps = foldSteps();
    const QString update = QStringLiteral("UPDATE %1 SET %2 = %3 WHERE rowid = NEW.rowid;")
                               .arg(table.name, folded.name);
    const QString source = QLatin1String("NEW.") + folded.source;
    // Names in plain ASCII, most of them, only need lower(); the others go through every step.
    QString plain = update.arg(steps.first().arg(source));
    QString accented = update.arg(steps.value(1, QStringLiteral("%1")).arg(steps.first().arg(source)));
    for (int i = 2; i < steps.size(); ++i)
        accented += update.arg(steps[i].arg(folded.name));
    const QString plainWhen
        = QStringLiteral("%1 IS NULL OR NOT (%2)").arg(source, beyondAscii(source));
    const QString accentedWhen = beyondAscii(source);
    QStringList sql;
    const QString create = QStringLiteral("CREATE TRIGGER %1 AFTER %2 ON %3 WHEN %4 BEGIN %5 END");
    const QString updateOf = QLatin1String("UPDATE OF ") + folded.source;
    for (const auto &[what, on] : { std::pair { QStringLiteral("insert"), QStringLiteral("INSERT") },
                                    std::pair { QStringLiteral("update"), updateOf } }) {
        sql.append(create.arg(triggerName(table, folded, what + QLatin1String("_plain")), on,
                              table.name, plainWhen, plain));
        sql.append(create.arg(triggerName(table, folded, what + QLatin1String("_accented")), on,
                              table.name, accentedWhen, accented));
    }
    return sql;
}

QStringList Schema::dropFoldedTriggersSql(const TableDef &table, const FoldedColumnDef &folded)
{
    QStringList sql;
    for (const char *name : { "insert_plain", "insert_accented", "update_plain", "update_accented" })
        sql.append(QStringLiteral("DROP TRIGGER IF EXISTS %1")
                       .arg(triggerName(table, folded, QLatin1String(name))));
    return sql;
}

void Schema::fillFolded(sqlite3 *db, const TableDef &table, const FoldedColumnDef &folded)
{
    // In batches by rowid, so no statement reads the table while another writes it.
    SqlStatement read(db, QStringLiteral("SELECT rowid, %1 FROM %2 WHERE rowid > ? ORDER BY rowid "
                                         "LIMIT 20000")
                              .arg(folded.source, table.name));
    SqlStatement write(db, QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?")
                               .arg(table.name, folded.name));
    std::vector<std::pair<qint64, QVariant>> batch;
    qint64 last = std::numeric_limits<qint64>::min();
    do {
        batch.clear();
        read.reset();
        read.bind(0, last);
        while (read.step()) {
            last = read.int64(0);
            batch.emplace_back(last, read.isNull(1) ? QVariant()
                                                    : QVariant(TextFold::searchKey(read.text(1))));
        }
        read.reset();
        for (const auto &[rowid, key] : batch) {
            write.reset();
            write.bind(0, key);
            write.bind(1, rowid);
            write.step();
        }
    } while (!batch.empty());
}

void Schema::beginBulkLoad(sqlite3 *db)
{
    for (const TableDef &t : tables()) {
        for (const FoldedColumnDef &f : t.folded) {
            for (const QString &sql : dropFoldedTriggersSql(t, f))
                SqliteStore::exec(db, sql);
        }
    }
}

void Schema::endBulkLoad(sqlite3 *db)
{
    for (const TableDef &t : tables()) {
        for (const FoldedColumnDef &f : t.folded) {
            fillFolded(db, t, f);
            for (const QString &sql : foldedTriggersSql(t, f))
                SqliteStore::exec(db, sql);
        }
    }
}

namespace {
bool hasColumn(sqlite3 *db, const QString &table, const QString &column)
{
    sqlite3_stmt *st = nullptr;
    bool found = false;
    const QByteArray sql = QStringLiteral("PRAGMA table_info(%1)").arg(table).toUtf8();
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) == SQLITE_OK) {
        while (!found && sqlite3_step(st) == SQLITE_ROW)
            found = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 1)))
                        .compare(column, Qt::CaseInsensitive)
                == 0;
    }
    sqlite3_finalize(st);
    return found;
}

bool runUpgradeStep(sqlite3 *db, const QStringList &statements, int version,
                    const std::function<void()> &more = {}, const QStringList &after = {})
{
    bool done = false;
    try {
        SqliteStore::exec(db, QStringLiteral("BEGIN IMMEDIATE"));
        for (const QString &sql : statements)
            SqliteStore::exec(db, sql);
        if (more)
            more();
        for (const QString &sql : after)
            SqliteStore::exec(db, sql);
        SqliteStore::exec(db, QStringLiteral("PRAGMA user_version = %1").arg(version));
        SqliteStore::exec(db, QStringLiteral("COMMIT"));
        done = true;
    } catch (...) {
        // Tried again at the next start.
    }
    if (sqlite3_get_autocommit(db) == 0)
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return done;
}
} // namespace

void Schema::upgrade(sqlite3 *db)
{
    sqlite3_stmt *st = nullptr;
    int version = Version;
    if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr) == SQLITE_OK
        && sqlite3_step(st) == SQLITE_ROW)
        version = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    if (version >= Version)
        return;
    // Version 1: birth dates once written with a time of day become bare dates.
    if (version < 1
        && !runUpgradeStep(db,
                           { QStringLiteral("UPDATE bddid SET DNASC = substr(DNASC, 1, 10) "
                                            "WHERE length(DNASC) > 10") },
                           1))
        return;
    // Version 2: names carry their folded form, kept by triggers, and the name index orders by it.
    if (version < 2) {
        QStringList sql;
        QStringList indexes;
        for (const TableDef &t : tables()) {
            for (const FoldedColumnDef &f : t.folded) {
                if (!hasColumn(db, t.name, f.name))
                    sql.append(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 TEXT").arg(t.name, f.name));
                sql += dropFoldedTriggersSql(t, f);
                sql += foldedTriggersSql(t, f);
            }
            for (const IndexDef &i : t.indexes) {
                bool onFolded = false;
                for (const FoldedColumnDef &f : t.folded)
                    onFolded = onFolded || i.columns.contains(f.name);
                if (!onFolded)
                    continue;
                // Built once the column is filled, not grown row by row.
                indexes.append(QStringLiteral("DROP INDEX IF EXISTS %1").arg(i.name));
                indexes.append(createIndexSql(t, i));
            }
        }
        if (!runUpgradeStep(db, sql, 2, [db] {
            for (const TableDef &t : tables()) {
                for (const FoldedColumnDef &f : t.folded)
                    fillFolded(db, t, f);
            }
        }, indexes))
            return;
    }
    // Version 3: the date index carries the columns the statistics and summaries read.
    if (version < 3) {
        const TableDef &eco = *table(QStringLiteral("eco"));
        const IndexDef &byDate = *eco.index(QStringLiteral("eco_dataexame"));
        runUpgradeStep(db,
                       { QStringLiteral("DROP INDEX IF EXISTS %1").arg(byDate.name),
                         createIndexSql(eco, byDate) },
                       3);
    }
}

void Schema::upgrade(Database &db)
{
    Connection &conn = db.connection();
    if (!conn.isPostgreSql()) {
        upgrade(db.handle());
        return;
    }
    // Version 3 is the first a server holds: nothing to bring up to date yet.
}

QStringList Schema::names()
{
    QStringList all;
    for (const TableDef &t : tables()) {
        all.append(t.name);
        for (const ColumnDef &c : t.columns) {
            all.append(c.name);
            all.append(t.name + QLatin1Char('.') + c.name);
        }
        for (const FoldedColumnDef &f : t.folded)
            all.append(f.name);
    }
    return all;
}

namespace {
QString postgreSqlType(const ColumnDef &c)
{
    switch (c.type) {
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::Boolean:
        return QStringLiteral("integer");
    case FieldType::LargeInt:
        return QStringLiteral("bigint");
    case FieldType::AutoInc:
        return QStringLiteral("integer GENERATED BY DEFAULT AS IDENTITY");
    case FieldType::Float:
        return QStringLiteral("double precision");
    case FieldType::Blob:
        return QStringLiteral("bytea");
    default:
        break;
    }
    return QStringLiteral("text COLLATE \"C\"");
}

// TextFold::searchKey of the text %1 stands for, as the SQLite triggers compute it: ASCII
// lowered, then each other letter replaced by its key.
QString postgreSqlFold(const QString &source)
{
    QString from;
    QString to;
    QList<std::pair<QString, QString>> longer;
    for (const auto &[first, last] : FoldedRanges) {
        for (char16_t c = first; c <= last; ++c) {
            const QChar ch(c);
            if (ch.isSurrogate() || ch.category() == QChar::Other_NotAssigned)
                continue;
            const QString letter(ch);
            const QString key = TextFold::searchKey(letter);
            if (key == letter)
                continue;
            if (key.size() == 1) {
                from += letter;
                to += key;
            } else {
                longer.append({letter, key});
            }
        }
    }
    QString expr = QStringLiteral("translate(lower(%1), %2, %3)").arg(source, sqlText(from), sqlText(to));
    for (const auto &[letter, key] : longer)
        expr = QStringLiteral("replace(%1, %2, %3)").arg(expr, sqlText(letter), sqlText(key));
    return expr;
}
} // namespace

QStringList Schema::postgreSqlStatements()
{
    QStringList sql;
    for (const TableDef &t : tables()) {
        QStringList parts;
        for (const ColumnDef &c : t.columns) {
            QString def = c.name + QLatin1Char(' ') + postgreSqlType(c);
            if (t.primaryKey.contains(c.name))
                def += QLatin1String(" NOT NULL");
            parts.append(def);
        }
        for (const FoldedColumnDef &f : t.folded)
            parts.append(f.name + QLatin1String(" text COLLATE \"C\""));
        // Last, so that an INSERT without a column list fills the table's own columns.
        parts.append(QStringLiteral("rowid bigserial NOT NULL"));
        if (!t.primaryKey.isEmpty())
            parts.append(QLatin1String("PRIMARY KEY (") + t.primaryKey.join(QLatin1String(", "))
                         + QLatin1Char(')'));
        sql.append(QLatin1String("CREATE TABLE ") + t.name + QLatin1String(" (")
                   + parts.join(QLatin1String(", ")) + QLatin1Char(')'));
        // The row identity the engine reads rows back by.
        sql.append(QStringLiteral("CREATE UNIQUE INDEX %1_rowid ON %1 (rowid)").arg(t.name));
        QList<IndexDef> indexes = t.indexes;
        // A key of several columns also orders the table, nulls first as in SQLite.
        if (t.primaryKey.size() > 1)
            indexes.append(IndexDef { t.name + QLatin1String("_key_order"), t.primaryKey, false });
        for (const IndexDef &i : indexes) {
            QStringList columns;
            for (const QString &c : i.columns)
                columns.append(c + QLatin1String(" NULLS FIRST"));
            // SQLite's indexes end with the rowid; the engine orders by it last.
            if (!i.unique)
                columns.append(QStringLiteral("rowid"));
            sql.append(QLatin1String(i.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") + i.name
                       + QLatin1String(" ON ") + t.name + QLatin1String(" (")
                       + columns.join(QLatin1String(", ")) + QLatin1Char(')'));
        }
        for (const FoldedColumnDef &f : t.folded) {
            const QString name = t.name + QLatin1Char('_') + f.name.toLower();
            sql.append(QStringLiteral("CREATE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS "
                                      "$fold$ BEGIN NEW.%2 := %3; RETURN NEW; END $fold$")
                           .arg(name, f.name, postgreSqlFold(QLatin1String("NEW.") + f.source)));
            sql.append(QStringLiteral("CREATE TRIGGER %1 BEFORE INSERT OR UPDATE OF %2 ON %3 "
                                      "FOR EACH ROW EXECUTE FUNCTION %1()")
                           .arg(name, f.source, t.name));
        }
    }
    // The exams name their patient by a number stored as a float; the server compares the
    // patient's integer key as one in those joins, and without this index it reads every patient.
    sql.append(QStringLiteral("CREATE INDEX bddid_nf_number ON bddid ((NF::double precision))"));
    // The exam list runs by date, then rowid: walked in this order, a day's first rows come
    // without sorting the whole day (the date index has other columns before its rowid).
    sql.append(
        QStringLiteral("CREATE INDEX eco_dataexame_rowid ON eco (DataExame NULLS FIRST, rowid)"));
    sql.append(QStringLiteral("CREATE TABLE %1 (version integer NOT NULL)")
                   .arg(QLatin1String(VersionTable)));
    sql.append(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(QLatin1String(VersionTable)).arg(Version));
    return sql;
}

void Schema::create(Connection &db)
{
    if (!db.isPostgreSql()) {
        create(db.sqlite());
        return;
    }
    // Plain CREATE: an existing table stops the whole creation.
    for (const QString &sql : postgreSqlStatements())
        db.exec(sql);
}
