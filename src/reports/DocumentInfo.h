#pragma once

#include <QDate>
#include <QString>

// What every report the practice prints or saves says about itself in its document information:
// the program that made it and a title that names the patient and day, or the summary and its
// range, so that a filed PDF is found and told apart without opening it. Dates as dd/mm/yyyy.
namespace DocumentInfo {

[[nodiscard]] QString creator();
// "Relatório de Exame Ecocardiográfico": the exam report's page heading, and its title's start.
[[nodiscard]] QString examHeading();
// examHeading() + " — <name> — <day>"; an empty name or a null day is left out.
[[nodiscard]] QString examTitle(const QString &patientName, const QDate &examDate);
// "<summary's title> — <from> a <to>".
[[nodiscard]] QString summaryTitle(const QString &summary, const QDate &from, const QDate &to);

} // namespace DocumentInfo
