#include "TestMounts.h"
#include "UiFakes.h"
#include "ui/ColoredButtonView.h"
#include "ui/PhotoGridView.h"
#include "ui/PreviewWindowController.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>

using namespace Qt::StringLiterals;

// Selection, the preview, copy, move and delete as the window runs them.
class TestFileActions : public QObject, WindowFixture
{
    Q_OBJECT

    // `count` photos p0.jpg… created on day i (5 and later share day 5); with `onDisk` they
    // are real files in the tree. `groups` lists duplicate groups by index.
    void makeLibrary(int count, bool onDisk, const QList<QList<int>> &groups = {})
    {
        for (int i = 0; i < count; ++i) {
            const QByteArray name = "p" + QByteArray::number(i) + ".jpg";
            const QByteArray path = onDisk ? tree->make({"src/" + name}, name) : "/nowhere/" + name;
            const Timestamp day(std::chrono::hours(24 * std::min(i, 5)));
            lib().allPhotos << PhotoItem(PhotoId(i), path, name, 1000, day, day, u"jpg"_s);
        }
        for (const QList<int> &members : groups) {
            lib().duplicateGroups << DuplicateGroup();
            for (int i : members) {
                lib().duplicateGroups.last().photos << lib().allPhotos[i];
                lib().duplicatePhotoIds.insert(lib().allPhotos[i].id());
            }
        }
        vc->applyFilters();
    }
    static QString ids(const QList<PhotoItem> &photos)
    {
        QStringList out;
        for (const PhotoItem &p : photos)
            out << QString::number(p.id());
        return out.join(u' ');
    }
private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    // Select All takes the page only; Keep Originals replaces the selection with each
    // group's members but its oldest, the first of equals; a card click opens the preview.
    void selection()
    {
        makeLibrary(250, false, {{3, 1}, {5, 6, 7}});
        vc->selectAllClicked();
        QCOMPARE(h->logLines.last().section(u"] "_s, 1), u"Selected all 100 photos"_s);
        QVERIFY(lib().selectedPhotoIds.size() == 100 && checked(99));
        QTRY_VERIFY(vc->deselectAllButton->isEnabled() && vc->copyButton->isEnabled());
        vc->deselectAllClicked();
        QVERIFY(lib().selectedPhotoIds.isEmpty() && !checked(0));
        QTRY_VERIFY(!vc->deselectAllButton->isEnabled() && !vc->deleteButton->isEnabled());

        lib().selectedPhotoIds = {PhotoId(0)};
        vc->keepOriginalsClicked();
        const PhotoIdSet originalsKept{PhotoId(3), PhotoId(6), PhotoId(7)};
        QVERIFY(lib().selectedPhotoIds == originalsKept && checked(3));
        QCOMPARE(h->logLines.last().section(u"] "_s, 1), u"Selected 3 duplicates (keeping originals)"_s);

        const QRect card = vc->collectionView->visualRect(vc->gridModel()->index(1, 0));
        QTest::mouseClick(vc->collectionView->viewport(), Qt::LeftButton, {}, card.center());
        QTRY_VERIFY(vc->previewController() && vc->previewController()->isVisible());
        QCOMPARE(vc->previewController()->currentIndex(), 1);
        QVERIFY(lib().selectedPhotoIds == originalsKept && vc->collectionView->selectionModel()->selectedIndexes().isEmpty());
        // Another card shows in the same window, at that card.
        PreviewWindowController *first = vc->previewController();
        vc->openPreview(2);
        QVERIFY(vc->previewController() == first && first->currentIndex() == 2 && first->currentPhoto() == lib().displayedPhotos[2]);
    }

    // Only photos whose file really moved or was trashed leave the library, and the groups
    // are pruned even after a Stop. Photos 0-2 are selected, 0-3 are a group.
    void copyMoveDelete_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("oneVanished"); // p2.jpg
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("progress"); // label and bar: failed files count for copy and move
        QTest::addColumn<QString>("left"); // the library | its duplicate group
        QTest::newRow("copy") << u"copy"_s << false << u"Copied 3 photos"_s << u"Copied 3/3 100"_s << u"0 1 2 3 4|0 1 2 3"_s;
        QTest::newRow("copy, one gone") << u"copy"_s << true << u"Copied 2 photos (1 errors)"_s << u"Copied 2/3 100"_s
                                        << u"0 1 2 3 4|0 1 2 3"_s;
        QTest::newRow("move") << u"move"_s << false << u"Moved 3 photos - loaded more to replace"_s << u"Moved 3/3 100"_s
                              << u"3 4|"_s;
        QTest::newRow("move, one gone") << u"move"_s << true << u"Moved 2 photos (1 errors) - loaded more to replace"_s
                                        << u"Moved 2/3 100"_s << u"2 3 4|2 3"_s;
        QTest::newRow("delete, one gone") << u"delete"_s << true << u"Deleted 2 photos (1 errors) - loaded more to replace"_s
                                          << u"Deleted 2/3 67"_s << u"2 3 4|2 3"_s;
    }
    void copyMoveDelete()
    {
        QFETCH(QString, action);
        QFETCH(bool, oneVanished);
        const auto restore = qScopeGuard([saved = qgetenv("XDG_DATA_HOME")] { qputenv("XDG_DATA_HOME", saved); });
        qputenv("XDG_DATA_HOME", tree->path("xdg"));
        makeLibrary(5, true, {{0, 1, 2, 3}});
        lib().selectedPhotoIds = {PhotoId(0), PhotoId(1), PhotoId(2)};
        if (oneVanished)
            QCOMPARE(::unlink(lib().allPhotos[2].path()), 0);
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
        runToEnd([&] {
            start();
            vc->stopClicked();
        });
        QCOMPARE(h->sounds.played.last(), SystemSound::glass);
        QTEST(vc->statusLabel->text(), "summary");
        QTEST(QString(vc->progressLabel->text() + u' ' + QString::number(vc->progressBar->value())), "progress");
        if (oneVanished)
            QVERIFY(h->logLines.last().endsWith(u"ing p2.jpg: No such file or directory"_s));
        QCOMPARE(fileBytes(tree->path(action == u"delete" ? "xdg/Trash/files/p0.jpg" : "out/p0.jpg")), QByteArray("p0.jpg"));
        QCOMPARE(fileBytes(tree->path("src/p0.jpg")) == "<missing>", action != u"copy");
        QTEST(QString(ids(lib().allPhotos) + u'|' + ids(lib().duplicateGroups.value(0).photos)), "left");
        QCOMPARE(ids(lib().displayedPhotos), ids(lib().allPhotos));
        QCOMPARE(lib().selectedPhotoIds.size(), action == u"copy" ? 3 : 0);

        lib().selectedPhotoIds.clear();
        start(); // nothing selected: nothing asked
        QCOMPARE(h->dialogs.alerts.size() + h->dialogs.folderRequests.size(), 2);
    }
};

QTEST_MAIN(TestFileActions)
#include "test_fileactions.moc"
