#pragma once

#include <QWidget>

// The advanced patient search window: finds patients by a word in any of their registration
// columns. Made once at start-up, before the data module; hidden until the main window shows it,
// and closing it only hides it. One instance, reached through FormPesqAV.
class TFormPesqAV : public QWidget
{
    Q_OBJECT

public:
    explicit TFormPesqAV(QWidget *parent = nullptr);
    ~TFormPesqAV() override;
};

extern TFormPesqAV *FormPesqAV;
