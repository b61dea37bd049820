#pragma once

#include "platform/engine/Database.h"
#include "platform/engine/DataSource.h"
#include "platform/engine/Field.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"

#include <QObject>
#include <QPointer>
#include <QVariant>

#include <functional>
#include <memory>

class MainWindowCallbacks;

// The data module: the one owner of the connection, the seven tables, the four queries and the
// twelve data sources that every window binds to, and of the rules that run when patients, exams
// and segment scores change. One instance, reached through DataModule1.
//
// Construction makes the components; load() connects Database2 (a failure there is fatal and
// escapes: an empty or foreign file, a newer version, damage) and then runs DataModule1Create,
// which reports each table that fails to open and goes on with the others; damage found there
// ends the loading too, with the connection closed. A read-only database, and files others can
// read, are said once the event loop runs (after the splash is gone). Destruction closes every dataset, discarding unposted edits.
class TDataModule1 : public QObject
{
    Q_OBJECT

public:
    explicit TDataModule1(QObject *owner = nullptr);
    ~TDataModule1() override;

    void load();
    void DataModule1Create();

    // Opens a database, table or query; a failure is shown, never thrown, except a damaged
    // database, which ends the loading with its one message.
    void AbreComponente(QObject *component);
    void AbreComponente(Database *database);
    // Runs one statement through Query1; true when opened with at least one row.
    bool ExecutaQuery(const QString &sql, const QVariant &param, bool doOpen);
    // A statement whose failure does not matter (schema upgrades).
    static void ExecutaComando(const QString &sql);

    // Windows made before the data module say here how their controls bind to its data
    // sources; the bindings are made when the module loads, after the connection and before the
    // tables open, so the controls see the first rows. Once loaded, a binding runs at once.
    static void bindWhenLoaded(QObject *context, std::function<void(TDataModule1 &)> bind);
    [[nodiscard]] bool isLoaded() const { return m_loaded; }

    void setMainWindowCallbacks(MainWindowCallbacks *callbacks) { m_callbacks = callbacks; }
    [[nodiscard]] MainWindowCallbacks *mainWindowCallbacks() const { return m_callbacks; }

    // Record rules.
    void TableEcoBeforeInsert(Dataset &dataset);
    void TableEcoAfterInsert(Dataset &dataset);
    void TableIMGAfterInsert(Dataset &dataset);
    void TableEcoBeforeEdit(Dataset &dataset);
    void TableEcoAfterEdit(Dataset &dataset);
    void TableIMGAfterEdit(Dataset &dataset);
    void TableEcoBeforePost(Dataset &dataset);
    void TableEcoAfterPost(Dataset &dataset);
    void TableEcoBeforeCancel(Dataset &dataset);
    void TableEcoBeforeDelete(Dataset &dataset);
    void TablePacAfterScroll(Dataset &dataset);
    void TablePacAfterPost(Dataset &dataset);
    void TablePacDNASCValidate(Field &field, const QVariant &value);

    // Age in completed years on the exam day; null without a birth date or when born later.
    [[nodiscard]] static QVariant ageOnExamDay(const QVariant &birth, const QDate &examDay);

    // Components, by the names the windows use.
    Database *Database2 = nullptr;
    Table *TablePac, *TableSS, *TableEco, *TableIMG, *TableFrase, *TableMed, *TableConc;
    Query *QueryGrelha, *QueryStat, *QueryPesqAv, *Query1;
    DataSource *DataSourcePac, *DataSourceEco, *DataSourceIMG, *DataSourceGrelha, *DataSourceFr,
        *DataSourceConc, *DataSourceMed, *DataSourceMed1, *DataSourceSS, *DataSourcePesqAV,
        *DataSourceStat, *DataSource1;

    // TablePac
    Field *TablePacCODIGO, *TablePacNOME, *TablePacDNASC, *TablePacBENIF;
    // TableEco
    Field *TableEcoCodigoPaciente, *TableEcoCodigoExame, *TableEcoMedico, *TableEcoIdade,
        *TableEcoPeso, *TableEcoAltura, *TableEcoDataExame, *TableEcoVd, *TableEcoVed, *TableEcoVes,
        *TableEcoFenc, *TableEcoFe, *TableEcoPp, *TableEcoSiv, *TableEcoAe, *TableEcoAo,
        *TableEcoGradveaomax, *TableEcoGradveaomin, *TableEcoAreavm, *TableEcoVptac,
        *TableEcoVptactevd, *TableEcoModoD, *TableEcoQte, *TableEcoInfoCl, *TableEcoVMGradMx,
        *TableEcoVMGradMd, *TableEcoExecutor, *TableEcoOrdSeg, *TableEcoOrdSeg1, *TableEcoDcc,
        *TableEcoDccae, *TableEcoDccad, *TableEcoDccvd, *TableEcoDccve, *TableEcoVcn,
        *TableEcoVceem, *TableEcoVceea, *TableEcoVceep, *TableEcoVceet, *TableEcoVcmm,
        *TableEcoVcma, *TableEcoVcmp, *TableEcoVcmT, *TableEcoVc1, *TableEcoCvn, *TableEcoCvd,
        *TableEcoCvm, *TableEcoCvc, *TableEcoAsd, *TableEcoPn, *TableEcoPdp, *TableEcoPdm,
        *TableEcoPdg, *TableEcoEcon, *TableEcoEcoa, *TableEcoEco1, *TableEcotecnico;
    // TableIMG
    Field *TableIMGCodpacienteI, *TableIMGDodExamei, *TableIMGC1, *TableIMGC2, *TableIMGC3,
        *TableIMGC4, *TableIMGC5, *TableIMGC6, *TableIMGC7, *TableIMGC8, *TableIMGC9, *TableIMGC10,
        *TableIMGC11, *TableIMGC12, *TableIMGC13, *TableIMGC14, *TableIMGC15, *TableIMGC16;
    // TableFrase
    Field *TableFraseCodFrase, *TableFraseFrase, *TableFraseOutros;
    // TableMed
    Field *TableMedCODIGO, *TableMedNOME, *TableMedACTIVO;
    // TableConc
    Field *TableConcId, *TableConcNome, *TableConcDescricao;
    // TableSS
    Field *TableSSCODIGO, *TableSSSIGLA, *TableSSENTIDADE, *TableSSACTIVO;
    // QueryGrelha
    Field *QueryGrelhacodigopaciente, *QueryGrelhacodigoexame, *QueryGrelhaMedico,
        *QueryGrelhaIdade, *QueryGrelhaPeso, *QueryGrelhaAltura, *QueryGrelhaDataExame,
        *QueryGrelhaInfoCl, *QueryGrelhaVd, *QueryGrelhaModoD, *QueryGrelhaQte, *QueryGrelhaVed,
        *QueryGrelhaVes, *QueryGrelhaFenc, *QueryGrelhaFe, *QueryGrelhaPp, *QueryGrelhaSiv,
        *QueryGrelhaAo, *QueryGrelhaAe, *QueryGrelhaGradveaomax, *QueryGrelhaGradveaomin,
        *QueryGrelhaAreavm, *QueryGrelhaVMGradMx, *QueryGrelhaVMGradMd, *QueryGrelhaVptac,
        *QueryGrelhaVptactevd, *QueryGrelhaOrdSeg, *QueryGrelhaOrdSeg1, *QueryGrelhaDcc,
        *QueryGrelhaDccae, *QueryGrelhaDccad, *QueryGrelhaDccvd, *QueryGrelhaDccve, *QueryGrelhaVcn,
        *QueryGrelhaVceem, *QueryGrelhaVceea, *QueryGrelhaVceep, *QueryGrelhaVceet,
        *QueryGrelhaVcmT, *QueryGrelhaVcmp, *QueryGrelhaVcma, *QueryGrelhaVcmm, *QueryGrelhaVc1,
        *QueryGrelhaCvn, *QueryGrelhaCvd, *QueryGrelhaCvm, *QueryGrelhaCvc, *QueryGrelhaAsd,
        *QueryGrelhaPn, *QueryGrelhaPdp, *QueryGrelhaPdm, *QueryGrelhaPdg, *QueryGrelhaEcon,
        *QueryGrelhaEcoa, *QueryGrelhaEco1, *QueryGrelhaExecutor;

private:
    Table *makeTable(const char *name, const QString &sqlTable, const QStringList &columns = {});
    DataSource *makeSource(const char *name, Dataset *dataset, bool autoEdit);
    void declareGrelhaFields();
    void bindFields();
    void attachRules();

    std::unique_ptr<Database> m_database;
    MainWindowCallbacks *m_callbacks = nullptr;
    bool m_loaded = false;
};

extern TDataModule1 *DataModule1;
