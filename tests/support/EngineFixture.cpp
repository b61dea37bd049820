#include "support/EngineFixture.h"

#include "platform/engine/DatabaseError.h"
#include "platform/engine/SqlStatement.h"
#include "platform/engine/SqliteStore.h"

EngineFixture::EngineFixture()
{
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
}

void EngineFixture::exec(const QString &sql)
{
    SqliteStore::exec(m_db->handle(), sql);
}

QVariant EngineFixture::scalar(const QString &sql)
{
    SqlStatement st(m_db->handle(), sql);
    if (!st.step())
        return QVariant();
    return st.value(0);
}

void EngineFixture::reopen()
{
    m_db->close();
    m_db->openDirectory(m_dir.path());
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
