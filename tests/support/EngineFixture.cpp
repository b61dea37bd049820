#include "support/EngineFixture.h"

#include "platform/engine/DatabaseError.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/SqliteStore.h"

EngineFixture::EngineFixture()
{
    if (PgTestDatabase::wanted()) {
        m_pg = std::make_unique<PgTestDatabase>();
        m_db = std::make_unique<Database>(QStringLiteral("BDC"));
        m_db->openLocation(m_pg->uri());
        return;
    }
    {
        // Creating the file through the store gives it the same pragmas and modes as production.
        QSqlDatabase created = SqliteStore::open(m_dir.path(), QStringLiteral("fixture-create"),
                                                 true);
        created.close();
    }
    SqliteStore::close(QStringLiteral("fixture-create"));
    m_db = std::make_unique<Database>(QStringLiteral("BDC"));
    m_db->openDirectory(m_dir.path());
}

EngineFixture::~EngineFixture()
{
    m_db.reset();
    m_pg.reset();
}

QString EngineFixture::location() const
{
    return m_pg ? m_pg->uri() : m_dir.path();
}

void EngineFixture::exec(const QString &sql)
{
    if (!m_pg) {
        SqliteStore::exec(m_db->handle(), sql);
        return;
    }
    m_db->connection().exec(PgTestDatabase::portable(sql));
    if (sql.contains(QLatin1String("INSERT"), Qt::CaseInsensitive))
        PgTestDatabase::syncSequences(m_db->connection());
}

QVariant EngineFixture::scalar(const QString &sql)
{
    SqlStatement st(m_db->connection(), sql);
    if (!st.step())
        return QVariant();
    return st.value(0);
}

void EngineFixture::reopen()
{
    m_db->close();
    m_db->openLocation(location());
}

QString errorOf(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const DatabaseError &e) {
        return e.message();
    }
    return QString();
}
