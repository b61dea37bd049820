#pragma once

#include <QWidget>

class DBCheckBox;
class DBRichEdit;
class FormatToolBar;
class QFrame;
class QLabel;
class QTabWidget;
class TDataModule1;

// The page "Resultados": the structured findings of the current exam as check boxes bound to
// the exam table's logical fields, over the three sub-pages of PageControl3, and the two
// rich-text observation editors with their style tool bars (what the style buttons do is the main
// window's). It owns every component; the boxes bind when the data module
// loads and toggle only while the exam is edited or inserted. The third sub-page shows first.
class FindingsPage : public QWidget
{
    Q_OBJECT

public:
    explicit FindingsPage(QWidget *parent = nullptr);
    ~FindingsPage() override;

    QTabWidget *PageControl3 = nullptr;

    // "Ord. Segm. / Diam. Cav."
    QWidget *TabSheet3 = nullptr;
    QLabel *LabelOrdSeg = nullptr;
    DBCheckBox *DBCheckBox1 = nullptr; // OrdSeg
    FormatToolBar *ToolBar3 = nullptr;
    DBRichEdit *Editor1 = nullptr; // OrdSeg1, observations of the segmental ordering
    QFrame *PanelCavidades = nullptr;
    QLabel *LabelCavidades = nullptr;
    DBCheckBox *DBCheckBox2 = nullptr; // Dcc
    QLabel *LabelDilatacao = nullptr;
    DBCheckBox *DBCheckBox3 = nullptr; // Dccae
    DBCheckBox *DBCheckBox4 = nullptr; // Dccad
    DBCheckBox *DBCheckBox5 = nullptr; // Dccvd
    DBCheckBox *DBCheckBox6 = nullptr; // Dccve

    // "Válv. Cardiacas"
    QWidget *TabSheet9 = nullptr;
    QLabel *LabelValvulas = nullptr;
    DBCheckBox *DBCheckBox7 = nullptr; // Vcn
    QFrame *Bevel1 = nullptr; // the vertical line
    QFrame *PanelValvulas = nullptr;
    QLabel *LabelEstrutura = nullptr;
    QLabel *LabelMotilidade = nullptr;
    QLabel *LabelMitral = nullptr;
    QLabel *LabelAortica = nullptr;
    QLabel *LabelPulmonar = nullptr;
    QLabel *LabelTricuspide = nullptr;
    DBCheckBox *DBCheckBox8 = nullptr; // Vceem
    DBCheckBox *DBCheckBox22 = nullptr; // Vcmm
    DBCheckBox *DBCheckBox9 = nullptr; // Vceea
    DBCheckBox *DBCheckBox25 = nullptr; // Vcma
    DBCheckBox *DBCheckBox10 = nullptr; // Vceep
    DBCheckBox *DBCheckBox26 = nullptr; // Vcmp
    DBCheckBox *DBCheckBox11 = nullptr; // Vceet
    DBCheckBox *DBCheckBox27 = nullptr; // VcmT
    DBRichEdit *Editor2 = nullptr; // Vc1, observations on the heart valves
    FormatToolBar *ToolBar4 = nullptr;

    // "Cin. Ventr. / Pericárdio / A.S.Disq."
    QWidget *TabSheet10 = nullptr;
    QFrame *PanelCinetica = nullptr;
    QLabel *LabelCinetica = nullptr;
    DBCheckBox *DBCheckBox13 = nullptr; // Cvn
    DBCheckBox *DBCheckBox14 = nullptr; // Cvd
    DBCheckBox *DBCheckBox15 = nullptr; // Cvm
    DBCheckBox *DBCheckBox16 = nullptr; // Cvc
    QFrame *PanelPericardio = nullptr;
    QLabel *LabelPericardio = nullptr;
    DBCheckBox *DBCheckBox18 = nullptr; // Pn
    QLabel *LabelDerrame = nullptr;
    DBCheckBox *DBCheckBox19 = nullptr; // Pdp
    DBCheckBox *DBCheckBox20 = nullptr; // Pdm
    DBCheckBox *DBCheckBox21 = nullptr; // Pdg
    DBCheckBox *DBCheckBox17 = nullptr; // Asd
    QLabel *LabelScores = nullptr; // the red note under it
    DBCheckBox *DBCheckBox23 = nullptr; // Econ

    // Every box, sub-page by sub-page, each in tab order.
    [[nodiscard]] QList<DBCheckBox *> checkBoxes() const;

private:
    void createSegmentsPage();
    void createValvesPage();
    void createKineticsPage();
    void arrangeTabOrder();
    void bind(TDataModule1 &dm);
};
