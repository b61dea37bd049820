#include "data/DM.h"

#include "data/MainWindowCallbacks.h"
#include "data/Schema.h"
#include "platform/engine/Connection.h"
#include "platform/engine/DatabaseError.h"
#include "platform/engine/StorageFault.h"
#include "platform/widgets/Clock.h"
#include "platform/widgets/Dialogs.h"

#include <QFile>
#include <QTimer>

TDataModule1 *DataModule1 = nullptr;

namespace {
// Display labels of exam columns: the names messages and untitled grid columns use.
const struct
{
    const char *column;
    const char *label;
} kEcoLabels[] = {
    { "Vd", "Ventrículo Direito" },
    { "Ved", "Diástole" },
    { "Ves", "Sístole" },
    { "Fenc", "Fracção de Encurtamento" },
    { "Fe", "Fracção de Ejecção" },
    { "Pp", "Espess. Parede Post." },
    { "Siv", "Septo Interv." },
    { "Ao", "Aorta" },
    { "Gradveaomax", "máximo" },
    { "Gradveaomin", "médio" },
    { "Areavm", "Área" },
    { "Vptac", "Tac" },
    { "Vptactevd", "Tac / TEVD" },
    { "ModoD", "Doppler" },
    { "Qte", "Qualidade Técnica do Exame" },
    { "InfoCl", "Info. Clínica" },
    { "VMGradMx", "Válv.Mitral Grad. máx." },
    { "VMGradMd", "Válv.Mitral Grad. méd" },
};

const QString kLockMessage = QStringLiteral("ATENÇÃO: este EXAME não pode ser alterado!");
const QString kFutureBirthMessage
    = QStringLiteral("A data de nascimento não pode ser posterior à data de hoje.");
const QString kNoDoctorMessage
    = QStringLiteral("Por favor seleccione um Médico ou Técnico (ou ambos).");
const QString kUnprotectedMessage
    = QStringLiteral("Aviso: o ficheiro %1 pode ser lido por outros utilizadores e não pertence "
                     "a este utilizador, por isso não foi protegido. Peça ao dono que o deixe "
                     "só para si (chmod 600).");

void applyLabels(Dataset *dataset)
{
    for (const auto &l : kEcoLabels) {
        if (Field *f = dataset->findField(QString::fromUtf8(l.column)))
            f->setDisplayLabel(QString::fromUtf8(l.label));
    }
}

struct PendingBinding
{
    QPointer<QObject> context;
    std::function<void(TDataModule1 &)> bind;
};

std::vector<PendingBinding> &pendingBindings()
{
    static std::vector<PendingBinding> bindings;
    return bindings;
}

bool isEditing(const Dataset *d)
{
    return d->state() == DatasetState::Edit || d->state() == DatasetState::Insert;
}
} // namespace

TDataModule1::TDataModule1(QObject *owner)
    : QObject(owner)
{
    setObjectName(QStringLiteral("DataModule1"));
    m_database = std::make_unique<Database>(QStringLiteral("BDC"));
    m_database->setAliasName(QStringLiteral("Arvendi2"));
    m_database->setNewestVersion(Schema::Version);
    QStringList tables;
    for (const TableDef &t : Schema::tables())
        tables.append(t.name);
    m_database->setExpectedTables(tables);
    Database2 = m_database.get();
    // The patient table has more columns than TablePac exposes, kept by the practice's other
    // software; the advanced search reads them all through a query, whose fields take their types
    // from here, so its dates show as dates.
    const TableDef *patients = Schema::table(QStringLiteral("bddid"));
    for (const ColumnDef &c : patients->columns)
        m_database->registerColumnType(patients->name, c.name, c.type, c.size);
    for (const TableDef &t : Schema::tables()) {
        for (const FoldedColumnDef &f : t.folded)
            m_database->registerFoldedColumn(t.name, f.source, f.name);
    }

    TablePac = makeTable("TablePac", QStringLiteral("bddid"),
                         { QStringLiteral("NF"), QStringLiteral("NOME"), QStringLiteral("DNASC"),
                           QStringLiteral("BENIF") });
    TablePac->setIndexName(QStringLiteral("BDDIDEX_NO"));
    TableSS = makeTable("TableSS", QStringLiteral("convencao"));
    TableSS->setFilter(QStringLiteral("activo = true"));
    TableEco = makeTable("TableEco", QStringLiteral("eco"));
    TableEco->setIndexFieldNames(QStringLiteral("CodigoPaciente;CodigoExame"));
    TableIMG = makeTable("TableIMG", QStringLiteral("imagem"));
    TableIMG->setIndexFieldNames(QStringLiteral("CodpacienteI;DodExamei"));
    TableFrase = makeTable("TableFrase", QStringLiteral("frase"));
    TableFrase->setIndexFieldNames(QStringLiteral("CodFrase"));
    TableMed = makeTable("TableMed", QStringLiteral("medico"));
    TableMed->setReadOnly(true);
    TableMed->setFilter(QStringLiteral("activo = true"));
    TableMed->setFiltered(true);
    TableConc = makeTable("TableConc", QStringLiteral("eco_conclusoes"));
    // Rows other workstations may be editing at the same time. An exam's score row goes with
    // the exam: its edit always passes through the exam's, which takes the lock.
    for (Table *t : { TablePac, TableEco, TableFrase, TableConc })
        t->setLockOnEdit(true);

    QueryGrelha = new Query(this);
    QueryGrelha->setObjectName(QStringLiteral("QueryGrelha"));
    QueryGrelha->setSql(QStringList { QStringLiteral("SELECT * "), QStringLiteral("FROM eco"),
                                      QStringLiteral("WHERE codigopaciente=:CP"), QString() });
    QueryGrelha->paramByName(QStringLiteral("CP")).setDataType(FieldType::Integer);
    QueryGrelha->setCachedUpdates(true);
    declareGrelhaFields();

    QueryStat = new Query(this);
    QueryStat->setObjectName(QStringLiteral("QueryStat"));
    QueryStat->setSql(QStringList {
        QStringLiteral("select * from eco"),
        QStringLiteral("where dataexame >= :dt1 and dataexame <= :dt2 and executor = :exe") });
    QueryStat->paramByName(QStringLiteral("dt1")).setDataType(FieldType::DateTime);
    QueryStat->paramByName(QStringLiteral("dt2")).setDataType(FieldType::DateTime);
    QueryStat->paramByName(QStringLiteral("exe")).setDataType(FieldType::Integer);

    QueryPesqAv = new Query(this);
    QueryPesqAv->setObjectName(QStringLiteral("QueryPesqAv"));
    QueryPesqAv->setCachedUpdates(true);
    // A colon typed into a search is text, not a parameter.
    QueryPesqAv->setParamCheck(false);

    Query1 = new Query(this);
    Query1->setObjectName(QStringLiteral("Query1"));

    DataSourcePac = makeSource("DataSourcePac", TablePac, true);
    DataSourceEco = makeSource("DataSourceEco", TableEco, false);
    DataSourceIMG = makeSource("DataSourceIMG", TableIMG, true);
    DataSourceGrelha = makeSource("DataSourceGrelha", QueryGrelha, true);
    DataSourceFr = makeSource("DataSourceFr", TableFrase, true);
    DataSourceConc = makeSource("DataSourceConc", TableConc, true);
    DataSourceMed = makeSource("DataSourceMed", TableMed, true);
    DataSourceMed1 = makeSource("DataSourceMed1", TableMed, true);
    DataSourceSS = makeSource("DataSourceSS", TableSS, true);
    DataSourcePesqAV = makeSource("DataSourcePesqAV", QueryPesqAv, true);
    DataSourceStat = makeSource("DataSourceStat", QueryStat, true);
    DataSource1 = makeSource("DataSource1", Query1, true);

    TableEco->setMasterSource(DataSourcePac);
    TableEco->setMasterFields(QStringLiteral("NF"));
    TableIMG->setMasterSource(DataSourceEco);
    TableIMG->setMasterFields(QStringLiteral("CodigoPaciente;CodigoExame"));

    bindFields();
    TablePacBENIF->setConstraintErrorMessage(
        QStringLiteral("Por favor seleccione uma entidade ou Particular"));
    applyLabels(TableEco);
    attachRules();
}

TDataModule1::~TDataModule1()
{
    // Details first, so that closing a master does not make them re-read; edits are dropped.
    for (Dataset *d : std::initializer_list<Dataset *> {
             Query1, QueryPesqAv, QueryStat, QueryGrelha, TableConc, TableMed, TableFrase, TableIMG,
             TableEco, TableSS, TablePac }) {
        d->hooks() = DatasetHooks();
        d->close();
    }
    if (DataModule1 == this)
        DataModule1 = nullptr;
}

Table *TDataModule1::makeTable(const char *name, const QString &sqlTable,
                               const QStringList &columns)
{
    auto *table = new Table(this);
    table->setObjectName(QString::fromLatin1(name));
    table->setDatabaseName(QStringLiteral("BDC"));
    const TableDef *def = Schema::table(sqlTable);
    table->setTableName(def->fileName);
    for (const ColumnDef &c : def->columns) {
        if (!columns.isEmpty() && !columns.contains(c.name))
            continue;
        table->addField(c.name, c.type, c.size)->setRequired(c.required);
    }
    return table;
}

DataSource *TDataModule1::makeSource(const char *name, Dataset *dataset, bool autoEdit)
{
    auto *source = new DataSource(this);
    source->setObjectName(QString::fromLatin1(name));
    source->setDataset(dataset);
    source->setAutoEdit(autoEdit);
    return source;
}

void TDataModule1::declareGrelhaFields()
{
    const TableDef *eco = Schema::table(QStringLiteral("eco"));
    const QStringList names { QStringLiteral("codigopaciente"),
                              QStringLiteral("codigoexame"),
                              QStringLiteral("Medico"),
                              QStringLiteral("Idade"),
                              QStringLiteral("Peso"),
                              QStringLiteral("Altura"),
                              QStringLiteral("DataExame"),
                              QStringLiteral("InfoCl"),
                              QStringLiteral("Vd"),
                              QStringLiteral("ModoD"),
                              QStringLiteral("Qte"),
                              QStringLiteral("Ved"),
                              QStringLiteral("Ves"),
                              QStringLiteral("Fenc"),
                              QStringLiteral("Fe"),
                              QStringLiteral("Pp"),
                              QStringLiteral("Siv"),
                              QStringLiteral("Ao"),
                              QStringLiteral("Ae"),
                              QStringLiteral("Gradveaomax"),
                              QStringLiteral("Gradveaomin"),
                              QStringLiteral("Areavm"),
                              QStringLiteral("VMGradMx"),
                              QStringLiteral("VMGradMd"),
                              QStringLiteral("Vptac"),
                              QStringLiteral("Vptactevd"),
                              QStringLiteral("OrdSeg"),
                              QStringLiteral("OrdSeg1"),
                              QStringLiteral("Dcc"),
                              QStringLiteral("Dccae"),
                              QStringLiteral("Dccad"),
                              QStringLiteral("Dccvd"),
                              QStringLiteral("Dccve"),
                              QStringLiteral("Vcn"),
                              QStringLiteral("Vceem"),
                              QStringLiteral("Vceea"),
                              QStringLiteral("Vceep"),
                              QStringLiteral("Vceet"),
                              QStringLiteral("VcmT"),
                              QStringLiteral("Vcmp"),
                              QStringLiteral("Vcma"),
                              QStringLiteral("Vcmm"),
                              QStringLiteral("Vc1"),
                              QStringLiteral("Cvn"),
                              QStringLiteral("Cvd"),
                              QStringLiteral("Cvm"),
                              QStringLiteral("Cvc"),
                              QStringLiteral("Asd"),
                              QStringLiteral("Pn"),
                              QStringLiteral("Pdp"),
                              QStringLiteral("Pdm"),
                              QStringLiteral("Pdg"),
                              QStringLiteral("Econ"),
                              QStringLiteral("Ecoa"),
                              QStringLiteral("Eco1"),
                              QStringLiteral("Executor") };
    // These five show the engine's own "True" and "False"; every other logical shows "O" and ".".
    const QStringList plainBooleans { QStringLiteral("Vcn"), QStringLiteral("VcmT"),
                                      QStringLiteral("Vcmp"), QStringLiteral("Vcma"),
                                      QStringLiteral("Vcmm") };
    for (const QString &name : names) {
        const ColumnDef *c = eco->column(name);
        FieldType type = c->type;
        if (name == QLatin1String("Vc1") || name == QLatin1String("Eco1"))
            type = FieldType::FmtMemo;
        Field *f = QueryGrelha->addField(name, type, c->size);
        if (type == FieldType::Boolean && !plainBooleans.contains(name))
            f->setDisplayValues(QStringLiteral("O;."));
    }
    applyLabels(QueryGrelha);
    QueryGrelha->fieldByName(QStringLiteral("Qte"))
        ->setDisplayLabel(QStringLiteral("Qual. Técn. Exame"));
    QueryGrelha->fieldByName(QStringLiteral("Ae"))
        ->setDisplayLabel(QStringLiteral("Aurícula Esquerda"));
}

void TDataModule1::bindFields()
{
    TablePacCODIGO = TablePac->fieldByName(QStringLiteral("NF"));
    TablePacNOME = TablePac->fieldByName(QStringLiteral("NOME"));
    TablePacDNASC = TablePac->fieldByName(QStringLiteral("DNASC"));
    TablePacBENIF = TablePac->fieldByName(QStringLiteral("BENIF"));
    TableEcoCodigoPaciente = TableEco->fieldByName(QStringLiteral("CodigoPaciente"));
    TableEcoCodigoExame = TableEco->fieldByName(QStringLiteral("CodigoExame"));
    TableEcoMedico = TableEco->fieldByName(QStringLiteral("Medico"));
    TableEcoIdade = TableEco->fieldByName(QStringLiteral("Idade"));
    TableEcoPeso = TableEco->fieldByName(QStringLiteral("Peso"));
    TableEcoAltura = TableEco->fieldByName(QStringLiteral("Altura"));
    TableEcoDataExame = TableEco->fieldByName(QStringLiteral("DataExame"));
    TableEcoVd = TableEco->fieldByName(QStringLiteral("Vd"));
    TableEcoVed = TableEco->fieldByName(QStringLiteral("Ved"));
    TableEcoVes = TableEco->fieldByName(QStringLiteral("Ves"));
    TableEcoFenc = TableEco->fieldByName(QStringLiteral("Fenc"));
    TableEcoFe = TableEco->fieldByName(QStringLiteral("Fe"));
    TableEcoPp = TableEco->fieldByName(QStringLiteral("Pp"));
    TableEcoSiv = TableEco->fieldByName(QStringLiteral("Siv"));
    TableEcoAe = TableEco->fieldByName(QStringLiteral("Ae"));
    TableEcoAo = TableEco->fieldByName(QStringLiteral("Ao"));
    TableEcoGradveaomax = TableEco->fieldByName(QStringLiteral("Gradveaomax"));
    TableEcoGradveaomin = TableEco->fieldByName(QStringLiteral("Gradveaomin"));
    TableEcoAreavm = TableEco->fieldByName(QStringLiteral("Areavm"));
    TableEcoVptac = TableEco->fieldByName(QStringLiteral("Vptac"));
    TableEcoVptactevd = TableEco->fieldByName(QStringLiteral("Vptactevd"));
    TableEcoModoD = TableEco->fieldByName(QStringLiteral("ModoD"));
    TableEcoQte = TableEco->fieldByName(QStringLiteral("Qte"));
    TableEcoInfoCl = TableEco->fieldByName(QStringLiteral("InfoCl"));
    TableEcoVMGradMx = TableEco->fieldByName(QStringLiteral("VMGradMx"));
    TableEcoVMGradMd = TableEco->fieldByName(QStringLiteral("VMGradMd"));
    TableEcoExecutor = TableEco->fieldByName(QStringLiteral("Executor"));
    TableEcoOrdSeg = TableEco->fieldByName(QStringLiteral("OrdSeg"));
    TableEcoOrdSeg1 = TableEco->fieldByName(QStringLiteral("OrdSeg1"));
    TableEcoDcc = TableEco->fieldByName(QStringLiteral("Dcc"));
    TableEcoDccae = TableEco->fieldByName(QStringLiteral("Dccae"));
    TableEcoDccad = TableEco->fieldByName(QStringLiteral("Dccad"));
    TableEcoDccvd = TableEco->fieldByName(QStringLiteral("Dccvd"));
    TableEcoDccve = TableEco->fieldByName(QStringLiteral("Dccve"));
    TableEcoVcn = TableEco->fieldByName(QStringLiteral("Vcn"));
    TableEcoVceem = TableEco->fieldByName(QStringLiteral("Vceem"));
    TableEcoVceea = TableEco->fieldByName(QStringLiteral("Vceea"));
    TableEcoVceep = TableEco->fieldByName(QStringLiteral("Vceep"));
    TableEcoVceet = TableEco->fieldByName(QStringLiteral("Vceet"));
    TableEcoVcmm = TableEco->fieldByName(QStringLiteral("Vcmm"));
    TableEcoVcma = TableEco->fieldByName(QStringLiteral("Vcma"));
    TableEcoVcmp = TableEco->fieldByName(QStringLiteral("Vcmp"));
    TableEcoVcmT = TableEco->fieldByName(QStringLiteral("VcmT"));
    TableEcoVc1 = TableEco->fieldByName(QStringLiteral("Vc1"));
    TableEcoCvn = TableEco->fieldByName(QStringLiteral("Cvn"));
    TableEcoCvd = TableEco->fieldByName(QStringLiteral("Cvd"));
    TableEcoCvm = TableEco->fieldByName(QStringLiteral("Cvm"));
    TableEcoCvc = TableEco->fieldByName(QStringLiteral("Cvc"));
    TableEcoAsd = TableEco->fieldByName(QStringLiteral("Asd"));
    TableEcoPn = TableEco->fieldByName(QStringLiteral("Pn"));
    TableEcoPdp = TableEco->fieldByName(QStringLiteral("Pdp"));
    TableEcoPdm = TableEco->fieldByName(QStringLiteral("Pdm"));
    TableEcoPdg = TableEco->fieldByName(QStringLiteral("Pdg"));
    TableEcoEcon = TableEco->fieldByName(QStringLiteral("Econ"));
    TableEcoEcoa = TableEco->fieldByName(QStringLiteral("Ecoa"));
    TableEcoEco1 = TableEco->fieldByName(QStringLiteral("Eco1"));
    TableEcotecnico = TableEco->fieldByName(QStringLiteral("tecnico"));
    TableIMGCodpacienteI = TableIMG->fieldByName(QStringLiteral("CodpacienteI"));
    TableIMGDodExamei = TableIMG->fieldByName(QStringLiteral("DodExamei"));
    TableIMGC1 = TableIMG->fieldByName(QStringLiteral("C1"));
    TableIMGC2 = TableIMG->fieldByName(QStringLiteral("C2"));
    TableIMGC3 = TableIMG->fieldByName(QStringLiteral("C3"));
    TableIMGC4 = TableIMG->fieldByName(QStringLiteral("C4"));
    TableIMGC5 = TableIMG->fieldByName(QStringLiteral("C5"));
    TableIMGC6 = TableIMG->fieldByName(QStringLiteral("C6"));
    TableIMGC7 = TableIMG->fieldByName(QStringLiteral("C7"));
    TableIMGC8 = TableIMG->fieldByName(QStringLiteral("C8"));
    TableIMGC9 = TableIMG->fieldByName(QStringLiteral("C9"));
    TableIMGC10 = TableIMG->fieldByName(QStringLiteral("C10"));
    TableIMGC11 = TableIMG->fieldByName(QStringLiteral("C11"));
    TableIMGC12 = TableIMG->fieldByName(QStringLiteral("C12"));
    TableIMGC13 = TableIMG->fieldByName(QStringLiteral("C13"));
    TableIMGC14 = TableIMG->fieldByName(QStringLiteral("C14"));
    TableIMGC15 = TableIMG->fieldByName(QStringLiteral("C15"));
    TableIMGC16 = TableIMG->fieldByName(QStringLiteral("C16"));
    TableFraseCodFrase = TableFrase->fieldByName(QStringLiteral("CodFrase"));
    TableFraseFrase = TableFrase->fieldByName(QStringLiteral("Frase"));
    TableFraseOutros = TableFrase->fieldByName(QStringLiteral("Outros"));
    TableMedCODIGO = TableMed->fieldByName(QStringLiteral("CODIGO"));
    TableMedNOME = TableMed->fieldByName(QStringLiteral("NOME"));
    TableMedACTIVO = TableMed->fieldByName(QStringLiteral("ACTIVO"));
    TableConcId = TableConc->fieldByName(QStringLiteral("Id"));
    TableConcNome = TableConc->fieldByName(QStringLiteral("Nome"));
    TableConcDescricao = TableConc->fieldByName(QStringLiteral("Descricao"));
    TableSSCODIGO = TableSS->fieldByName(QStringLiteral("CODIGO"));
    TableSSSIGLA = TableSS->fieldByName(QStringLiteral("SIGLA"));
    TableSSENTIDADE = TableSS->fieldByName(QStringLiteral("ENTIDADE"));
    TableSSACTIVO = TableSS->fieldByName(QStringLiteral("ACTIVO"));
    QueryGrelhacodigopaciente = QueryGrelha->fieldByName(QStringLiteral("codigopaciente"));
    QueryGrelhacodigoexame = QueryGrelha->fieldByName(QStringLiteral("codigoexame"));
    QueryGrelhaMedico = QueryGrelha->fieldByName(QStringLiteral("Medico"));
    QueryGrelhaIdade = QueryGrelha->fieldByName(QStringLiteral("Idade"));
    QueryGrelhaPeso = QueryGrelha->fieldByName(QStringLiteral("Peso"));
    QueryGrelhaAltura = QueryGrelha->fieldByName(QStringLiteral("Altura"));
    QueryGrelhaDataExame = QueryGrelha->fieldByName(QStringLiteral("DataExame"));
    QueryGrelhaInfoCl = QueryGrelha->fieldByName(QStringLiteral("InfoCl"));
    QueryGrelhaVd = QueryGrelha->fieldByName(QStringLiteral("Vd"));
    QueryGrelhaModoD = QueryGrelha->fieldByName(QStringLiteral("ModoD"));
    QueryGrelhaQte = QueryGrelha->fieldByName(QStringLiteral("Qte"));
    QueryGrelhaVed = QueryGrelha->fieldByName(QStringLiteral("Ved"));
    QueryGrelhaVes = QueryGrelha->fieldByName(QStringLiteral("Ves"));
    QueryGrelhaFenc = QueryGrelha->fieldByName(QStringLiteral("Fenc"));
    QueryGrelhaFe = QueryGrelha->fieldByName(QStringLiteral("Fe"));
    QueryGrelhaPp = QueryGrelha->fieldByName(QStringLiteral("Pp"));
    QueryGrelhaSiv = QueryGrelha->fieldByName(QStringLiteral("Siv"));
    QueryGrelhaAo = QueryGrelha->fieldByName(QStringLiteral("Ao"));
    QueryGrelhaAe = QueryGrelha->fieldByName(QStringLiteral("Ae"));
    QueryGrelhaGradveaomax = QueryGrelha->fieldByName(QStringLiteral("Gradveaomax"));
    QueryGrelhaGradveaomin = QueryGrelha->fieldByName(QStringLiteral("Gradveaomin"));
    QueryGrelhaAreavm = QueryGrelha->fieldByName(QStringLiteral("Areavm"));
    QueryGrelhaVMGradMx = QueryGrelha->fieldByName(QStringLiteral("VMGradMx"));
    QueryGrelhaVMGradMd = QueryGrelha->fieldByName(QStringLiteral("VMGradMd"));
    QueryGrelhaVptac = QueryGrelha->fieldByName(QStringLiteral("Vptac"));
    QueryGrelhaVptactevd = QueryGrelha->fieldByName(QStringLiteral("Vptactevd"));
    QueryGrelhaOrdSeg = QueryGrelha->fieldByName(QStringLiteral("OrdSeg"));
    QueryGrelhaOrdSeg1 = QueryGrelha->fieldByName(QStringLiteral("OrdSeg1"));
    QueryGrelhaDcc = QueryGrelha->fieldByName(QStringLiteral("Dcc"));
    QueryGrelhaDccae = QueryGrelha->fieldByName(QStringLiteral("Dccae"));
    QueryGrelhaDccad = QueryGrelha->fieldByName(QStringLiteral("Dccad"));
    QueryGrelhaDccvd = QueryGrelha->fieldByName(QStringLiteral("Dccvd"));
    QueryGrelhaDccve = QueryGrelha->fieldByName(QStringLiteral("Dccve"));
    QueryGrelhaVcn = QueryGrelha->fieldByName(QStringLiteral("Vcn"));
    QueryGrelhaVceem = QueryGrelha->fieldByName(QStringLiteral("Vceem"));
    QueryGrelhaVceea = QueryGrelha->fieldByName(QStringLiteral("Vceea"));
    QueryGrelhaVceep = QueryGrelha->fieldByName(QStringLiteral("Vceep"));
    QueryGrelhaVceet = QueryGrelha->fieldByName(QStringLiteral("Vceet"));
    QueryGrelhaVcmT = QueryGrelha->fieldByName(QStringLiteral("VcmT"));
    QueryGrelhaVcmp = QueryGrelha->fieldByName(QStringLiteral("Vcmp"));
    QueryGrelhaVcma = QueryGrelha->fieldByName(QStringLiteral("Vcma"));
    QueryGrelhaVcmm = QueryGrelha->fieldByName(QStringLiteral("Vcmm"));
    QueryGrelhaVc1 = QueryGrelha->fieldByName(QStringLiteral("Vc1"));
    QueryGrelhaCvn = QueryGrelha->fieldByName(QStringLiteral("Cvn"));
    QueryGrelhaCvd = QueryGrelha->fieldByName(QStringLiteral("Cvd"));
    QueryGrelhaCvm = QueryGrelha->fieldByName(QStringLiteral("Cvm"));
    QueryGrelhaCvc = QueryGrelha->fieldByName(QStringLiteral("Cvc"));
    QueryGrelhaAsd = QueryGrelha->fieldByName(QStringLiteral("Asd"));
    QueryGrelhaPn = QueryGrelha->fieldByName(QStringLiteral("Pn"));
    QueryGrelhaPdp = QueryGrelha->fieldByName(QStringLiteral("Pdp"));
    QueryGrelhaPdm = QueryGrelha->fieldByName(QStringLiteral("Pdm"));
    QueryGrelhaPdg = QueryGrelha->fieldByName(QStringLiteral("Pdg"));
    QueryGrelhaEcon = QueryGrelha->fieldByName(QStringLiteral("Econ"));
    QueryGrelhaEcoa = QueryGrelha->fieldByName(QStringLiteral("Ecoa"));
    QueryGrelhaEco1 = QueryGrelha->fieldByName(QStringLiteral("Eco1"));
    QueryGrelhaExecutor = QueryGrelha->fieldByName(QStringLiteral("Executor"));
}

void TDataModule1::attachRules()
{
    auto rule = [this](void (TDataModule1::*handler)(Dataset &)) {
        return [this, handler](Dataset &d) { (this->*handler)(d); };
    };
    DatasetHooks &eco = TableEco->hooks();
    eco.beforeInsert = rule(&TDataModule1::TableEcoBeforeInsert);
    eco.afterInsert = rule(&TDataModule1::TableEcoAfterInsert);
    eco.beforeEdit = rule(&TDataModule1::TableEcoBeforeEdit);
    eco.afterEdit = rule(&TDataModule1::TableEcoAfterEdit);
    eco.beforePost = rule(&TDataModule1::TableEcoBeforePost);
    eco.afterPost = rule(&TDataModule1::TableEcoAfterPost);
    eco.beforeCancel = rule(&TDataModule1::TableEcoBeforeCancel);
    eco.beforeDelete = rule(&TDataModule1::TableEcoBeforeDelete);
    DatasetHooks &img = TableIMG->hooks();
    img.afterInsert = rule(&TDataModule1::TableIMGAfterInsert);
    img.afterEdit = rule(&TDataModule1::TableIMGAfterEdit);
    DatasetHooks &pac = TablePac->hooks();
    pac.afterPost = rule(&TDataModule1::TablePacAfterPost);
    pac.afterScroll = rule(&TDataModule1::TablePacAfterScroll);
    TablePacDNASC->setOnValidate(
        [this](Field &field, const QVariant &value) { TablePacDNASCValidate(field, value); });
}

void TDataModule1::bindWhenLoaded(QObject *context, std::function<void(TDataModule1 &)> bind)
{
    if (DataModule1 && DataModule1->isLoaded()) {
        bind(*DataModule1);
        return;
    }
    pendingBindings().push_back(PendingBinding { context, std::move(bind) });
}

void TDataModule1::load()
{
    // The connection is made while the module loads; its failure ends start-up.
    Database2->registerNames(Schema::names());
    Database2->open();
    // Said once, as soon as the windows are up (the splash would hide a box shown now); every
    // later write says the read-only part again when it fails.
    QStringList notices;
    if (Database2->isReadOnly())
        notices.append(StorageFault::text(StorageFault::Kind::ReadOnly, Database2->filePath()));
    for (const QString &file : Database2->unprotectedFiles())
        notices.append(kUnprotectedMessage.arg(file));
    if (!notices.isEmpty()) {
        QTimer::singleShot(0, this, [notices]() {
            for (const QString &text : notices)
                Dialogs::instance().message(text);
        });
    }
    m_loaded = true;
    std::vector<PendingBinding> bindings = std::move(pendingBindings());
    pendingBindings().clear();
    for (PendingBinding &b : bindings) {
        if (b.context)
            b.bind(*this);
    }
    try {
        DataModule1Create();
    } catch (...) {
        // Start-up ends here: no statement may keep the connection (and its -wal) alive.
        for (Dataset *d : std::initializer_list<Dataset *> {
                 Query1, QueryPesqAv, QueryStat, QueryGrelha, TableConc, TableMed, TableFrase,
                 TableIMG, TableEco, TableSS, TablePac })
            d->close();
        Database2->close(/*keepStatistics*/ false);
        throw;
    }
}

void TDataModule1::DataModule1Create()
{
    // Stale lock files of older installations, looked up in the current directory.
    QFile::remove(QStringLiteral("Paradox.lck"));
    QFile::remove(QStringLiteral("Pdoxusrs.lck"));
    // Sent only when the column is missing: a server logs every refused statement as an error,
    // and every workstation starts here.
    bool hasTecnico = false;
    for (const Connection::ColumnInfo &c : Database2->connection().tableInfo(QStringLiteral("eco")))
        hasTecnico
            = hasTecnico || c.name.compare(QLatin1String("tecnico"), Qt::CaseInsensitive) == 0;
    if (!hasTecnico)
        ExecutaComando(QStringLiteral("alter table eco add tecnico integer"));
    Schema::upgrade(*Database2);
    // Masters before their details, so each detail opens on its master's current row.
    for (Table *t : { TablePac, TableSS, TableEco, TableIMG, TableFrase, TableMed, TableConc })
        AbreComponente(t);
}

void TDataModule1::AbreComponente(Database *database)
{
    try {
        database->open();
    } catch (...) {
        Dialogs::instance().message(QStringLiteral("ATENÇÃO:\r\rErro ao abrir «« ")
                                    + database->aliasName() + QStringLiteral(" »»"));
    }
}

void TDataModule1::AbreComponente(QObject *component)
{
    QString name;
    try {
        if (auto *table = qobject_cast<Table *>(component)) {
            name = table->tableName();
            table->open();
        } else if (auto *query = qobject_cast<Query *>(component)) {
            name = query->objectName();
            query->open();
        }
    } catch (const StorageFault &fault) {
        // A damaged file would fail every table, one box each, and then every operation: it is
        // told once, by whoever started the module.
        if (fault.kind() == StorageFault::Kind::Damaged)
            throw;
        Dialogs::instance().message(QStringLiteral("ATENÇÃO:\r\rErro ao abrir «« ") + name
                                    + QStringLiteral(" »»"));
    } catch (...) {
        Dialogs::instance().message(QStringLiteral("ATENÇÃO:\r\rErro ao abrir «« ") + name
                                    + QStringLiteral(" »»"));
    }
}

bool TDataModule1::ExecutaQuery(const QString &sql, const QVariant &param, bool doOpen)
{
    Query1->close();
    Query1->setSql(QStringList { sql });
    Query1->clearParams();
    if (param.isValid() && !param.isNull())
        Query1->addParam().setValue(param);
    if (doOpen) {
        Query1->open();
        return Query1->recordCount() != 0;
    }
    Query1->execSql();
    return false;
}

void TDataModule1::ExecutaComando(const QString &sql)
{
    try {
        DataModule1->ExecutaQuery(sql, QVariant(), false);
    } catch (...) { }
}

QVariant TDataModule1::ageOnExamDay(const QVariant &birth, const QDate &examDay)
{
    if (!birth.isValid() || birth.isNull())
        return QVariant();
    const QDate born
        = birth.typeId() == QMetaType::QDateTime ? birth.toDateTime().date() : birth.toDate();
    if (!born.isValid() || born > examDay)
        return QVariant();
    int years = examDay.year() - born.year();
    // The birthday itself completes the year; one born on 29 February completes it on the
    // 28th in other years.
    const int dayInMonth = qMin(born.day(), QDate(examDay.year(), born.month(), 1).daysInMonth());
    if (examDay < QDate(examDay.year(), born.month(), dayInMonth))
        --years;
    return QVariant(qint64(years));
}

void TDataModule1::TablePacDNASCValidate(Field &, const QVariant &value)
{
    // A birth date after today is a typing error, and would leave every new exam without an age.
    if (value.isValid() && value.toDate() > Clock::instance().today()) {
        Dialogs::instance().message(kFutureBirthMessage);
        abortSilently();
    }
}

void TDataModule1::TableEcoBeforeInsert(Dataset &)
{
    if (TablePac->state() == DatasetState::Insert)
        TablePac->post();
}

void TDataModule1::TableEcoAfterInsert(Dataset &)
{
    const QDateTime now = Clock::instance().now();
    TableEcoCodigoExame->setAsDateTime(now);
    TableEcoDataExame->setAsDateTime(Clock::instance().now());
    TableIMG->append();
    TableIMGDodExamei->setValue(TableEcoCodigoExame->asVariant());
    TableEcoIdade->setValue(ageOnExamDay(TablePacDNASC->asVariant(), TableEcoDataExame->asDate()));
}

void TDataModule1::TableIMGAfterInsert(Dataset &)
{
    for (int i = 1; i <= 16; ++i)
        TableIMG->fieldByName(QStringLiteral("C%1").arg(i))->setAsInteger(1);
}

void TDataModule1::TableEcoBeforeEdit(Dataset &)
{
    // Days from the exam date to today; an exam without a date counts from day zero.
    const QDate today = Clock::instance().today();
    const qint64 days = TableEcoDataExame->isNull() ? QDate(1899, 12, 30).daysTo(today)
                                                    : TableEcoDataExame->asDate().daysTo(today);
    if (days > 1) {
        Dialogs::instance().message(kLockMessage);
        abortSilently();
    }
}

void TDataModule1::TableEcoAfterEdit(Dataset &)
{
    if (TableIMG->isActive())
        TableIMG->edit();
}

void TDataModule1::TableIMGAfterEdit(Dataset &)
{
    if (!TableIMG->isActive())
        return;
    try {
        if (m_callbacks)
            m_callbacks->examNavigatorEdit();
        else
            TableEco->edit();
    } catch (...) {
        // A locked exam's scores stay as they are: the score row leaves edit mode too.
        if (isEditing(TableIMG) && !isEditing(TableEco))
            TableIMG->cancel();
        throw;
    }
}

void TDataModule1::TableEcoBeforePost(Dataset &)
{
    if (TableEcoExecutor->isNull() && TableEcotecnico->isNull())
        Dialogs::instance().message(kNoDoctorMessage);
}

void TDataModule1::TableEcoAfterPost(Dataset &)
{
    if (isEditing(TableIMG))
        TableIMG->post();
    if (m_callbacks)
        m_callbacks->ResetFormatButtons();
}

void TDataModule1::TableEcoBeforeCancel(Dataset &)
{
    // What the user cancels is not stored: a new exam's score row, or score changes made
    // while the exam was being edited, go with it.
    if (isEditing(TableIMG))
        TableIMG->cancel();
}

void TDataModule1::TableEcoBeforeDelete(Dataset &)
{
    TableIMG->first();
    while (!TableIMG->isEmpty())
        TableIMG->deleteRecord();
}

void TDataModule1::TablePacAfterScroll(Dataset &)
{
    if (m_callbacks && m_callbacks->gridPageShown())
        m_callbacks->PageControl2Change();
}

void TDataModule1::TablePacAfterPost(Dataset &) { }
