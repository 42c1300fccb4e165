#include "duplicates/DuplicateTexts.h"

#include "duplicates/DuplicatePublish.h"

#include <QLocale>

using namespace Qt::StringLiterals;

namespace DuplicateTexts {

QString started()
{
    return u"Finding duplicates in background..."_s;
}

QString progress(int position, int total)
{
    return u"Finding duplicates: %1/%2"_s.arg(position).arg(total);
}

double progressPercent(int position, int total)
{
    return total > 0 ? double(position) / double(total) * 50.0 + 50.0 : 50.0;
}

QString summary(const DuplicateSummary &summary)
{
    return u"Found %1 duplicate groups (%2 photos)"_s.arg(summary.groupCount).arg(summary.duplicateCount);
}

QString reused(qsizetype reused, qsizetype needed, QStringView what)
{
    const QLocale grouped(QLocale::English, QLocale::UnitedStates);
    return u"Reused %1 of %2 %3"_s.arg(grouped.toString(qint64(reused)), grouped.toString(qint64(needed)), what);
}

QString finished(qsizetype groupCount, qsizetype photoCount)
{
    return groupCount > 0 ? u"Found %1 duplicate groups"_s.arg(groupCount)
                          : u"Ready - %1 photos"_s.arg(photoCount);
}

} // namespace DuplicateTexts
