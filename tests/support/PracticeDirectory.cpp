#include "support/PracticeDirectory.h"

#include "data/Schema.h"
#include "platform/engine/Database.h"
#include "platform/engine/PgConnection.h"
#include "platform/engine/SqliteStore.h"
#include "support/PgTestDatabase.h"

#include <QApplication>
#include <QWidget>
#include <QtTest>

PracticeDirectory::PracticeDirectory(const QString &sampleSql)
{
    if (PgTestDatabase::wanted()) {
        m_pg = std::make_unique<PgTestDatabase>();
        PgConnection db(m_pg->uri());
        db.begin();
        Schema::create(db);
        if (!sampleSql.isEmpty())
            db.exec(sampleSql);
        PgTestDatabase::syncSequences(db);
        db.commit();
        Database::setCommandLineDirectory(m_pg->uri());
        return;
    }
    {
        QSqlDatabase db = SqliteStore::open(m_dir.path(), QStringLiteral("practice-setup"), true);
        Schema::create(SqliteStore::handle(db));
        if (!sampleSql.isEmpty())
            SqliteStore::exec(SqliteStore::handle(db), sampleSql);
    }
    SqliteStore::close(QStringLiteral("practice-setup"));
    Database::setCommandLineDirectory(m_dir.path());
}

PracticeDirectory::~PracticeDirectory()
{
    Database::setCommandLineDirectory(QString());
}

QString PracticeDirectory::location() const
{
    return m_pg ? m_pg->uri() : m_dir.path();
}

void focusAndWait(QWidget *w)
{
    w->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), w);
}
