#pragma once

#include <QWidget>

// The phrase picker: inserts a stored phrase into the exam's conclusion. Made last at start-up,
// hidden until the main window shows it, and closing it only hides it. One instance, reached
// through Form1.
class TForm1 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;
};

extern TForm1 *Form1;
