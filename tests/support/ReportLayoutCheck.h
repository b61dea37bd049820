#pragma once

#include <QStringList>

class BandedReport;
class ReportDocument;

// Checks over a generated report that every text shows whole: none reaching out of its own box
// (where the report engine measured it, in the item's font), and none under an item printed after
// it on the same page, an opaque box or another text. Each problem comes back as a sentence naming
// the item and its text; two printed items of one name are a problem too, since the check finds
// items by name.
QStringList hiddenTexts(const BandedReport &report, const ReportDocument &document);
