// lumisort-bench fileops DIR N: copy, move and trash N files of 1 MB as the window does.
#include "Bench.h"
#include "actions/FileOperations.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace {

constexpr qsizetype fileSize = 1 << 20;

QList<FileJob> jobsIn(const FilePath &dir)
{
    QList<FileJob> jobs;
    QDir folder(QFile::decodeName(dir));
    for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
        const FilePath bytes = QFile::encodeName(name);
        jobs.append({PhotoId(jobs.size() + 1), appendPathComponent(dir, bytes), bytes});
    }
    return jobs;
}

// The sources, made once and kept for the next runs.
bool makeSources(const FilePath &dir, int count)
{
    if (!QDir().mkpath(QFile::decodeName(dir)))
        return false;
    QByteArray bytes(fileSize, Qt::Uninitialized);
    for (int i = 0; i < count; ++i) {
        QFile file(QFile::decodeName(dir) + QStringLiteral("/IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
        if (file.exists())
            continue;
        QRandomGenerator(quint32(i + 1)).fillRange(reinterpret_cast<quint32 *>(bytes.data()), fileSize / 4);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != fileSize)
            return false;
    }
    return true;
}

// Each step starts with nothing left to write back from the one before.
template<typename Run>
int timed(const char *operation, int expected, Run run)
{
    ::sync();
    const auto start = Clock::now();
    const FileOpOutcome outcome = run();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::printf("op=%s ms=%.1f files=%d errors=%d\n", operation, ms, outcome.done, outcome.errors);
    return outcome.done == expected && outcome.errors == 0 ? 0 : 1;
}

} // namespace

int fileOpsCommand(int argc, char **argv)
{
    const int count = argc == 2 ? std::atoi(argv[1]) : 0;
    if (count < 1) {
        std::fputs("usage: lumisort-bench fileops DIR N\n"
                   "  makes N files of 1 MB in DIR/src (once), then times copying them into\n"
                   "  DIR/copy, moving those into DIR/moved and trashing those into the trash\n"
                   "  of XDG_DATA_HOME=DIR/xdg: op=copy|move|trash ms=M\n",
                   stderr);
        return 2;
    }
    const FilePath dir(argv[0]);
    const FilePath sources = appendPathComponent(dir, "src");
    for (const char *old : {"copy", "moved", "xdg"})
        QDir(QFile::decodeName(appendPathComponent(dir, old))).removeRecursively();
    if (!makeSources(sources, count)) {
        std::fprintf(stderr, "cannot make the files in %s\n", sources.constData());
        return 1;
    }
    ::setenv("XDG_DATA_HOME", appendPathComponent(dir, "xdg").constData(), 1);

    const auto none = [](const auto &) {};
    const QList<FileJob> originals = jobsIn(sources).mid(0, count);
    int failed = timed("copy", count, [&] {
        return runFileOperation(FileOperation::copy, appendPathComponent(dir, "copy"), originals, none, none);
    });
    const QList<FileJob> copies = jobsIn(appendPathComponent(dir, "copy"));
    failed |= timed("move", count, [&] {
        return runFileOperation(FileOperation::move, appendPathComponent(dir, "moved"), copies, none, none);
    });
    const QList<FileJob> moved = jobsIn(appendPathComponent(dir, "moved"));
    failed |= timed("trash", count, [&] { return runDelete(moved, none, none); });
    return failed;
}
