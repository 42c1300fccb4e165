#include "actions/FileOperations.h"

using namespace Qt::StringLiterals;

namespace FileOperationTexts {

namespace {

QString errorsPart(int errors)
{
    return errors > 0 ? u" (%1 errors)"_s.arg(errors) : QString();
}

double percent(int part, int total)
{
    return total > 0 ? double(part) / double(total) * 100.0 : 0.0;
}

// A run that took photos out of the library has refilled the page; a stopped one says so
// instead, with how far it got.
QString runSummary(const QString &verb, const FileOpOutcome &outcome, bool refilled)
{
    const QString count = outcome.stopped() ? u"%1 of %2"_s.arg(outcome.done).arg(outcome.total)
                                            : QString::number(outcome.done);
    const QString end = outcome.stopped() ? u" - stopped"_s : refilled ? u" - loaded more to replace"_s : QString();
    return verb + u' ' + count + u" photos"_s + errorsPart(outcome.errors) + end;
}

} // namespace

QString panelPrompt(FileOperation operation)
{
    return operation == FileOperation::copy ? u"Copy Here"_s : u"Move Here"_s;
}

QString working(FileOperation operation)
{
    return operation == FileOperation::copy ? u"Copying..."_s : u"Moving..."_s;
}

QString progress(FileOperation operation, int done, int total)
{
    return (operation == FileOperation::copy ? u"Copied %1/%2"_s : u"Moved %1/%2"_s).arg(done).arg(total);
}

double progressPercent(const FileOpProgress &progress)
{
    return percent(progress.done + progress.errors, progress.total);
}

QString summary(FileOperation operation, const FileOpOutcome &outcome)
{
    return runSummary(operation == FileOperation::copy ? u"Copied"_s : u"Moved"_s, outcome,
                      operation == FileOperation::move);
}

QString deleteProgress(int deleted, int total)
{
    return u"Deleted %1/%2"_s.arg(deleted).arg(total);
}

double deletePercent(const FileOpProgress &progress)
{
    return percent(progress.done, progress.total);
}

QString deleteSummary(const FileOpOutcome &outcome)
{
    return runSummary(u"Deleted"_s, outcome, true);
}

} // namespace FileOperationTexts
