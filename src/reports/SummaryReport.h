#pragma once

#include <QDate>
#include <QObject>

#include <functional>

class BandedReport;
class Dataset;
class ReportDataField;
class ReportLabel;

// The layout shared by the two summaries of exams counted over a date range: by doctor and by
// health system. It reads the rows of the statistics query (one per group, the count in a column
// named "COUNT(*)") and keeps a running total that restarts with every generation, so printing
// again from the preview prints the same total. The type option, read when a run starts, shows or
// blanks the "Eco" column; the range comes from the statistics page. Every run is titled with the
// summary and its range (the print job's and the PDF's title).
class SummaryReport : public QObject
{
    Q_OBJECT

public:
    enum class Kind { ByDoctor, ByHealthSystem };
    struct Options
    {
        std::function<bool()> types; // the page's "incluir contagem por tipo de relatório"
        std::function<QDate()> from;
        std::function<QDate()> to;
    };

    SummaryReport(Kind kind, Options options, QObject *parent = nullptr);
    ~SummaryReport() override;

    void setDataset(Dataset *query);

    BandedReport *QuickRep = nullptr;
    ReportLabel *QRLabel3 = nullptr; // the summary's title
    ReportLabel *QRLabel4 = nullptr; // the range
    ReportLabel *QRLabel9 = nullptr; // "Eco"
    ReportDataField *QRDBText3 = nullptr; // the type
    ReportDataField *QRDBText2 = nullptr; // the count
    ReportLabel *QRLabel8 = nullptr; // the total

    // The report's hooks.
    void QuickRepBeforePrint(bool &print);
    void DetailBand1AfterPrint(bool printed);
    void QRLabel8Print(QString &text) const;

private:
    Kind m_kind;
    Options m_options;
    Dataset *m_query = nullptr;
    qint64 m_total = 0;
};
