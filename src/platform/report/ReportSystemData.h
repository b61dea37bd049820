#pragma once

#include "platform/report/ReportTextItem.h"

// Data of the run rather than of the records, after a fixed prefix ("Page " + number). Dates and
// times come from the injectable Clock and print in the user's short date and long time formats.
class ReportSystemData : public ReportTextItem
{
    Q_OBJECT

public:
    enum class Data { Date, Time, DateTime, PageNumber };

    explicit ReportSystemData(ReportBand *band, Data data = Data::Date);
    ~ReportSystemData() override;

    [[nodiscard]] Data data() const { return m_data; }
    void setData(Data data) { m_data = data; }
    [[nodiscard]] const QString &prefix() const { return m_prefix; }
    void setPrefix(const QString &prefix) { m_prefix = prefix; }

protected:
    QString printText(ReportGenerator &generator) override;

private:
    Data m_data;
    QString m_prefix;
};
