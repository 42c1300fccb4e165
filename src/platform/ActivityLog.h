#pragma once

#include <QLocale>
#include <QString>
#include <QTime>

#include <cstdio>

// One activity-log line, "[{time}] {message}", time in the locale's medium style.
QString activityLogLine(const QTime &time, const QString &message,
                        const QLocale &locale = QLocale::system());

// Writes `line` and a line break to `stream` at once, so the log interleaves sensibly
// with other output even when standard output is a pipe.
void writeLogLine(const QString &line, std::FILE *stream = stdout);
