#pragma once

// Stand-ins for the outside world of the main window: scripted dialogs, recorded sounds
// and log lines, and a file system whose listings can be held back; and the window on them.
#include "TestTree.h"
#include "imaging/SharedThumbnails.h"
#include "platform/Dialogs.h"
#include "platform/PosixFileSystem.h"
#include "platform/Sounds.h"
#include "ui/PhotoGridModel.h"
#include "ui/MainViewController.h"

#include <QLabel>
#include <QStringList>
#include <QTest>

#include <condition_variable>
#include <mutex>

// Each call takes the next scripted answer; none left cancels.
struct FakeDialogs : Dialogs
{
    QList<QList<FilePath>> folderAnswers; // an empty answer cancels too
    QList<int> alertAnswers;
    QList<FolderChooserRequest> folderRequests;
    QList<AlertRequest> alerts;

    std::optional<QList<FilePath>> chooseFolders(const FolderChooserRequest &request) override
    {
        folderRequests << request;
        const QList<FilePath> answer = folderAnswers.isEmpty() ? QList<FilePath>() : folderAnswers.takeFirst();
        return answer.isEmpty() ? std::nullopt : std::optional(answer);
    }
    int runAlert(const AlertRequest &request) override { alerts << request; return alertAnswers.isEmpty() ? -1 : alertAnswers.takeFirst(); }
};

struct FakeSounds : SoundPlayer
{
    QList<SystemSound> played;
    std::function<void()> heard; // as it plays
    void play(SystemSound sound) override { played << sound; if (heard) heard(); }
};

// Listing a folder whose path contains `gatePart`, or examining a file (as the duplicate
// pass does) whose path contains `statGatePart`, waits until the gate opens or
// `releaseWhen` holds. `stats` counts those examinations.
struct GatedFileSystem : PosixFileSystem
{
    QByteArray gatePart, statGatePart;
    std::function<bool()> releaseWhen = [] { return false; };
    mutable std::mutex mutex;
    mutable std::condition_variable opened;
    mutable bool isOpen = true;
    mutable int waiting = 0, stats = 0;

    void close() { std::lock_guard lock(mutex); isOpen = false; }
    // Workers read it while they wait, so it changes under the lock.
    void setReleaseWhen(std::function<bool()> when) { std::lock_guard lock(mutex); releaseWhen = std::move(when); }
    void open() { std::lock_guard lock(mutex); isOpen = true; opened.notify_all(); }
    int waiters() const { std::lock_guard lock(mutex); return waiting; }
    int statCount() const { std::lock_guard lock(mutex); return stats; }

    std::optional<std::vector<DirEntry>> listDirectory(const FilePath &dir) const override { pass(dir, gatePart); return PosixFileSystem::listDirectory(dir); }
    bool statPath(const FilePath &path, struct stat &st) const override { pass(path, statGatePart); return PosixFileSystem::statPath(path, st); }

private:
    void pass(const FilePath &path, const QByteArray &part) const
    {
        if (part.isEmpty() || !path.contains(part))
            return;
        std::unique_lock lock(mutex);
        stats += part == statGatePart;
        ++waiting;
        while (!opened.wait_for(lock, std::chrono::milliseconds(5), [this] { return isOpen || releaseWhen(); })) {
        }
        --waiting;
    }
};

struct Harness
{
    FakeDialogs dialogs;
    FakeSounds sounds;
    GatedFileSystem fs;
    QStringList logLines;
    DesktopServices *desktop = nullptr;
    const LibraryCache *cache = nullptr;
    std::unique_ptr<SharedThumbnails> shared;
    MainViewController::Services services() { return {&fs, &dialogs, &sounds, desktop, [this](const QString &line) { logLines << line; }, cache, shared.get()}; }
};

// A shown main window on fresh fakes, and a temporary tree, for each test function.
struct WindowFixture
{
    std::unique_ptr<Harness> h;
    std::unique_ptr<MainViewController> vc;
    std::unique_ptr<TestTree> tree;

    LibraryState &lib() { return vc->library(); }
    // `count` photos p0.jpg... of 2.4 MB, JPG and PNG by turns, made on day i (5 and later
    // share day 5), shown at once; with `onDisk` real files in the tree. `groups` lists
    // duplicate groups by index.
    void addPhotos(int count, bool onDisk = false, const QList<QList<int>> &groups = {})
    {
        for (int i = 0; i < count; ++i) {
            const QByteArray name = "p" + QByteArray::number(i) + ".jpg";
            const Timestamp day(std::chrono::hours(24 * std::min(i, 5)));
            const QByteArray path = onDisk ? tree->make({"src/" + name}, name) : "/nowhere/" + name;
            lib().allPhotos << PhotoItem(PhotoId(i), path, name, 2'400'000, day, day, i % 2 ? QStringLiteral("PNG") : QStringLiteral("JPG"));
        }
        for (const QList<int> &members : groups) {
            lib().duplicateGroups << DuplicateGroup();
            for (int i : members)
                lib().duplicateGroups.last().photos << lib().allPhotos[i], lib().duplicatePhotoIds.insert(PhotoId(i));
        }
        vc->applyFilters();
    }
    // The last `count` log lines without their times, joined by "|".
    QString lastLog(int count = 1) const
    {
        QStringList lines = h->logLines.mid(h->logLines.size() - count);
        for (QString &line : lines)
            line = line.section(QStringLiteral("] "), 1);
        return lines.join(u'|');
    }
    void chooseFolders(const QList<FilePath> &paths) { h->dialogs.folderAnswers.push_back(paths); vc->selectFolderClicked(); }
    bool checked(int row) const { return vc->gridModel()->index(row, 0).data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked; }
    void setUp(DesktopServices *desktop = nullptr, const LibraryCache *cache = nullptr)
    {
        h = std::make_unique<Harness>();
        h->desktop = desktop;
        h->cache = cache;
        vc = std::make_unique<MainViewController>(h->services());
        vc->show();
        tree = std::make_unique<TestTree>();
    }
    void tearDown() { h->fs.open(); vc.reset(); h.reset(); tree.reset(); }
    // Runs `start` and waits for the end of the work it begins: its sound, the stages
    // that follow a scan (each shows "Finding ..."), and the posted button rule.
    void runToEnd(const std::function<void()> &start)
    {
        const qsizetype sounds = h->sounds.played.size();
        start();
        QVERIFY(lib().scanState != ScanState::idle);
        QTRY_VERIFY_WITH_TIMEOUT(h->sounds.played.size() > sounds, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!vc->statusLabel->text().startsWith(QStringLiteral("Finding ")), 10000);
        QCOMPARE(lib().scanState, ScanState::idle);
        QCoreApplication::processEvents();
    }
};
