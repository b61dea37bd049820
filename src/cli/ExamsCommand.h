#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

class QTextStream;
class TDataModule1;

// "taluvo exams": a patient's exams, one a line in key order: the key that `taluvo report --exam`
// takes, the exam's date and its doctor. An unknown patient is an error on err.
class ExamsCommand
{
public:
    ExamsCommand(QTextStream &out, QTextStream &err);

    [[nodiscard]] int run(const QStringList &args);
    [[nodiscard]] static QString usage();

    struct Exam
    {
        QString key; // "YYYY-MM-DD HH:MM:SS.zzz"
        QDate date;
        QString doctor;
    };
    // The exams of patient nf in key order; only those dated day when day is valid.
    [[nodiscard]] static QList<Exam> exams(TDataModule1 &dm, qint64 nf, QDate day = QDate());
    static void print(const QList<Exam> &exams, QTextStream &out);

private:
    QTextStream &m_out;
    QTextStream &m_err;
};
