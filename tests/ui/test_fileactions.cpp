#include "UiFakes.h"
#include "platform/Queues.h"
#include "ui/ColoredButtonView.h"
#include "ui/PreviewWindowController.h"

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

// Selection, the preview, copy, move and delete as the window runs them.
class TestFileActions : public QObject, WindowFixture
{
    Q_OBJECT

    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");

private slots:
    // The Trash of each test function is in its own tree.
    void init() { setUp(); qputenv("XDG_DATA_HOME", tree->path("xdg")); }
    void cleanup() { tearDown(); qputenv("XDG_DATA_HOME", dataHome); }

    // Select All takes the page only; Keep Originals replaces the selection with each
    // group's members but its oldest, the first of equals.
    // In a large library Keep Originals is gathered on a worker, and a selection change
    // made meanwhile wins.
    void selection()
    {
        addPhotos(250, false, {{3, 1}, {5, 6, 7}});
        lib().selectedPhotoIds = {PhotoId(200)}; // stays
        vc->selectAllClicked();
        QCOMPARE(lastLog(), u"Selected all 100 photos"_s);
        QVERIFY(lib().selectedPhotoIds.size() == 101 && checked(99));
        QTRY_VERIFY(vc->deselectAllButton->isEnabled() && vc->copyButton->isEnabled());
        vc->deselectAllClicked();
        QVERIFY(lib().selectedPhotoIds.isEmpty() && !checked(0));
        QTRY_VERIFY(!vc->deselectAllButton->isEnabled() && !vc->deleteButton->isEnabled());

        lib().selectedPhotoIds = {PhotoId(0)};
        vc->keepOriginalsClicked();
        const PhotoIdSet originalsKept{PhotoId(3), PhotoId(6), PhotoId(7)};
        QVERIFY(lib().selectedPhotoIds == originalsKept && checked(3));
        QCOMPARE(lastLog(), u"Selected 3 duplicates (keeping originals)"_s);
        vc->backgroundFrom = 0;
        const std::pair<std::function<void()>, int> changes[] = { // and how many are selected then
            {[&] { vc->deselectAllClicked(); }, 0}, {[&] { vc->gridModel()->setData(vc->gridModel()->index(4, 0), Qt::Checked, Qt::CheckStateRole); }, 1},
            {[&] { vc->selectAllClicked(); }, 100}, {[] {}, 3}};
        for (const auto &[change, selected] : changes) {
            vc->keepOriginalsClicked();
            change();
            QTRY_VERIFY(!vc->backgroundPending());
            QVERIFY(lib().selectedPhotoIds.size() == selected && checked(3) == lib().selectedPhotoIds.contains(PhotoId(3)));
        }
        QCOMPARE(lib().selectedPhotoIds, originalsKept);
        // Another card's preview shows in the same window, at that card.
        vc->openPreview(1);
        PreviewWindowController *first = vc->previewController();
        vc->openPreview(2);
        QVERIFY(vc->previewController() == first && first->currentIndex() == 2 && first->currentPhoto() == lib().displayedPhotos[2]);
    }

    // The views of groups: similar groups that come in show at once (on the badges, or as the
    // similar view's list, group by group, best first); the cards name their folders there;
    // Keep Originals Only (Keep Best Only in the similar view), then Delete (of all but photo 0),
    // leaves no photo listed whose group dissolved, also where the library changed during the run (the lists
    // and groups are then pruned on the GUI thread). Photos 0-5: duplicates {0 1} {2 3},
    // similar {5 4} {3 2 0}.
    void groupViews_data()
    {
        QTest::addColumn<int>("view");
        QTest::addColumn<QString>("shown"); // its list with their badges | the keep button | the log
        QTest::addColumn<QString>("left");  // the statistics line after Delete
        for (const bool background : {false, true}) {
            QTest::addRow("duplicates%s", background ? ", changed meanwhile, on a worker" : "") << 1 << u"0DS 1D 2DS 3DB|Keep Originals Only|Selected 2 duplicates (keeping originals)"_s
                                                                           << u"0 duplicates in 0 groups | Zero KB"_s;
            QTest::addRow("similar%s", background ? ", changed meanwhile, on a worker" : "") << 2 << u"5B 4S 3DB 2DS 0DS|Keep Best Only|Selected 3 similar photos (keeping the best)"_s
                                                                        << u"2 similar photos in 1 groups | 4.8 MB"_s;
        }
    }
    void groupViews()
    {
        QFETCH(int, view);
        vc->backgroundFrom = QByteArray(QTest::currentDataTag()).endsWith("worker") ? 0 : 1'000'000;
        const auto settle = [&] { QTRY_VERIFY(!vc->backgroundPending()); };
        addPhotos(6, true, {{0, 1}, {2, 3}});
        if (view == 2) { // empty until the groups come; the duplicates' do not make Keep Best Only
            vc->viewModeButtons[view]->click();
            QCoreApplication::processEvents();
            QVERIFY(!vc->keepOriginalsButton->isEnabled());
        }
        const QList<PhotoItem> &all = lib().allPhotos;
        lib().similarGroups = {{{all[5], all[4]}}, {{all[3], all[2], all[0]}}};
        lib().similarPhotoIds = {0, 2, 3, 4, 5}, lib().bestPhotoIds = {3, 5};
        vc->stageApplied({u"Ready"_s, {}, LibraryChange::similar});
        settle();
        const auto cell = [&](int row, int role) { return vc->gridModel()->index(row, 0).data(role).toString(); };
        if (view == 1) { // the badge changes in place; only a view of groups names folders
            QVERIFY(cell(5, PhotoGridModel::SimilarRole) == u"BEST" && cell(0, PhotoGridModel::FolderRole).isEmpty());
            vc->viewModeButtons[view]->click();
            settle();
        }
        QStringList cards;
        for (int row = 0; row < vc->gridModel()->rowCount(); ++row)
            cards << QString::number(vc->gridModel()->photoAt(row).id()) + (cell(row, PhotoGridModel::DuplicateRole) == u"true" ? u"D"_s : QString())
                         + cell(row, PhotoGridModel::SimilarRole).left(1);
        QCOMPARE(cell(0, PhotoGridModel::FolderRole), QFile::decodeName(tree->path("src")));
        vc->keepOriginalsClicked();
        settle();
        QTEST(QString(cards.join(u' ') + u'|' + vc->keepOriginalsButton->text() + u'|' + lastLog()), "shown");
        h->dialogs.alertAnswers.push_back(0);
        lib().selectedPhotoIds.remove(0); // unticked: its group stays
        runToEnd([&] {
            vc->deleteClicked();
            if (vc->backgroundFrom == 0) // copies of what the run took
                lib().allPhotos.detach(), lib().filteredPhotos.detach(), lib().duplicateGroups.detach(), lib().similarGroups.detach();
        });
        settle();
        QTEST(vc->statsLabel->text(), "left");
        QVERIFY(lib().bestPhotoIds == (view == 1 ? PhotoIdSet{2, 5} : PhotoIdSet{3})); // 2 is its group's best now
        QVERIFY(lib().similarPhotoIds == (view == 1 ? PhotoIdSet{0, 2, 4, 5} : PhotoIdSet{0, 3}) && lib().similarGroups.size() == 3 - view);
    }

    // Only photos whose file really moved or was trashed leave the library, and the groups
    // are pruned even after a Stop. Paused at once, a run holds after its first file; Stop,
    // STOP ALL or closing the window then ends it, and no second run starts meanwhile.
    // Photos 0-2 are selected, 0-3 are a group. Each row's name starts with its command.
    void copyMoveDelete_data()
    {
        QTest::addColumn<QString>("gone"); // the photos whose file vanished
        QTest::addColumn<QString>("then"); // pressed once it holds
        QTest::addColumn<QString>("shown"); // status | progress label and bar: failed files count for copy and move
        QTest::addColumn<QString>("left"); // the library | its duplicate group | the files that arrived
        const auto row = [](const char *name, auto... columns) { ((QTest::newRow(name) << ... << QString::fromLatin1(columns))); };
        row("copy, one gone", "2", "", "Copied 2 photos (1 errors)|Copied 2/3 100", "0 1 2 3 4|0 1 2 3|p0 p1");
        row("copy, resumed", "", "resume", "Copied 3 photos|Copied 3/3 100", "0 1 2 3|0 1 2|p0 p1 p2");
        row("copy, first gone, stopped", "0", "stop", "Copied 0 of 3 photos (1 errors) - stopped|Copied 0/3 33", "0 1 2 3|0 1 2|");
        row("move", "", "", "Moved 3 photos - loaded more to replace|Moved 3/3 100", "3 4||p0 p1 p2");
        row("move, one gone", "2", "", "Moved 2 photos (1 errors) - loaded more to replace|Moved 2/3 100", "2 3 4|2 3|p0 p1");
        row("move, all gone", "0 1 2", "", "Moved 0 photos (3 errors) - loaded more to replace|Moved 0/3 100", "0 1 2 3 4|0 1 2 3|");
        row("move, stopped", "", "stop", "Moved 1 of 3 photos - stopped|Moved 1/3 33", "1 2 3|1 2|p0");
        row("move, window closed", "", "close", "", "p0|p1 p2 p3 p4"); // arrived | still in place
        row("delete, one gone", "2", "", "Deleted 2 photos (1 errors) - loaded more to replace|Deleted 2/3 67", "2 3 4|2 3|p0 p1");
        row("delete, all gone", "0 1 2", "", "Deleted 0 photos (3 errors) - loaded more to replace|Deleted 0/3 0", "0 1 2 3 4|0 1 2 3|");
        row("delete, STOP ALL", "", "STOP ALL", "Deleted 1 of 3 photos - stopped|Deleted 1/3 33", "1 2 3|1 2|p0");
    }
    void copyMoveDelete()
    {
        const QString action = QString::fromLatin1(QTest::currentDataTag()).section(u',', 0, 0); // its row's first word
        QFETCH(QString, gone);
        QFETCH(QString, then);
        addPhotos(5, true, {{0, 1, 2, 3}});
        lib().selectedPhotoIds = {PhotoId(0), PhotoId(1), PhotoId(2)};
        for (const QString &i : gone.split(u' ', Qt::SkipEmptyParts))
            QCOMPARE(::unlink(lib().allPhotos[i.toInt()].path()), 0);
        const QByteArray arrived = tree->path(action == u"delete" ? "xdg/Trash/files" : "out");
        const auto ids = [](const QList<PhotoItem> &photos) { QStringList out; for (const PhotoItem &p : photos) out << QString::number(p.id()); return out.join(u' '); };
        const auto names = [](const QByteArray &dir) { return QDir(QFile::decodeName(dir)).entryList(QDir::Files, QDir::Name).join(u' ').remove(u".jpg"_s); };
        const auto start = [&] { action == u"copy" ? vc->copyClicked() : action == u"move" ? vc->moveClicked() : vc->deleteClicked(); };
        start(); // cancelled: nothing happens
        QCOMPARE(lib().scanState, ScanState::idle);
        const AlertRequest alert = h->dialogs.alerts.value(0);
        const FolderChooserRequest folder = h->dialogs.folderRequests.value(0);
        if (action == u"delete")
            QCOMPARE(alert.message + u'|' + alert.informativeText + u'|' + alert.buttons.join(u'|'), u"Delete 3 photo(s)?|They will be moved to Trash.|Move to Trash|Cancel"_s);
        else
            QVERIFY(folder.startDirectory == lib().destinationPath && folder.prompt == (action == u"copy" ? u"Copy Here"_s : u"Move Here"_s));
        h->dialogs.alertAnswers.push_back(0);
        h->dialogs.folderAnswers.push_back({tree->path("out")});
        const auto startAndHold = [&] {
            start();
            if (then.isEmpty())
                return;
            vc->pauseClicked();
            QTRY_VERIFY(vc->progressLabel->text().endsWith(u"/3"_s));
            QCOMPARE(vc->statusLabel->text() + u'|' + vc->pauseButton->text(), u"Paused|Resume"_s);
            vc->copyClicked(), vc->moveClicked(), vc->deleteClicked(); // no second run beside it
            // The library changes meanwhile (as a scan winding up late would change it).
            lib().allPhotos.removeLast(), lib().filteredPhotos.removeLast(), lib().duplicateGroups[0].photos.removeLast(), lib().duplicatePhotoIds.remove(3);
            if (then == u"close") { // a scan winding up late, after STOP ALL gave up on it, leaves the run busy
                vc->finishProcessing(true);
                QCOMPARE(lib().scanState, ScanState::paused);
            }
            // Closing waits for the run; Resume says again what it does.
            then == u"close" ? vc.reset() : then == u"stop" ? vc->stopClicked() : then == u"STOP ALL" ? vc->masterStopClicked() : vc->pauseClicked();
            QVERIFY(then != u"resume" || vc->statusLabel->text() == u"Copying..."_s);
        };
        if (then == u"close") {
            startAndHold();
            QTEST(QString(names(arrived) + u'|' + names(tree->path("src"))), "left");
            return;
        }
        runToEnd(startAndHold);
        QCOMPARE(h->sounds.played.last(), vc->statusLabel->text().endsWith(u"stopped") ? SystemSound::basso : SystemSound::glass);
        QTEST(QString(vc->statusLabel->text() + u'|' + vc->progressLabel->text() + u' ' + QString::number(vc->progressBar->value())), "shown");
        if (gone == u"2")
            QVERIFY(h->logLines.last().endsWith(u"ing p2.jpg: No such file or directory"_s));
        QTEST(QString(ids(lib().allPhotos) + u'|' + ids(lib().duplicateGroups.value(0).photos) + u'|' + names(arrived)), "left");
        QVERIFY(action == u"copy" ? lib().selectedPhotoIds.size() == 3 : ids(lib().displayedPhotos) == ids(lib().allPhotos) && lib().selectedPhotoIds.isEmpty());
        if (then == u"STOP ALL") { // the run's own end, not a reset half a second after the click
            bool later = false; // than any reset the click can have scheduled
            postToMainAfter(vc.get(), std::chrono::milliseconds(500), [&] { later = true; });
            QTRY_VERIFY(later);
            QVERIFY(vc->statusLabel->text().endsWith(u"- stopped"_s) && vc->masterStopButton->isHidden() && vc->masterStopButton->isEnabled() && vc->masterStopButton->text() == u"STOP ALL"_s);
        }

        lib().selectedPhotoIds.clear();
        start(); // nothing selected: nothing asked
        QCOMPARE(h->dialogs.alerts.size() + h->dialogs.folderRequests.size(), 2);
    }
};

QTEST_MAIN(TestFileActions)
#include "test_fileactions.moc"
