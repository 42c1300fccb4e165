#include "TestTree.h"
#include "UiFakes.h"
#include "ui/ColoredButtonView.h"
#include "ui/Decorations.h"
#include "ui/HelpWindow.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

QRect inRoot(const QWidget *w, const QWidget *root)
{
    return QRect(w->mapTo(root, QPoint(0, 0)), w->size());
}

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

class TestMainView : public QObject
{
    Q_OBJECT

    std::unique_ptr<Harness> h;
    std::unique_ptr<MainViewController> vc;
    std::unique_ptr<TestTree> tree;

    // Waits for the scan's wind-up (its sound) and the duplicate search after it.
    void waitForScanEnd()
    {
        const qsizetype sounds = h->sounds.played.size();
        QTRY_VERIFY_WITH_TIMEOUT(h->sounds.played.size() > sounds, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!vc->statusLabel->text().startsWith(u"Finding duplicates"_s), 10000);
        QCOMPARE(vc->library().scanState, ScanState::idle);
        QCoreApplication::processEvents(); // the posted button rule
    }
    void chooseFolders(const QByteArrayList &paths)
    {
        h->dialogs.folderAnswers.push_back(QList<FilePath>(paths.begin(), paths.end()));
        vc->selectFolderClicked();
    }

private slots:
    void init()
    {
        h = std::make_unique<Harness>();
        vc = std::make_unique<MainViewController>(h->services());
        vc->show();
        tree = std::make_unique<TestTree>();
        tree->make({"a/one.jpg", "a/two.PNG", "a/sub/three.heic", "a/notes.txt", "b/four.gif"}, "x");
    }
    void cleanup()
    {
        h->fs.open();
        vc.reset();
        h.reset();
        tree.reset();
    }

    void startsReadyToScan()
    {
        QCOMPARE(vc->statusLabel->text(), u"Ready to scan"_s);
        QCOMPARE(enabledButtons(*vc), u"011000000-"_s);
        QVERIFY(vc->loadingSpinner->isHidden());
        // No user-dirs.dirs in the test home: the pictures folder falls back to ~/Pictures.
        QCOMPARE(vc->destinationLabel->text(), QFile::decodeName(qgetenv("HOME")) + u"/Pictures"_s);
        QCOMPARE(vc->statsLabel->text(), u"No photos loaded - select a folder to begin"_s);
        QCOMPARE(vc->library().thumbnailSize, 180.0);

        h->dialogs.alertAnswers.push_back(1); // the full scan cancelled: nothing changes
        vc->fullScanClicked();
        QVERIFY(vc->library().scanPaths.isEmpty());
        QCOMPARE(vc->library().scanState, ScanState::idle);

        vc->finishProcessing(true); // the stopped wind-up after the walk
        QCOMPARE(vc->statusLabel->text(), u"Stopped - 0 photos loaded"_s);
        QCOMPARE(vc->progressLabel->text(), u"Stopped by user"_s);
        QCOMPARE(h->sounds.played, QList<SystemSound>{SystemSound::basso});
    }

    void choosingFolders()
    {
        vc->selectFolderClicked(); // cancelled: nothing changes
        QVERIFY(vc->library().scanPaths.isEmpty());
        QVERIFY(h->logLines.isEmpty());
        const FolderChooserRequest request = h->dialogs.folderRequests.first();
        QVERIFY(request.allowsMultiple);
        QCOMPARE(request.message, u"Select folder(s) to scan for photos"_s);
        QCOMPARE(request.prompt, u"Scan"_s);

        chooseFolders({tree->path("a"), tree->path("b")});
        QCOMPARE(vc->library().scanPaths.size(), 2);
        QVERIFY(vc->scanButton->isEnabled());
        QCOMPARE(vc->progressLabel->text(), u"Ready to scan: a, b"_s);
        QVERIFY(h->logLines.last().endsWith(u"] Selected folders: [\""_s + QString::fromUtf8(tree->path("a"))
                                            + u"\", \""_s + QString::fromUtf8(tree->path("b")) + u"\"]"_s));
        QVERIFY(h->logLines.last().startsWith(u'['));

        chooseFolders({tree->path("b")}); // replaces, does not add
        QCOMPARE(vc->library().scanPaths, QList<FilePath>{tree->path("b")});
        QCOMPARE(vc->library().scanState, ScanState::idle); // nothing starts by itself
    }

    void completeScan()
    {
        chooseFolders({tree->path("a"), tree->path("b")});
        vc->scanClicked();
        QCOMPARE(vc->library().scanState, ScanState::scanning);
        QCOMPARE(vc->statusLabel->text(), u"Scanning for photos..."_s);
        QVERIFY(vc->loadingSpinner->isVisible());
        QVERIFY(h->logLines.last().endsWith(u"] Starting scan of 2 location(s)"_s));
        QCoreApplication::processEvents();
        waitForScanEnd();
        QCOMPARE(vc->library().allPhotos.size(), 4);
        QCOMPARE(h->sounds.played, QList<SystemSound>{SystemSound::glass});
        QVERIFY(vc->loadingSpinner->isHidden());
        QCOMPARE(enabledButtons(*vc), u"111001010-"_s); // the page can now be selected
        QCOMPARE(vc->pauseButton->text(), u"Pause"_s);

        // Then the duplicate search: the four files hold the same byte.
        QCOMPARE(vc->statusLabel->text(), u"Found 1 duplicate groups"_s);
        QVERIFY(h->logLines.last().endsWith(u"] Found 1 duplicate groups (4 photos)"_s));
        QCOMPARE(vc->library().allPhotos.first().hash(), u"9dd4e461268c8034f5c8564e155c67a6"_s);
        QTRY_VERIFY(vc->keepOriginalsButton->isEnabled());

        // A second start keeps nothing of the first scan's library.
        vc->library().selectedPhotoIds.insert(u"x"_s);
        vc->scanClicked();
        QVERIFY(vc->library().allPhotos.isEmpty() && vc->library().selectedPhotoIds.isEmpty());
        waitForScanEnd();
        QCOMPARE(vc->library().allPhotos.size(), 4);
    }

    void startRefusedWhenBusyOrNothingChosen()
    {
        vc->scanClicked();
        QCOMPARE(vc->library().scanState, ScanState::idle);
        QVERIFY(h->logLines.isEmpty());

        // Confirming the full scan while busy chooses the home folder but starts nothing.
        chooseFolders({tree->path("a")});
        h->fs.gatePart = tree->path("a");
        h->fs.close();
        vc->scanClicked();
        h->dialogs.alertAnswers.push_back(0);
        const qsizetype logged = h->logLines.size();
        vc->fullScanClicked();
        QCOMPARE(h->dialogs.alerts.last().buttons, (QStringList{u"Start Full Scan"_s, u"Cancel"_s}));
        QCOMPARE(vc->library().scanPaths, QList<FilePath>{qgetenv("HOME")});
        QCOMPARE(vc->progressLabel->text(), u"Ready for full disk scan"_s);
        QCOMPARE(h->logLines.size(), logged);
    }

    // The scan-state table, step by step, with a walk held at its first folder.
    void pauseResumeThenStopWakesQuickly()
    {
        tree->make({"a/x/", "a/y/", "a/z/"});
        chooseFolders({tree->path("a")});
        h->fs.gatePart = tree->path("a/");
        h->fs.close();
        vc->scanClicked();
        QTRY_COMPARE(h->fs.waiters(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(enabledButtons(*vc), u"000110000+"_s);

        vc->pauseClicked();
        QCOMPARE(vc->library().scanState, ScanState::paused);
        QCOMPARE(vc->pauseButton->text(), u"Resume"_s);
        QCOMPARE(vc->statusLabel->text(), u"Paused"_s);
        vc->pauseClicked();
        QCOMPARE(vc->library().scanState, ScanState::scanning);
        QCOMPARE(vc->pauseButton->text(), u"Pause"_s);
        QCOMPARE(vc->statusLabel->text(), u"Scanning..."_s);

        vc->pauseClicked();
        h->fs.open(); // the walk ends and the scan sits in the pause before the first folder
        QTRY_COMPARE(vc->progressLabel->text(), u"Found 5 folders to scan..."_s);

        QElapsedTimer sinceStop;
        sinceStop.start();
        vc->stopClicked();
        QCOMPARE(vc->library().scanState, ScanState::stopping);
        QCOMPARE(vc->statusLabel->text(), u"Stopping..."_s);
        QCoreApplication::processEvents();
        QCOMPARE(enabledButtons(*vc), u"000110000+"_s); // stop alone does not refresh the rule
        waitForScanEnd();
        QVERIFY2(sinceStop.elapsed() < 500, qPrintable(QString::number(sinceStop.elapsed())));
        QCOMPARE(vc->statusLabel->text(), u"Stopped - 0 photos found"_s);
        QCOMPARE(vc->progressLabel->text(), u"Ready"_s);
        QCOMPARE(h->sounds.played, QList<SystemSound>{SystemSound::basso});
        QCOMPARE(vc->library().scanState, ScanState::idle);
        QVERIFY(!vc->library().shouldStop && !vc->library().shouldPause);
        QCOMPARE(enabledButtons(*vc), u"111000000-"_s);
        QCOMPARE(vc->pauseButton->text(), u"Pause"_s);
    }

    // STOP ALL resets after half a second even while the walk is stuck; a scan started
    // then is not disturbed by the old walk's late result.
    void masterStopAndALateResult()
    {
        chooseFolders({tree->path("a")});
        h->fs.gatePart = tree->path("a");
        h->fs.close();
        vc->scanClicked();
        QTRY_COMPARE(h->fs.waiters(), 1);
        QCoreApplication::processEvents();

        QElapsedTimer sinceStop;
        sinceStop.start();
        vc->masterStopClicked();
        QCOMPARE(vc->statusLabel->text(), u"STOPPING ALL OPERATIONS..."_s);
        QVERIFY(!vc->masterStopButton->isEnabled());
        QCOMPARE(vc->masterStopButton->text(), u"Stopping..."_s);
        QCOMPARE(vc->library().scanState, ScanState::stopping);
        QTRY_COMPARE_WITH_TIMEOUT(vc->statusLabel->text(), u"Stopped by user"_s, 1000);
        QVERIFY(sinceStop.elapsed() >= 490);
        QCOMPARE(vc->library().scanState, ScanState::idle);
        QVERIFY(vc->masterStopButton->isHidden() && vc->masterStopButton->isEnabled());
        QCOMPARE(vc->masterStopButton->text(), u"STOP ALL"_s);
        QVERIFY(vc->loadingSpinner->isHidden());

        chooseFolders({tree->path("b")});
        vc->scanClicked();
        waitForScanEnd();
        QCOMPARE(vc->statusLabel->text(), u"Ready - 1 photos"_s);

        h->fs.open(); // the old walk ends now; what it found must not replace the new result
        QTest::qWait(300);
        QCOMPARE(vc->library().allPhotos.size(), 1);
        QCOMPARE(vc->library().allPhotos.first().name(), QByteArray("four.gif"));
        QCOMPARE(vc->statusLabel->text(), u"Ready - 1 photos"_s);
    }

    // The duplicate pass of an earlier run ends at its next file when a scan starts, STOP
    // ALL is pressed or the window closes, instead of reading on beside what comes next.
    void earlierPassStops_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("new scan") << u"new scan"_s;
        QTest::newRow("STOP ALL") << u"STOP ALL"_s;
        QTest::newRow("close") << u"close"_s;
    }
    void earlierPassStops()
    {
        QFETCH(QString, how);
        QByteArrayList names;
        for (int i = 0; i < 20; ++i)
            names << "c/" + QByteArray::number(i) + ".jpg";
        tree->make(names, "same");
        chooseFolders({tree->path("c")});
        h->fs.statGatePart = tree->path("c/");
        h->fs.close();
        vc->scanClicked();
        QTRY_COMPARE_WITH_TIMEOUT(h->fs.waiters(), 1, 10000); // the pass holds at its first file
        if (how == u"new scan") {
            chooseFolders({tree->path("b")});
            vc->scanClicked();
        } else if (how == u"STOP ALL") {
            vc->masterStopClicked();
        } else {
            MainViewController *closing = vc.get();
            h->fs.releaseWhen = [closing] { return closing->library().shouldStop.load(); };
        }
        if (how != u"close")
            h->fs.open();
        if (how == u"STOP ALL") { // its end, stopped: nothing published
            QTRY_VERIFY(vc->statusLabel->text().startsWith(u"Ready - "_s));
            QVERIFY(vc->library().duplicateGroups.isEmpty());
        }
        vc.reset(); // waits for every worker
        QCOMPARE(h->fs.statCount(), 1);
    }

    void framesFollowTheWindow()
    {
        vc->resize(1200, 850);
        QCoreApplication::processEvents();
        QCOMPARE(inRoot(vc->titleLabel, vc.get()), QRect(25, 15, 250, 40));
        QCOMPARE(inRoot(vc->statusLabel, vc.get()), QRect(700, 38, 475, 22));
        QCOMPARE(inRoot(vc->helpButton, vc.get()), QRect(1120, 52, 60, 28));
        QCOMPARE(inRoot(vc->scanButton, vc.get()), QRect(15 + 330, 100 + 35, 110, 38));
        QCOMPARE(inRoot(vc->searchField, vc.get()), QRect(15 + 545, 195 + 18, 220, 30));
        QCOMPARE(inRoot(vc->progressBar, vc.get()), QRect(20, 279, 1160, 6));
        QCOMPARE(inRoot(vc->scrollView, vc.get()), QRect(15, 310, 1170, 445));
        QCOMPARE(inRoot(vc->deleteButton, vc.get()), QRect(1010, 780, 130, 50));

        // Bigger: the controls keep their places above, the bar stays at the bottom and the
        // grid takes the rest; at the smallest size nothing above the grid is cut off.
        vc->resize(1400, 1000);
        QCoreApplication::processEvents();
        QCOMPARE(inRoot(vc->titleLabel, vc.get()), QRect(25, 15, 250, 40));
        QCOMPARE(inRoot(vc->scanButton, vc.get()), QRect(345, 135, 110, 38));
        QCOMPARE(inRoot(vc->scrollView, vc.get()), QRect(15, 310, 1370, 595));
        QCOMPARE(inRoot(vc->deleteButton, vc.get()), QRect(1010, 930, 130, 50));
        vc->resize(1000, 700);
        QCoreApplication::processEvents();
        QCOMPARE(inRoot(vc->scrollView, vc.get()), QRect(15, 310, 970, 295));
        QCOMPARE(inRoot(vc->copyButton, vc.get()), QRect(730, 630, 130, 50));
        QCOMPARE(vc->minimumSize(), QSize(1000, 700));
    }

    void helpWindowIsSingle()
    {
        vc->helpClicked();
        HelpWindow *first = vc->helpWindow();
        QVERIFY(first && first->isVisible());
        vc->helpClicked();
        QCOMPARE(vc->helpWindow(), first);
        QCOMPARE(vc->findChildren<HelpWindow *>().size(), 1);
        QCOMPARE(first->windowTitle(), u"Lumisort - Help"_s);
        QCOMPARE(first->size(), QSize(550, 600));
        QCOMPARE(first->minimumSize(), first->maximumSize());
        QVERIFY(first->textView->isReadOnly());
        QVERIFY(first->textView->textInteractionFlags() & Qt::TextSelectableByMouse);
        QCOMPARE(first->textView->toPlainText(), helpGuideText());

        first->textView->verticalScrollBar()->setValue(200);
        QTest::mouseClick(first->closeButton, Qt::LeftButton);
        QVERIFY(!first->isVisible());
        vc->helpClicked(); // a fresh window, at the top of the text
        QVERIFY(vc->helpWindow() != first);
        QVERIFY(vc->helpWindow()->isVisible());
        QCOMPARE(vc->helpWindow()->textView->verticalScrollBar()->value(), 0);
    }

    void guideText()
    {
        const QStringList lines = helpGuideText().split(u'\n');
        QCOMPARE(lines.first(), u"LUMISORT - QUICK GUIDE"_s);
        QCOMPARE(lines[1], QString(39, QChar(0x2550)));
        QCOMPARE(lines.last(), lines[1]); // no line break after the closing rule
        QCOMPARE(lines.size(), 48);
        QVERIFY(lines.contains(u"\u2022 Orange \"DUP\" badge indicates a duplicate"_s));
    }
};

QTEST_MAIN(TestMainView)
#include "test_mainview.moc"
