#pragma once

#include <QProgressBar>
#include <QWidget>

class QFrame;
class QLabel;

// A progress bar that advances by a fixed step, as the start-up sequence drives it.
class ProgressBar : public QProgressBar
{
    Q_OBJECT

public:
    explicit ProgressBar(QWidget *parent = nullptr);

    [[nodiscard]] int step() const { return m_step; }
    void setStep(int step) { m_step = step; }
    // Advances by one step, stopping at the maximum; the bar is drawn at once.
    void StepIt();

private:
    int m_step = 1;
};

// The splash window shown while the application starts: logo, name, a drawing of the heart and
// the start-up progress. Owned by the start-up sequence, never the main window; destroyed before
// the event loop runs.
class TFormInicio : public QWidget
{
    Q_OBJECT

public:
    explicit TFormInicio(QWidget *parent = nullptr);
    ~TFormInicio() override;

    QWidget *Panel1 = nullptr;
    QLabel *Image2 = nullptr;
    QFrame *Bevel1 = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    ProgressBar *ProgressBar1 = nullptr;

    // Centres the window on its screen.
    void centre();
};

// The splash while it exists; null before and after start-up.
extern TFormInicio *FormInicio;
