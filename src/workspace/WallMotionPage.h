#pragma once

#include <QList>
#include <QWidget>

class DBEdit;
class DBNavigator;
class QFrame;
class QLabel;
class TDataModule1;

// The page "Imagens": the wall-motion scores of the current exam, typed into 21 small boxes laid
// over four drawings of the left ventricle, with the exam's date, the score legend, the score
// index and a navigator over the patient's exams. Everything sits at fixed pixel positions.
//
// The boxes bind to C1..C16 of the segment-score row; the five mid-ventricular segments have a box
// in two views, and both show the one column. The data source edits by itself, so typing starts
// the edit and the record rules decide (the exam lock included). A score above 5 is put back to 1
// with a beep as soon as it is stored, but only on a row being edited: a row that is merely shown
// is never written to. The index label shows the mean of the sixteen scores, null counting 0.
class WallMotionPage : public QWidget
{
    Q_OBJECT

public:
    explicit WallMotionPage(QWidget *parent = nullptr);
    ~WallMotionPage() override;

    // The view drawings and their outlined frames.
    QWidget *Image1 = nullptr; // apical four-chamber
    QWidget *Image2 = nullptr; // apical two-chamber
    QWidget *Image3 = nullptr; // parasternal long axis
    QWidget *Image4 = nullptr; // short axis
    QFrame *Frame1 = nullptr;
    QFrame *Frame2 = nullptr;
    QFrame *Frame3 = nullptr;
    QFrame *Frame4 = nullptr;

    // The three bevelled boxes between the drawings.
    QFrame *Bevel1 = nullptr;
    QFrame *Bevel2 = nullptr;
    QFrame *Bevel3 = nullptr;
    QLabel *LabelExame = nullptr;
    QLabel *LabelData = nullptr;
    DBEdit *DBEdit44 = nullptr; // the exam's date, read-only
    QLabel *LabelScores = nullptr;
    QList<QLabel *> LegendLabels; // "0 = hiperquinético" .. "5 = aneurismático"
    QLabel *LabelTotalScore = nullptr;
    QLabel *Label46 = nullptr; // the score index
    DBNavigator *DBNavigator3 = nullptr;

    // Score boxes, named as the window names them; see scoreBoxes() for the tab order.
    DBEdit *DBEdit23 = nullptr, *DBEdit24 = nullptr, *DBEdit25 = nullptr, *DBEdit26 = nullptr,
           *DBEdit27 = nullptr, *DBEdit28 = nullptr, *DBEdit29 = nullptr, *DBEdit30 = nullptr,
           *DBEdit31 = nullptr, *DBEdit32 = nullptr, *DBEdit33 = nullptr, *DBEdit34 = nullptr,
           *DBEdit35 = nullptr, *DBEdit36 = nullptr, *DBEdit37 = nullptr, *DBEdit38 = nullptr,
           *DBEdit39 = nullptr, *DBEdit40 = nullptr, *DBEdit41 = nullptr, *DBEdit42 = nullptr,
           *DBEdit43 = nullptr;

    // The 21 score boxes in tab order: around each drawing in turn.
    [[nodiscard]] QList<DBEdit *> scoreBoxes() const { return m_boxes; }

    // Shared by every score box; Sender is the box. Change runs the range rule and shows the
    // index; Enter and Exit switch the box's focus colours.
    void DBEdit23Change(QObject *Sender);
    static void DBEdit23Enter(QObject *Sender);
    static void DBEdit23Exit(QObject *Sender);

private:
    void bind(TDataModule1 &dm);

    QList<DBEdit *> m_boxes;
};
