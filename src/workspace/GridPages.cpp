#include "workspace/GridPages.h"

#include "platform/widgets/DBGrid.h"

using namespace Qt::StringLiterals;

namespace {
const QColor kSilver(0xC0, 0xC0, 0xC0);
const QColor kMaroon(0x80, 0x00, 0x00);
const QColor kNavy(0x00, 0x00, 0x80);

struct HistoryColumn
{
    const char *field;
    const char *title; // nullptr: the field's display label
    int width; // 0: the field's default
    // Logical fields show what the query's fields were given: "O" and "." or "True" and "False".
    Qt::Alignment cell;
    Qt::Alignment title_;
};

constexpr Qt::Alignment C = Qt::AlignHCenter;
constexpr Qt::Alignment L = Qt::AlignLeft;

const HistoryColumn kHistory[] = {
    { "DataExame", "Data", 0, C, C },
    { "Idade", nullptr, 0, C, C },
    { "Peso", nullptr, 0, C, C },
    { "Altura", nullptr, 0, C, C },
    { "InfoCl", "Inform. Clínica", 143, C, C },
    { "Vd", "VD Diástole", 0, C, C },
    { "Ved", "VE Diástole", 0, C, C },
    { "Ves", "VE Sístole", 0, C, C },
    { "Fenc", "Fr. Enc.", 0, C, C },
    { "Fe", "FE", 0, C, C },
    { "Pp", "PP", 0, C, C },
    { "Siv", "DIV", 0, C, C },
    { "Ao", "AO", 0, C, C },
    { "Ae", nullptr, 0, C, C },
    { "Gradveaomax", "Grad. VE/AO Máx.", 64, C, C },
    { "Gradveaomin", "Grad. VE/AO Médio", 64, C, C },
    { "Areavm", "Área Valv. Mitral", 64, C, C },
    { "VMGradMx", "Válv.Mitral Grad. máx.", 64, C, C },
    { "VMGradMd", "Válv. Mitral Grad. Méd.", 64, C, C },
    { "Vptac", "Tac", 0, C, C },
    { "Vptactevd", "Tac / TEVD", 0, C, C },
    { "ModoD", "Modo M / Doppler", 64, C, C },
    { "OrdSeg", "Ord. Segm. Normal", 64, C, C },
    { "OrdSeg1", "Obs. Ord. Segm.", 64, C, C },
    { "Dcc", "DCC Normal", 64, C, C },
    { "Dccae", "DCC Dilatação AE", 64, C, C },
    { "Dccad", "DCC Dilat. AD", 64, C, C },
    { "Dccvd", "DCC Dilat. VD", 64, C, C },
    { "Dccve", "DCC Dilat. VE", 64, C, C },
    { "Vcn", "Válv. Card. Normais", 64, C, C },
    { "Vceem", "VC Estr. Mitral", 64, C, C },
    { "Vceea", "VC Estr. Aórtica", 64, C, C },
    { "Vceep", "VC Estr. Pulmonar", 64, C, C },
    { "Vceet", "VC Estr. Tricúspida", 64, C, C },
    { "Vcma", "V.C. Motilidade Aórtica", 64, L, L },
    { "Vcmm", "V.C. Motilidade Mitral", 64, L, L },
    { "Vcmp", "V.C. Motilidade Polmunar", 64, L, L },
    { "VcmT", "V.C. Motilidade Tricúspida", 64, L, L },
    { "Vc1", "Obs. Válv. Cardíacas", 64, C, C },
    { "Cvn", "Cinética Ventr. Norm.", 64, C, C },
    { "Cvd", "CV Deprimida", 64, C, C },
    { "Cvm", "CV Muito", 64, C, C },
    { "Cvc", "CV Comprometida", 64, C, C },
    { "Asd", "A. Segm. Disquinéticas", 64, C, C },
    { "Pn", "Pericárdio Normal", 64, C, C },
    { "Pdp", "Peric. Derrame Pequeno", 64, C, C },
    { "Pdm", "Peric. Derrame Médio", 64, C, C },
    { "Pdg", "Peric. Derrame Grande", 64, C, C },
    { "Econ", "Eco Normal", 64, C, C },
    { "Qte", nullptr, 64, C, L },
    { "Medico", nullptr, 64, L, C },
};
} // namespace

void GridPages::setUpExamHistory(DBGrid &grid)
{
    grid.setObjectName(u"DBGrid2"_s);
    QList<DBGridColumn> columns;
    for (const HistoryColumn &c : kHistory) {
        DBGridColumn column(QString::fromLatin1(c.field),
                            c.title ? QString::fromUtf8(c.title) : QString(), c.width);
        column.setAlignment(c.cell).setTitleAlignment(c.title_);
        columns << column;
    }
    grid.setColumns(columns);
    grid.setReadOnly(true);
    grid.setOptions(DBGrid::Titles | DBGrid::ColumnLines | DBGrid::RowLines | DBGrid::ResizeColumns
                    | DBGrid::TabMovesCells);
    grid.setCellColors(kSilver, kMaroon);
    grid.setTitleColor(kNavy);
    const QString hint = u"Duplo-clique para seleccionar exame..."_s;
    grid.setToolTip(hint);
    grid.setStatusTip(hint);
}

void GridPages::setUpPhrases(DBGrid &grid)
{
    grid.setObjectName(u"DBGrid1"_s);
    grid.setColumns({
        DBGridColumn(u"CodFrase"_s, u"Código"_s, 43)
            .setAlignment(C)
            .setTitleAlignment(C)
            .setReadOnly(true),
        DBGridColumn(u"Frase"_s, u"Frase"_s, 430).setAlignment(L).setTitleAlignment(C),
        DBGridColumn(u"Outros"_s, u"Obs."_s, 607).setAlignment(L).setTitleAlignment(C),
    });
    grid.setOptions(DBGrid::Titles | DBGrid::Indicator | DBGrid::ColumnLines | DBGrid::RowLines
                    | DBGrid::ResizeColumns | DBGrid::TabMovesCells);
    grid.setCellColors(kSilver, Qt::black);
    grid.setTitleColor(Qt::black);
    const QString hint
        = u"Conjunto de frases a usar em 'Conclusões'. CTRL-DEL para apagar Frase..."_s;
    grid.setToolTip(hint);
    grid.setStatusTip(hint);
}
