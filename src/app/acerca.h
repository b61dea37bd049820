#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The about window: product name and version over a faded picture. Made fresh each time the main
// window's menu asks for it and destroyed when it closes; never modal, always on top.
class TFormAcerca : public QDialog
{
    Q_OBJECT

public:
    explicit TFormAcerca(QWidget *parent = nullptr);
    ~TFormAcerca() override;

    QLabel *Image1 = nullptr;
    QLabel *Label1 = nullptr; // the rule
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QPushButton *BitBtn1 = nullptr;

    void BitBtn1Click();

protected:
    void showEvent(QShowEvent *event) override;
};

// The about window while it exists.
extern TFormAcerca *FormAcerca;
