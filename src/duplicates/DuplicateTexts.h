#pragma once

#include <QString>

struct DuplicateSummary;

// The texts and figures the duplicate pass shows.
namespace DuplicateTexts {
QString started();                                   // status label, when the pass starts
QString progress(int position, int total);           // progress label
double progressPercent(int position, int total);     // progress bar: the upper half, 50-100
QString summary(const DuplicateSummary &summary);    // activity log, only when groups exist
// Activity log, after a pass with the cache: "Reused 9 of 10 fingerprints" (or `what`).
QString reused(qsizetype reused, qsizetype needed, QStringView what = u"fingerprints");
QString finished(qsizetype groupCount, qsizetype photoCount); // status label afterwards
} // namespace DuplicateTexts
