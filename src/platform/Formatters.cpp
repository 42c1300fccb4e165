#include "platform/Formatters.h"

#include <QDateTime>
#include <QRegularExpression>

#include <array>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

QString formatByteCount(qint64 bytes)
{
    if (bytes == 0)
        return u"Zero KB"_s;
    if (bytes < 0)
        return u"-"_s + formatByteCount(bytes == std::numeric_limits<qint64>::min()
                                            ? std::numeric_limits<qint64>::max()
                                            : -bytes);
    if (bytes < 1000)
        return bytes == 1 ? u"1 byte"_s : u"%1 bytes"_s.arg(bytes);

    struct Unit
    {
        const char16_t *name;
        int decimals;
    };
    static constexpr std::array<Unit, 6> units = {{
        {u"KB", 0}, {u"MB", 1}, {u"GB", 2}, {u"TB", 2}, {u"PB", 2}, {u"EB", 2},
    }};
    double value = double(bytes) / 1000.0;
    size_t unit = 0;
    for (;;) {
        const double scale = std::pow(10.0, units[unit].decimals);
        const double rounded = std::round(value * scale) / scale;
        // 999,999 bytes reads "1 MB", not "1000 KB".
        if (rounded < 1000.0 || unit + 1 == units.size()) {
            QString number = QString::number(rounded, 'f', units[unit].decimals);
            if (number.contains(u'.')) {
                while (number.endsWith(u'0'))
                    number.chop(1);
                if (number.endsWith(u'.'))
                    number.chop(1);
            }
            return number + u' ' + QStringView(units[unit].name);
        }
        value /= 1000.0;
        ++unit;
    }
}

QString formatMediumTime(const QTime &time, const QLocale &locale)
{
    QString format = locale.timeFormat(QLocale::ShortFormat);
    // The short format leaves out seconds in most locales; add them after the minutes.
    if (!format.contains(u's')) {
        const qsizetype minutes = format.indexOf(u"mm"_s);
        if (minutes >= 0)
            format.insert(minutes + 2, u":ss"_s);
        else
            format = u"HH:mm:ss"_s;
    }
    return locale.toString(time, format);
}

QString formatMediumDateShortTime(Timestamp when, const QLocale &locale)
{
    // Locales offer long and short dates; the medium one is the long one without the
    // weekday (and the comma after it, Latin or Arabic) and with abbreviated month names.
    static const QRegularExpression weekday(u"dddd[,\u060C\\s]*"_s), trailing(u"[,\u060C\\s]+$"_s);
    QString dateFormat = locale.dateFormat(QLocale::LongFormat);
    dateFormat.remove(weekday).remove(trailing).replace(u"MMMM"_s, u"MMM"_s);
    const auto msecs = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch());
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(msecs.count());
    return locale.toString(local.date(), dateFormat) + u", "_s
         + locale.toString(local.time(), QLocale::ShortFormat);
}
