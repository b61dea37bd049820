#pragma once

#include "platform/widgets/DBNavigator.h"

#include <QWidget>

#include <functional>

class DBComboBox;
class DBEdit;
class DBLookupComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class TDataModule1;

// The two header boxes of the page "Pacientes": "Informação Pessoal" (the current patient, with
// the exam's age, weight and height) and "Informação Clínica" (the current exam and its
// navigator). It owns both boxes and every component in them; the controls bind to the data
// module's sources when it loads. Patient controls start editing as soon as the user types; exam
// controls stay read-only until the exam is edited or inserted.
//
// The main window places it above PageControl2, forwards the patient navigator's clicks and the
// menu command "Novo &Exame" to it, and sets onLabel70Click to show the exam history grid.
// Handlers run from Qt go through guard(); the public handlers let errors reach their caller.
class PatientHeader : public QWidget
{
    Q_OBJECT

public:
    explicit PatientHeader(QWidget *parent = nullptr);
    ~PatientHeader() override;

    // "Informação Pessoal"
    QGroupBox *GroupBox1 = nullptr;
    QLabel *LabelNome = nullptr;
    DBEdit *DBEdit1 = nullptr; // NOME
    QLabel *LabelCod = nullptr;
    DBEdit *DBEdit2 = nullptr; // NF
    QLabel *LabelDtNasc = nullptr;
    DBEdit *DBEdit3 = nullptr; // DNASC
    QLabel *LabelIdade = nullptr;
    DBEdit *DBEdit4 = nullptr; // Idade
    QLabel *LabelPeso = nullptr;
    DBEdit *DBEdit5 = nullptr; // Peso
    QLabel *LabelKg = nullptr;
    QLabel *LabelAltura = nullptr;
    DBEdit *DBEdit6 = nullptr; // Altura
    QLabel *LabelCm = nullptr;
    QLabel *LabelSistSaude = nullptr;
    DBLookupComboBox *DBLookupComboBox3 = nullptr; // BENIF

    // "Informação Clínica"
    QGroupBox *GroupBox2 = nullptr;
    QLabel *LabelDtExame = nullptr;
    DBEdit *DBEdit8 = nullptr; // DataExame
    DBComboBox *DBComboBox1 = nullptr; // ModoD
    QLabel *LabelTipo = nullptr;
    QLabel *LabelPedido = nullptr;
    DBEdit *DBEdit7 = nullptr; // Medico
    QLabel *LabelMedico = nullptr;
    DBLookupComboBox *DBLookupComboBox1 = nullptr; // Executor
    QLabel *Label71 = nullptr;
    QLabel *LabelTecnico = nullptr;
    DBLookupComboBox *DBLookupComboBox4 = nullptr; // tecnico
    QLabel *Label72 = nullptr;
    QFrame *PanelExames = nullptr; // frames the strip and the exam navigator
    QLabel *Label63 = nullptr;
    QLabel *Label70 = nullptr;
    DBNavigator *DBNavigator2 = nullptr;
    QLabel *LabelQualidade = nullptr;
    DBComboBox *DBComboBox2 = nullptr; // Qte
    QLabel *LabelInfoClinica = nullptr;
    DBEdit *DBEdit45 = nullptr; // InfoCl

    // Focus highlighting, shared by the data-entry controls of every exam page: each looks only
    // at the kind of Sender (data-bound edit, combo box or check box; others are left alone).
    static void DBEdit1Enter(QObject *Sender);
    static void DBEdit1Exit(QObject *Sender);
    // Hangs the pair on the control's entered() and exited(), through guard().
    static void attachFocusHighlight(QWidget *control);

    // The patient navigator's click, after its action: a new patient starts with the name.
    void DBNavigator1Click(DBNavigator::Button Button);
    // "Novo &Exame": the exam navigator's insert action, as if its button were pressed.
    void NovoExame1Click();
    // The clear marks "x", told apart by their tag.
    void Label71Click(QObject *Sender);
    // The links to the exam history grid; runs onLabel70Click.
    void Label70Click();

    // Set by the main window: shows the page "Grelha" and refreshes it.
    std::function<void()> onLabel70Click;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createPersonalBox();
    void createClinicalBox();
    void arrangeTabOrder();
    void bind(TDataModule1 &dm);
};
