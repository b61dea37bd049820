#include "platform/widgets/DateEdit.h"

#include "platform/engine/Convert.h"
#include "platform/engine/FormatSettings.h"
#include "platform/widgets/Dialogs.h"
#include "platform/widgets/DrawnIcon.h"

#include <QAction>
#include <QCalendarWidget>
#include <QKeyEvent>
#include <QPainter>
#include <QVBoxLayout>


namespace {
// Three numbers, one of them of four digits: the user has typed the whole year.
bool hasWholeYear(const QString &text)
{
    int runs = 0;
    int run = 0;
    bool fourDigits = false;
    for (const QChar c : text) {
        if (c.isDigit()) {
            ++run;
            continue;
        }
        if (run > 0) {
            ++runs;
            fourDigits = fourDigits || run == 4;
        }
        run = 0;
    }
    if (run > 0) {
        ++runs;
        fourDigits = fourDigits || run == 4;
    }
    return runs == 3 && fourDigits;
}

QIcon dropDownIcon()
{
    return drawnIcon([](QPainter &p) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        const QPointF arrow[] = { { 4, 6 }, { 12, 6 }, { 8, 11 } };
        p.drawPolygon(arrow, 3);
    });
}
} // namespace

DateEdit::DateEdit(QWidget *parent)
    : QLineEdit(parent)
{
    QAction *drop = addAction(dropDownIcon(), QLineEdit::TrailingPosition);
    connect(drop, &QAction::triggered, this, &DateEdit::showCalendar);
    connect(this, &QLineEdit::textEdited, this, &DateEdit::typed);
}

DateEdit::~DateEdit() = default;

void DateEdit::setDate(QDate date)
{
    if (date == m_date) {
        showDate();
        return;
    }
    m_date = date;
    showDate();
    Q_EMIT dateChanged(m_date);
}

void DateEdit::setDisplayFormat(const QString &format)
{
    m_displayFormat = format;
    showDate();
}

QString DateEdit::displayFormat() const
{
    return m_displayFormat.isEmpty() ? FormatSettings::current().shortDateFormat()
                                     : m_displayFormat;
}

void DateEdit::showDate()
{
    const QString text
        = m_date.isValid() ? FormatSettings::current().locale().toString(m_date, displayFormat())
                           : QString();
    if (text != this->text())
        setText(text);
}

bool DateEdit::takeText()
{
    const QString shown = m_date.isValid()
        ? FormatSettings::current().locale().toString(m_date, displayFormat())
        : QString();
    if (text() == shown)
        return true;
    QDate date;
    if (!Convert::parseUserDate(text(), FormatSettings::current(), &date))
        return false;
    setDate(date);
    return true;
}

void DateEdit::typed(const QString &text)
{
    // A whole date is taken as it is typed; a short year waits for Enter or the exit, since the
    // user may be on the way to typing four digits.
    QDate date;
    if (hasWholeYear(text) && Convert::parseUserDate(text, FormatSettings::current(), &date)
        && date != m_date) {
        m_date = date;
        Q_EMIT dateChanged(m_date);
    }
}

void DateEdit::showCalendar()
{
    if (!m_popup) {
        m_popup = new QWidget(this, Qt::Popup);
        auto *layout = new QVBoxLayout(m_popup);
        layout->setContentsMargins(0, 0, 0, 0);
        m_calendar = new QCalendarWidget(m_popup);
        m_calendar->setLocale(FormatSettings::current().locale());
        m_calendar->setGridVisible(true);
        layout->addWidget(m_calendar);
        connect(m_calendar, &QCalendarWidget::clicked, this, [this](QDate date) {
            m_popup->hide();
            setDate(date);
            selectAll();
        });
        connect(m_calendar, &QCalendarWidget::activated, this, [this](QDate date) {
            m_popup->hide();
            setDate(date);
            selectAll();
        });
    }
    if (!takeText())
        showDate();
    m_calendar->setSelectedDate(m_date.isValid() ? m_date : Convert::today());
    m_popup->adjustSize();
    m_popup->move(mapToGlobal(QPoint(0, height())));
    m_popup->show();
    m_calendar->setFocus(Qt::PopupFocusReason);
}

void DateEdit::keyPressEvent(QKeyEvent *event)
{
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!takeText())
            Dialogs::instance().beep();
        showDate();
        selectAll();
        // Passed on: Enter is the window's default action.
        QLineEdit::keyPressEvent(event);
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (mods == Qt::AltModifier && event->key() == Qt::Key_Down) {
            showCalendar();
        } else if (mods == Qt::NoModifier) {
            if (!takeText())
                Dialogs::instance().beep();
            else if (m_date.isValid())
                setDate(m_date.addDays(event->key() == Qt::Key_Up ? 1 : -1));
            selectAll();
        } else {
            QLineEdit::keyPressEvent(event);
            return;
        }
        event->accept();
        return;
    case Qt::Key_F4:
        showCalendar();
        event->accept();
        return;
    case Qt::Key_Escape:
        if (isModified()) {
            // The typed text goes; the date it was is shown again.
            showDate();
            selectAll();
            setModified(false);
            event->accept();
            return;
        }
        break;
    default:
        break;
    }
    QLineEdit::keyPressEvent(event);
}

void DateEdit::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    setModified(false);
    m_clickSelected = false;
    // Reached by the keyboard or opened on by its window: ready to be typed over. A click
    // selects on its release.
    if (event->reason() != Qt::MouseFocusReason && event->reason() != Qt::PopupFocusReason)
        selectAll();
}

void DateEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason)
        return;
    if (!takeText())
        Dialogs::instance().beep();
    showDate();
}

void DateEdit::mouseReleaseEvent(QMouseEvent *event)
{
    QLineEdit::mouseReleaseEvent(event);
    // A click into a date not yet typed over selects it whole, so that a date typed replaces it;
    // the next click puts the caret where it falls, as in any box.
    if (hasSelectedText() || isModified() || m_clickSelected) {
        m_clickSelected = false;
        return;
    }
    selectAll();
    m_clickSelected = true;
}
