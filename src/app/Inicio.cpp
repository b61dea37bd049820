#include "app/Inicio.h"

#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSvgRenderer>

TFormInicio *FormInicio = nullptr;

// Resources of a static library are only linked in when something names them.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace {
const QColor kGrey(0x80, 0x80, 0x80);

// White, with a single dark border and a raised bevel just inside it.
class WhitePanel : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        const QRect r = rect();
        p.fillRect(r, Qt::white);
        p.setPen(Qt::black);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        const QRect bevel = r.adjusted(1, 1, -2, -2);
        p.setPen(QColor(0xff, 0xff, 0xff));
        p.drawLine(bevel.topLeft(), bevel.topRight());
        p.drawLine(bevel.topLeft(), bevel.bottomLeft());
        p.setPen(kGrey);
        p.drawLine(bevel.bottomLeft(), bevel.bottomRight());
        p.drawLine(bevel.topRight(), bevel.bottomRight());
    }
};

QPixmap renderSvg(const QString &resource, const QSize &size, qreal ratio)
{
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    renderer.setAspectRatioMode(Qt::IgnoreAspectRatio); // the logo is stretched to its box
    QPainter p(&pixmap);
    renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

QLabel *picture(QWidget *parent, const QString &resource, const QRect &geometry)
{
    auto *label = new QLabel(parent);
    label->setGeometry(geometry);
    label->setPixmap(renderSvg(resource, geometry.size(), parent->devicePixelRatioF()));
    return label;
}

QLabel *caption(QWidget *parent, const QString &text, const QString &family, int pixelSize,
                const QColor &colour, const QPoint &at)
{
    auto *label = new QLabel(text, parent);
    QFont font(family);
    font.setPixelSize(pixelSize);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->move(at);
    label->adjustSize();
    return label;
}
} // namespace

ProgressBar::ProgressBar(QWidget *parent)
    : QProgressBar(parent)
{
    setTextVisible(false);
}

void ProgressBar::StepIt()
{
    const int range = maximum() - minimum();
    int next = value() + m_step;
    // Past the maximum the bar starts over from the minimum.
    if (next > maximum() && range > 0)
        next = minimum() + (next - minimum()) % range;
    setValue(next);
}

TFormInicio::TFormInicio(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    initResources();
    setObjectName(QStringLiteral("FormInicio"));
    setFixedSize(357, 320);

    Panel1 = new WhitePanel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(rect());

    Image2 = picture(Panel1, QStringLiteral(":/logo.svg"), QRect(8, 8, 120, 93));
    Image2->setObjectName(QStringLiteral("Image2"));

    Bevel1 = new QFrame(Panel1);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    Bevel1->setGeometry(8, 120, 225, 2);

    Image1 = picture(Panel1, QStringLiteral(":/heart.svg"), QRect(184, 80, 150, 222));
    Image1->setObjectName(QStringLiteral("Image1"));

    const QString name = QStringLiteral("Taluvo");
    // The grey copy is made first so the black one is drawn over it: a shadow.
    Label5 = caption(Panel1, name, QStringLiteral("Arial"), 27, kGrey, QPoint(59, 171));
    Label5->setObjectName(QStringLiteral("Label5"));
    Label3 = caption(Panel1, name, QStringLiteral("Arial"), 27, Qt::black, QPoint(56, 168));
    Label3->setObjectName(QStringLiteral("Label3"));
    Label4 = caption(Panel1, QStringLiteral("Relatório Ecocardiográfico"),
                     QStringLiteral("MS Sans Serif"), 13, Qt::black, QPoint(19, 240));
    Label4->setObjectName(QStringLiteral("Label4"));

    ProgressBar1 = new ProgressBar(Panel1);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(21, 290, 157, 13);
    ProgressBar1->setRange(0, 10);
    ProgressBar1->setStep(1);
    ProgressBar1->setValue(0);

    centre();
}

TFormInicio::~TFormInicio()
{
    if (FormInicio == this)
        FormInicio = nullptr;
}

void TFormInicio::centre()
{
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(s->availableGeometry().center());
    move(frame.topLeft());
}
