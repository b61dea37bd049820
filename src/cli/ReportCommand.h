#pragma once

#include <QStringList>

class QTextStream;

// "taluvo report": the examination report of one exam written to a PDF file through the same
// report definition and hooks as the main window's. The patient and the exam are positioned as
// the window would position them. An unknown patient or exam, or an exam without a segment-score
// row (the report would have no page), is an error on err and no file is written.
class ReportCommand
{
public:
    ReportCommand(QTextStream &out, QTextStream &err);

    [[nodiscard]] int run(const QStringList &args);
    [[nodiscard]] static QString usage();

private:
    QTextStream &m_out;
    QTextStream &m_err;
};
