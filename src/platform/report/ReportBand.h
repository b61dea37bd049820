#pragma once

#include "platform/report/ReportFrame.h"
#include "platform/report/ReportShape.h"
#include "platform/report/ReportSystemData.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRectF>

#include <functional>

class BandedReport;
class Dataset;
class ReportDataField;
class ReportItem;
class ReportLabel;
class ReportPicture;
class ReportRichText;

// A horizontal strip of a report, as wide as the space between the side margins, holding items.
// The kind says when it prints (BandedReport). A band may have one child band, which prints right
// after it every time the band's turn comes, also when the band itself was suppressed by its hook;
// children chain. Bands belong to their report; items to their band.
//
// Hooks run during generation: BeforePrint with the print flag set (clearing it suppresses this
// printing; the hook may also change the band's height, which then stays), AfterPrint told whether
// the band printed. A disabled band runs no hooks and does not print; its child still does.
class ReportBand : public QObject
{
    Q_OBJECT

public:
    enum class Kind { PageHeader, Title, ColumnHeader, Detail, Child, Summary, PageFooter };

    using BeforePrintHook = std::function<void(ReportBand &band, bool &print)>;
    using AfterPrintHook = std::function<void(ReportBand &band, bool printed)>;

    ~ReportBand() override;

    [[nodiscard]] BandedReport *report() const { return m_report; }
    [[nodiscard]] Kind kind() const { return m_kind; }

    [[nodiscard]] qreal height() const { return m_height; }
    void setHeight(qreal mm) { m_height = mm; }
    [[nodiscard]] const ReportFrame &frame() const { return m_frame; }
    void setFrame(const ReportFrame &frame) { m_frame = frame; }
    [[nodiscard]] bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }

    [[nodiscard]] ReportBand *parentBand() const { return m_parentBand; }
    [[nodiscard]] ReportBand *childBand() const { return m_childBand; }
    // A new child band of this band; a band that has a child already passes the new one to the
    // end of its chain.
    ReportBand *addChildBand(qreal heightMm, const QString &name = QString());

    void setBeforePrint(BeforePrintHook hook) { m_beforePrint = std::move(hook); }
    void setAfterPrint(AfterPrintHook hook) { m_afterPrint = std::move(hook); }
    [[nodiscard]] const BeforePrintHook &beforePrint() const { return m_beforePrint; }
    [[nodiscard]] const AfterPrintHook &afterPrint() const { return m_afterPrint; }

    // Items in creation order, which is also the order in which they print.
    [[nodiscard]] QList<ReportItem *> items() const;
    [[nodiscard]] ReportItem *item(const QString &name) const;

    // Item makers. Geometry in millimetres from the band's top-left corner; a text item given no
    // width sizes itself to its text (auto size).
    ReportLabel *addLabel(const QString &caption, const QRectF &mm, const QString &name = {});
    ReportDataField *addDataField(Dataset *dataset, const QString &fieldName, const QRectF &mm,
                                  const QString &name = {});
    ReportRichText *addRichText(Dataset *dataset, const QString &fieldName, const QRectF &mm,
                                const QString &name = {});
    ReportShape *addShape(ReportShape::Kind kind, const QRectF &mm, const QString &name = {});
    ReportPicture *addPicture(const QRectF &mm, const QString &name = {});
    ReportSystemData *addSystemData(ReportSystemData::Data data, const QRectF &mm,
                                    const QString &name = {});

private:
    friend class BandedReport;
    friend class ReportItem;
    ReportBand(BandedReport *report, Kind kind, qreal heightMm);

    BandedReport *m_report;
    Kind m_kind;
    qreal m_height;
    ReportFrame m_frame;
    bool m_enabled = true;
    QPointer<ReportBand> m_parentBand;
    QPointer<ReportBand> m_childBand;
    BeforePrintHook m_beforePrint;
    AfterPrintHook m_afterPrint;
    QList<QPointer<ReportItem>> m_items;
};
