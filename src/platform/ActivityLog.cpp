#include "platform/ActivityLog.h"

#include "platform/Formatters.h"

using namespace Qt::StringLiterals;

QString activityLogLine(const QTime &time, const QString &message, const QLocale &locale)
{
    return u"[%1] %2"_s.arg(formatMediumTime(time, locale), message);
}

void writeLogLine(const QString &line, std::FILE *stream)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}
