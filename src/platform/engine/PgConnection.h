#pragma once

#include "platform/engine/Connection.h"

#include <QByteArray>
#include <QHash>
#include <QVariant>

#include <deque>
#include <memory>
#include <vector>

struct pg_conn;
struct pg_result;
class PgStatement;

// The engine's connection to a PostgreSQL server through libpq. Statements are prepared once per
// SQL text and kept for the session, so reading a row again costs one round trip. One statement
// at a time may stream its rows (single-row mode); before anything else is sent, the rest of its
// rows are read into memory.
class PgConnection : public Connection
{
public:
    // Connects to a libpq URI; the failure names the location without its password and gives
    // libpq's reason.
    explicit PgConnection(const QString &uri);
    ~PgConnection() override;

    [[nodiscard]] Kind kind() const override { return Kind::PostgreSql; }
    void exec(const QString &sql) override;
    void begin() override;
    void commit() override;
    void rollback() override;
    [[nodiscard]] std::vector<ColumnInfo> tableInfo(const QString &table) override;
    [[nodiscard]] QStringList indexColumns(const QString &index) override;
    [[nodiscard]] QStringList tables() override;
    [[nodiscard]] QString location() const override { return m_shown; }
    void close(bool tidy) override;
    void addNameSpelling(const QString &name) override;
    [[nodiscard]] PgConnection *pg() override { return this; }

    // The statement prepared for this text ('?', '?NNN' and ':name' markers already numbered).
    struct Prepared
    {
        QByteArray name;
        int parameters = 0;
        int columns = 0;
        std::vector<unsigned> types; // result column type oids
        QStringList columnNames;
        QStringList originTables;
        QStringList originColumns;
        bool readOnly = true;
        int generation = 0; // the connection's generation it was prepared on
    };
    std::shared_ptr<Prepared> prepare(const QString &sql);
    // A connection the server dropped (a restart, a network cut) is made again before the next
    // statement, outside a transaction only: the statement that met the loss failed, and so does
    // every statement of a transaction it cut. Statements prepared before are prepared again.
    void reconnectIfLost();
    [[nodiscard]] int generation() const { return m_generation; }
    // Kept after each statement that reached the server, for reconnectIfLost.
    void noteTransactionState();

    [[nodiscard]] pg_conn *native() const { return m_conn; }
    // The statement whose rows are streaming, asked to read the rest before anything else runs.
    void setStreaming(PgStatement *statement) { m_streaming = statement; }
    [[nodiscard]] PgStatement *streaming() const { return m_streaming; }
    void finishStreaming();
    // Expires when the connection goes; statements left behind then touch nothing of it.
    [[nodiscard]] std::weak_ptr<void> lifetime() const { return m_lifetime; }
    // Throws the engine's error for a failed result (which it frees) or a lost connection.
    [[noreturn]] void fail(pg_result *result);
    [[nodiscard]] QString spelling(const QString &name) const;
    [[nodiscard]] QString spelling(const QString &table, const QString &column) const;

    // The text with '?', '?NNN' and ':name' markers numbered $1..$n for the server, outside
    // quotes and comments; count gets the number of distinct parameters.
    [[nodiscard]] static QString numberMarkers(const QString &sql, int *count);

private:
    pg_result *run(const QByteArray &sql);
    // The session settings every connection starts with.
    void setUp();
    void describeOrigins(Prepared &prepared, pg_result *description);

    pg_conn *m_conn = nullptr;
    QString m_shown;
    QString m_password;
    QHash<QString, std::shared_ptr<Prepared>> m_prepared;
    QHash<unsigned, QPair<QString, QHash<int, QString>>> m_relations;
    QHash<QString, QString> m_spellings;
    PgStatement *m_streaming = nullptr;
    int m_counter = 0;
    int m_generation = 0;
    // No transaction was open after the last statement that reached the server.
    bool m_idle = true;
    std::shared_ptr<void> m_lifetime = std::make_shared<int>(0);
};

// One statement on a PostgreSQL connection; see SqlStatement, whose reading API it serves.
class PgStatement
{
public:
    PgStatement(PgConnection &connection, const QString &sql);
    ~PgStatement();

    void bind(int index, const QVariant &value);
    [[nodiscard]] int parameterCount() const { return m_prepared->parameters; }
    void setStreaming(bool streaming) { m_wantStreaming = streaming; }
    bool step();
    void reset();
    [[nodiscard]] qint64 changes() const { return m_changes; }
    // Reads every row still on the wire into memory.
    void drain();

    [[nodiscard]] int columnCount() const { return m_prepared->columns; }
    [[nodiscard]] QString columnName(int column) const;
    [[nodiscard]] QString originTable(int column) const;
    [[nodiscard]] QString originColumn(int column) const;
    [[nodiscard]] QString declaredType(int column) const;
    [[nodiscard]] SqlType columnType(int column) const;
    [[nodiscard]] QVariant value(int column) const;
    [[nodiscard]] bool isNull(int column) const;
    [[nodiscard]] qint64 int64(int column) const;
    [[nodiscard]] double real(int column) const;
    [[nodiscard]] QString text(int column) const;
    [[nodiscard]] const char *textData(int column, int *length) const;
    [[nodiscard]] bool isReadOnly() const { return m_prepared->readOnly; }

private:
    void execute();
    void clearResults();
    // The next result of a streaming statement, or null at its end.
    pg_result *nextStreamed();

    PgConnection &m_conn;
    std::weak_ptr<void> m_connAlive;
    QString m_sql;
    std::shared_ptr<PgConnection::Prepared> m_keep;
    const PgConnection::Prepared *m_prepared = nullptr;
    std::vector<QByteArray> m_values;
    std::vector<int> m_formats;
    std::vector<bool> m_nulls;
    bool m_wantStreaming = false;
    bool m_executed = false;
    bool m_onWire = false; // rows still to come from the server
    pg_result *m_result = nullptr; // the rows being read
    int m_row = -1;
    std::deque<pg_result *> m_drained;
    qint64 m_changes = 0;
};
