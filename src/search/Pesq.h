#pragma once

#include <QWidget>

class DBGrid;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

// The advanced patient search window: lists the patients having a word or phrase in any of the
// 21 registration columns of the patient table, through the data module's QueryPesqAv, and makes a
// double-clicked patient the main window's current one. The window keeps no data of its own.
//
// Made once at start-up, before the data module: the grid is bound to DataSourcePesqAV when the
// module loads. Hidden until the main window shows it; closing it only hides it, so the typed text
// and the last result are there when it is shown again. One instance, reached through FormPesqAV.
// Errors of the engine (a refused statement, a patient that cannot be left) end in the
// application's error box; a refused statement leaves the query closed.
class TFormPesqAV : public QWidget
{
    Q_OBJECT

public:
    explicit TFormPesqAV(QWidget *parent = nullptr);
    ~TFormPesqAV() override;

    // The select over the 21 columns, each in capitals "like" the typed text between two "%":
    // a to z of the text in capitals, every other character as typed, each quote doubled.
    [[nodiscard]] static QString searchStatement(const QString &typed);

    // "Pesquisar...": runs the search; the button is disabled while it runs.
    void BitBtn1Click();
    // Enter in the text box presses "Pesquisar..."; true when the key was taken.
    bool Edit1KeyPress(int key);
    // Moves the main window to the patient of the grid's current row.
    void DBGrid1DblClick();

    QFrame *Panel1 = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QLabel *Label3 = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QLabel *Label1 = nullptr;
    DBGrid *DBGrid1 = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

extern TFormPesqAV *FormPesqAV;

// The main window's "avançada": shows the window, not modal, in front of the others.
void showAdvancedSearch();
