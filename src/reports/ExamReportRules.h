#pragma once

#include <QString>
#include <QtGlobal>

#include <array>
#include <functional>
#include <optional>

class Dataset;

// What the examination report reads of the current exam row: each logical finding as true,
// false or null (never answered), whether the two observation memos hold anything at all, and the
// codes of the doctor and the technician. Default-constructed, it is an exam never answered.
struct ExamFindings
{
    std::optional<bool> OrdSeg;
    std::optional<bool> Dcc, Dccae, Dccad, Dccve, Dccvd;
    std::optional<bool> Vcn;
    std::optional<bool> Vceem, Vceea, Vceep, Vceet;
    std::optional<bool> Vcmm, Vcma, Vcmp, VcmT;
    std::optional<bool> Cvn, Cvd, Cvc, Cvm;
    std::optional<bool> Asd;
    std::optional<bool> Pn, Pdp, Pdm, Pdg;
    // The memos are not null; a memo emptied in its editor still holds a document.
    bool OrdSeg1Present = false;
    bool Vc1Present = false;
    std::optional<double> Executor; // a floating-point column
    std::optional<qint64> tecnico;

    // Reads the current record of the exam table (the edit buffer while editing). A column the
    // dataset lacks reads as null, so a report hook never throws.
    [[nodiscard]] static ExamFindings fromExam(const Dataset &exam);
};

// C1 to C16 of one segment-score row; a score may be null.
using SegmentScores = std::array<std::optional<int>, 16>;

// What a band hook hands back: whether the band prints and, when set, its new height.
struct BandPrint
{
    bool print = true;
    std::optional<double> heightMm;
};

// The name of the active doctor or technician with the given code, nothing when no active row
// has it. Codes compare by value, so a fractional code finds no one.
using StaffNameLookup = std::function<std::optional<QString>(double code)>;

// The print-time rules of the examination report, one function per hook of the report and named
// after it. Each takes what its rule reads and returns the text or band decision; none keeps
// state, changes a record or throws.
namespace ExamReportRules {

// Label hooks: the text to print.
[[nodiscard]] QString QRLabel47Print(const ExamFindings &f); // segmental ordering
[[nodiscard]] QString QRLabel71Print(const ExamFindings &f); // cardiac chamber diameters
[[nodiscard]] QString QRLabel11Print(const ExamFindings &f); // valves normal
[[nodiscard]] QString QRLabel51Print(const ExamFindings &f); // valve structure
[[nodiscard]] QString QRLabel52Print(const ExamFindings &f); // valve motility
[[nodiscard]] QString QRLabel54Print(const ExamFindings &f); // ventricular kinetics
[[nodiscard]] QString QRLabel58Print(const ExamFindings &f); // pericardium
// Wall-motion score index, printed by the label QRLabel59: "Total (score): " and the mean score
// through "###.#" with the current decimal separator.
[[nodiscard]] QString QRLabel63Print(const SegmentScores &scores);
[[nodiscard]] QString QRLabel69Print(const ExamFindings &f, const StaffNameLookup &names); // doctor
[[nodiscard]] QString QRLabel80Print(const ExamFindings &f,
                                     const StaffNameLookup &names); // technician
// Technician's caption and underline: the design text, or empty without a technician.
[[nodiscard]] QString QRLabel78Print(const ExamFindings &f, const QString &text);
// Doctor's caption and underline: always the design text.
[[nodiscard]] QString QRLabel1Print(const QString &text);

// Band hooks.
[[nodiscard]] BandPrint ChildBand1BeforePrint(const ExamFindings &f); // segmental observations
[[nodiscard]] BandPrint ChildBand3BeforePrint(const ExamFindings &f); // valves: 9.5 or 15.1 mm
[[nodiscard]] BandPrint ChildBand5BeforePrint(const ExamFindings &f); // segment diagram

// The scores of the current record of the segment-score table.
[[nodiscard]] SegmentScores segmentScores(const Dataset &scores);

// Looks names up in the rows the staff table shows, skipping any not active, without moving its
// cursor or telling its data sources: the people combos stay where the user left them. The
// lookup holds the table weakly and finds no one once it is gone.
[[nodiscard]] StaffNameLookup staffNames(const Dataset &staff);

} // namespace ExamReportRules
