#pragma once

#include "platform/engine/Dataset.h"

#include <QStringList>

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
    [[nodiscard]] bool canFetchMore() const override { return m_cursor && m_cursorHasRow; }

protected:
    void doOpen() override;
    void doClose() override;
    bool fetchMore() override;
    void reloadRows() override;

private:
    void parseParams();
    [[nodiscard]] QString statementText() const;
    std::unique_ptr<SqlStatement> prepare();
    void readRow();

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
    QList<int> m_columnOfField;
    int m_rowsAffected = 0;
};
