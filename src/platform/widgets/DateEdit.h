#pragma once

#include <QDate>
#include <QLineEdit>
#include <QPointer>

class QCalendarWidget;

// A date box: shows its date in a display format (the short date format, with four-digit years,
// unless set otherwise) and takes a date typed whole, day, month and year in the short format's
// order, a one- or two-digit year read as the nearest to today, the year left out meaning this
// year. A click into a date not yet typed over selects it whole, so that what is typed replaces it
// (a second click places the caret); the button at its right end opens a calendar. Up and Down go
// a day forward and back.
//
// The date changes, and dateChanged() follows, when the typed text becomes a date with a
// four-digit year, on Enter, when the box is left, and on a pick in the calendar. A text that is
// no date is refused with a beep when the box is left, and the box shows its date again. Enter is
// passed on to the window after the date is taken, as a window's default action expects.
class DateEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit DateEdit(QWidget *parent = nullptr);
    ~DateEdit() override;

    [[nodiscard]] QDate date() const { return m_date; }
    void setDate(QDate date);
    // A Qt date format; empty for the short date format.
    void setDisplayFormat(const QString &format);
    [[nodiscard]] QString displayFormat() const;

    // Opens the calendar under the box.
    void showCalendar();

Q_SIGNALS:
    void dateChanged(QDate date);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void showDate();
    // Takes the typed text as the date; false (the date kept) when it is none.
    bool takeText();
    void typed(const QString &text);

    QDate m_date;
    QString m_displayFormat;
    QPointer<QWidget> m_popup;
    QCalendarWidget *m_calendar = nullptr;
    bool m_clickSelected = false; // the last click selected the whole date
};
