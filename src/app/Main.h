#pragma once

#include "data/MainWindowCallbacks.h"
#include "platform/widgets/DBNavigator.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QPointer>

class QAction;
class DateEdit;
class QLabel;
class QMenu;
class QMenuBar;
class QStatusBar;
class QTabWidget;
class QToolBar;
class QToolButton;
class MenuShortcuts;
class TFormAcerca;

// The main window: the application's only long-visible window. Closing it ends the application,
// also while secondary windows are open (closed() is connected to quit by the start-up sequence).
// One instance, reached through MainForm, made by the start-up sequence before the data module.
//
// It owns the frame: menu bar, tool bar with the patient navigator, the two page controls and the
// status line, whose first panel shows the hint (status tip) the mouse or the menu points at.
// Menu items and tool buttons carry their tag in the dynamic property "tag". Every handler run
// from Qt goes through guard(), so errors of the actions behind them end in the error box.
class BandedReport;
class DBGrid;
class ExamReport;
class DBRichEdit;
class Query;
class StatisticsPage;
class FindingsPage;
class FormatToolBar;
class MeasurementsPage;
class PatientHeader;
class WallMotionPage;

class TMainForm : public QMainWindow, public MainWindowCallbacks
{
    Q_OBJECT

public:
    explicit TMainForm(QWidget *parent = nullptr);
    ~TMainForm() override;

    // Tool bar.
    QToolBar *ToolBar1 = nullptr;
    QWidget *ToolButton4 = nullptr; // gap
    QToolButton *BotaoPsq = nullptr;
    QWidget *ToolButton9 = nullptr; // gap
    QToolButton *ToolButton5 = nullptr;
    QWidget *ToolButton1 = nullptr; // gap
    QToolButton *ToolButton8 = nullptr;
    QWidget *ToolButton3 = nullptr; // divider
    QToolButton *BotaoPrn = nullptr;
    QToolButton *ToolButton6 = nullptr;
    QWidget *ToolButton2 = nullptr; // gap
    DBNavigator *DBNavigator1 = nullptr;
    QWidget *ToolButton7 = nullptr; // divider
    // Tool bar images, 16 x 16: search, print, advanced search, preview, calendar.
    QList<QIcon> ImageList1;

    // Pages.
    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr;
    QWidget *TabSheet2 = nullptr;
    WallMotionPage *WallMotionPage1 = nullptr; // the wall-motion scores, inside TabSheet2
    QWidget *TabSheet11 = nullptr;
    // Holds the patient and exam header boxes, above PageControl2.
    QWidget *HeaderArea = nullptr;
    PatientHeader *PatientHeader1 = nullptr; // the two header boxes, inside HeaderArea
    QTabWidget *PageControl2 = nullptr;
    QWidget *TabSheet4 = nullptr;
    QWidget *TabSheet5 = nullptr;
    MeasurementsPage *MeasurementsPage1 = nullptr; // the measurements, inside TabSheet4
    FindingsPage *FindingsPage1 = nullptr; // the findings sub-pages, inside TabSheet5
    QWidget *TabSheet7 = nullptr;
    FormatToolBar *ToolBar2 = nullptr;
    DBRichEdit *Editor = nullptr; // Eco1, the conclusion
    // The observation editors of FindingsPage1, reached here by the style buttons.
    DBRichEdit *Editor1 = nullptr; // OrdSeg1
    DBRichEdit *Editor2 = nullptr; // Vc1
    // The nine style buttons, tags 1 to 9: bold, underline, italic of ToolBar2, then ToolBar3
    // (over Editor1), then ToolBar4 (under Editor2's check box).
    QToolButton *ToolButton10 = nullptr, *ToolButton12 = nullptr, *ToolButton14 = nullptr,
                *ToolButton17 = nullptr, *ToolButton19 = nullptr, *ToolButton21 = nullptr,
                *ToolButton24 = nullptr, *ToolButton26 = nullptr, *ToolButton28 = nullptr;
    // Images of the style buttons, 16 x 16: bold, underline, italic.
    QList<QIcon> ImageList2;
    QWidget *TabSheet6 = nullptr;
    DBGrid *DBGrid2 = nullptr; // the current patient's exams, QueryGrelha
    QWidget *TabSheet8 = nullptr;
    DBGrid *DBGrid1 = nullptr; // the phrase library
    StatisticsPage *StatisticsPage1 = nullptr; // the statistics, inside TabSheet11
    // Date range of the statistics page, read by the summaries.
    DateEdit *Data1 = nullptr;
    DateEdit *Data2 = nullptr;

    // The examination report, made when the data module has loaded; QuickRep1 is its definition.
    ExamReport *ExamReport1 = nullptr;
    BandedReport *QuickRep1 = nullptr;

    // Status line; panel 0 shows the current hint.
    QStatusBar *StatusLine = nullptr;
    [[nodiscard]] QLabel *statusPanel(int index) const { return m_panels.at(index); }

    // Menu bar.
    QMenuBar *MainMenu = nullptr;
    QMenu *Accoes1 = nullptr;
    QAction *FileNewItem = nullptr;
    QAction *PesquisarExamespordia1 = nullptr;
    QAction *N1 = nullptr;
    QAction *NovoPaciente1 = nullptr;
    QAction *NovoExame1 = nullptr;
    QAction *FileOpenItem = nullptr;
    QAction *FilePrintItem = nullptr;
    QAction *VerAntes1 = nullptr;
    QAction *FilePrintSetupItem = nullptr;
    QAction *N4 = nullptr;
    QAction *FileExitItem = nullptr;
    QMenu *Ver1 = nullptr;
    QAction *Pacientes1 = nullptr;
    QAction *N8 = nullptr;
    QAction *Frases1 = nullptr;
    QAction *Concluses1 = nullptr;
    QAction *N5 = nullptr;
    QAction *Valores1 = nullptr;
    QAction *Resultados1 = nullptr;
    QAction *Concluses2 = nullptr;
    QAction *N6 = nullptr;
    QAction *Grelhadeexamesdopaciente1 = nullptr;
    QAction *N7 = nullptr;
    QAction *GerirFrases1 = nullptr;
    QAction *Imagens1 = nullptr;
    QAction *Mapas1 = nullptr;
    QMenu *Ajuda1 = nullptr;
    QAction *Acercade1 = nullptr;
    QAction *N3 = nullptr;
    QAction *Ajuda2 = nullptr;

    // Right-button menu of the conclusion editor.
    QMenu *PopupMenu1 = nullptr;
    QAction *inserirFrases1 = nullptr;
    QAction *InserirConcluses1 = nullptr;

    // What a style click applies to its editor: one format font per tool bar. Only bold, italic and
    // underline ever change; the fonts live as long as the window.
    struct FormatFont
    {
        QFont font;
        QColor colour;
    };
    FormatFont FontDialog1, FontDialog2, FontDialog3;

    // Makes the main menu's shortcuts work while window, a secondary window, is active.
    void shareMenuShortcuts(QWidget *window);

    // The tag of a menu item or tool button; 0 when it has none.
    [[nodiscard]] static int tagOf(const QObject *object);

    // Create handler: runs once the instance is reachable through MainForm. It must not touch the
    // data module, which does not exist yet.
    void FormCreate();
    // Copies the current hint into status panel 0; an empty hint empties it.
    void ShowHint(const QString &hint);

    void Pacientes1Click(QObject *Sender);
    void Valores1Click(QObject *Sender);
    void Acercade1Click();
    void Ajuda2Click();
    void FileExitItemClick();
    void FileNewItemClick();
    void PesquisarExamespordia1Click();

    void BotaoPsqClick(QObject *Sender);
    void ToolButton8Click();
    void BotaoPrnClick(QObject *Sender);
    void FilePrintItemClick();
    void VerAntes1Click();
    void FilePrintSetupItemClick();
    void NovoExame1Click();
    void Label70Click();
    // The insertion request of F5, F8 and the editor's right-button menu: with the main window
    // active, the exam goes into edit mode first (the exam lock may refuse: then nothing opens);
    // then tag 1 shows the phrase picker, tag 2 the standard conclusions.
    void inserirFrases1Click(QObject *Sender);
    // The click of all nine style buttons: updates the tool bar's format font from the button's
    // state and applies the whole font to its editor's selection, or to what is typed next.
    void ToolButton10Click(QObject *Sender);
    // Re-reads query (QueryGrelha) for the current patient's number.
    void ActualizaQuery(Query *query);
    // Makes the exam of the history grid's row the current exam; the page stays.
    void DBGrid2DblClick(QObject *Sender);
    // Runs when the user picks a page of PageControl2 by its tab, not when code sets the page.
    void PageControl2Change() override;
    // What the record rules ask of the main window.
    void examNavigatorEdit() override;
    void ResetFormatButtons() override;
    [[nodiscard]] bool gridPageShown() const override;
    void DBNavigator1Click(DBNavigator::Button Button);

Q_SIGNALS:
    // The user closed the window.
    void closed();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    // Asks about unposted patient or exam changes; false keeps the window open.
    bool confirmClose();

private:
    void createImages();
    void createToolBar();
    void createPages();
    void createEditors();
    void createGrids();
    void createStatusLine();
    void createMenus();
    QToolButton *addToolButton(const QString &name, const QString &caption, const QString &hint,
                               int image);
    QWidget *addGap(const QString &name, int width, bool divider);
    QAction *addItem(QMenu *menu, const QString &name, const QString &caption,
                     const QKeySequence &shortcut = {}, int tag = 0);
    QAction *addSeparator(QMenu *menu, const QString &name);

    QList<QLabel *> m_panels;
    QPointer<TFormAcerca> m_acerca;
    MenuShortcuts *m_menuShortcuts = nullptr;
};

extern TMainForm *MainForm;
