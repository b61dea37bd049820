#pragma once

#include <QString>
#include <QStringList>

class QTextStream;
struct DemoOptions;

// "taluvo db init DIR" makes DIR/taluvo.sqlite with the seven empty tables; "taluvo db demo DIR
// [--patients N] [--exams M] [--seed S]" fills them with an invented practice dated by the clock.
// Neither ever opens or changes an existing database: they refuse (exit 1) instead; init only
// replaces an empty file. "taluvo db check DIR" reads a database without changing it and lists
// damage and rows the record rules would not have written: exit 0 when it found nothing. A failure
// halfway removes the new file. Messages and progress go to err, the final summary to out; no
// patient data is ever printed. Bad arguments print the usage (exit 2).
class DbCommand
{
public:
    DbCommand(QTextStream &out, QTextStream &err);

    // args: what follows "db". Returns the process exit code.
    [[nodiscard]] int run(const QStringList &args);

    [[nodiscard]] static QString usage();

private:
    int usageError(const QString &problem);
    int create(const QString &dir, const DemoOptions *demo);
    int check(const QString &dir);

    QTextStream &m_out;
    QTextStream &m_err;
};
