#include "support/PracticeDirectory.h"

#include "data/Schema.h"
#include "platform/engine/Database.h"
#include "platform/engine/SqliteStore.h"

#include <QApplication>
#include <QWidget>
#include <QtTest>

PracticeDirectory::PracticeDirectory(const QString &sampleSql)
{
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

void focusAndWait(QWidget *w)
{
    w->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QApplication::focusWidget(), w);
}
