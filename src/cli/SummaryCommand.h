#pragma once

#include <QStringList>

class QTextStream;

// "taluvo summary": the count of exams per doctor or per health system over a date range, written
// to a PDF file through the same query and report as the statistics page's buttons. A range with
// nothing to count is the page's message on err, a failure exit and no file.
class SummaryCommand
{
public:
    SummaryCommand(QTextStream &out, QTextStream &err);

    [[nodiscard]] int run(const QStringList &args);
    [[nodiscard]] static QString usage();

private:
    QTextStream &m_out;
    QTextStream &m_err;
};
