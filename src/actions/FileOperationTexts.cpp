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

QString summary(FileOperation operation, int done, int errors)
{
    if (operation == FileOperation::copy)
        return u"Copied %1 photos"_s.arg(done) + errorsPart(errors);
    return u"Moved %1 photos"_s.arg(done) + errorsPart(errors) + u" - loaded more to replace"_s;
}

QString deleteProgress(int deleted, int total)
{
    return u"Deleted %1/%2"_s.arg(deleted).arg(total);
}

double deletePercent(const FileOpProgress &progress)
{
    return percent(progress.done, progress.total);
}

QString deleteSummary(int deleted, int errors)
{
    return u"Deleted %1 photos"_s.arg(deleted) + errorsPart(errors) + u" - loaded more to replace"_s;
}

} // namespace FileOperationTexts
