#include "scan/ScanControl.h"

#include "platform/FileSystem.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace ScanControlTexts {

QString readyToScan(const QList<FilePath> &scanPaths)
{
    QStringList names;
    for (const FilePath &path : scanPaths)
        names << QString::fromUtf8(lastPathComponent(path));
    return u"Ready to scan: "_s + names.join(u", "_s);
}

QString pathListLiteral(const QList<FilePath> &paths)
{
    QStringList quoted;
    for (const FilePath &path : paths) {
        QString text = QString::fromUtf8(path);
        text.replace(u'\\', u"\\\\"_s).replace(u'"', u"\\\""_s).replace(u'\n', u"\\n"_s);
        quoted << u'"' + text + u'"';
    }
    return u'[' + quoted.join(u", "_s) + u']';
}

} // namespace ScanControlTexts
