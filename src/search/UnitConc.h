#pragma once

#include <QWidget>

// The standard conclusions window: a library of whole conclusions pasted into the exam's
// conclusion. Made once at start-up, hidden until the main window shows it, and closing it only
// hides it. One instance, reached through FormConc.
class TFormConc : public QWidget
{
    Q_OBJECT

public:
    explicit TFormConc(QWidget *parent = nullptr);
    ~TFormConc() override;
};

extern TFormConc *FormConc;
