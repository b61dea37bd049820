#pragma once

#include <QWidget>

class DBLookupComboBox;
class QCheckBox;
class QDate;
class DateEdit;
class QLabel;
class QPushButton;
class QToolButton;
class TDataModule1;

// The page "Estatística de Exames": the date range, the exams and patients counted in it (for
// one doctor or all), and the buttons of the two summary reports with their options. Everything
// sits at fixed pixel positions in three framed areas. The figures are those of the last
// calculation that found exams; a range without exams leaves them as they were.
class StatisticsPage : public QWidget
{
    Q_OBJECT

public:
    explicit StatisticsPage(QWidget *parent = nullptr);
    ~StatisticsPage() override;

    // "critérios"
    QLabel *Label61 = nullptr;
    DateEdit *Data1 = nullptr; // from, included
    QLabel *Label62 = nullptr;
    DateEdit *Data2 = nullptr; // to, included
    // "resultados"
    QLabel *Label64 = nullptr;
    QLabel *Label68 = nullptr;
    DBLookupComboBox *DBLookupComboBox2 = nullptr; // the doctor, bound to no record
    QToolButton *SpeedButton1 = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QLabel *Label53 = nullptr, *Label57 = nullptr; // exams
    QLabel *Label54 = nullptr, *Label58 = nullptr; // patients with exams
    QLabel *Label56 = nullptr, *Label60 = nullptr; // exams per patient examined
    QLabel *Label55 = nullptr, *Label59 = nullptr; // exams per registered patient
    // "mapas"
    QPushButton *BitBtn2 = nullptr;
    QCheckBox *CheckBox1 = nullptr;
    QPushButton *BitBtn3 = nullptr;
    QCheckBox *CheckBox2 = nullptr;
    QPushButton *BitBtn4 = nullptr;

    // "Calcular": counts the exams of the range (and doctor) per patient through QueryStat.
    void BitBtn1Click();
    // "limpar selecção": no doctor, so the next calculation covers them all.
    void SpeedButton1Click();
    // The two summaries: run the grouped count of the range through QueryStat and preview the
    // report, or say that nothing matched. False when nothing matched.
    void BitBtn2Click();
    void BitBtn3Click();
    // The query part of the two, for the window and the command line alike.
    enum class Summary { ByDoctor, ByHealthSystem };
    [[nodiscard]] static bool openSummary(Summary summary, bool types, const QDate &from,
                                          const QDate &to);

private:
    void bind(TDataModule1 &dm);
};
