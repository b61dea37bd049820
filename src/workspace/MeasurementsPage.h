#pragma once

#include <QWidget>

class DBEdit;
class QFrame;
class QLabel;
class TDataModule1;

// The page "Valores": the sixteen measurements of the current exam in two columns of eight rows,
// each beside its normal range (or unit) as fixed olive text. It owns every component; the edits
// bind to the exam table when the data module loads, and accept input only while the exam is
// edited or inserted. Conversion errors are the edits' own (the data layer's message, focus kept).
class MeasurementsPage : public QWidget
{
    Q_OBJECT

public:
    explicit MeasurementsPage(QWidget *parent = nullptr);
    ~MeasurementsPage() override;

    // Left column, in tab order.
    DBEdit *DBEdit9 = nullptr; // Vd
    DBEdit *DBEdit10 = nullptr; // Ved
    DBEdit *DBEdit11 = nullptr; // Ves
    DBEdit *DBEdit12 = nullptr; // Fenc
    DBEdit *DBEdit13 = nullptr; // Fe
    DBEdit *DBEdit14 = nullptr; // Pp
    DBEdit *DBEdit15 = nullptr; // Siv
    DBEdit *DBEdit22 = nullptr; // Ae
    // Right column, in tab order.
    DBEdit *DBEdit16 = nullptr; // Ao
    DBEdit *DBEdit17 = nullptr; // Gradveaomax
    DBEdit *DBEdit18 = nullptr; // Gradveaomin
    DBEdit *DBEdit19 = nullptr; // Areavm
    DBEdit *DBEdit46 = nullptr; // VMGradMx
    DBEdit *DBEdit47 = nullptr; // VMGradMd
    DBEdit *DBEdit20 = nullptr; // Vptac
    DBEdit *DBEdit21 = nullptr; // Vptactevd

    // The boxed "Valores Normais" column of each side.
    QFrame *PanelNormaisEsq = nullptr;
    QFrame *PanelNormaisDir = nullptr;
    QLabel *LabelNormaisEsq = nullptr;
    QLabel *LabelNormaisDir = nullptr;

    // The sixteen edits in tab order.
    [[nodiscard]] QList<DBEdit *> edits() const;

private:
    void bind(TDataModule1 &dm);
};
