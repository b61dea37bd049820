#include "reports/ExamReportRules.h"

#include "platform/engine/Dataset.h"
#include "platform/engine/Field.h"
#include "platform/widgets/NumberFormat.h"

#include <QPointer>

using namespace Qt::StringLiterals;

namespace {
const QString kNormal = u"Normal"_s;
const QString kAbnormal = u"Anormal"_s;
const QString kNone = u"----"_s;

// The height of the valve band: 36 and 57 pixels at 96 dpi, the taller leaving room for the
// valve observations below the two sentence lines.
constexpr double kValveBandMm = 9.5;
constexpr double kValveBandWithObservationsMm = 15.1;

bool isTrue(const std::optional<bool> &v)
{
    return v.value_or(false);
}

// Unanswered counts as normal.
const QString &normalUnlessFalse(const std::optional<bool> &v)
{
    return v.value_or(true) ? kNormal : kAbnormal;
}

std::optional<bool> logical(const Dataset &exam, const char *name)
{
    const Field *field = exam.findField(QLatin1String(name));
    if (!field || field->isNull())
        return std::nullopt;
    return field->value().toBool();
}

bool notNull(const Dataset &exam, const char *name)
{
    const Field *field = exam.findField(QLatin1String(name));
    return field && !field->isNull();
}

QString staffName(const std::optional<double> &code, const StaffNameLookup &names)
{
    // No code is searched as 0, which no generated key takes.
    if (!names)
        return QString();
    return names(code.value_or(0.0)).value_or(QString());
}
} // namespace

ExamFindings ExamFindings::fromExam(const Dataset &exam)
{
    ExamFindings f;
    f.OrdSeg = logical(exam, "OrdSeg");
    f.Dcc = logical(exam, "Dcc");
    f.Dccae = logical(exam, "Dccae");
    f.Dccad = logical(exam, "Dccad");
    f.Dccve = logical(exam, "Dccve");
    f.Dccvd = logical(exam, "Dccvd");
    f.Vcn = logical(exam, "Vcn");
    f.Vceem = logical(exam, "Vceem");
    f.Vceea = logical(exam, "Vceea");
    f.Vceep = logical(exam, "Vceep");
    f.Vceet = logical(exam, "Vceet");
    f.Vcmm = logical(exam, "Vcmm");
    f.Vcma = logical(exam, "Vcma");
    f.Vcmp = logical(exam, "Vcmp");
    f.VcmT = logical(exam, "VcmT");
    f.Cvn = logical(exam, "Cvn");
    f.Cvd = logical(exam, "Cvd");
    f.Cvc = logical(exam, "Cvc");
    f.Cvm = logical(exam, "Cvm");
    f.Asd = logical(exam, "Asd");
    f.Pn = logical(exam, "Pn");
    f.Pdp = logical(exam, "Pdp");
    f.Pdm = logical(exam, "Pdm");
    f.Pdg = logical(exam, "Pdg");
    f.OrdSeg1Present = notNull(exam, "OrdSeg1");
    f.Vc1Present = notNull(exam, "Vc1");
    if (const Field *executor = exam.findField(u"Executor"_s); executor && !executor->isNull())
        f.Executor = executor->value().toDouble();
    if (const Field *tecnico = exam.findField(u"tecnico"_s); tecnico && !tecnico->isNull())
        f.tecnico = tecnico->value().toLongLong();
    return f;
}

namespace ExamReportRules {

QString QRLabel47Print(const ExamFindings &f)
{
    return normalUnlessFalse(f.OrdSeg);
}

QString QRLabel71Print(const ExamFindings &f)
{
    // Every entry keeps its two trailing blanks, the last one too.
    QString dilated;
    if (isTrue(f.Dccae))
        dilated += u"AE  "_s;
    if (isTrue(f.Dccad))
        dilated += u"AD  "_s;
    if (isTrue(f.Dccve))
        dilated += u"VE  "_s;
    if (isTrue(f.Dccvd))
        dilated += u"VD  "_s;
    const QString &base = normalUnlessFalse(f.Dcc);
    if (dilated.isEmpty())
        return base;
    return base + u".  Dilatação de "_s + dilated;
}

QString QRLabel11Print(const ExamFindings &f)
{
    return f.Vcn.value_or(true) ? u"Normais"_s : QString();
}

QString QRLabel51Print(const ExamFindings &f)
{
    if (f.Vcn.value_or(true))
        return QString();
    // A blank goes before every name but the mitral, so a sentence without it starts with one.
    QString text;
    if (isTrue(f.Vceem))
        text = u"Mitral"_s;
    if (isTrue(f.Vceea))
        text += u" Aórtica"_s;
    if (isTrue(f.Vceep))
        text += u" Pulmonar"_s;
    if (isTrue(f.Vceet))
        text += u" Tricúspida"_s;
    if (text.isEmpty())
        return kNone;
    return text + u" com Estrutura Anormal"_s;
}

QString QRLabel52Print(const ExamFindings &f)
{
    if (f.Vcn.value_or(true))
        return QString();
    // Here each name carries its own trailing blank.
    QString text;
    if (isTrue(f.Vcmm))
        text = u"Mitral "_s;
    if (isTrue(f.Vcma))
        text += u"Aórtica "_s;
    if (isTrue(f.Vcmp))
        text += u"Pulmonar "_s;
    if (isTrue(f.VcmT))
        text += u"Tricúspida "_s;
    if (text.isEmpty())
        return kNone;
    return text + u"com Motilidade Anormal"_s;
}

QString QRLabel54Print(const ExamFindings &f)
{
    // The intensifier only strengthens a depressed or compromised kinetics; compromised wins.
    const QString very = isTrue(f.Cvm) ? u"Muito "_s : QString();
    if (isTrue(f.Cvc))
        return very + u"Comprometida"_s;
    if (isTrue(f.Cvd))
        return very + u"Deprimida"_s;
    return normalUnlessFalse(f.Cvn);
}

QString QRLabel58Print(const ExamFindings &f)
{
    // Of several effusion sizes the largest is reported.
    if (isTrue(f.Pdg))
        return u"Derrame Grande"_s;
    if (isTrue(f.Pdm))
        return u"Derrame Médio"_s;
    if (isTrue(f.Pdp))
        return u"Derrame Pequeno"_s;
    return normalUnlessFalse(f.Pn);
}

QString QRLabel63Print(const SegmentScores &scores)
{
    qint64 sum = 0;
    for (const std::optional<int> &score : scores)
        sum += score.value_or(0);
    // "###.#" drops the zero integer part and a zero decimal: 0 prints nothing after the caption.
    return u"Total (score): "_s + formatFloat(u"###.#"_s, double(sum) / 16.0);
}

QString QRLabel69Print(const ExamFindings &f, const StaffNameLookup &names)
{
    return staffName(f.Executor, names);
}

QString QRLabel80Print(const ExamFindings &f, const StaffNameLookup &names)
{
    return staffName(f.tecnico ? std::optional<double>(double(*f.tecnico)) : std::nullopt, names);
}

QString QRLabel78Print(const ExamFindings &f, const QString &text)
{
    // Only an exam without a technician drops the block; a code no active row has keeps it.
    return f.tecnico ? text : QString();
}

QString QRLabel1Print(const QString &text)
{
    return text;
}

BandPrint ChildBand1BeforePrint(const ExamFindings &f)
{
    return BandPrint { f.OrdSeg1Present, std::nullopt };
}

BandPrint ChildBand3BeforePrint(const ExamFindings &f)
{
    return BandPrint { true, f.Vc1Present ? kValveBandWithObservationsMm : kValveBandMm };
}

BandPrint ChildBand5BeforePrint(const ExamFindings &f)
{
    return BandPrint { isTrue(f.Asd), std::nullopt };
}

SegmentScores segmentScores(const Dataset &scores)
{
    SegmentScores result;
    for (int i = 0; i < int(result.size()); ++i) {
        const Field *field = scores.findField(u"C%1"_s.arg(i + 1));
        if (field && !field->isNull())
            result[size_t(i)] = int(field->value().toLongLong());
    }
    return result;
}

StaffNameLookup staffNames(const Dataset &staff)
{
    return [table = QPointer<const Dataset>(&staff)](double code) -> std::optional<QString> {
        if (!table || !table->isActive())
            return std::nullopt;
        const Field *codigo = table->findField(u"CODIGO"_s);
        const Field *nome = table->findField(u"NOME"_s);
        const Field *activo = table->findField(u"ACTIVO"_s);
        if (!codigo || !nome)
            return std::nullopt;
        // Read the rows in place: moving the cursor would move the people combos with it.
        for (int p = 0; p < table->rowCount(); ++p) {
            const DatasetRow &row = table->rowAt(p);
            const QVariant &key = row.values.at(codigo->index());
            if (!key.isValid() || key.toDouble() != code)
                continue;
            if (activo && !row.values.at(activo->index()).toBool())
                continue;
            return row.values.at(nome->index()).toString();
        }
        return std::nullopt;
    };
}

} // namespace ExamReportRules
