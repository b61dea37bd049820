#pragma once

#include <QWidget>

class DataSource;
class DBGrid;
class Field;
class Query;
class DateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class QToolButton;
class Table;

// The quick search window: finds a patient by name or an exam by its day and moves the main
// window there. It alone owns datasets besides the data module: a read-only patient table and
// the exam list query, both on the logical database BDC, so searching moves nothing in the main
// window until a row is chosen.
//
// Made once at start-up, after the data module, whose connection defines BDC: load() opens the
// two datasets and throws DatabaseError when the patient, exam or doctors table cannot be read.
// Closing the window only hides it; it keeps its page, typed name, picked day and positions.
// Handlers run from Qt go through guard(): an error of the data layer (a pending patient of the
// main window that cannot be posted) shows in the error box and leaves this window open.
// One instance, reached through FormT2Pesq.
class TFormT2Pesq : public QWidget
{
    Q_OBJECT

public:
    explicit TFormT2Pesq(QWidget *parent = nullptr);
    ~TFormT2Pesq() override;

    // Opens the datasets, then runs the create handler.
    void load();

    // Tags of the main window's two search buttons.
    static constexpr int PatientsTag = 10;
    static constexpr int ExamsTag = 11;
    // What the main window's search buttons and menu items do: the page of the caller's tag
    // (PatientsTag, ExamsTag; any other keeps the page), then the window shown in front.
    void showFromMainWindow(int tag);

    // Handlers.
    void FormCreate();
    void FormActivate();
    void Edit1Change();
    void DataChange();
    void SpeedButton1Click();
    void BitBtn1Click();
    void BitBtn2Click();
    // Enter selects; true when the key was taken.
    bool Edit1KeyPress(int key);
    void DBGrid1DblClick();

    // Components.
    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr; // "pacientes"
    QLabel *Label1 = nullptr;
    QLineEdit *Edit1 = nullptr;
    DBGrid *DBGrid1 = nullptr;
    QWidget *TabSheet2 = nullptr; // "exames"
    QLabel *Label2 = nullptr;
    DateEdit *Data = nullptr;
    QToolButton *SpeedButton1 = nullptr;
    DBGrid *DBGrid2 = nullptr;
    QPushButton *BitBtn1 = nullptr; // "Selecionar"
    QPushButton *BitBtn2 = nullptr; // "Cancelar"

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

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void createPatientPage();
    void createExamPage();
    void createButtons();
    // Puts TablePesq on the patient of the exam list's current row; false when there is no row
    // or the patient is not among the patients.
    [[nodiscard]] bool findExamPatient();

public:
    // After the exam list's grid scrolled or its row moved: rows above the first shown are read
    // when few are left, and rows far from those shown and from the current row are let go, the
    // grid still showing the same rows. Runs from a zero timer; public for the tests.
    void tidyExamList();
    // Rows the exam list holds at most before letting go of far ones.
    static constexpr int ExamRowsHeld = 4096;

private:
    QTimer *m_tidy = nullptr;

    bool m_coveredByBox = false; // deactivated by a modal box shown over this window
};

extern TFormT2Pesq *FormT2Pesq;
