#pragma once

#include <QWidget>

class DBGrid;

// The phrase picker: lists the phrase table and pastes the chosen phrase into the exam's
// conclusion (MainForm->Editor) through the system clipboard. Made last at start-up, after the
// data module, and hidden until the main window shows it; closing it only hides it, so it keeps
// its row. While shown it stays above the main window, and only above it.
//
// The phrase goes onto the clipboard in any case; the editor takes it only while the exam is
// edited or inserted, otherwise it is read-only and the paste does nothing. Handlers run from Qt
// go through guard(). One instance, reached through Form1.
class TForm1 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // Handlers.
    void DBGrid1DblClick();
    // Enter inserts as a double-click does, Esc hides the picker; true when the key was taken.
    bool DBGrid1KeyPress(int key);

    // Components.
    DBGrid *DBGrid1 = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
};

extern TForm1 *Form1;
