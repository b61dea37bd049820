#include "search/Pesqt2.h"

#include "platform/engine/DataSource.h"
#include "platform/engine/Field.h"
#include "platform/engine/Query.h"
#include "platform/engine/Table.h"

TFormT2Pesq *FormT2Pesq = nullptr;

TFormT2Pesq::TFormT2Pesq(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormT2Pesq"));
    setWindowTitle(QStringLiteral("Pesquisa..."));
    resize(425, 319);

    TablePesq = new Table(this);
    TablePesq->setObjectName(QStringLiteral("TablePesq"));
    TablePesq->setDatabaseName(QStringLiteral("BDC"));
    TablePesq->setTableName(QStringLiteral("Bddid.DB"));
    TablePesq->setIndexName(QStringLiteral("BDDIDEX_NO"));
    TablePesq->setReadOnly(true);
    TablePesqNF = TablePesq->addField(QStringLiteral("NF"), FieldType::AutoInc);
    TablePesqNF->setVisible(false);
    TablePesqNOME = TablePesq->addField(QStringLiteral("NOME"), FieldType::String, 50);
    TablePesqNOME->setDisplayWidth(60);
    DataSourcePesq = new DataSource(this);
    DataSourcePesq->setObjectName(QStringLiteral("DataSourcePesq"));
    DataSourcePesq->setDataset(TablePesq);

    QueryPesq1 = new Query(this);
    QueryPesq1->setObjectName(QStringLiteral("QueryPesq1"));
    QueryPesq1->setDatabaseName(QStringLiteral("BDC"));
    QueryPesq1->setCachedUpdates(true);
    // Every exam whose patient exists, also one without a performing doctor (the right join).
    QueryPesq1->setSql(QStringList {
        QStringLiteral("select dataexame, codigoexame, nf, bddid.nome,  medico.nome, medico "),
        QStringLiteral("from medico right join eco on medico.codigo = executor, bddid"),
        QStringLiteral("where nf = eco.codigopaciente"),
        QStringLiteral("order by dataexame desc") });
    QueryPesq1dataexame = QueryPesq1->addField(QStringLiteral("dataexame"), FieldType::Date);
    QueryPesq1codigoexame
        = QueryPesq1->addField(QStringLiteral("codigoexame"), FieldType::DateTime);
    QueryPesq1codigoexame->setVisible(false);
    QueryPesq1nf = QueryPesq1->addField(QStringLiteral("nf"), FieldType::Integer);
    QueryPesq1nf->setVisible(false);
    QueryPesq1nome = QueryPesq1->addField(QStringLiteral("nome"), FieldType::String, 50);
    // The doctor's name: the second column called "nome".
    QueryPesq1nome_1 = QueryPesq1->addField(QStringLiteral("nome_1"), FieldType::String, 50);
    QueryPesq1medico = QueryPesq1->addField(QStringLiteral("medico"), FieldType::String, 60);
    DataSourcePesq1 = new DataSource(this);
    DataSourcePesq1->setObjectName(QStringLiteral("DataSourcePesq1"));
    DataSourcePesq1->setDataset(QueryPesq1);
}

TFormT2Pesq::~TFormT2Pesq()
{
    // Closed here, while the logical database they read is still connected.
    QueryPesq1->close();
    TablePesq->close();
    if (FormT2Pesq == this)
        FormT2Pesq = nullptr;
}

void TFormT2Pesq::load()
{
    TablePesq->open();
    QueryPesq1->open();
    FormCreate();
}

void TFormT2Pesq::FormCreate() { }
