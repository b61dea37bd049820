#pragma once

#include <QWidget>

class SummaryReport;

// The summary report by health system: counts of exams per health system over the statistics
// page's date range. Made once at start-up and never shown itself. One instance, reached through
// MapaSS.
class TMapaSS : public QWidget
{
    Q_OBJECT

public:
    explicit TMapaSS(QWidget *parent = nullptr);
    ~TMapaSS() override;

    SummaryReport *Report = nullptr; // its layout, hooks and running total
};

extern TMapaSS *MapaSS;
