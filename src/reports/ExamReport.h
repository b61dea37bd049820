#pragma once

#include "workspace/SegmentViews.h"

#include <QList>
#include <QObject>
#include <QRectF>

class BandedReport;
class ReportBand;
class ReportLabel;
class TDataModule1;

// The examination report: the current exam of the current patient as the main window shows
// them, iterated over its segment-score rows (normally one). The layout is fixed in millimetres on
// A4; the sentences, the optional bands and the signature names are worked out by the hooks at
// print time from the records current at that moment. Pages after the first carry the patient's
// name and the page number in a footer; every run is titled with the patient and the day (the
// print job's and the PDF's title). Owned by the main window; generating it never moves the
// patient, exam or staff tables.
class ExamReport : public QObject
{
    Q_OBJECT

public:
    // The data module must exist; the report reads its tables at every generation.
    explicit ExamReport(TDataModule1 &dm, QObject *parent = nullptr);
    ~ExamReport() override;

    // Where the segment diagram draws each view: the square its design fills, in millimetres
    // from the top-left corner of the diagram's band (ChildBand5), and what it shows.
    struct DiagramView
    {
        SegmentView view;
        QRectF rectMm;
        Surroundings surroundings;
    };
    [[nodiscard]] static const QList<DiagramView> &diagramViews();

    BandedReport *QuickRep1 = nullptr;
    ReportBand *PageHeaderBand1 = nullptr, *PageFooterBand1 = nullptr, *TitleBand1 = nullptr,
               *DetailBand1 = nullptr, *ChildBand1 = nullptr, *ChildBand2 = nullptr,
               *ChildBand3 = nullptr, *ChildBand4 = nullptr, *ChildBand5 = nullptr,
               *ChildBand6 = nullptr, *SummaryBand1 = nullptr;
    ReportLabel *QRLabel47 = nullptr, *QRLabel71 = nullptr, *QRLabel11 = nullptr,
                *QRLabel51 = nullptr, *QRLabel52 = nullptr, *QRLabel54 = nullptr,
                *QRLabel59 = nullptr, *QRLabel58 = nullptr, *QRLabel69 = nullptr,
                *QRLabel80 = nullptr, *QRLabel78 = nullptr, *QRLabel79 = nullptr,
                *QRLabel1 = nullptr, *QRLabel56 = nullptr;

private:
    void createHeaderAndTitle();
    void createMeasurements();
    void createFindings();
    void createDiagram();
    void createSignatures();

    TDataModule1 &m_dm;
};
