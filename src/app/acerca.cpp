#include "app/acerca.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QSvgRenderer>

using namespace Qt::StringLiterals;

TFormAcerca *FormAcerca = nullptr;

namespace {
// The picture drawn pale, so that the texts over it stay readable.
QPixmap fadedPicture(const QSize &size)
{
    QPixmap pixmap(size);
    pixmap.fill(QColor(0xc0, 0xc0, 0xc0));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(0.22);
    QSvgRenderer(u":/acerca.svg"_s).render(&p, QRectF(QPointF(0, 0), size));
    return pixmap;
}
} // namespace

TFormAcerca::TFormAcerca(QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(u"FormAcerca"_s);
    setWindowTitle(u"Acerca de..."_s);
    setFixedSize(319, 247);
    setModal(false);
    QPalette silver = palette();
    silver.setColor(QPalette::Window, QColor(0xc0, 0xc0, 0xc0));
    setPalette(silver);
    setAutoFillBackground(true);

    Image1 = new QLabel(this);
    Image1->setObjectName(u"Image1"_s);
    Image1->setGeometry(rect());
    Image1->setPixmap(fadedPicture(size()));

    Label1 = new QLabel(u"_________________________________________"_s, this);
    Label1->setObjectName(u"Label1"_s);
    Label1->setGeometry(16, 24, 287, 16);
    Label1->setAlignment(Qt::AlignHCenter);

    Label2 = new QLabel(u"Nome do Produto : Taluvo"_s, this);
    Label2->setObjectName(u"Label2"_s);
    QFont bold = Label2->font();
    bold.setBold(true);
    Label2->setFont(bold);
    Label2->setGeometry(16, 64, 287, 20);
    Label2->setAlignment(Qt::AlignHCenter);

    Label3 = new QLabel(u"Versão 2.6.0.0 (SA)"_s, this);
    Label3->setObjectName(u"Label3"_s);
    Label3->setGeometry(16, 92, 287, 20);
    Label3->setAlignment(Qt::AlignHCenter);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogNoButton), u"&Sair"_s, this);
    BitBtn1->setObjectName(u"BitBtn1"_s);
    BitBtn1->setGeometry((319 - 89) / 2, 200, 89, 33);
    BitBtn1->setDefault(true);
    BitBtn1->setFocus();
    connect(BitBtn1, &QPushButton::clicked, this, &TFormAcerca::BitBtn1Click);

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

TFormAcerca::~TFormAcerca()
{
    if (FormAcerca == this)
        FormAcerca = nullptr;
}

void TFormAcerca::BitBtn1Click()
{
    close();
}

void TFormAcerca::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    BitBtn1->setFocus();
}
