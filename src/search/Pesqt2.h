#pragma once

#include <QWidget>

class DataSource;
class Field;
class Query;
class Table;

// The quick search window: finds a patient by name or an exam by its day and moves the main
// window there. It alone owns datasets besides the data module: a read-only patient table and
// the exam list query, both on the logical database BDC, so searching moves nothing in the main
// window until a row is chosen.
//
// Made once at start-up, after the data module, whose connection defines BDC: load() opens the
// two datasets and throws DatabaseError when the patient, exam or doctors table cannot be read.
// Closing the window only hides it. One instance, reached through FormT2Pesq.
class TFormT2Pesq : public QWidget
{
    Q_OBJECT

public:
    explicit TFormT2Pesq(QWidget *parent = nullptr);
    ~TFormT2Pesq() override;

    // Opens the datasets, then runs the create handler.
    void load();
    void FormCreate();

    Table *TablePesq = nullptr;
    Field *TablePesqNF = nullptr;
    Field *TablePesqNOME = nullptr;
    DataSource *DataSourcePesq = nullptr;

    Query *QueryPesq1 = nullptr;
    Field *QueryPesq1dataexame = nullptr;
    Field *QueryPesq1codigoexame = nullptr;
    Field *QueryPesq1nf = nullptr;
    Field *QueryPesq1nome = nullptr;
    Field *QueryPesq1nome_1 = nullptr;
    Field *QueryPesq1medico = nullptr;
    DataSource *DataSourcePesq1 = nullptr;
};

extern TFormT2Pesq *FormT2Pesq;
