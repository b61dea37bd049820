#pragma once

#include <QString>
#include <QTemporaryDir>

class QWidget;

// A data directory holding the seven tables and the given sample rows, made the alias's
// directory for as long as it lives: what a test needs before it starts the data module.
class PracticeDirectory
{
public:
    explicit PracticeDirectory(const QString &sampleSql);
    ~PracticeDirectory();
    PracticeDirectory(const PracticeDirectory &) = delete;
    PracticeDirectory &operator=(const PracticeDirectory &) = delete;

    [[nodiscard]] QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// Gives w the focus as the Tab key would and waits until it has it.
void focusAndWait(QWidget *w);
