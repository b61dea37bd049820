#pragma once

#include <QWidget>

class SummaryReport;

// The summary report by doctor: counts of exams per doctor over the statistics page's date
// range. Made once at start-up and never shown itself. One instance, reached through MapaEco.
class TMapaEco : public QWidget
{
    Q_OBJECT

public:
    explicit TMapaEco(QWidget *parent = nullptr);
    ~TMapaEco() override;

    SummaryReport *Report = nullptr; // its layout, hooks and running total
};

extern TMapaEco *MapaEco;
