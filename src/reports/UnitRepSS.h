#pragma once

#include <QWidget>

// The summary report by health system: counts of exams per health system over the statistics
// page's date range. Made once at start-up and never shown itself. One instance, reached through
// MapaSS.
class TMapaSS : public QWidget
{
    Q_OBJECT

public:
    explicit TMapaSS(QWidget *parent = nullptr);
    ~TMapaSS() override;
};

extern TMapaSS *MapaSS;
