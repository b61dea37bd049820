#include "platform/widgets/DBNavigator.h"

#include "platform/engine/Dataset.h"
#include "platform/engine/Guard.h"
#include "platform/widgets/Dialogs.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
#include <QToolButton>

#include <utility>

namespace {
constexpr int ButtonCount = DBNavigator::Refresh + 1;

QStringList defaultHints()
{
    return { QStringLiteral("First record"),  QStringLiteral("Prior record"),
             QStringLiteral("Next record"),   QStringLiteral("Last record"),
             QStringLiteral("Insert record"), QStringLiteral("Delete record"),
             QStringLiteral("Edit record"),   QStringLiteral("Post edit"),
             QStringLiteral("Cancel edit"),   QStringLiteral("Refresh data") };
}

void triangle(QPainter &p, QPointF a, QPointF b, QPointF c)
{
    p.drawPolygon(QPolygonF({ a, b, c }));
}

// Glyphs drawn on a 16-pixel grid; disabled buttons get Qt's greyed rendering of the same.
QIcon glyph(DBNavigator::Button button)
{
    constexpr int Scale = 2; // sharp on high-density screens too
    QPixmap pixmap(16 * Scale, 16 * Scale);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(Scale, Scale);
    p.setBrush(Qt::black);
    p.setPen(Qt::NoPen);
    QPen stroke(Qt::black, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    switch (button) {
    case DBNavigator::First:
        p.drawRect(QRectF(4, 3, 2, 10));
        triangle(p, { 12, 3 }, { 12, 13 }, { 7, 8 });
        break;
    case DBNavigator::Prior:
        triangle(p, { 10.5, 3 }, { 10.5, 13 }, { 5.5, 8 });
        break;
    case DBNavigator::Next:
        triangle(p, { 5.5, 3 }, { 5.5, 13 }, { 10.5, 8 });
        break;
    case DBNavigator::Last:
        triangle(p, { 4, 3 }, { 4, 13 }, { 9, 8 });
        p.drawRect(QRectF(10, 3, 2, 10));
        break;
    case DBNavigator::Insert:
        p.drawRect(QRectF(7, 3, 2, 10));
        p.drawRect(QRectF(3, 7, 10, 2));
        break;
    case DBNavigator::Delete:
        p.drawRect(QRectF(3, 7, 10, 2));
        break;
    case DBNavigator::Edit:
        triangle(p, { 3, 11 }, { 13, 11 }, { 8, 5 });
        break;
    case DBNavigator::Post:
        p.setPen(stroke);
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF({ QPointF(3, 8), QPointF(6.5, 11.5), QPointF(13, 4) }));
        break;
    case DBNavigator::Cancel:
        p.setPen(stroke);
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    case DBNavigator::Refresh:
        p.setPen(stroke);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(3, 3, 10, 10), 90 * 16, 270 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        triangle(p, { 8, 0.5 }, { 8, 5.5 }, { 11.5, 3 });
        break;
    }
    p.end();
    pixmap.setDevicePixelRatio(Scale);
    return QIcon(pixmap);
}
} // namespace

DBNavigator::DBNavigator(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const QStringList hints = defaultHints();
    for (int i = 0; i < ButtonCount; ++i) {
        const auto which = Button(i);
        auto *b = new QToolButton(this);
        b->setIcon(glyph(which));
        b->setToolTip(hints.at(i));
        b->setStatusTip(hints.at(i));
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        connect(b, &QToolButton::clicked, this, [this, which] { runAction(which); });
        layout->addWidget(b);
        m_buttons.append(b);
    }
    m_link.setDataChangeHandler([this] { updateButtons(); });
    m_link.setEditingChangeHandler([this] { updateButtons(); });
    updateButtons();
}

DBNavigator::~DBNavigator() = default;

void DBNavigator::setDataSource(DataSource *source)
{
    m_link.setDataSource(source);
    updateButtons();
}

void DBNavigator::setVisibleButtons(const QSet<Button> &buttons)
{
    for (int i = 0; i < ButtonCount; ++i)
        m_buttons.at(i)->setVisible(buttons.contains(Button(i)));
}

QSet<DBNavigator::Button> DBNavigator::visibleButtons() const
{
    QSet<Button> shown;
    for (int i = 0; i < ButtonCount; ++i) {
        if (!m_buttons.at(i)->isHidden())
            shown.insert(Button(i));
    }
    return shown;
}

void DBNavigator::setHints(const QStringList &hints)
{
    for (int i = 0; i < ButtonCount && i < hints.size(); ++i) {
        m_buttons.at(i)->setToolTip(hints.at(i));
        m_buttons.at(i)->setStatusTip(hints.at(i));
    }
}

QStringList DBNavigator::hints() const
{
    QStringList texts;
    for (const QToolButton *b : m_buttons)
        texts.append(b->toolTip());
    return texts;
}

void DBNavigator::setFlat(bool flat)
{
    m_flat = flat;
    for (QToolButton *b : std::as_const(m_buttons))
        b->setAutoRaise(flat);
}

void DBNavigator::runAction(Button which)
{
    guard([&] { btnClick(which); });
}

void DBNavigator::btnClick(Button which)
{
    Dataset *ds = m_link.dataset();
    if (ds && ds->isActive()) {
        try {
            if (m_beforeAction)
                m_beforeAction(which);
            switch (which) {
            case First:
                ds->first();
                break;
            case Prior:
                ds->prior();
                break;
            case Next:
                ds->next();
                break;
            case Last:
                ds->last();
                break;
            case Insert:
                ds->insert();
                break;
            case Delete:
                if (!m_confirmDelete
                    || Dialogs::instance().confirm(QStringLiteral("Delete record?")))
                    ds->deleteRecord();
                break;
            case Edit:
                ds->edit();
                break;
            case Post:
                ds->post();
                break;
            case Cancel:
                ds->cancel();
                break;
            case Refresh:
                ds->refresh();
                break;
            }
        } catch (...) {
            updateButtons();
            throw;
        }
    }
    // A move that finds no further row changes eof or bof without any data event.
    updateButtons();
    Q_EMIT clicked(which);
}

void DBNavigator::updateButtons()
{
    const Dataset *ds = m_link.isActive() ? m_link.dataset() : nullptr;
    const bool active = ds && ds->isActive();
    const bool canModify = active && ds->canModify();
    const bool editing = active && ds->isEditing();
    // The ends are the first and last rows themselves, not only a move that found no row past
    // them. A row being inserted stands between rows, so only the flags tell there.
    const bool placed = active && ds->state() != DatasetState::Insert;
    const bool onFirst = placed && (ds->isEmpty() || ds->isOnFirstRow());
    const bool onLast = placed && (ds->isEmpty() || ds->isOnLastRow());
    const bool notFirst = active && !ds->bof() && !onFirst;
    const bool notLast = active && !ds->eof() && !onLast;
    const bool enabled[ButtonCount] = {
        notFirst, // First
        notFirst, // Prior
        notLast, // Next
        notLast, // Last
        canModify, // Insert
        canModify && !(ds->bof() && ds->eof()), // Delete
        canModify && !editing, // Edit
        canModify && editing, // Post
        canModify && editing, // Cancel
        active, // Refresh
    };
    for (int i = 0; i < ButtonCount; ++i)
        m_buttons.at(i)->setEnabled(enabled[i]);
}
