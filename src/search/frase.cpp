#include "search/frase.h"

#include "app/Main.h"
#include "data/DM.h"
#include "platform/engine/Field.h"
#include "platform/engine/Guard.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DBRichEdit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <QWindow>

using namespace Qt::StringLiterals;

TForm1 *Form1 = nullptr;

TForm1::TForm1(QWidget *parent)
    : QWidget(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(u"Form1"_s);
    setWindowTitle(u"Selecione a Frase a inserir nas Conclusões...   ESC p/ saír..."_s);
    setAttribute(Qt::WA_QuitOnClose, false);
    // Ctrl+E, F5 and the other keys of the main menu work here too.
    if (MainForm)
        MainForm->shareMenuShortcuts(this);
    QFont font;
    font.setFamilies({ u"MS Sans Serif"_s, u"Arial"_s, u"Liberation Sans"_s });
    font.setPixelSize(11);
    setFont(font);
    resize(415, 224);
    move(293, 72);

    DBGrid1 = new DBGrid(this);
    DBGrid1->setObjectName(u"DBGrid1"_s);
    DBGrid1->setColumns({
        DBGridColumn(u"Frase"_s, u"Frase"_s, 350).setTitleAlignment(Qt::AlignHCenter),
        DBGridColumn(u"Outros"_s, u"Observações"_s, 370),
    });
    DBGrid1->setOptions(DBGrid::Titles | DBGrid::Indicator | DBGrid::ColumnLines | DBGrid::RowLines
                        | DBGrid::ResizeColumns);
    DBGrid1->setReadOnly(true);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setTitleColor(Qt::black);
    QFont bold = font;
    bold.setBold(true);
    DBGrid1->horizontalHeader()->setFont(bold);
    // The chosen row stays marked while the user types in the conclusion.
    QPalette palette = DBGrid1->palette();
    for (const QPalette::ColorRole role : { QPalette::Highlight, QPalette::HighlightedText })
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    DBGrid1->setPalette(palette);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(DBGrid1);

    connect(DBGrid1, &DBGrid::rowDoubleClicked, this,
            [this] { guard([this] { DBGrid1DblClick(); }); });
    // Enter and Esc are the picker's before the grid sees them (Esc would cancel a phrase being
    // edited on the main window's phrase page).
    DBGrid1->installEventFilter(this);

    TDataModule1::bindWhenLoaded(
        this, [this](TDataModule1 &dm) { DBGrid1->setDataSource(dm.DataSourceFr); });
}

TForm1::~TForm1()
{
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::DBGrid1DblClick()
{
    const QString phrase = DataModule1 ? DataModule1->TableFraseFrase->asString() : QString();
    QGuiApplication::clipboard()->setText(phrase);
    // A browsed exam's editor is read-only and refuses the paste; the clipboard keeps the text.
    if (MainForm)
        MainForm->Editor->paste();
}

bool TForm1::DBGrid1KeyPress(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        DBGrid1DblClick();
        return true;
    case Qt::Key_Escape:
        close();
        return true;
    default:
        return false;
    }
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == DBGrid1 && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            // A key the handler failed on was still its own.
            bool taken = true;
            guard([&] { taken = DBGrid1KeyPress(key->key()); });
            if (taken)
                return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Owned by the start-up sequence, not by the main window, yet kept above it, and only above
    // it, by the window system.
    QWindow *own = windowHandle();
    QWindow *main = MainForm ? MainForm->windowHandle() : nullptr;
    if (own && main && own->transientParent() != main)
        own->setTransientParent(main);
}
