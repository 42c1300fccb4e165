// lumisort-bench filter, search, grid, delete-stall and stalls: what the window's phases cost
// on synthetic libraries, and on a real folder (stalls DIR: the real window scans DIR and is
// then used as a person would; a 5 ms timer on the GUI thread measures, phase by phase, the
// longest the event loop went unserved, which is how long the window stood frozen).
#include "Bench.h"
#include "OffscreenWindow.h"
#include "browse/PhotoIndex.h"
#include "cache/LibraryCache.h"
#include "duplicates/DuplicateTexts.h"
#include "platform/FileCopy.h"
#include "ui/PhotoGridModel.h"
#include "ui/PhotoGridView.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Names, types and duplicate marks of a plausible library: mostly camera names, some
// with words and non-ASCII letters, one in ten photos in a duplicate pair. As in a scan,
// the records share their type texts.
void fillLibrary(LibraryState &state, int count)
{
    static const char *const types[] = {"JPG", "JPG", "JPG", "HEIC", "PNG", "JPEG", "GIF", "TIFF", "WEBP", "BMP"};
    QString typeTexts[10];
    for (int t = 0; t < 10; ++t)
        typeTexts[t] = QString::fromLatin1(types[t]);
    static const char *const words[] = {"IMG_", "DSC", "Screenshot ", "Urlaub \xc3\x9c", "holiday_", "scan-"};
    for (int i = 0; i < count; ++i) {
        const char *type = types[i % 10];
        const QByteArray name = QByteArray(words[(i / 7) % 6]) + QByteArray::number(i) + '.'
                                + QByteArray(type).toLower();
        state.allPhotos.append(PhotoItem(makePhotoId(), "/photos/" + name, name, 2'000'000 + i, {}, {},
                                         typeTexts[i % 10]));
        if (i % 10 < 2 && i % 20 < 10)
            state.duplicatePhotoIds.insert(state.allPhotos.last().id());
    }
}

// stalls: the watchdog's tick, and when a phase counts as settled.

constexpr int tickMs = 5;
// A tick this late means a handler held the loop.
constexpr double promptGapMs = 3 * tickMs;
// Prompt ticks in a row, with the grid's row count steady, that count as settled.
constexpr int quietTicksToSettle = 4;
constexpr double phaseLimitMs = 30 * 60 * 1000;
constexpr qsizetype photosToDelete = 10'000;

// The names in the folder `dir`, as bytes.
QList<FilePath> namesIn(const FilePath &dir)
{
    QList<FilePath> names;
    if (DIR *stream = ::opendir(dir.constData())) {
        while (const dirent *entry = ::readdir(stream)) {
            if (qstrcmp(entry->d_name, ".") != 0 && qstrcmp(entry->d_name, "..") != 0)
                names.append(FilePath(entry->d_name));
        }
        ::closedir(stream);
    }
    return names;
}

// Puts each file of the trash at `trash` back where its .trashinfo says it came from,
// never over anything there now. Returns how many went back.
qsizetype restoreTrash(const FilePath &trash)
{
    qsizetype restored = 0;
    for (const FilePath &infoName : namesIn(trash + "/info")) {
        const FilePath infoPath = trash + "/info/" + infoName;
        // Opened by its bytes: a name need not decode.
        const int fd = infoName.endsWith(".trashinfo") ? ::open(infoPath.constData(), O_RDONLY | O_CLOEXEC) : -1;
        QFile info;
        if (fd < 0 || !info.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            if (fd >= 0)
                ::close(fd);
            continue;
        }
        FilePath original;
        for (const QByteArray &line : info.readAll().split('\n')) {
            if (line.startsWith("Path="))
                original = QByteArray::fromPercentEncoding(line.mid(5).trimmed());
        }
        const FilePath stored = trash + "/files/" + infoName.chopped(10);
        if (original.startsWith('/') && renameNoReplace(stored, original) == 0) {
            ::unlink(infoPath.constData());
            ++restored;
        }
    }
    return restored;
}

// The gaps between watchdog ticks during one phase, and what the ticks saw.
// Time the machine's hypervisor gave to others (steal), in ms: a gap it caused is no
// stall of the window's, and the phase line says how much of it there was.
double stealMs()
{
    QFile stat(QStringLiteral("/proc/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = stat.readLine().simplified().split(' ');
    return fields.size() > 8 ? fields[8].toDouble() * 1000.0 / double(sysconf(_SC_CLK_TCK)) : 0;
}

struct Gaps
{
    double stealAtStart = 0;
    double start = 0, last = 0, triggered = 0; // phase start, last tick, trigger's return
    double worst = 0, publish = 0;             // longest gap; longest gap that applied duplicates
    double busyUntil = 0;                      // the last tick that was late or saw the grid change
    int quiet = 0;                             // prompt ticks in a row with a steady grid
    int rows = -1;
    qsizetype duplicates = 0;
    bool published = false;
    bool splitPublish = false; // the scan phase: gaps that applied duplicates are kept apart
    double readyAt = -1;       // the scan phase: the grid's first rows, since the start

    // From the trigger's start to the end of the last burst of work.
    double settledMs() const { return std::max(triggered, busyUntil) - start; }
};

} // namespace

int filterCommand(int argc, char **argv)
{
    const int count = intArgument(argc, argv, 0, 200'000);
    int qtArgc = 1;
    OffscreenWindow window(qtArgc, argv - 1);
    MainViewController &vc = window.vc;
    fillLibrary(vc.library(), count);

    struct Case
    {
        const char *name;
        ViewMode mode;
        FileTypeFilter type;
        QString search;
    };
    const Case cases[] = {
        {"search", ViewMode::all, FileTypeFilter::all, QStringLiteral("img_12")},
        {"search-unicode", ViewMode::all, FileTypeFilter::all, QStringLiteral("\u00fc")},
        {"type", ViewMode::all, FileTypeFilter::png, QString()},
        {"duplicates", ViewMode::duplicates, FileTypeFilter::all, QString()},
        {"all", ViewMode::all, FileTypeFilter::all, QString()},
    };
    // ms: the GUI thread's share (the call); shown_ms: until the window shows the result,
    // which from backgroundFrom photos on is worked out on a worker.
    for (const Case &c : cases) {
        double best = 1e9, shown = 1e9;
        for (int run = 0; run < 5; ++run) {
            vc.library().viewMode = c.mode;
            vc.library().currentFilter = c.type;
            vc.library().searchText = c.search;
            const auto start = Clock::now();
            vc.applyFilters();
            best = std::min(best, secondsSince(start));
            while (vc.backgroundPending())
                QApplication::processEvents(QEventLoop::WaitForMoreEvents);
            shown = std::min(shown, secondsSince(start));
        }
        std::printf("case=%s ms=%.1f shown_ms=%.1f photos=%d filtered=%lld\n", c.name, best * 1e3, shown * 1e3,
                    count, static_cast<long long>(vc.library().filteredPhotos.size()));
    }
    return 0;
}

int searchCommand(int argc, char **argv)
{
    const int count = intArgument(argc, argv, 0, 1'000'000);
    LibraryState state;
    fillLibrary(state, count);
    QList<qint32> duplicates;
    for (qint32 i = 0; i < count; ++i) {
        if (state.duplicatePhotoIds.contains(state.allPhotos[i].id()))
            duplicates.append(i);
    }
    PhotoIndex index;
    double build = 1e9;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        index = PhotoIndex::build(state.allPhotos);
        build = std::min(build, secondsSince(start));
    }
    std::printf("build ms=%.1f photos=%d bytes_per_photo=%.1f\n", build * 1e3, count,
                double(index.byteSize()) / std::max(count, 1));

    const QString keys[] = {QStringLiteral("i"), QStringLiteral("im"), QStringLiteral("img"), QStringLiteral("img_"), QStringLiteral("img_1")};
    double narrowed[5], fresh[5], old[5];
    std::fill_n(narrowed, 5, 1e9), std::fill_n(fresh, 5, 1e9), std::fill_n(old, 5, 1e9);
    qsizetype matches[5] = {};
    const auto best = [](double &slot, auto &&work) {
        const auto start = Clock::now();
        work();
        slot = std::min(slot, secondsSince(start));
    };
    for (int run = 0; run < 5; ++run) {
        FilterResult previous;
        for (int k = 0; k < 5; ++k) {
            const FilterChoice choice{ViewMode::all, FileTypeFilter::all, searchKey(keys[k])};
            best(narrowed[k], [&] { previous = filterPositions(index, duplicates, choice, previous); });
            best(fresh[k], [&] { matches[k] = filterPositions(index, duplicates, choice).positions.size(); });
            if (run < 2)
                best(old[k], [&] { (void)filterPhotos(state.allPhotos, state.duplicatePhotoIds, choice); });
        }
    }
    for (int k = 0; k < 5; ++k)
        std::printf("key=%s narrowed_ms=%.2f fresh_ms=%.2f filterPhotos_ms=%.1f matches=%lld\n",
                    qPrintable(keys[k]), narrowed[k] * 1e3, fresh[k] * 1e3, old[k] * 1e3,
                    static_cast<long long>(matches[k]));
    return 0;
}

int gridCommand(int argc, char **argv)
{
    const int count = intArgument(argc, argv, 0, 5000);
    int qtArgc = 1;
    OffscreenWindow window(qtArgc, argv - 1);
    MainViewController &vc = window.vc;
    LibraryState &state = vc.library();
    fillLibrary(state, count);
    // Distinct pictures, as a real page has.
    for (int i = 0; i < count; ++i) {
        QImage picture(150, 150, QImage::Format_ARGB32_Premultiplied);
        picture.fill(QColor::fromHsv(i % 360, 160, 220));
        state.thumbnailCache.insert(state.allPhotos[i].id(), picture);
    }
    state.filteredPhotos = state.allPhotos;
    state.currentlyShowing = count;
    vc.updateDisplayedPhotos();
    QApplication::processEvents();

    PhotoGridView *grid = vc.collectionView;
    QScrollBar *bar = grid->verticalScrollBar();
    // The first paint also makes the shared shadows and placeholder; it is reported apart.
    auto start = Clock::now();
    grid->viewport()->repaint();
    const double first = secondsSince(start);
    const int steps = 200;
    double total = 0, worst = 0;
    for (int step = 0; step <= steps; ++step) {
        bar->setValue(bar->maximum() * step / steps);
        start = Clock::now();
        grid->viewport()->repaint();
        const double seconds = secondsSince(start);
        total += seconds;
        worst = std::max(worst, seconds);
    }
    std::printf("cards=%d viewport=%dx%d first_ms=%.2f screenfuls=%d mean_ms=%.2f worst_ms=%.2f\n", count,
                grid->viewport()->width(), grid->viewport()->height(), first * 1e3, steps + 1,
                total / (steps + 1) * 1e3, worst * 1e3);
    return 0;
}

int deleteStallCommand(int argc, char **argv)
{
    const int count = intArgument(argc, argv, 0, 100'000);
    const int deleted = std::min(count, intArgument(argc, argv, 1, 1000));
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    qputenv("XDG_DATA_HOME", root + "/xdg");
    QDir().mkpath(dir.path() + QStringLiteral("/photos"));
    int qtArgc = 1;
    OffscreenWindow window(qtArgc, argv - 1);
    MainViewController &vc = window.vc;
    LibraryState &state = vc.library();
    fillLibrary(state, count);
    // The photos to delete are real files; every tenth photo pairs with the next.
    for (int i = 0; i < deleted; ++i) {
        const PhotoItem &p = state.allPhotos[i];
        const FilePath path = root + "/photos/" + p.name();
        QFile file(QFile::decodeName(path));
        if (!file.open(QIODevice::WriteOnly) || file.write("photo") != 5)
            return 1;
        state.allPhotos[i] = PhotoItem(p.id(), path, p.name(), p.size(), {}, {}, p.fileType());
        state.selectedPhotoIds.insert(p.id());
    }
    state.duplicatePhotoIds.clear();
    for (int i = 0; i + 1 < count; i += 10) {
        state.duplicateGroups.append({QString::number(i), {state.allPhotos[i], state.allPhotos[i + 1]}});
        state.duplicatePhotoIds.insert(state.allPhotos[i].id());
        state.duplicatePhotoIds.insert(state.allPhotos[i + 1].id());
    }
    vc.applyFilters();
    QApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0, worst = 0;
    QTimer watchdog;
    watchdog.setInterval(5);
    QObject::connect(&watchdog, &QTimer::timeout, &watchdog, [&] {
        worst = std::max(worst, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    watchdog.start();
    const auto start = Clock::now();
    lastTick = clock.elapsed();
    vc.performDelete();
    while (state.scanState != ScanState::idle)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    worst = std::max(worst, clock.elapsed() - lastTick);
    std::printf("photos=%d deleted=%lld worst_ms=%lld total_ms=%.0f\n", count,
                static_cast<long long>(count - state.allPhotos.size()), static_cast<long long>(worst),
                secondsSince(start) * 1e3);
    return 0;
}

int stallsCommand(int argc, char **argv)
{
    // --cache DIR: the window uses a library cache there (filled by an earlier run, or empty).
    std::optional<LibraryCache> cache;
    if (argc == 3 && std::strcmp(argv[0], "--cache") == 0) {
        cache.emplace(FilePath(argv[1]));
        argc -= 2;
        argv += 2;
    }
    if (argc != 1 || !QFileInfo(QFile::decodeName(argv[0])).isDir()) {
        std::fputs("usage: lumisort-bench stalls [--cache DIR] DIR\n", stderr);
        return 2;
    }
    FilePath root(argv[0]);
    if (!root.startsWith('/'))
        root = QFile::encodeName(QDir::currentPath()) + '/' + root;
    while (root.size() > 1 && root.endsWith('/'))
        root.chop(1);

    // The trash lives beside DIR, on its file system, so a delete is a rename there and the
    // files can go back. The application must find it in its environment from the start.
    QTemporaryDir home(QFile::decodeName(root.left(std::max<qsizetype>(root.lastIndexOf('/'), 1)))
                       + QStringLiteral("/.lumisort-stalls-XXXXXX"));
    if (!home.isValid()) {
        std::fprintf(stderr, "cannot make a folder beside %s\n", root.constData());
        return 1;
    }
    const FilePath homePath = QFile::encodeName(home.path());
    qputenv("HOME", homePath);
    qputenv("XDG_DATA_HOME", homePath + "/data");

    int qtArgc = 1;
    OffscreenWindow window(qtArgc, argv - 1, cache ? &*cache : nullptr);
    MainViewController &vc = window.vc;
    LibraryState &state = vc.library();
    const PhotoGridModel &model = *vc.gridModel();

    // The duplicate result is on the window.
    const auto published = [&] {
        return state.scanState == ScanState::idle
               && (!state.duplicateGroups.isEmpty()
                   || vc.statusLabel->text().startsWith(
                       DuplicateTexts::finished(state.duplicateGroups.size(), state.allPhotos.size())));
    };

    QElapsedTimer clock;
    clock.start();
    const auto now = [&] { return double(clock.nsecsElapsed()) / 1e6; };
    Gaps g;
    const auto tick = [&] {
        const double t = now(), gap = t - g.last;
        g.last = t;
        // STALLS_TRACE=1: each long gap with what the window said at its end.
        if (gap > 30 && qEnvironmentVariableIsSet("STALLS_TRACE"))
            std::fprintf(stderr, "gap %.1f at %.0f: %s | %s\n", gap, t - g.start, qPrintable(vc.statusLabel->text()), qPrintable(vc.progressLabel->text()));
        const qsizetype duplicates = state.duplicatePhotoIds.size();
        const bool isPublished = published();
        if (g.splitPublish && (duplicates != g.duplicates || (isPublished && !g.published)))
            g.publish = std::max(g.publish, gap);
        else
            g.worst = std::max(g.worst, gap);
        g.duplicates = duplicates;
        g.published = isPublished;
        const int rows = model.rowCount();
        // Work the window has handed to a worker has not shown yet: not at rest.
        if (gap < promptGapMs && rows == g.rows && !vc.backgroundPending()) {
            ++g.quiet;
        } else {
            g.quiet = 0;
            g.busyUntil = t;
        }
        g.rows = rows;
        if (g.readyAt < 0 && state.scanState == ScanState::idle && rows > 0)
            g.readyAt = t - g.start;
    };
    QTimer watchdog;
    watchdog.setTimerType(Qt::PreciseTimer);
    watchdog.setInterval(tickMs);
    QObject::connect(&watchdog, &QTimer::timeout, &watchdog, tick);
    watchdog.start();

    // The one test of a view at rest: nothing pending in the background, then quiet ticks.
    const auto settled = [&] { return g.quiet >= quietTicksToSettle; };

    // Runs `trigger`, then the event loop until `done`; false if it never came.
    const auto run = [&](const std::function<void()> &trigger, const std::function<bool()> &done,
                         bool splitPublish = false) {
        g = Gaps{};
        g.stealAtStart = stealMs();
        g.start = g.last = g.busyUntil = now();
        g.splitPublish = splitPublish;
        trigger();
        g.triggered = now();
        g.rows = model.rowCount(); // later changes come from queued work
        g.duplicates = state.duplicatePhotoIds.size();
        g.published = published();
        while (!done()) {
            if (now() - g.start > phaseLimitMs)
                return false;
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        tick(); // the time since the last tick is a gap too
        return true;
    };
    const auto print = [&g](const char *phase, double worst, const QByteArray &more, bool finished) {
        // Resident memory as the phase ends, and the most it has been so far.
        QFile statm(QStringLiteral("/proc/self/statm"));
        const QList<QByteArray> pages = statm.open(QIODevice::ReadOnly) ? statm.readAll().split(' ') : QList<QByteArray>();
        const long rss = pages.size() > 1 ? pages[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) / 1024 : 0;
        std::printf("phase=%s worst_ms=%.1f%s rss_mb=%ld peak_mb=%ld steal_ms=%.0f%s\n", phase, worst, more.constData(),
                    rss, peakRssMB(), stealMs() - g.stealAtStart, finished ? "" : " timeout=1");
        std::fflush(stdout);
    };
    const auto ms = [](const char *name, double value) -> QByteArray {
        return ' ' + QByteArray(name) + '=' + QByteArray::number(value, 'f', 1);
    };

    // Scan, first page, duplicate pass.
    vc.setScanPaths({root});
    const bool scanned = run([&] { vc.scanClicked(); }, published, true);
    print("scan", g.worst, ms("ms", now() - g.start) + ms("ready_ms", g.readyAt), scanned);
    print("publish", g.publish, {}, scanned);
    if (!scanned)
        return 1;
    const qsizetype photos = state.allPhotos.size();

    const auto settledPhase = [&](const char *phase, const std::function<void()> &trigger) {
        const bool finished = run(trigger, settled);
        print(phase, g.worst, ms("ms", g.settledMs()), finished);
    };
    // The similar pass, which follows the duplicates in the background.
    const bool similar = run([] {}, [&] { return vc.scanSequence().stagesDone(); });
    print("similar", g.worst, ms("ms", now() - g.start) + " groups=" + QByteArray::number(state.similarGroups.size()), similar);
    settledPhase("view-similar", [&] { vc.viewModeButtonClicked(2); });
    settledPhase("view-duplicates", [&] { vc.viewModeButtonClicked(1); });
    settledPhase("view-all", [&] { vc.viewModeButtonClicked(0); });

    // Typed one key at a time, shortened, pasted over, a letter beyond ASCII, cleared.
    const QString searches[] = {u"i"_s, u"im"_s, u"img"_s,     u"img_"_s, u"img_1"_s,
                                u"img_"_s, u"dir"_s, u"\u00e9"_s, u"IMG"_s, QString()};
    double keyWorst = 0, keystroke = 0;
    const double stealBefore = stealMs();
    bool typed = true;
    for (const QString &text : searches) {
        typed &= run([&] { vc.searchField->setText(text); }, settled);
        keyWorst = std::max(keyWorst, g.worst);
        keystroke = std::max(keystroke, g.settledMs());
    }
    g.stealAtStart = stealBefore;
    print("search-key", keyWorst, ms("keystroke_ms", keystroke), typed);

    settledPhase("select-all", [&] { vc.selectAllClicked(); });
    settledPhase("keep-originals", [&] { vc.keepOriginalsClicked(); });
    const bool loaded = run([&] { vc.loadMoreClicked(); }, [&] {
        return model.rowCount() == std::min(state.currentlyShowing, state.filteredPhotos.size()) && settled();
    });
    print("load-more", g.worst, ms("ms", g.settledMs()), loaded);

    state.selectedPhotoIds.clear();
    for (qsizetype i = 0; i < std::min(photosToDelete, state.allPhotos.size()); ++i)
        state.selectedPhotoIds.insert(state.allPhotos[i].id());
    const qsizetype before = state.allPhotos.size();
    const bool deleted = run([&] { vc.performDelete(); }, [&] { return state.scanState == ScanState::idle; });
    const double deleteMs = now() - g.start;
    const FilePath trash = homePath + "/data/Trash";
    // A delete still running would trash files after they were put back.
    const qsizetype restored = deleted ? restoreTrash(trash) : 0;
    print("delete-completion", g.worst,
          ms("ms", deleteMs) + " deleted=" + QByteArray::number(before - state.allPhotos.size())
              + " restored=" + QByteArray::number(restored),
          deleted);
    if (!deleted || !namesIn(trash + "/files").isEmpty()) {
        home.setAutoRemove(false); // never delete what could not be put back
        std::fprintf(stderr, "some trashed files could not be put back; they are in %s/files\n", trash.constData());
    }

    std::printf("peak_rss_mb=%ld photos=%lld\n", peakRssMB(), static_cast<long long>(photos));
    return deleted && typed && loaded ? 0 : 1;
}
