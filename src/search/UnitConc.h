#pragma once

#include <QWidget>

class DataSource;
class DBGrid;
class DBNavigator;
class DBRichEdit;
class QFrame;
class QLabel;
class QPushButton;

// The standard conclusions window: a library of whole conclusions (eco_conclusoes), edited here
// directly through the data module's DataSourceConc, and pasted into the exam's conclusion
// (MainForm->Editor) as plain text through the system clipboard. Made once at start-up, before
// the data module, so its controls bind when the module loads; closing it only hides it.
//
// The conclusion goes onto the clipboard in any case; the editor takes it only while the exam
// is edited or inserted. Errors of the data layer (a post from the grid or the navigator) go to
// the application's error box through guard(). One instance, reached through FormConc.
class TFormConc : public QWidget
{
    Q_OBJECT

public:
    explicit TFormConc(QWidget *parent = nullptr);
    ~TFormConc() override;

    // Handlers.
    void BitBtn1Click();

    // Components.
    QFrame *Panel1 = nullptr;
    DBGrid *DBGrid1 = nullptr;
    QLabel *Label1 = nullptr;
    QPushButton *BitBtn1 = nullptr; // "usar conclusão"
    DBNavigator *DBNavigator1 = nullptr;
    DBRichEdit *PreConclusao = nullptr; // Descricao

private:
    void bind(DataSource *source);
};

extern TFormConc *FormConc;
