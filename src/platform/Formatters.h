#pragma once

#include "model/PhotoItem.h"

#include <QLocale>
#include <QString>
#include <QTime>

// A byte count in the file style: decimal units of 1000, "Zero KB" for nothing, whole
// bytes and kilobytes, one decimal for megabytes and two from gigabytes on, trailing
// zeros dropped ("999 bytes", "1 KB", "2.5 MB", "1.23 GB").
QString formatByteCount(qint64 bytes);

// The time of day with hours, minutes and seconds in the locale's own order and
// separators (e.g. "3:04:05 PM" in en_US, "15:04:05" in de_DE).
QString formatMediumTime(const QTime &time, const QLocale &locale = QLocale::system());

// A point in time in local time as a medium date with a short time, in the locale's own
// words and order (e.g. "Jan 5, 2024, 3:04 PM" in en_US, "5. Jan. 2024, 15:04" in de_DE).
QString formatMediumDateShortTime(Timestamp when, const QLocale &locale = QLocale::system());
