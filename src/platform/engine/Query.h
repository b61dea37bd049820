#pragma once

#include "platform/engine/Dataset.h"

#include <QStringList>

#include <functional>
#include <memory>

class SqlStatement;

// A parameter of a query: bound by position, typed by how its value was set. Dates bind as
// 'YYYY-MM-DD' (a date-time at midnight too), so they compare with the stored date texts.
class QueryParam
{
public:
    explicit QueryParam(const QString &name = QString())
        : m_name(name)
    {
    }

    [[nodiscard]] const QString &name() const { return m_name; }
    [[nodiscard]] FieldType dataType() const { return m_type; }
    void setDataType(FieldType type) { m_type = type; }
    [[nodiscard]] const QVariant &value() const { return m_value; }
    [[nodiscard]] bool isNull() const { return m_value.isNull() || !m_value.isValid(); }

    void setValue(const QVariant &value);
    void setAsInteger(qint64 value);
    void setAsFloat(double value);
    void setAsString(const QString &value);
    void setAsBoolean(bool value);
    void setAsDate(const QDate &value);
    void setAsDateTime(const QDateTime &value);
    void clear();

    // What SQLite receives.
    [[nodiscard]] QVariant boundValue() const;

private:
    QString m_name;
    FieldType m_type = FieldType::Unknown;
    QVariant m_value;
};

// An SQL statement on the logical database. With parameter checking on (the default), ":name"
// markers outside quotes become parameters in order of appearance; with it off, the text goes to
// SQLite unchanged and parameters added by hand bind by position. A result is fetched lazily.
// Result columns keep SQLite's names, matched without regard to case; a repeated name gets the
// suffix "_1", "_2". Declared fields, if any, pick their columns by name.
class Query : public Dataset
{
    Q_OBJECT

public:
    explicit Query(QObject *parent = nullptr);
    ~Query() override;

    void setDatabaseName(const QString &name) { m_databaseName = name; }
    [[nodiscard]] const QString &databaseName() const { return m_databaseName; }

    [[nodiscard]] const QStringList &sql() const { return m_sql; }
    void setSql(const QStringList &lines);
    void setSql(const QString &text) { setSql(QStringList{text}); }
    void clearSql() { setSql(QStringList()); }
    void addSql(const QString &line);

    void setParamCheck(bool check);
    [[nodiscard]] bool paramCheck() const { return m_paramCheck; }
    [[nodiscard]] int paramCount() const { return int(m_params.size()); }
    [[nodiscard]] QueryParam &param(int index);
    [[nodiscard]] QueryParam &paramByName(const QString &name); // throws "Parameter 'X' not found"
    QueryParam &addParam(const QString &name = QString());
    void clearParams();

    // Kept for the components that declare it; edits to query results are not written back.
    void setCachedUpdates(bool on) { m_cachedUpdates = on; }
    [[nodiscard]] bool cachedUpdates() const { return m_cachedUpdates; }

    // Runs a statement without result; returns the number of rows it changed.
    int execSql();
    [[nodiscard]] int rowsAffected() const { return m_rowsAffected; }

    [[nodiscard]] Database *database() const override;
    [[nodiscard]] bool canFetchMore() const override;

    // A long ordered result read as a window that slides along it. The statement's ORDER BY
    // gives way to these key expressions, all in one direction, the last of them unique (the
    // first may be null, the others never are); every read starts from the key of a row held,
    // so scrolling, a jump and a write on the connection never read from the top again, and
    // rows dropped from the window are read again when wanted. The statement must be a plain
    // select: no GROUP BY, HAVING, UNION or LIMIT. Set while closed; empty: read whole.
    void setSortKeys(const QStringList &expressions, bool descending);
    [[nodiscard]] bool isWindowed() const { return !m_keys.isEmpty(); }
    // Rows before the first one held: up to count of them are read into the top of the window
    // (positions shift down by as many, the current record stays) and their number returned.
    [[nodiscard]] bool canFetchPrior() const { return isWindowed() && isActive() && !m_atStart; }
    int fetchPrior(int count);
    // Keeps the rows at positions first to last only; a current record outside moves to the
    // nearest row kept. Returns how many rows went from above first.
    int keepRows(int first, int last);
    // Goes to the first row at or after keyPrefix (values of the first keys, in the list's order)
    // when accept agrees with it: from the rows held when it is among them, else in a window
    // read anew around it with up to before rows above. False, and nothing moves, otherwise.
    bool seek(const QVariantList &keyPrefix, const std::function<bool(const DatasetRow &)> &accept,
              int before);

protected:
    void doOpen() override;
    void doClose() override;
    bool fetchMore() override;
    void reloadRows() override;

private:
    void parseParams();
    [[nodiscard]] QString statementText() const;
    std::unique_ptr<SqlStatement> prepare(const QString &text = QString());
    [[nodiscard]] DatasetRow readRow(const SqlStatement &st);

    // Windowed reading. A read goes towards the end of the list or towards its start, from a
    // row's key (exclusive) or from a key prefix (inclusive) or from an end of the list; where
    // the first key is null the rows fall into two segments (SQLite puts nulls first
    // ascending), and a read that leaves its segment goes on in the other one.
    enum class Segment { All, Values, Nulls };
    struct Range
    {
        Segment segment = Segment::All;
        QString condition;
        QVariantList bound;
    };
    [[nodiscard]] QString windowStatement(const Range &range, bool towardsEnd, int limit) const;
    [[nodiscard]] Range rangeAfter(const DatasetRow &row, bool towardsEnd) const;
    [[nodiscard]] Range rangeFrom(const QVariantList &keyPrefix) const;
    // The segment a read leaving from within range goes on in; nullopt at the list's end.
    [[nodiscard]] bool segmentFollows(Segment segment, bool towardsEnd) const;
    [[nodiscard]] Range wholeSegment(bool nulls) const;
    void openCursor(const Range &range);
    // Rows of range in the direction given, up to limit, going on into the next segment.
    std::vector<DatasetRow> readRange(Range range, bool towardsEnd, int limit, bool *reachedEnd);
    bool fetchWindowed();
    [[nodiscard]] bool sameKey(const DatasetRow &a, const DatasetRow &b) const;
    void replaceRows(std::vector<DatasetRow> &&rows, int current);

    QString m_databaseName = QStringLiteral("BDC");
    QStringList m_sql;
    QString m_parsedSql; // ":name" replaced by "?"
    bool m_paramCheck = true;
    bool m_cachedUpdates = false;
    std::vector<QueryParam> m_params;
    void keepCursor();
    void releaseCursor();

    std::unique_ptr<SqlStatement> m_cursor;
    bool m_cursorHasRow = false;
    Segment m_cursorSegment = Segment::All;
    // PostgreSQL plans a statement for all its rows: a cursor there reads a limited run, which
    // it plans to start at once along the order's index, and the next run starts after it.
    [[nodiscard]] int cursorLimit() const;
    int m_cursorLimit = 0;
    int m_cursorRead = 0;

    QStringList m_keys;
    bool m_descending = false;
    bool m_atStart = true; // the window holds the list's first row
    bool m_atEnd = true; // ... and its last
    QList<int> m_columnOfField;
    int m_rowsAffected = 0;
};
