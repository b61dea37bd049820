#include "support/ParadoxPractice.h"

#include "data/Schema.h"
#include "platform/engine/SqlStatement.h"
#include "support/ParadoxWriter.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTime>

#include <sqlite3.h>

#include <stdexcept>

namespace {

paradox::FieldType paradoxType(FieldType type)
{
    switch (type) {
    case FieldType::String: return paradox::FieldType::Alpha;
    case FieldType::SmallInt: return paradox::FieldType::Short;
    case FieldType::Integer:
    case FieldType::LargeInt: return paradox::FieldType::Long;
    case FieldType::Float: return paradox::FieldType::Number;
    case FieldType::Boolean: return paradox::FieldType::Logical;
    case FieldType::Date: return paradox::FieldType::Date;
    case FieldType::DateTime: return paradox::FieldType::Timestamp;
    case FieldType::Memo: return paradox::FieldType::Memo;
    case FieldType::FmtMemo: return paradox::FieldType::FormattedMemo;
    case FieldType::Blob: return paradox::FieldType::Blob;
    case FieldType::AutoInc: return paradox::FieldType::AutoInc;
    case FieldType::Unknown: break;
    }
    throw std::invalid_argument("no Paradox type");
}

// A stored value in the reader's value types.
QVariant readerValue(const SqlStatement &st, int column, FieldType type)
{
    if (st.isNull(column))
        return {};
    switch (type) {
    case FieldType::String:
    case FieldType::Memo:
    case FieldType::FmtMemo: {
        const QString text = st.text(column);
        return text.isEmpty() ? QVariant() : QVariant(text);
    }
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::LargeInt:
    case FieldType::AutoInc: return int(st.int64(column));
    case FieldType::Float: return st.real(column);
    case FieldType::Boolean: return st.int64(column) != 0;
    case FieldType::Date:
        return QDate::fromString(st.text(column).left(10), QStringLiteral("yyyy-MM-dd"));
    case FieldType::DateTime: {
        // The reading as stored, without a zone.
        const QString text = st.text(column);
        return QDateTime(QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd")),
                         QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss.zzz")), Qt::UTC);
    }
    case FieldType::Blob: return st.value(column).toByteArray();
    case FieldType::Unknown: break;
    }
    return {};
}

} // namespace

QList<paradox::Field> ParadoxPractice::fieldsOf(const TableDef &table, bool extra)
{
    QList<paradox::Field> fields;
    for (const ColumnDef &c : table.columns) {
        paradox::Field f;
        f.name = c.name;
        f.type = paradoxType(c.type);
        // Memos keep their first 40 bytes in the record: short ones never reach the .MB.
        f.size = c.type == FieldType::String ? c.size
            : (c.type == FieldType::Memo || c.type == FieldType::FmtMemo) ? 50
                                                                          : 0;
        fields.append(f);
    }
    if (extra)
        fields.append(extraFields());
    return fields;
}

QList<paradox::Field> ParadoxPractice::extraFields()
{
    using T = paradox::FieldType;
    return {
        { QStringLiteral("SALDO"), T::Money, 0 },     { QStringLiteral("QUOTA"), T::Bcd, 2 },
        { QStringLiteral("HORA"), T::Time, 0 },       { QStringLiteral("ULTIMA"), T::Timestamp, 0 },
        { QStringLiteral("NPROC"), T::Long, 0 },      { QStringLiteral("OBS"), T::FormattedMemo, 30 },
        { QStringLiteral("FOTO"), T::Graphic, 10 },   { QStringLiteral("DOC"), T::Blob, 10 },
        { QStringLiteral("OLE"), T::Ole, 10 },        { QStringLiteral("CARTAO"), T::Bytes, 8 },
    };
}

QVariantList ParadoxPractice::extraValues(int nf)
{
    if (nf % 5 == 0)
        return QVariantList(extraFields().size());
    const QByteArray picture = QByteArray(300 + nf % 50, char(nf % 251));
    return {
        double(nf) * 1.25 - 100,
        QStringLiteral("%1.%2").arg(nf * 3).arg(nf % 100, 2, 10, QLatin1Char('0')),
        QTime(nf % 24, nf % 60, nf % 60, nf % 1000),
        QDateTime(QDate(2001, 1, 1).addDays(nf % 7000), QTime(8, 30, 0, nf % 1000), Qt::UTC),
        nf % 3 == 0 ? QVariant(-nf) : QVariant(nf * 1000),
        nf % 2 ? QStringLiteral("{\\rtf1\\ansi Nota %1 \\'e7\\'e3o}").arg(nf)
               : QStringLiteral("Nota breve"),
        picture,
        QByteArray("doc") + QByteArray::number(nf),
        nf % 2 ? QVariant(QByteArray(nf % 700, 'o')) : QVariant(),
        QByteArray::number(nf).leftJustified(8, '\0'),
    };
}

void ParadoxPractice::write(const QString &sqliteDir, const QString &folder,
                            const Options &options)
{
    sqlite3 *db = nullptr;
    const QByteArray path = QFile::encodeName(QDir(sqliteDir).filePath(QStringLiteral("taluvo.sqlite")));
    if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open the source database");
    }
    try {
        for (const TableDef &def : Schema::tables()) {
            const bool extra = options.extraFieldTypes && def.name == QLatin1String("bddid");
            ParadoxWriter::Options o;
            o.codePage = options.codePage;
            o.blockSize = options.blockSize;
            o.keyFieldCount = int(def.primaryKey.size());
            if (options.encrypted.contains(def.name))
                o.password = QStringLiteral("segredo");
            QStringList columns;
            qint64 highest = 0;
            for (const ColumnDef &c : def.columns)
                columns.append(c.name);
            {
                SqlStatement st(db, QStringLiteral("SELECT max(rowid) FROM %1").arg(def.name));
                if (st.step())
                    highest = st.int64(0);
            }
            o.nextAutoInc = qint32(highest + 1);
            ParadoxWriter writer(QDir(folder).filePath(def.fileName), fieldsOf(def, extra), o);
            const QString order = def.primaryKey.isEmpty() ? QStringLiteral("rowid")
                                                           : def.primaryKey.join(QLatin1Char(','));
            SqlStatement st(db, QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                                    .arg(columns.join(QLatin1Char(',')), def.name, order));
            QVariantList values;
            while (st.step()) {
                values.clear();
                for (int i = 0; i < def.columns.size(); ++i)
                    values.append(readerValue(st, i, def.columns.at(i).type));
                if (extra)
                    values.append(extraValues(values.first().toInt()));
                writer.addRecord(values);
            }
            writer.close();
        }
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
}
