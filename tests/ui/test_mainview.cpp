#include "UiFakes.h"
#include "cache/LibraryCache.h"
#include "ui/ColoredButtonView.h"
#include "ui/Decorations.h"
#include "ui/HelpWindow.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>

using namespace Qt::StringLiterals;

namespace {

QRect inRoot(const QWidget *w, const QWidget *root) { return QRect(w->mapTo(root, QPoint(0, 0)), w->size()); }

// Which of the scan card's and bottom bar's commands accept input, in a fixed order.
QString enabledButtons(const MainViewController &vc)
{
    QString s;
    for (const QWidget *w : std::initializer_list<const QWidget *>{
             vc.scanButton, vc.folderButton, vc.fullScanButton, vc.pauseButton, vc.stopButton,
             vc.selectAllButton, vc.deselectAllButton, vc.keepOriginalsButton, vc.copyButton})
        s += w->isEnabled() ? u'1' : u'0';
    return s + (vc.masterStopButton->isHidden() ? u"-"_s : u"+"_s);
}

} // namespace

class TestMainView : public QObject, WindowFixture
{
    Q_OBJECT

    // Starts a scan of `folder` whose walk holds at its first listing, or (`gate` statGatePart)
    // whose duplicate pass holds at its first file.
    void startHeldScan(const QByteArray &folder, QByteArray GatedFileSystem::*gate = &GatedFileSystem::gatePart)
    {
        chooseFolders({tree->path(folder)});
        h->fs.*gate = tree->path(folder);
        h->fs.close();
        vc->scanClicked();
        QTRY_COMPARE_WITH_TIMEOUT(h->fs.waiters(), 1, 10000);
        QCoreApplication::processEvents();
    }

private slots:
    void init()
    {
        setUp();
        tree->make({"a/one.jpg", "a/two.PNG", "a/sub/three.heic", "a/notes.txt", "b/four.gif"}, "x");
    }
    void cleanup() { tearDown(); }

    // What to scan and where photos go; nothing chosen, or a chooser or alert cancelled,
    // starts and changes nothing.
    void choosingFolders()
    {
        // No user-dirs.dirs in the test home: the pictures folder falls back to ~/Pictures.
        const FilePath pictures = qgetenv("HOME") + "/Pictures";
        QCOMPARE(enabledButtons(*vc) + vc->destinationLabel->text(), u"011000000-"_s + QFile::decodeName(pictures));
        h->dialogs.alertAnswers.push_back(1);
        for (const auto click : {&MainViewController::scanClicked, &MainViewController::pauseClicked, &MainViewController::selectFolderClicked,
                                 &MainViewController::setDestinationClicked, &MainViewController::fullScanClicked})
            (vc.get()->*click)();
        QVERIFY(lib().scanPaths.isEmpty() && lib().scanState == ScanState::idle && h->logLines.isEmpty() && lib().destinationPath == pictures);

        h->dialogs.folderAnswers.push_back({"/media/disk/Photos"});
        vc->setDestinationClicked();
        QCOMPARE(vc->destinationLabel->text() + u'|' + lastLog(), u"Destination: /media/disk/Photos|Set destination: /media/disk/Photos"_s);
        chooseFolders({tree->path("a"), tree->path("b")});
        QCOMPARE(enabledButtons(*vc) + vc->progressLabel->text(), u"111000000-Ready to scan: a, b"_s);
        QStringList requests; // message, confirm button, several, new folders
        for (const FolderChooserRequest &r : std::as_const(h->dialogs.folderRequests))
            requests << r.message + u'|' + r.prompt + u'|' + QString::number(r.allowsMultiple) + QString::number(r.canCreateFolders);
        QCOMPARE(requests, (QStringList{u"Select folder(s) to scan for photos|Scan|10"_s, u"Select destination folder for photos|Set Destination|01"_s,
                                        u"Select destination folder for photos|Set Destination|01"_s, u"Select folder(s) to scan for photos|Scan|10"_s}));
        chooseFolders({tree->path("b")}); // replaces, does not add
        QCOMPARE(std::pair(lib().scanPaths, lib().scanState), std::pair(QList<FilePath>{tree->path("b")}, ScanState::idle));
    }

    // A scan starts from an empty library, and no other starts while it runs. Its progress,
    // shown at the display's pace, ends on the pass's whole count; the duplicates view shows
    // the groups once they are published. A second scan reads no photo the cache knows (files
    // that are no pictures included: it decodes none); Clear Cache empties it.
    void completeScan()
    {
        const TestTree folder;
        const LibraryCache cache(folder.path("cache"));
        tearDown();
        setUp(nullptr, &cache);
        // The window and its workers go before the cache, however the test ends.
        const auto restore = qScopeGuard([this] { tearDown(), setUp(); });
        for (int i = 0; i < 45; ++i)
            tree->make({"c/" + QByteArray::number(i % 9) + "/" + QByteArray::number(i) + ".jpg"}, "same");
        addPhotos(2); // the last scan's
        lib().selectedPhotoIds = lib().similarPhotoIds = lib().bestPhotoIds = {PhotoId(1)};
        lib().similarGroups = {{lib().allPhotos}};
        chooseFolders({tree->path("c")});
        vc->showDuplicates();
        runToEnd([&] {
            vc->scanClicked();
            h->dialogs.alertAnswers.push_back(0);
            vc->fullScanClicked(); // confirmed while busy: takes the home folder but starts nothing
            QVERIFY(lib().allPhotos.isEmpty() && lib().selectedPhotoIds.isEmpty() && lib().similarGroups.isEmpty() && lib().similarPhotoIds.isEmpty()
                    && lib().bestPhotoIds.isEmpty() && vc->loadingSpinner->isVisible() && lib().scanPaths == QList<FilePath>{qgetenv("HOME")});
            QCOMPARE(lastLog() + u'|' + vc->progressLabel->text() + u'|' + h->dialogs.alerts.last().buttons.join(u'/'), u"Starting scan of 1 location(s)|Ready for full disk scan|Start Full Scan/Cancel"_s);
        });
        QVERIFY(h->sounds.played == QList<SystemSound>{SystemSound::glass} && vc->loadingSpinner->isHidden());
        QCOMPARE(lastLog(3), u"Found 1 duplicate groups (45 photos)|Reused 0 of 45 fingerprints|Reused 0 of 45 signatures"_s);
        QCOMPARE(enabledButtons(*vc) + vc->progressLabel->text() + u' ' + QString::number(vc->progressBar->value()) + u'|' + vc->statsLabel->text() + u'|' + vc->showingLabel->text(),
                 u"111001010-Finding similar photos: 45/45 100|45 duplicates in 1 groups | 180 bytes|Showing 45 of 45 photos"_s);
        chooseFolders({tree->path("c")}); // the full scan's confirmation took the home folder
        runToEnd([&] { vc->scanClicked(); });
        QCOMPARE(lastLog(2) + u' ' + QString::number(lib().duplicateGroups.size()), u"Reused 45 of 45 fingerprints|Reused 45 of 45 signatures 1"_s);
        vc->clearCacheClicked();
        QTRY_COMPARE(lastLog(), u"Cleared the cache"_s);
        QCOMPARE(CacheSession(cache).rowCount(), 0);
    }

    // The scan-state table, step by step, with a walk held at its first folder. STOP ALL
    // resets after half a second even while the walk is stuck; a scan started then is not
    // disturbed by the old walk's late result.
    void pauseStopAndStopAll()
    {
        tree->make({"a/x/", "a/y/", "a/z/"});
        startHeldScan("a/");
        QCOMPARE(enabledButtons(*vc), u"000110000+"_s);
        const auto pressPause = [&] { vc->pauseClicked(); return std::pair(lib().scanState, QString(vc->pauseButton->text() + u'|' + vc->statusLabel->text())); };
        QCOMPARE(pressPause(), std::pair(ScanState::paused, u"Resume|Paused"_s));
        QCOMPARE(pressPause(), std::pair(ScanState::scanning, u"Pause|Scanning..."_s));

        vc->pauseClicked();
        h->fs.open(); // the walk ends and the scan sits in the pause before the first folder
        QTRY_COMPARE(vc->progressLabel->text(), u"Found 5 folders to scan..."_s);
        vc->stopClicked(); // and wakes the paused walk
        QCoreApplication::processEvents();
        QCOMPARE(vc->statusLabel->text() + enabledButtons(*vc), u"Stopping...000110000+"_s); // stop alone does not refresh the rule
        runToEnd([] {});
        QVERIFY(h->sounds.played == QList<SystemSound>{SystemSound::basso} && !lib().shouldStop && !lib().shouldPause);
        QCOMPARE(vc->statusLabel->text() + u'|' + vc->progressLabel->text() + u'|' + enabledButtons(*vc) + vc->pauseButton->text(), u"Stopped - 0 photos found|Ready|111000000-Pause"_s);

        startHeldScan("a");
        const std::weak_ptr<ScanRun> stuck = vc->scanSequence().run();
        const auto stoppedAt = std::chrono::steady_clock::now();
        vc->masterStopClicked();
        QCOMPARE(std::pair(vc->statusLabel->text(), vc->masterStopButton->isEnabled()), std::pair(u"STOPPING ALL OPERATIONS..."_s, false));
        QTRY_COMPARE(vc->statusLabel->text(), u"Stopped by user"_s);
        QVERIFY(std::chrono::steady_clock::now() - stoppedAt >= std::chrono::milliseconds(490) && lib().scanState == ScanState::idle
                && vc->masterStopButton->isHidden() && vc->masterStopButton->isEnabled() && vc->loadingSpinner->isHidden());

        chooseFolders({tree->path("b")});
        runToEnd([&] { vc->scanClicked(); });
        h->fs.open(); // the old walk ends now; its run is let go once its late result is dropped
        QTRY_VERIFY(stuck.expired());
        QCOMPARE(vc->statusLabel->text() + u' ' + QString::number(lib().allPhotos.size()), u"Ready - 1 photos 1"_s);
    }

    // The duplicate pass of an earlier run ends at its next file when a scan starts, STOP
    // ALL is pressed (also while a copy runs) or the window closes, instead of reading on
    // beside what comes next.
    void earlierPassStops_data()
    {
        QTest::addColumn<QString>("how");
        for (const char *how : {"new scan", "STOP ALL", "STOP ALL during a copy", "close"})
            QTest::newRow(how) << QString::fromLatin1(how);
    }
    void earlierPassStops()
    {
        QFETCH(QString, how);
        for (int i = 0; i < 20; ++i)
            tree->make({"c/" + QByteArray::number(i) + ".jpg"}, "same");
        startHeldScan("c/", &GatedFileSystem::statGatePart);
        if (how == u"new scan") {
            chooseFolders({tree->path("b")});
            vc->scanClicked();
        } else if (how.startsWith(u"STOP ALL")) {
            if (how.endsWith(u"copy")) {
                lib().selectedPhotoIds = {lib().allPhotos[0].id()};
                h->dialogs.folderAnswers.push_back({tree->path("out")});
                vc->copyClicked();
            }
            vc->masterStopClicked();
            if (how.endsWith(u"copy")) // which ends first, before its first file
                QTRY_COMPARE(h->sounds.played.last(), SystemSound::basso);
        } else {
            h->fs.setReleaseWhen([closing = vc.get()] { return closing->library().shouldStop.load(); });
        }
        if (how != u"close")
            h->fs.open();
        if (how.startsWith(u"STOP ALL")) // its end, stopped: nothing published
            QTRY_VERIFY(vc->statusLabel->text().startsWith(u"Ready - "_s) && lib().duplicateGroups.isEmpty());
        vc.reset(); // waits for every worker
        QCOMPARE(h->fs.statCount(), 1);
    }

    // The controls keep their places, the bar stays at the bottom and the grid takes the
    // rest; at the smallest size nothing above the grid is cut off.
    void framesFollowTheWindow()
    {
        for (const QSize size : {QSize(1400, 1000), QSize(1000, 700)}) {
            vc->resize(size);
            QCoreApplication::processEvents();
            QCOMPARE(QList({inRoot(vc->searchField, vc.get()), inRoot(vc->scrollView, vc.get()), inRoot(vc->copyButton, vc.get())}),
                     QList({QRect(560, 213, 220, 30), QRect(15, 310, size.width() - 30, size.height() - 405), QRect(730, size.height() - 70, 130, 50)}));
        }
        QCOMPARE(vc->minimumSize(), QSize(1000, 700));
    }

    // One help window at a time; a closed one comes back fresh, at the top of the text.
    void helpWindowIsSingle()
    {
        vc->helpClicked();
        HelpWindow *first = vc->helpWindow();
        vc->helpClicked();
        QCOMPARE(vc->findChildren<HelpWindow *>(), QList<HelpWindow *>{first});
        QVERIFY(first->isVisible() && first->textView->isReadOnly() && first->textView->toPlainText().startsWith(u"LUMISORT - QUICK GUIDE\n"_s));
        first->textView->verticalScrollBar()->setValue(200);
        QTest::mouseClick(first->closeButton, Qt::LeftButton);
        vc->helpClicked();
        QVERIFY(vc->helpWindow() != first && vc->helpWindow()->isVisible() && vc->helpWindow()->textView->verticalScrollBar()->value() == 0);
    }
};

QTEST_MAIN(TestMainView)
#include "test_mainview.moc"
