#include "scan/ScanProgress.h"

#include "platform/FileSystem.h"

using namespace Qt::StringLiterals;

namespace ScanTexts {

QString foldersToScan(int total)
{
    return u"Found %1 folders to scan..."_s.arg(total);
}

QString scanningDirectory(int begun, int total, const FilePath &directory)
{
    return u"[%1/%2] Scanning: %3"_s.arg(begun).arg(total).arg(
        QString::fromUtf8(lastPathComponent(directory)));
}

double directoryPercent(int begun, int total)
{
    return total > 0 ? double(begun) / double(total) * 100.0 : 0.0;
}

QString photosFound(int found)
{
    return u"Found %1 photos..."_s.arg(found);
}

} // namespace ScanTexts
