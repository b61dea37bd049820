#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

class PgTestDatabase;

class QWidget;

// A data directory holding the seven tables and the given sample rows, made the alias's
// directory for as long as it lives: what a test needs before it starts the data module. With
// TALUVO_TEST_BACKEND=postgresql the tables are in a fresh PostgreSQL database instead, and the
// alias names its URI (location()).
class PracticeDirectory
{
public:
    explicit PracticeDirectory(const QString &sampleSql);
    ~PracticeDirectory();
    PracticeDirectory(const PracticeDirectory &) = delete;
    PracticeDirectory &operator=(const PracticeDirectory &) = delete;

    [[nodiscard]] QString path() const { return m_dir.path(); }
    [[nodiscard]] QString location() const;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<PgTestDatabase> m_pg;
};

// Gives w the focus as the Tab key would and waits until it has it.
void focusAndWait(QWidget *w);
