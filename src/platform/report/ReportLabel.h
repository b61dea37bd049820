#pragma once

#include "platform/report/ReportTextItem.h"

#include <functional>

// A fixed caption. Its OnPrint hook may hand back another text just before the label prints; that
// text is used for this printing only and the caption stays as it was. The hook runs when the
// band is laid out on the page it prints on (after any page break it causes), so its text can
// size the label and grow the band.
class ReportLabel : public ReportTextItem
{
    Q_OBJECT

public:
    using PrintHook = std::function<void(ReportLabel &label, QString &text)>;

    explicit ReportLabel(ReportBand *band, const QString &caption = QString());
    ~ReportLabel() override;

    [[nodiscard]] const QString &caption() const { return m_caption; }
    void setCaption(const QString &caption) { m_caption = caption; }
    void setOnPrint(PrintHook hook) { m_onPrint = std::move(hook); }

protected:
    QString printText(ReportGenerator &generator) override;

private:
    QString m_caption;
    PrintHook m_onPrint;
};
